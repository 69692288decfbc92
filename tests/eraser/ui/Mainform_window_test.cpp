// The main window on a real window (Wine under Xvfb), driven with synthetic input: the sidebar
// following notifications posted from another thread, a station's bays and the Start button, the
// settings page and a language change, the boot-drive refusal, start and cancel through the real
// dialogs, two erases where only the shown one reaches the page, closing while erasing. The tests
// leave screenshots in <build>/screenshots.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "Eraseutil.h"
#include "Eraseutil_progress.h"
#include "Eraseutil_worker.h"
#include "Frmlist.h"
#include "Frmmain.h"
#include "Frmuserdefine.h"
#include "Guiapplication.h"
#include "Guitestdriver.h"
#include "Guitimer.h"
#include "Logfolder.h"
#include "Product_scan.h"
#include "Simclock.h"
#include "Simmachine.h"
#include "Simulator.h"
#include "Textformatutil.h"
#include "Velmorademo.h"
#include "Winmsglistutil.h"

namespace {

// The live run of the station shown at a position, or null.
EraseRunHandle runAt(int32_t position) {
  const DiskRecord disk = mainDiskList().diskAt(position);
  return disk ? eraseRunOf(*disk) : nullptr;
}
bool running(int32_t position) {
  const EraseRunHandle run = runAt(position);
  return run && run->running();
}

using namespace testsupport;
constexpr uint64_t MiB = 1048576;

HWND windowOf(Form& form) { return static_cast<HWND>(form.handle()); }

Point centreOf(const Element* e) {
  const Rect r = e->formRect();
  return {r.left + r.width / 2, r.top + r.height / 2};
}

bool closeTo(Colour a, Colour b, int tolerance = 3) {
  return std::abs(redOf(a) - redOf(b)) <= tolerance && std::abs(greenOf(a) - greenOf(b)) <= tolerance &&
         std::abs(blueOf(a) - blueOf(b)) <= tolerance;
}

int countPixels(const DecodedImage& shot, const Rect& r, const std::function<bool(Colour)>& is) {
  int n = 0;
  for (int y = r.top; y < r.bottom(); ++y) {
    for (int x = r.left; x < r.right(); ++x) n += is(pixelAt(shot, x, y));
  }
  return n;
}
bool light(Colour c) { return redOf(c) > 200 && greenOf(c) > 200 && blueOf(c) > 200; }
bool dark(Colour c) { return redOf(c) < 110 && greenOf(c) < 110 && blueOf(c) < 110; }

bool samePixels(const DecodedImage& a, const DecodedImage& b, const Rect& r) {
  for (int y = r.top; y < r.bottom(); ++y) {
    for (int x = r.left; x < r.right(); ++x) {
      if (pixelAt(a, x, y) != pixelAt(b, x, y)) return false;
    }
  }
  return true;
}

// Acts as the user once the dialog is up. A timer looks for it, so the action also runs inside the
// modal loop that the click showing the dialog has entered.
class WhenShown {
 public:
  WhenShown(Form& dialog, std::function<void()> user) : user_(std::move(user)) {
    timer_.setInterval(20);
    timer_.setHandler([this, &dialog] {
      if (IsWindowVisible(windowOf(dialog)) == FALSE) return;
      timer_.setEnabled(false);
      pumpMessages(30);  // painted, as the user sees it
      user_();
      done_ = true;
    });
    timer_.setEnabled(true);
  }
  bool done() const { return done_; }

