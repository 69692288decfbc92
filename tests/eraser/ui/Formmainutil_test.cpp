// The main window's portable rules: slot names and icons, the sidebar's slot states, size and volume
// texts, the free bar, the drawn disk page, the erase targets and the boot-drive test, the Start
// button's state, the grip's smallest size.
#include "Formmainutil.h"

#include <gtest/gtest.h>

#include <memory>

#include "Guipaint.h"

namespace {

DiskRecord record(const std::string& identity, uint8_t busType = 7, uint16_t rotation = 0) {
  auto disk = std::make_shared<DiskInfo>();
  disk->identityText = identity;
  disk->busType = busType;
  disk->rotationRate = rotation;
  disk->diskLength = 1 << 20;
  return disk;
}

void addVolume(DiskInfo& disk, char letter, uint64_t total, uint64_t free, std::u16string label = u"DATA") {
  VolumeRefresh v;
  v.driveLetter = letter;
  v.haveSizes = true;
  v.totalBytes = total;
  v.freeBytes = free;
  v.haveNames = true;
  v.volumeLabel = std::move(label);
  v.fileSystemName = u"NTFS";
  refreshVolume(disk, v);
}

// A station head in bay 0 with members in the given bays (all listed as occupied).
DiskRecord station(const std::vector<int>& memberBays) {
  DiskRecord head = record("SUNNYWL BAY");
  head->bayCount = 6;
  head->bayIndex = 0;
  markBayOccupied(*head, 0);
  for (int bay : memberBays) {
    DiskRecord member = record("SUNNYWL BAY");
    member->bayCount = 6;
    member->bayIndex = bay;
    head->groupMembers.appendDisk(member);
    markBayOccupied(*head, bay);
  }
  return head;
}

TEST(SlotTexts, NamesAreCutAfterThirteenCharactersAndIconsFollowTheKind) {
  EXPECT_EQ(slotName("ABCDEFGHIJKLM"), "ABCDEFGHIJKLM");
  EXPECT_EQ(slotName("ABCDEFGHIJKLMN"), "ABCDEFGHIJKLM...");
  EXPECT_EQ(slotName(""), "");
  EXPECT_EQ(slotName("SUNNYWL\r\nBAY"), "SUNNYWL  BAY");  // a device's bytes never break the line

  struct Case {
    uint8_t bus;
    uint16_t rotation;
    int32_t icon;
  };
  for (const Case& c : {Case{7, 1, kPicSlotUsb}, Case{11, 1, kPicSlotSsd}, Case{11, 7200, kPicSlotHdd},
                        Case{11, 0, kPicSlotHdd}}) {
    EXPECT_EQ(slotIcon(*record("X", c.bus, c.rotation)), c.icon) << int(c.bus) << "/" << c.rotation;
  }
}

TEST(DevicePictures, ChosenByBusMediaAndBays) {
  struct Case {
    uint8_t bus, removable;
    int32_t bays;
    uint16_t rotation;
    int32_t picture;
  };
  const Case cases[] = {
      {7, 1, 6, 1, kPicDeviceUsb},  // a flash drive, whatever else it says
      {7, 0, 6, 1, kPicStation6},      {7, 0, 2, 0, kPicStation2},
      {7, 0, 0, 1, kPicDeviceSsd},     {11, 0, 6, 0, kPicDeviceHdd},  // bays outside USB do not count
      {11, 0, 0, 7200, kPicDeviceHdd},
  };
  for (const Case& c : cases) {
    DiskRecord d = record("X", c.bus, c.rotation);
    d->removableMedia = c.removable;
    d->bayCount = c.bays;
    EXPECT_EQ(devicePictureId(d.get()), c.picture) << int(c.bus) << " " << int(c.removable) << " " << c.bays;
  }
  EXPECT_EQ(devicePictureId(nullptr), kPicDeviceNone);
}

TEST(SizeLine, UnitFromTheUnroundedValue) {
  EXPECT_EQ(sizeLine(u"Total Size", 500107862016), u"Total Size: 465.76 GB");
  EXPECT_EQ(sizeLine(u"Total Size", 1073741823), u"Total Size: 1024.00 MB");
  EXPECT_EQ(sizeLine(u"Total Size", 1073741824), u"Total Size: 1.00 GB");
  EXPECT_EQ(sizeLine(u"Total Size", 1099511627776), u"Total Size: 1.00 TB");
  EXPECT_EQ(sizeLine(u"Total Size", 4000787030016), u"Total Size: 3.64 TB");
  EXPECT_EQ(serialLine(u"Serial number", "WD-123"), u"Serial number: WD-123");
  EXPECT_EQ(serialLine(u"Serial number", "WD\n\x01"), u"Serial number: WD  ");
}

TEST(VolumeTable, RowsFollowTheGroupAndBarsShowTheFreeShare) {
  DiskRecord plain = record("PLAIN");
  addVolume(*plain, 'e', 1000, 250);
  addVolume(*plain, 'f', 0, 0, u"");
  const std::vector<VolumeRow> rows = volumeRows(plain);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].volume, u"e:\\");
  EXPECT_EQ(rows[0].label, u"DATA");
  EXPECT_EQ(rows[0].fileSystem, u"NTFS");
  EXPECT_EQ(rows[0].free, u"250");
  EXPECT_EQ(rows[1].volume, u"f:\\");
  EXPECT_EQ(rows[1].label, u"");

  // A station: the head first, then its members in discovery order, each with its bay number.
  DiskRecord head = station({3, 1});
  addVolume(*head, 'g', 500107862016, 0);
  addVolume(*groupOrder(head)[1], 'h', 1 << 20, 1 << 19);
  addVolume(*groupOrder(head)[2], 'i', 1 << 20, 1 << 19);
  std::vector<std::u16string> names;
  for (const VolumeRow& r : volumeRows(head)) names.push_back(r.volume);
  EXPECT_EQ(names, (std::vector<std::u16string>{u"(1) g:\\", u"(4) h:\\", u"(2) i:\\"}));
  EXPECT_EQ(volumeRows(head)[0].capacity, u"465.76G");

  EXPECT_EQ(freeBarLeft(1000, 250), 504);  // 25 % free
  EXPECT_EQ(freeBarLeft(1000, 1000), 425);
  EXPECT_EQ(freeBarLeft(1000, 0), 531);  // full: the bar stays grey up to 529
  EXPECT_EQ(freeBarLeft(0, 0), kVolumeTableWidth);
  EXPECT_EQ(freeBarLeft(1000, 2000), 425) << "more free than total is all free, not a bar reaching left";
  EXPECT_EQ(freeBarLeft(UINT64_MAX, UINT64_MAX / 4 + 1), 504) << "no overflow on huge sizes";
}

