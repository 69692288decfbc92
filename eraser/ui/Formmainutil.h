// The main window's portable rules: window, page and slot geometry, the sidebar's slot states, the
// texts and drawing of the disk and settings pages, the erase targets with the boot-drive test and
// the Start button's state.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "Eraseutil_worker.h"
#include "Formlistutil.h"
#include "Guitypes.h"
#include "Product.h"

class CanvasBitmap;

// --- pages, window and slots ----------------------------------------------------------------------

constexpr int32_t SETTINGS_PAGE = 999;
constexpr int32_t kNoPage = -1;
constexpr int kSlotCount = kDiskSlots;

constexpr bool isSlotPage(int32_t page) { return page >= 0 && page < kSlotCount; }

// The client size at start, and the smallest the resize grip makes.
constexpr int kClientWidth = 780;
constexpr int kClientHeight = 550;
// Every page panel sits here, as wide as the title middle and as high as the sidebar picture.
constexpr int kPageLeft = 200;
constexpr int kPageTop = 80;
constexpr Size pageAreaSize(Size client) { return {client.width - 240, client.height - 110}; }
// The client size after the grip was dragged by delta.
Size gripResize(Size client, Point delta);

constexpr int kSlotPitch = 51;
constexpr int slotOffset(int slot) { return kSlotPitch * slot; }

constexpr int32_t kProductVersion = 10302;  // shown as 1.03.02
constexpr int kOutlineEllipse = 14;

// --- resource numbers -----------------------------------------------------------------------------

enum : int32_t {
  kPicLogo = 10000,
  kPicProductName = 10001,
  kPicMakerLogo = 10003,
  kPicPlate = 10004,
  kPicIcon = 10006,
  kPicSlotSelected = 10010,
  kPicSlotHover = 10017,
  kPicBayTicked = 10022,
  kPicBayEmpty = 10023,
  kPicDropDown = 10024,
  kPicBayGreyed = 10039,
  kPicSlotHdd = 10040,
  kPicSlotSsd = 10041,
  kPicSlotUsb = 10042,
  kPicTitleLeft = 11001,
  kPicSidebar = 11002,
  kPicBottomLeft = 11003,
  kPicTitleRight = 11004,
  kPicRightBand = 11005,
  kPicGrip = 11006,
  kPicTitleMiddle = 11007,
  kPicBottomMiddle = 11008,
  kPicMinimise = 12001,
  kPicMaximise = 12002,
  kPicClose = 12003,
  kPicSettings = 12009,
  kPicDeviceNone = 13006,
  kPicDeviceSsd = 13007,
  kPicDeviceHdd = 13008,
  kPicDeviceUsb = 13009,
  kPicStation6 = 13010,
  kPicStation2 = 13011,
};

enum : int32_t {
  kTextLanguageName = 1,
  kTextTotalSize = 3,
  kTextSerial = 6,
  kTextLogicalDisks = 7,
  kTextVolume = 8,  // 8 to 12: the column headers of the volume table
  kTextStart = 27,
  kTextVerificationError = 33,
  kTextNotFound = 46,
  kTextBootDrive = 47,
  kTextSpeed = 48,
  kTextRemaining = 49,
  kTextSpent = 50,
  kTextStopping = 54,      // the Start button while a cancelled run ends
  kTextDisksChanged = 55,  // a confirmed Start whose disks changed meanwhile
  kTextStartFailed = 56,   // a confirmed Start whose worker could not be made
};

// Single-byte text (identity, serial number, method names) as the elements show it.
std::u16string widen(std::string_view bytes);

// --- sidebar --------------------------------------------------------------------------------------

// The identity text as a slot shows it: more than 13 characters are cut to 13 and "...".
std::string slotName(std::string_view identity);
// USB, else solid state, else hard disk.
int32_t slotIcon(const DiskInfo& disk);

struct SlotState {
  bool shown = false;
  std::string name = "N/A";
  int32_t icon = kPicSlotHdd;
  bool marked = false;   // the selected background, and the arrow cursor instead of the hand
  bool hovered = false;  // the marker picture
};

// The 20 slots as the scan's notifications and the page switches leave them. The window mirrors
// each slot onto its controls after every change.
class Sidebar {
 public:
  Sidebar();  // all hidden, slot 0 marked

  const SlotState& slot(int i) const { return slots_[size_t(i)]; }

  // Shows the slot of position (none for 20 and beyond), then names every slot in use from the list.
  void diskAdded(int position, const DiskList& list);
  // Hides the slot. True when it was the shown page, which then has to become slot 0.
  bool slotRemoved(int slot, int32_t shownPage);
  // Only slot 0 stays, named "Disk".
  void noDisks();
  // The mark moves from the old page's slot to the new one's; the settings page marks slot 0.
  void select(int32_t oldPage, int32_t newPage);
  // The settings picture empties the shown slot's background before the switch.
  void unmark(int32_t page);
  void setHovered(int slot, bool hovered);

 private:
  void show(int slot);
  std::array<SlotState, kSlotCount> slots_{};
};

// --- erase control --------------------------------------------------------------------------------

// The window's own state: the shown page and its bay ticks. No erase run reads them; a run gets its
// disks when it starts (EraseRequest).
extern std::atomic<int32_t> shownPage;
extern std::atomic<uint8_t> baySelected[kBays];

using BayTicks = std::array<bool, kBays>;
// The ticks of the shown page as they are now.
BayTicks currentBayTicks();