 private:
  Timer timer_;
  std::function<void()> user_;
  bool done_ = false;
};

DiskRecord handRecord(const std::string& identity) {
  auto disk = std::make_shared<DiskInfo>();
  disk->devicePath = "\\\\?\\hand#" + identity;
  disk->identityText = identity;
  disk->busType = 7;
  disk->diskLength = 1 << 30;
  return disk;
}

void addVolume(DiskInfo& disk, char letter, uint64_t total, uint64_t free) {
  VolumeRefresh v;
  v.driveLetter = letter;
  v.haveSizes = true;
  v.totalBytes = total;
  v.freeBytes = free;
  refreshVolume(disk, v);
}

// A plain disk listed under a name, as the sidebar shows it.
sim::DiskId namedDisk(const std::string& name, uint64_t length, sim::Backing backing) {
  const sim::DiskId disk = addPlainDisk(length, 512, backing);
  // Named on the window thread before it runs the posted notification that reads the name.
  mainDiskList().diskAt(mainDiskList().topLevelCount() - 1)->identityText = name;
  return disk;
}

// What the scan thread does: the notifications come from a thread that is not the window's.
void fromAnotherThread(const std::function<void()>& work) { std::thread(work).join(); }

class MainWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    resetMachine();
    // Progress and the window's timers run on real time, as in the program.
    simClockSetMode(SimClockMode::real);
    logs_ = std::make_unique<LogFolder>();
    FormMain = new TFormMain(TFormMain::Options{false});
    FormList = new TFormList();
    FormUserDefine = new TFormUserDefine();
    form_ = FormMain;
    application().setMainForm(form_);
    form_->show();
    mouseAway();
    ASSERT_TRUE(pumpUntil([this] { return form_->activated; }));
  }

  void TearDown() override {
    sim::setWriteHook(nullptr);
    stopEraseWorkers(10000);
    // A language test leaves the setting as the other tests expect it.
    if (std::string(currentLanguageCode()) != "ENG" && selectLanguageByCode("ENG")) storeLanguageSetting();
    application().setMainForm(nullptr);
    delete FormUserDefine;
    delete FormList;
    delete FormMain;
    FormUserDefine = nullptr;
    FormList = nullptr;
    pumpMessages(20);
    EXPECT_EQ(pendingWindowCalls(), 0) << "every posted call ran or was dropped";
    // A closed main window ended the message loop; the next test starts a new one.
    application().setTerminated(false);
    logs_.reset();
    resetMachine();
  }

  void clickOn(const Element* e) { click(*form_, centreOf(e)); }
  DecodedImage shot() { return captureWindow(form_->handle()); }

  // The shown page's Start button is on screen: its grey face.
  bool startOnScreen() {
    const Rect r = form_->startButton->formRect();
    return closeTo(pixelAt(shot(), r.left + 5, r.top + 5), rgb(0xCC, 0xCC, 0xCC));
  }

  // Confirms the next Start with the code the dialog shows, typed into its edit.
  std::unique_ptr<WhenShown> confirmNextStart() {
    return std::make_unique<WhenShown>(*FormList, [] {
      EXPECT_EQ(FormList->dialogMode, kDialogConfirm);
      typeText(*FormList->Edit_Chack, FormList->confirmationCode());
      click(*FormList, centreOf(FormList->ImgOk));
    });
  }

  TFormMain* form_ = nullptr;
  std::unique_ptr<LogFolder> logs_;
};