TEST(DiskPageDrawing, TableOutlineRowsAndFreeBarOnTheCanvas) {
  DiskRecord disk = record("PLAIN");
  for (char letter : {'e', 'f', 'g', 'h'}) addVolume(*disk, letter, 1000, 250);
  std::unique_ptr<CanvasBitmap> canvas = createCanvasBitmap(540, 440);
  drawDiskPage(*canvas, diskPageDrawing(disk), kDefaultCharset);

  const Colour pen = rgb(0x66, 0x66, 0x50), grey = rgb(0xCC, 0xCC, 0xCC), green = rgb(0x33, 0xCC, 0x66);
  // Four rows: the outline's bottom edge is the last pixel row above 365.
  EXPECT_EQ(canvas->pixel(5, 364), pen);
  EXPECT_EQ(canvas->pixel(5, 365), kWhite);
  EXPECT_EQ(canvas->pixel(0, 300), pen);
  EXPECT_EQ(canvas->pixel(529, 300), pen);
  // Column lines, the header band, and the page's lines.
  for (int x : {106, 212, 318, 424}) EXPECT_EQ(canvas->pixel(x, 340), pen) << x;
  EXPECT_EQ(canvas->pixel(300, 270), grey);
  EXPECT_EQ(canvas->pixel(300, 230), pen);
  EXPECT_EQ(canvas->pixel(300, 400), pen);  // H - 40
  EXPECT_EQ(canvas->pixel(300, 65), pen);
  EXPECT_EQ(canvas->pixel(100, 65), kWhite) << "the top line starts at 210";
  // The free bar of each row: grey up to 503, green from 504 to 528.
  for (int r = 0; r < 4; ++r) {
    const int y = 295 + 20 * r;
    EXPECT_EQ(canvas->pixel(503, y), grey) << r;
    EXPECT_EQ(canvas->pixel(504, y), green) << r;
    EXPECT_EQ(canvas->pixel(528, y), green) << r;
  }
}

TEST(BootDrive, EveryDiskTheStartWouldWriteIsLookedAt) {
  DiskRecord plain = record("PLAIN");
  addVolume(*plain, 'c', 1000, 10);
  EXPECT_TRUE(holdsBootDrive(eraseTargets(plain, {}), 'C'));
  EXPECT_TRUE(holdsBootDrive(eraseTargets(plain, {}), 'c'));
  EXPECT_FALSE(holdsBootDrive(eraseTargets(plain, {}), 'D'));
  EXPECT_FALSE(holdsBootDrive(eraseTargets(plain, {}), 0));

  // A station whose bay-3 member holds the Windows volume: refused only when bay 3 is ticked.
  DiskRecord head = station({3, 1});
  addVolume(*groupOrder(head)[1], 'c', 1000, 10);
  addVolume(*groupOrder(head)[2], 'e', 1000, 10);
  const BayTicks bay3{false, false, false, true, false, false};
  const BayTicks bay1{false, true, false, false, false, false};
  EXPECT_EQ(eraseTargets(head, bay3).size(), 2u);
  EXPECT_TRUE(holdsBootDrive(eraseTargets(head, bay3), 'C'));
  EXPECT_FALSE(holdsBootDrive(eraseTargets(head, bay1), 'C'));
  // The head is always looked at.
  DiskRecord bootHead = station({1});
  addVolume(*bootHead, 'c', 1000, 10);
  EXPECT_TRUE(holdsBootDrive(eraseTargets(bootHead, bay1), 'C'));
}