// Shown for a disk outside a station; in a station only while one of its bays is ticked.
bool startButtonVisible(int32_t bayCount, const BayTicks& ticks);
// What the Start button says for the shown station: "Cancel" while its run goes on, "Stopping" while a
// cancelled run ends, else "Start".
enum class RunState : uint8_t { idle, erasing, ending };
constexpr int32_t startCaptionId(RunState state) {
  return state == RunState::erasing ? kTextCancel : state == RunState::ending ? kTextStopping : kTextStart;
}

// The disks a Start of this head would write: the head itself, and in a station every disk of the
// group whose bay is ticked.
std::vector<DiskRecord> eraseTargets(const DiskRecord& head, const BayTicks& ticks);
// True when a volume of any of the disks has the Windows drive letter (either case).
bool holdsBootDrive(const std::vector<DiskRecord>& disks, char windowsLetter);

// --- disk page ------------------------------------------------------------------------------------

// The picture of the disk's kind; the not-found picture for none.
int32_t devicePictureId(const DiskInfo* disk);

// "<caption>: 465.76 GB" from the unrounded size in MB, GB or TB.
std::u16string sizeLine(std::u16string_view caption, int64_t diskLength);
// "<caption>: <serial>".
std::u16string serialLine(std::u16string_view caption, std::string_view serial);

struct VolumeRow {
  std::u16string volume;  // "e:\", or "(2) e:\" for a disk in a station bay
  std::u16string label;
  std::u16string fileSystem;
  std::u16string capacity;
  std::u16string free;
  uint64_t totalBytes = 0;
  uint64_t freeBytes = 0;
};
// The volumes of the head's group, disk by disk in group order.
std::vector<VolumeRow> volumeRows(const DiskRecord& head);

constexpr int kVolumeTableTop = 265;
constexpr int kVolumeTableWidth = 530;
constexpr int kVolumeRowHeight = 20;
constexpr int volumeTableBottom(int rows) { return 285 + kVolumeRowHeight * rows; }
// Where the green (free) part of a volume's bar starts; the bar's right end (530, no green) when the
// volume has no size.
int freeBarLeft(uint64_t totalBytes, uint64_t freeBytes);

// Everything the page canvas shows of a disk; the controls on it are placed by the window.
struct DiskPageDrawing {
  std::u16string title;  // the kind of disk
  int32_t bayCount = 0;
  std::u16string serial;  // the serial line, empty for none
  std::u16string size;    // the size line, empty for none
  std::u16string tableCaption;
  std::array<std::u16string, 5> headers;
  std::vector<VolumeRow> rows;
};
DiskPageDrawing diskPageDrawing(const DiskRecord& head);

// Draws the page's lines, title, bay numbers, serial and size lines and the volume table on a white
// canvas of the page's size. Texts in "Arial" with the character set.
void drawDiskPage(CanvasBitmap& canvas, const DiskPageDrawing& page, uint8_t charset);

// The method box and the Start button: grey with an outline and the text centred.
constexpr Size kMethodBoxSize{200, 30};
constexpr Size kStartButtonSize{100, 30};
void drawCaptionBox(CanvasBitmap& canvas, std::u16string_view text, uint8_t charset);

// Fixed places of the disk page's controls.
constexpr int kMethodCaptionMinWidth = 104;
constexpr Point kDevicePicturePlace{35, 41};
constexpr Point kNotFoundPicturePlace{100, 140};
constexpr Point bayPicturePlace(int bay) { return {230 + 40 * bay, 42}; }
constexpr Point methodBoxPlace(int captionLeft, int captionWidth) {
  return {captionLeft + (captionWidth > kMethodCaptionMinWidth ? captionWidth : kMethodCaptionMinWidth) + 10,
          95};
}
constexpr Point startButtonPlace(Size page) { return {page.width - 100, page.height - 30}; }
constexpr Point percentLinePlace(Size page) { return {page.width - 170, page.height - 22}; }
constexpr Rect progressBarBounds(Size page) { return {0, page.height - 22, page.width - 180, 22}; }

// --- settings page --------------------------------------------------------------------------------

// Draws "Language" and the outline of the language box; gives the left edges of the language name
// and of the arrow inside the box.
struct SettingsPlaces {
  int nameLeft = 0;
  int arrowLeft = 0;
};
SettingsPlaces drawSettingsPage(CanvasBitmap& canvas, std::u16string_view languageCaption, uint8_t charset);

// --- the system, as the window needs it: the Windows side, or stand-ins without Windows ----------

// Before the window is built: critical errors without a system message box, the process's
// privileges, the Windows version and the optional system functions, the application folders.
void prepareEraserProcess();
// The title of the application window ("TApplication"), by which the setup programs find us.
void setApplicationTitle(std::u16string_view title);
// Any thread: the call runs later on the window thread, in posting order; never waits.
void postToWindow(std::function<void()> call);
// Window thread: runs what has been posted (the message loop does it by itself on Windows).
void runPostedToWindow();
void minimiseApplication();
// The drive letter of the Windows folder, upper case; 0 when unknown ('C' without Windows).
char windowsFolderLetter();
// The saved language code, empty for none; saving stores the current language's code. Without
// Windows the value lives in memory.
std::string loadLanguageSetting();
void storeLanguageSetting();
uint32_t languageSettingSaves();  // how often storeLanguageSetting ran
