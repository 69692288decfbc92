// The main window's portable rules: texts and drawing of the disk page and the settings page.
#include <cstdio>

#include "Formmainutil.h"
#include "Guipaint.h"
#include "Textformatutil.h"

namespace {

constexpr Colour kPagePen = rgb(0x66, 0x66, 0x50);
constexpr Colour kBoxPen = rgb(0x66, 0x66, 0x66);
constexpr Colour kGrey = rgb(0xCC, 0xCC, 0xCC);
constexpr Colour kFreeGreen = rgb(0x33, 0xCC, 0x66);

Font arial(int pixels, uint8_t charset) {
  Font f;
  f.face = u"Arial";
  f.height = -pixels;
  f.colour = kBlack;
  f.charset = charset;
  return f;
}

std::u16string formatted(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return widen(text);
}

std::u16string countText(uint64_t bytes) {
  const char* text = byteCountText(bytes);
  return text != nullptr ? widen(text) : std::u16string();
}

}  // namespace

int32_t devicePictureId(const DiskInfo* disk) {
  if (disk == nullptr) return kPicDeviceNone;
  if (disk->busType == 7) {
    if (disk->removableMedia != 0) return kPicDeviceUsb;
    if (disk->bayCount == 6) return kPicStation6;
    if (disk->bayCount == 2) return kPicStation2;
  }
  return disk->rotationRate == 1 ? kPicDeviceSsd : kPicDeviceHdd;
}

std::u16string sizeLine(std::u16string_view caption, int64_t diskLength) {
  // The unit is chosen from the unrounded value: 1073741823 bytes stay "1024.00 MB".
  const double mb = double(diskLength) / 1048576.0;
  const double gb = double(diskLength) / 1073741824.0;
  std::u16string figure;
  if (mb < 1024.0) {
    figure = formatted("%0.2f MB", mb);
  } else if (gb < 1024.0) {
    figure = formatted("%0.2f GB", gb);
  } else {
    figure = formatted("%0.2f TB", double(diskLength) / 1099511627776.0);
  }
  return std::u16string(caption) + u": " + figure;
}

std::u16string serialLine(std::u16string_view caption, std::string_view serial) {
  return std::u16string(caption) + u": " + widen(printableText(serial));
}

std::vector<VolumeRow> volumeRows(const DiskRecord& head) {
  std::vector<VolumeRow> rows;
  if (!head) return rows;
  for (const DiskRecord& disk : groupOrder(head)) {
    for (const VolumeInfo& v : disk->volumes.snapshot()) {
      VolumeRow row;
      char volume[32];
      if (disk->bayCount < 1) {
        std::snprintf(volume, sizeof volume, "%c:\\", v.driveLetter);
      } else {
        std::snprintf(volume, sizeof volume, "(%d) %c:\\", int(disk->bayIndex + 1), v.driveLetter);
      }
      row.volume = widen(volume);
      row.label = v.volumeLabel;
      row.fileSystem = v.fileSystemName;
      row.capacity = countText(v.totalBytes);
      row.free = countText(v.freeBytes);
      row.totalBytes = v.totalBytes;
      row.freeBytes = v.freeBytes;
      rows.push_back(std::move(row));
    }
  }
  return rows;
}

int freeBarLeft(uint64_t totalBytes, uint64_t freeBytes) {
  if (totalBytes == 0) return kVolumeTableWidth;
  // A volume that reports more free than total bytes shows an all-green bar, not one reaching left.
  const uint64_t used = freeBytes < totalBytes ? totalBytes - freeBytes : 0;
  // 530 * used / (5 * total), the same as 106 * used / total; beyond 170 PB without overflowing.
  constexpr uint64_t kScale = kVolumeTableWidth / 5;
  const uint64_t offset = used <= UINT64_MAX / kScale
                              ? kScale * used / totalBytes
                              : uint64_t(static_cast<long double>(kScale) * used / totalBytes);
  return 425 + int(offset);
}

