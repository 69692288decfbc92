// The eraser's main window (TFormMain): start-up, the frame and title area, the sidebar slots, page
// switching and drawing, the settings page, the disk page and the erase control.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <unordered_map>

#include "Eraseutil_progress.h"
#include "Eraseutil_worker.h"
#include "Formmainutil.h"
#include "Guicontrols.h"
#include "Guiform.h"
#include "Guinative.h"
#include "Guitimer.h"

// How the process entry uses it (Velmora.exe and its demo alike; the device layer is whichever side
// the program links, the window does not know which):
//
//   FormMain = new TFormMain();        // prepares the process, builds the window, starts the scan
//   application().setMainForm(FormMain);
//   FormList = new TFormList();
//   FormUserDefine = new TFormUserDefine();
//   FormMain->show();                  // centred on the screen; then the message loop
//
// Closing the window (its close picture, or a close request from the setup programs) cancels every
// erase and waits up to 10 s for the workers; the message loop then ends. Call stopDiskScan() before
// the process ends.
//
// Threads: the disk scan's notifications and the workers' progress reach the window only through
// calls posted to the window thread, in the order produced, never making the posting thread wait.
// Whatever is posted after the window is gone is dropped.
class TFormMain : public Form {
 public:
  struct Options {
    bool startScan = true;  // false: tests drive the scan (scanOnce) or feed the notifications
  };
  TFormMain();
  explicit TFormMain(const Options& options);
  ~TFormMain() override;

  // --- event handlers -------------------------------------------------------------------------------
  void FormCreate();
  void FormActivate();
  void FormClose();
  void Timer1Timer();
  void Timer_MessageTimer();

  // --- the disk scan's notifications, carried out on the window thread ----------------------------
  void diskAdded(int position);
  void slotRemoved(int slot);
  void noDisks();

  // --- pages --------------------------------------------------------------------------------------
  // A slot 0..19 or SETTINGS_PAGE.
  void selectPage(int32_t page);
  // Repaints the shown page from current data; nothing before the first activation.
  void drawPage(int32_t page);
  void slotClick(int slot);
  void settingsClick();

  // --- erase control and the settings page's language choice ---------------------------------------
  void chooseMethod();
  void toggleBay(int bay);
  void startOrCancel();
  void chooseLanguage();
  // The five progress values of a worker; shown only when its position is the page on show.
  void showProgress(uint64_t runId, const ProgressValues& values);

  // --- window actions -----------------------------------------------------------------------------
  void toggleMaximised();

  Timer Timer1;         // 1000 ms: redraws the shown page
  Timer Timer_Message;  // 40 ms, one-shot: shows the list dialog's pending message
  bool activated = false;

  // --- components (tests look at them) ------------------------------------------------------------
  struct SlotControls {
    Image* background = nullptr;
    Shape* separator = nullptr;
    Image* icon = nullptr;
    Image* marker = nullptr;
    Label* name = nullptr;
    Label* hit = nullptr;  // on top: takes the clicks and the hover
  };
  std::array<SlotControls, kSlotCount> slots{};
  std::array<Panel*, kSlotCount> slotPages{};
  Panel* settingsPage = nullptr;
  Image* pageCanvas = nullptr;

  Image* minimiseButton = nullptr;
  Image* maximiseButton = nullptr;
  Image* closeButton = nullptr;
  Image* settingsButton = nullptr;
  Image* grip = nullptr;
  Label* versionLabel = nullptr;

  Label* languageName = nullptr;  // settings page
  Image* languageArrow = nullptr;

  // The disk page's controls: shared by the 20 slot pages, built at the first disk page shown.
  Image* devicePicture = nullptr;
  Label* methodCaption = nullptr;
  Label* speedLine = nullptr;
  Label* elapsedLine = nullptr;
  Label* remainingLine = nullptr;
  Label* percentLine = nullptr;
  ProgressBar* progressBar = nullptr;
  Image* methodBox = nullptr;
  Image* startButton = nullptr;
  std::array<Image*, kBays> bayPictures{};  // built when a station page first needs them

  const Sidebar& sidebar() const { return sidebar_; }
  Panel* pagePanel(int32_t page) const;
  // The picture id an image shows (0 for none), as loaded through the window.
  int32_t pictureOf(const Image* image) const;
  // The page on which the window last started an erase, -1 for none.
  int32_t lastStarted() const { return lastStarted_; }

 private:
  void buildFrame();
  void buildSettingsPage();
  void buildSlots();
  void buildDiskControls();
  void buildBayPictures();
  Image* framePicture(int32_t id, Rect bounds, bool stretch, Anchors anchors);
  void addTitleActions(Element* element);
  void showPicture(Image* image, int32_t id);
  void applySlot(int slot);
  void applySlots();
  void setProgressVisible(bool visible);
  void clearProgress();
  void drawSettings();
  void drawDisk(int32_t position);
  void placeDiskControls(const DiskInfo* disk, const EraseRunHandle& run);
  void drawBays(const DiskInfo& disk, const EraseRun* run);
  // The disk of the shown page while the list still has it; else none.
  DiskRecord pageRecord() const;

  Options options_;
  Sidebar sidebar_;
  std::shared_ptr<TFormMain> self_;  // what posted calls hold weakly: gone with the window
  std::unordered_map<const Image*, int32_t> shownPictures_;
  std::array<bool, kBays> bayActive_{};  // bays that hold a disk react to clicks
  Point gripOrigin_;
  int32_t lastStarted_ = -1;
  DiskRecord shownRecord_;  // the disk of the shown page when it was selected
};

// The one main window of the program; made by the process entry, lives until the process ends.
extern TFormMain* FormMain;

// Posted calls the relay of the scan and the workers has made and that have not yet run or been
// dropped; 0 once the window thread has caught up.
int pendingWindowCalls();