TEST_F(MainWindow, TheSidebarFollowsNotificationsFromAnotherThread) {
  // No disk yet and the scan says so: slot 0 reads "Disk" and the page shows the not-found state.
  fromAnotherThread([] { mainDiskList().notifyIfEmpty(); });
  ASSERT_TRUE(pumpUntil([this] { return form_->slots[0].hit->visible(); }));
  EXPECT_EQ(form_->slots[0].name->text(), u"Disk");
  EXPECT_EQ(form_->methodCaption->text(), u"HDD/SSD Not Found!");
  EXPECT_FALSE(form_->startButton->visible());
  pumpMessages(50);
  saveScreenshot(*form_, "main-empty");
  DecodedImage empty = shot();
  EXPECT_GT(countPixels(empty, form_->slots[0].name->formRect(), light), 10) << "the slot's name";
  EXPECT_GT(countPixels(empty, form_->methodCaption->formRect(), dark), 10) << "the not-found line";
  EXPECT_GT(countPixels(empty, form_->devicePicture->formRect(), [](Colour c) { return c != kWhite; }), 100)
      << "the not-found picture";

  // Names of 13 and 14 characters: the second is cut and still fits the sidebar.
  fromAnotherThread([] {
    mainDiskList().appendDisk(handRecord("ABCDEFGHIJKLM"));
    mainDiskList().appendDisk(handRecord("ABCDEFGHIJKLMN"));
  });
  ASSERT_TRUE(pumpUntil([this] { return form_->slots[1].hit->visible(); }));
  EXPECT_EQ(form_->slots[0].name->text(), u"ABCDEFGHIJKLM");
  EXPECT_EQ(form_->slots[1].name->text(), u"ABCDEFGHIJKLM...");
  EXPECT_LE(form_->slots[1].name->formRect().right(), 197);
  EXPECT_EQ(form_->methodCaption->text(), u"Erase Method") << "slot 0's page shows its disk at once";
  DecodedImage two = shot();
  for (int i : {0, 1}) EXPECT_GT(countPixels(two, form_->slots[size_t(i)].name->formRect(), light), 10) << i;

  // The shown slot's disk goes: slot 0's page comes back and slot 1 is empty on screen.
  clickOn(form_->slots[1].hit);
  EXPECT_EQ(shownPage, 1);
  const Rect slot1 = form_->slots[1].background->formRect();
  fromAnotherThread([] { mainDiskList().removeDisk(mainDiskList().diskAt(1)); });
  ASSERT_TRUE(pumpUntil([] { return shownPage == 0; }));
  EXPECT_FALSE(form_->slots[1].hit->visible());
  EXPECT_TRUE(form_->pagePanel(0)->visible());
  EXPECT_FALSE(form_->pagePanel(1)->visible());
  DecodedImage one = shot();
  EXPECT_EQ(countPixels(one, slot1, light), 0) << "nothing left of slot 1";
  EXPECT_TRUE(samePixels(one, two, form_->slots[0].background->formRect())) << "slot 0 marked as before";
}

TEST_F(MainWindow, AStationsBaysTickAndTheLanguageChangesOnScreen) {
  DemoMachine demo;
  ASSERT_TRUE(buildDemoMachine(DemoOptions{0}, &demo));
  fromAnotherThread([] { scanOnce(); });
  ASSERT_TRUE(pumpUntil([this] { return form_->slots[1].hit->visible(); }));
  ASSERT_EQ(mainDiskList().diskAt(0)->bayCount, 6);
  ASSERT_NE(form_->bayPictures[0], nullptr);

  // Bays 0-3 hold disks; 4 and 5 are greyed and ignore clicks.
  const DecodedImage before = shot();
  EXPECT_FALSE(startOnScreen()) << "no bay ticked";
  clickOn(form_->bayPictures[4]);
  EXPECT_EQ(baySelected[4], 0);
  for (int bay : {0, 1, 3}) clickOn(form_->bayPictures[size_t(bay)]);
  EXPECT_TRUE(startOnScreen());
  const DecodedImage ticked = shot();
  for (int bay = 0; bay < 6; ++bay) {
    const bool changed = bay == 0 || bay == 1 || bay == 3;
    EXPECT_EQ(!samePixels(before, ticked, form_->bayPictures[size_t(bay)]->formRect()), changed) << bay;
  }
  clickOn(form_->bayPictures[2]);
  mouseAway();
  saveScreenshot(*form_, "main-six-bay-eng");
  // The page canvas as the system draws it: the first volume's bar turns green where its free part
  // starts, and the table's outline closes below the last of the five volumes.
  const std::vector<VolumeRow> rows = volumeRows(mainDiskList().diskAt(0));
  ASSERT_EQ(rows.size(), 5u);
  const int green = kPageLeft + freeBarLeft(rows[0].totalBytes, rows[0].freeBytes);
  const DecodedImage page = shot();
  EXPECT_TRUE(closeTo(pixelAt(page, green, kPageTop + 295), rgb(0x33, 0xCC, 0x66)));
  EXPECT_TRUE(closeTo(pixelAt(page, green - 1, kPageTop + 295), rgb(0xCC, 0xCC, 0xCC)));
  EXPECT_TRUE(
      closeTo(pixelAt(page, kPageLeft + 5, kPageTop + volumeTableBottom(5) - 1), rgb(0x66, 0x66, 0x50)));

  // Another page and back: the ticks are gone, on screen as well.
  clickOn(form_->slots[1].hit);
  EXPECT_EQ(form_->pictureOf(form_->devicePicture), kPicStation2);
  EXPECT_FALSE(form_->bayPictures[2]->visible()) << "a two-bay station";
  EXPECT_FALSE(startOnScreen());
  clickOn(form_->slots[0].hit);
  for (int bay = 0; bay < kBays; ++bay) EXPECT_EQ(baySelected[bay], 0) << bay;
  EXPECT_FALSE(startOnScreen());
  mouseAway();
  EXPECT_TRUE(samePixels(before, shot(), form_->bayPictures[0]->formRect()));

  // The settings page: Traditional Chinese chosen in the language list, saved once.
  clickOn(form_->settingsButton);
  ASSERT_TRUE(form_->settingsPage->visible());
  EXPECT_EQ(form_->languageName->text(), u"English");
  mouseAway();
  saveScreenshot(*form_, "main-settings");
  EXPECT_GT(countPixels(shot(), form_->languageName->formRect(), dark), 10);
  const uint32_t saves = languageSettingSaves();
  WhenShown choose(*FormList, [] {
    EXPECT_EQ(FormList->rowCount(), 4);
    click(*FormList, centreOf(FormList->rowLabels[1]));
    click(*FormList, centreOf(FormList->ImgOk));
  });
  clickOn(form_->languageArrow);
  EXPECT_TRUE(choose.done());
  EXPECT_EQ(languageSettingSaves(), saves + 1);
  EXPECT_EQ(loadLanguageSetting(), "CHT") << "read back from the settings file";
  EXPECT_EQ(form_->languageName->text(), u"\u7E41\u9AD4\u4E2D\u6587");
  EXPECT_GT(countPixels(shot(), form_->languageName->formRect(), dark), 10) << "the Chinese name drawn";

  clickOn(form_->slots[0].hit);
  EXPECT_EQ(form_->methodCaption->text(), u"\u62B9\u9664\u65B9\u5F0F");
  for (int bay = 0; bay < 4; ++bay) clickOn(form_->bayPictures[size_t(bay)]);
  mouseAway();
  saveScreenshot(*form_, "main-six-bay-cht");
  EXPECT_GT(countPixels(shot(), form_->methodCaption->formRect(), dark), 10) << "the Chinese caption drawn";
  EXPECT_TRUE(startOnScreen());
}