DiskPageDrawing diskPageDrawing(const DiskRecord& head) {
  DiskPageDrawing page;
  if (!head) return page;
  page.title = widen(diskTypeLabel(*head));
  page.bayCount = head->bayCount;
  if (head->bayCount <= 0) {
    if (!head->serialNumber.empty()) page.serial = serialLine(languageText(kTextSerial), head->serialNumber);
    page.size = sizeLine(languageText(kTextTotalSize), head->diskLength);
  }
  page.tableCaption = languageText(kTextLogicalDisks);
  for (int k = 0; k < 5; ++k) page.headers[size_t(k)] = languageText(kTextVolume + k);
  page.rows = volumeRows(head);
  return page;
}

void drawDiskPage(CanvasBitmap& canvas, const DiskPageDrawing& page, uint8_t charset) {
  const int w = canvas.width(), h = canvas.height();
  canvas.line(210, 65, w, 65, kPagePen);
  canvas.line(0, 230, w, 230, kPagePen);
  canvas.line(0, h - 40, w, h - 40, kPagePen);

  const Font big = arial(24, charset);
  const Font text = arial(13, charset);
  canvas.textOut(210, 10, page.title, big);
  for (int bay = 0; bay < page.bayCount && bay < kBays; ++bay) {
    canvas.textOut(215 + 40 * bay, 40, widen(std::to_string(bay + 1)), big);
  }
  if (!page.serial.empty()) canvas.textOut(210, 50, page.serial, text);
  if (!page.size.empty()) canvas.textOut(210, 210, page.size, text);

  // Volume table: header band, one row per volume, outline and column lines.
  canvas.fillRect(1, kVolumeTableTop, 529, 285, kGrey);
  const int n = int(page.rows.size());
  for (int r = 0; r < n; ++r) {
    const VolumeRow& row = page.rows[size_t(r)];
    const int y = 285 + kVolumeRowHeight * r;
    canvas.line(0, y, kVolumeTableWidth, y, kPagePen);
    canvas.textOut(10, y + 2, row.volume, text);
    canvas.textOut(116, y + 2, row.label, text);
    canvas.textOut(222, y + 2, row.fileSystem, text);
    canvas.textOut(328, y + 2, row.capacity, text);
    canvas.fillRect(425, y + 1, 529, y + 20, kGrey);
    if (row.totalBytes > 0)
      canvas.fillRect(freeBarLeft(row.totalBytes, row.freeBytes), y + 1, 529, y + 20, kFreeGreen);
    canvas.textOut(434, y + 2, row.free, text);
  }
  const int bottom = volumeTableBottom(n);
  canvas.frameRect(0, kVolumeTableTop, kVolumeTableWidth, bottom, kPagePen);
  for (int x : {106, 212, 318, 424}) canvas.line(x, kVolumeTableTop, x, bottom, kPagePen);
  canvas.textOut(0, 250, page.tableCaption, text);
  for (int k = 0; k < 5; ++k) canvas.textOut(10 + 106 * k, 267, page.headers[size_t(k)], text);
}

void drawCaptionBox(CanvasBitmap& canvas, std::u16string_view caption, uint8_t charset) {
  const int w = canvas.width(), h = canvas.height();
  canvas.fillRect(0, 0, w, h, kGrey);
  canvas.frameRect(0, 0, w, h, kBoxPen);
  const Font font = arial(13, charset);
  canvas.textOut((w - canvas.textWidth(caption, font)) / 2, 8, caption, font);
}

SettingsPlaces drawSettingsPage(CanvasBitmap& canvas, std::u16string_view languageCaption, uint8_t charset) {
  const Font font = arial(13, charset);
  const int w = canvas.textWidth(languageCaption, font);
  canvas.textOut(20, 25, languageCaption, font);
  canvas.frameRect(w + 45, 20, w + 245, 45, kBoxPen);
  return {w + 47, w + 226};
}