TEST(StartButton, ShownForPlainDisksAndForStationsWithATickedBay) {
  const BayTicks none{};
  BayTicks bay4{};
  bay4[4] = true;
  EXPECT_TRUE(startButtonVisible(0, none));
  EXPECT_FALSE(startButtonVisible(6, none));
  EXPECT_TRUE(startButtonVisible(6, bay4));
  EXPECT_FALSE(startButtonVisible(2, bay4)) << "only the station's own bays count";
  EXPECT_EQ(startCaptionId(RunState::erasing), kTextCancel);
  EXPECT_EQ(startCaptionId(RunState::ending), kTextStopping);
  EXPECT_EQ(startCaptionId(RunState::idle), kTextStart);
}

TEST(Geometry, GripStopsAtTheStartSizeAndPagesFillTheFrame) {
  EXPECT_EQ(gripResize({780, 550}, {-50, -20}), (Size{780, 550}));
  EXPECT_EQ(gripResize({900, 600}, {-200, 30}), (Size{780, 630}));
  EXPECT_EQ(gripResize({780, 550}, {20, 10}), (Size{800, 560}));
  EXPECT_EQ(pageAreaSize({780, 550}), (Size{540, 440}));
  EXPECT_EQ(methodBoxPlace(215, 80), (Point{329, 95})) << "the caption counts at least 104 wide";
  EXPECT_EQ(methodBoxPlace(215, 120), (Point{345, 95}));
}

class SidebarTest : public ::testing::Test {
 protected:
  void add(const std::string& identity, uint8_t bus = 7, uint16_t rotation = 0) {
    const int position = list_.topLevelCount();
    list_.appendDisk(record(identity, bus, rotation));
    bar_.diskAdded(position, list_);
  }
  DiskList list_;
  Sidebar bar_;
};

TEST_F(SidebarTest, SlotsFollowTheNotifications) {
  EXPECT_TRUE(bar_.slot(0).marked);
  EXPECT_FALSE(bar_.slot(0).shown);
  EXPECT_EQ(bar_.slot(5).name, "N/A");

  add("ABCDEFGHIJKLM");
  add("ABCDEFGHIJKLMN", 11, 1);
  EXPECT_TRUE(bar_.slot(0).shown);
  EXPECT_EQ(bar_.slot(0).name, "ABCDEFGHIJKLM");
  EXPECT_EQ(bar_.slot(0).icon, kPicSlotUsb);
  EXPECT_EQ(bar_.slot(1).name, "ABCDEFGHIJKLM...");
  EXPECT_EQ(bar_.slot(1).icon, kPicSlotSsd);

  // The record at 0 goes: the list reports the last slot removed, then refills the rest.
  list_.removeDisk(list_.diskAt(0));
  EXPECT_TRUE(bar_.slotRemoved(1, 1)) << "slot 1 was on show";
  bar_.diskAdded(0, list_);
  EXPECT_FALSE(bar_.slot(1).shown);
  EXPECT_EQ(bar_.slot(0).name, "ABCDEFGHIJKLM...");
  EXPECT_FALSE(bar_.slotRemoved(0, SETTINGS_PAGE));
  EXPECT_FALSE(bar_.slotRemoved(25, 0)) << "a slot that does not exist";

  bar_.noDisks();
  EXPECT_TRUE(bar_.slot(0).shown);
  EXPECT_EQ(bar_.slot(0).name, "Disk");
  for (int i = 1; i < kSlotCount; ++i) EXPECT_FALSE(bar_.slot(i).shown) << i;
}

TEST_F(SidebarTest, PositionsBeyondTheTwentySlotsAreIgnored) {
  for (int i = 0; i < 22; ++i) add("DISK " + std::to_string(i));
  for (int i = 0; i < kSlotCount; ++i) {
    EXPECT_TRUE(bar_.slot(i).shown) << i;
    EXPECT_EQ(bar_.slot(i).name, "DISK " + std::to_string(i));
  }
  EXPECT_EQ(list_.topLevelCount(), 22) << "the list keeps them";
}

TEST_F(SidebarTest, TheMarkMovesWithThePageAndTheSettingsPageMarksSlotZero) {
  bar_.select(kNoPage, 0);
  bar_.select(0, 3);
  EXPECT_FALSE(bar_.slot(0).marked);
  EXPECT_TRUE(bar_.slot(3).marked);
  bar_.unmark(3);
  bar_.select(3, SETTINGS_PAGE);
  EXPECT_TRUE(bar_.slot(0).marked);
  EXPECT_FALSE(bar_.slot(3).marked);
  // Leaving the settings page for another slot leaves slot 0 unmarked.
  bar_.select(SETTINGS_PAGE, 2);
  EXPECT_FALSE(bar_.slot(0).marked);
  EXPECT_TRUE(bar_.slot(2).marked);
  bar_.setHovered(2, true);
  EXPECT_TRUE(bar_.slot(2).hovered);
  bar_.slotRemoved(2, 0);
  EXPECT_FALSE(bar_.slot(2).hovered) << "a hidden slot loses its hover marker";
}

}  // namespace