TEST_F(MainWindow, TheBootDriveIsRefusedThenAnEraseStartsAndIsCancelled) {
  namedDisk("WINDOWS DISK", 8 * MiB, sim::Backing::memory);
  addVolume(*mainDiskList().diskAt(0), 'c', 4000, 1000);
  const sim::DiskId slow = namedDisk("SPARE DISK", 1024 * MiB, sim::Backing::discarding);
  // Slow enough to be looked at and cancelled while it runs.
  sim::setWriteHook([slow](sim::DiskId disk, uint64_t) {
    if (disk == slow) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  });
  ASSERT_TRUE(pumpUntil([this] { return form_->slots[1].hit->visible(); }));

  // The refusal comes as a message after the click's handler has returned.
  std::u16string message;
  WhenShown refuse(*FormList, [&] {
    EXPECT_EQ(FormList->dialogMode, kDialogMessage);
    message = FormList->rowLabels[0]->text();
    click(*FormList, centreOf(FormList->ImgOk));
  });
  ASSERT_TRUE(startOnScreen()) << "a disk outside a station";
  clickOn(form_->startButton);
  EXPECT_FALSE(refuse.done());
  ASSERT_TRUE(pumpUntil([&] { return refuse.done() && !FormList->visible(); }));
  EXPECT_EQ(message, u"Can not erase boot drive!");
  EXPECT_TRUE(liveEraseRuns().empty());
  EXPECT_TRUE(form_->Timer1.enabled());

  // The other disk: confirmed with the typed code, it runs and shows its progress.
  clickOn(form_->slots[1].hit);
  auto confirm = confirmNextStart();
  clickOn(form_->startButton);
  ASSERT_TRUE(confirm->done());
  ASSERT_TRUE(running(1));
  EXPECT_EQ(form_->lastStarted(), 1);
  EXPECT_TRUE(IsWindowVisible(static_cast<HWND>(form_->progressBar->handle())));
  ASSERT_TRUE(pumpUntil([this] { return form_->progressBar->position() > 0; }, 5000));
  mouseAway();
  saveScreenshot(*form_, "main-erasing");
  const DecodedImage erasing = shot();
  for (const Label* line : {form_->speedLine, form_->elapsedLine, form_->remainingLine, form_->percentLine}) {
    EXPECT_GT(countPixels(erasing, line->formRect(), dark), 10) << utf8FromUtf16(line->text());
  }
  EXPECT_EQ(form_->speedLine->text().rfind(u"Speed:", 0), 0u);

  // Start again: cancels at once, without a question.
  clickOn(form_->startButton);
  EXPECT_FALSE(running(1));
  EXPECT_FALSE(FormList->visible());
  EXPECT_FALSE(IsWindowVisible(static_cast<HWND>(form_->progressBar->handle())));
  EXPECT_TRUE(pumpUntil([] { return liveEraseRuns().empty(); }, 5000));
  EXPECT_NE(logs_->log("_Disk1.txt").find("Erase Cancel"), std::string::npos);
}

TEST_F(MainWindow, OnlyTheShownEraseReachesThePageAndClosingEndsBoth) {
  const sim::DiskId held = namedDisk("HELD DISK", 1024 * MiB, sim::Backing::discarding);
  namedDisk("RUNNING DISK", 1024 * MiB, sim::Backing::discarding);
  // Position 0 writes nothing until it is cancelled; position 1 goes on slowly.
  sim::setWriteHook([held](sim::DiskId disk, uint64_t) {
    if (disk != held) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      return;
    }
    while (running(0)) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  });
  ASSERT_TRUE(pumpUntil([this] { return form_->slots[1].hit->visible(); }));
  for (int slot : {0, 1}) {
    clickOn(form_->slots[size_t(slot)].hit);
    auto confirm = confirmNextStart();
    clickOn(form_->startButton);
    ASSERT_TRUE(confirm->done());
  }
  ASSERT_TRUE(running(0) && running(1));
  const uint64_t first = runAt(0)->id(), second = runAt(1)->id();
  ASSERT_TRUE(pumpUntil([this] { return form_->progressBar->position() > 0; }, 5000))
      << "page 1 shows its run";

  // Page 0: its lines start empty, and what position 1 keeps posting does not show there.
  clickOn(form_->slots[0].hit);
  EXPECT_TRUE(form_->percentLine->visible()) << "page 0 is being erased too";
  pumpMessages(1200);
  EXPECT_TRUE(form_->percentLine->text().empty() || form_->percentLine->text() == u"0.00%")
      << utf8FromUtf16(form_->percentLine->text());
  EXPECT_EQ(form_->progressBar->position(), 0);
  // Figures for both positions through the real queue: only page 0's own show.
  fromAnotherThread([first, second] {
    clErase job;
    job.rangeEnd = 1000;
    job.totalPasses = 1;
    job.percent = 30.0;
    publishProgress(first, job, 0, 1000, 0);
    job.percent = 75.0;
    publishProgress(second, job, 0, 1000, 0);
  });
  ASSERT_TRUE(pumpUntil([] { return pendingWindowCalls() == 0; }));
  EXPECT_EQ(form_->percentLine->text(), u"30.00%");

  // The close picture: both runs are cancelled and end before the window goes.
  const auto start = std::chrono::steady_clock::now();
  clickOn(form_->closeButton);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_FALSE(IsWindowVisible(windowOf(*form_)));
  EXPECT_TRUE(application().terminated()) << "the main window's close ends the program";
  EXPECT_TRUE(liveEraseRuns().empty());
  pumpMessages(20);
  delete FormMain;
  FormMain = nullptr;
  publishProgress(second, clErase(), 0, 1000, 0);
  EXPECT_EQ(pendingWindowCalls(), 0) << "nothing is posted for a window that is gone";
}

}  // namespace
