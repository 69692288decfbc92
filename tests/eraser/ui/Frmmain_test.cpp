// The main window on the headless side: the sidebar following the disk list's notifications, page
// switches, the settings page and the language choice, the disk page's controls and drawing, the
// Start button, the boot-drive refusal, start and cancel, progress of two erases, closing while
// erasing.
#include "Frmmain.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include "Eraseutil.h"
#include "Eraseutil_progress.h"
#include "Eraseutil_worker.h"
#include "Frmlist.h"
#include "Frmuserdefine.h"
#include "Guiheadless.h"
#include "Guipaint.h"
#include "Logfolder.h"
#include "Simmachine.h"
#include "Simulator.h"
#include "Winmsglistutil.h"

namespace {

using namespace testsupport;
constexpr uint64_t MiB = 1048576;

std::vector<uint8_t> fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// The eraser's raw-data pictures, as its .rc carries them.
void providePictures() {
  std::ifstream table(VELMORA_SOURCE_DIR "/eraser/resources/pictures.tsv");
  std::string line;
  while (std::getline(table, line)) {
    if (line.empty() || line[0] < '0' || line[0] > '9') continue;
    std::istringstream fields(line);
    std::string id, kind, width, height, programs, source, file;
    std::getline(fields, id, '\t');
    std::getline(fields, kind, '\t');
    for (std::string* f : {&width, &height, &programs, &source, &file}) std::getline(fields, *f, '\t');
    if (kind == "rcdata") {
      setHeadlessResource(ResourceType::rcdata, std::stoi(id), fileBytes(VELMORA_SOURCE_DIR "/" + file));
    }
  }
}

void loadLanguages(const char* code) {
  static const std::pair<uint32_t, const char*> files[] = {
      {21000, "ENG"}, {21001, "CHT"}, {21002, "CHS"}, {21006, "DEU"}};
  static std::map<uint32_t, std::vector<uint8_t>> bytes;
  for (const auto& [id, name] : files)
    bytes[id] = fileBytes(std::string(MAINFORM_LANG_DIR "/") + name + ".lang");
  ASSERT_TRUE(createLanguageTables(
      [](uint32_t id) {
        auto it = bytes.find(id);
        return it != bytes.end() ? std::span<const uint8_t>(it->second) : std::span<const uint8_t>();
      },
      code));
}

Point centreOf(const Element* e) {
  const Rect r = e->formRect();
  return {r.left + r.width / 2, r.top + r.height / 2};
}

void click(Form& form, const Element* e) {
  const Point at = centreOf(e);
  form.mouse().move(at, 0);
  form.mouse().press(MouseButton::left, at, shiftLeft, false);
  form.mouse().release(MouseButton::left, at, 0);
  runHeadlessPending();
}

DiskRecord handRecord(const std::string& identity, int64_t length = 1 << 30) {
  auto disk = std::make_shared<DiskInfo>();
  disk->devicePath = "\\\\?\\hand#" + identity;
  disk->identityText = identity;
  disk->busType = 7;
  disk->diskLength = length;
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

class MainForm : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { providePictures(); }

  void SetUp() override {
    resetMachine();
    FormMain = new TFormMain(TFormMain::Options{false});
    FormList = new TFormList();
    FormUserDefine = new TFormUserDefine();
    loadLanguages("ENG");
    FormMain->FormActivate();
    form_ = FormMain;
  }

  void TearDown() override {
    setHeadlessModalHandler(nullptr);
    sim::setWriteHook(nullptr);
    stopEraseWorkers(10000);
    delete FormUserDefine;
    delete FormList;
    delete FormMain;
    runPostedToWindow();
    EXPECT_EQ(pendingWindowCalls(), 0) << "every posted call ran or was dropped";
    destroyLanguageTables();
    resetMachine();
  }

  // What the scan thread would have had delivered by now.
  void deliver() { runPostedToWindow(); }

  // While the dialog is shown modally, the handler acts as the user.
  void whileModal(std::function<void(Form&)> user) { setHeadlessModalHandler(std::move(user)); }

  // Types the shown code and presses OK.
  void confirmCorrectly() {
    whileModal([](Form& f) {
      if (&f != FormList) return;
      EXPECT_EQ(FormList->dialogMode, kDialogConfirm);
      FormList->Edit_Chack->setText(FormList->confirmationCode());
      FormList->ImgOkClick();
    });
  }

  // Writes to the simulated disks go on only while the test lets them, or once their run is
  // cancelled: workers stay alive as long as a test needs them.
  void holdWrites() {
    sim::setWriteHook([this](sim::DiskId, uint64_t) {
      while (holding_ && anyRunning()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
  }
  static bool anyRunning() {
    for (const EraseRunHandle& run : liveEraseRuns())
      if (run->running()) return true;
    return false;
  }
  // The live run of the station shown at a position, or null.
  static EraseRunHandle runAt(int32_t position) {
    const DiskRecord disk = mainDiskList().diskAt(position);
    return disk ? eraseRunOf(*disk) : nullptr;
  }
  static bool running(int32_t position) {
    const EraseRunHandle run = runAt(position);
    return run && run->running();
  }
  static bool waitUntil(const std::function<bool()>& condition) {
    for (int i = 0; i < 5000 && !condition(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return condition();
  }

  TFormMain* form_ = nullptr;
  std::atomic<bool> holding_{true};
};

TEST_F(MainForm, SidebarSlotsFollowTheDiskListNotifications) {
  for (int i = 0; i < kSlotCount; ++i) EXPECT_FALSE(form_->slots[size_t(i)].hit->visible()) << i;
  EXPECT_EQ(shownPage, 0);

  mainDiskList().appendDisk(handRecord("ABCDEFGHIJKLM"));
  DiskRecord second = handRecord("ABCDEFGHIJKLMN");
  second->busType = 11;
  second->rotationRate = 1;
  mainDiskList().appendDisk(second);
  EXPECT_FALSE(form_->slots[0].hit->visible()) << "nothing changes before the window thread runs the calls";
  deliver();
  EXPECT_EQ(form_->slots[0].name->text(), u"ABCDEFGHIJKLM");
  EXPECT_EQ(form_->slots[1].name->text(), u"ABCDEFGHIJKLM...");
  EXPECT_EQ(form_->pictureOf(form_->slots[0].icon), kPicSlotUsb);
  EXPECT_EQ(form_->pictureOf(form_->slots[1].icon), kPicSlotSsd);
  EXPECT_EQ(form_->pictureOf(form_->slots[0].background), kPicSlotSelected);
  EXPECT_EQ(form_->slots[0].hit->cursor(), Cursor::standard);
  EXPECT_EQ(form_->slots[1].hit->cursor(), Cursor::hand);

  // Hovering marks the slot.
  form_->mouse().move(centreOf(form_->slots[1].hit), 0);
  EXPECT_EQ(form_->pictureOf(form_->slots[1].marker), kPicSlotHover);
  form_->mouse().move({500, 300}, 0);
  EXPECT_EQ(form_->pictureOf(form_->slots[1].marker), 0);

  // The shown slot's disk goes: its slot hides and slot 0's page is shown.
  click(*form_, form_->slots[1].hit);
  EXPECT_EQ(shownPage, 1);
  mainDiskList().removeDisk(second);
  deliver();
  EXPECT_EQ(shownPage, 0);
  EXPECT_FALSE(form_->slots[1].hit->visible());
  EXPECT_EQ(form_->pictureOf(form_->slots[0].background), kPicSlotSelected);
  EXPECT_EQ(form_->pictureOf(form_->slots[1].background), 0);

  // No disks at all: slot 0 reads "Disk" and its page shows the not-found state.
  mainDiskList().clearDisks();
  mainDiskList().notifyIfEmpty();
  deliver();
  EXPECT_TRUE(form_->slots[0].hit->visible());
  EXPECT_EQ(form_->slots[0].name->text(), u"Disk");
  form_->drawPage(0);
  EXPECT_EQ(form_->pictureOf(form_->devicePicture), kPicDeviceNone);
  EXPECT_EQ(form_->devicePicture->bounds(), (Rect{100, 140, 152, 152}));
  EXPECT_EQ(form_->methodCaption->text(), u"HDD/SSD Not Found!");
  EXPECT_EQ(form_->methodCaption->top(), 180);
  EXPECT_FALSE(form_->methodBox->visible());
  EXPECT_FALSE(form_->startButton->visible());

  // More disks than slots: twenty slots, the rest stay listed.
  for (int i = 0; i < 22; ++i) mainDiskList().appendDisk(handRecord("DISK " + std::to_string(i)));
  deliver();
  for (int i = 0; i < kSlotCount; ++i) {
    EXPECT_TRUE(form_->slots[size_t(i)].hit->visible()) << i;
    EXPECT_EQ(form_->slots[size_t(i)].name->text(), u"DISK " + widen(std::to_string(i)));
  }
  EXPECT_EQ(mainDiskList().topLevelCount(), 22);
}

TEST_F(MainForm, StationBaysTickAndPageSwitchesClearTheTicks) {
  addStation(sim::StationModel::sywl, {{1, 8 * MiB}, {4, 8 * MiB}});
  addPlainDisk(8 * MiB);
  deliver();
  form_->drawPage(0);
  ASSERT_NE(form_->bayPictures[0], nullptr);
  const int32_t expected[] = {kPicBayGreyed, kPicBayEmpty, kPicBayGreyed,
                              kPicBayGreyed, kPicBayEmpty, kPicBayGreyed};
  for (int i = 0; i < kBays; ++i) {
    EXPECT_TRUE(form_->bayPictures[size_t(i)]->visible()) << i;
    EXPECT_EQ(form_->pictureOf(form_->bayPictures[size_t(i)]), expected[i]) << i;
  }
  EXPECT_EQ(form_->pictureOf(form_->devicePicture), kPicStation6);
  EXPECT_FALSE(form_->startButton->visible()) << "no bay ticked";

  click(*form_, form_->bayPictures[0]);  // greyed: no disk there
  EXPECT_EQ(baySelected[0], 0);
  click(*form_, form_->bayPictures[4]);
  EXPECT_EQ(baySelected[4], 1);
  EXPECT_EQ(form_->pictureOf(form_->bayPictures[4]), kPicBayTicked);
  EXPECT_TRUE(form_->startButton->visible());
  click(*form_, form_->bayPictures[4]);
  EXPECT_EQ(form_->pictureOf(form_->bayPictures[4]), kPicBayEmpty);
  EXPECT_FALSE(form_->startButton->visible()) << "the only tick cleared";
  click(*form_, form_->bayPictures[1]);
  form_->drawPage(0);
  EXPECT_TRUE(form_->startButton->visible()) << "the redraw agrees";

  // Another page and back: the ticks are gone.
  click(*form_, form_->slots[1].hit);
  EXPECT_EQ(shownPage, 1);
  EXPECT_EQ(baySelected[1], 0);
  EXPECT_FALSE(form_->bayPictures[1]->visible()) << "a plain disk has no bays";
  EXPECT_TRUE(form_->startButton->visible()) << "a plain disk can be started";
  EXPECT_EQ(form_->bayPictures[1]->parent(), form_->pagePanel(1)) << "the shared controls moved along";
  click(*form_, form_->slots[0].hit);
  EXPECT_EQ(form_->pictureOf(form_->bayPictures[1]), kPicBayEmpty);
  EXPECT_FALSE(form_->startButton->visible());
}

TEST_F(MainForm, SettingsPageChoosesAndSavesTheLanguageOncePerChoice) {
  click(*form_, form_->settingsButton);
  EXPECT_EQ(shownPage, SETTINGS_PAGE);
  EXPECT_TRUE(form_->settingsPage->visible());
  EXPECT_FALSE(form_->pagePanel(0)->visible());
  EXPECT_EQ(form_->pictureOf(form_->slots[0].background), kPicSlotSelected) << "slot 0 carries the mark";
  EXPECT_EQ(form_->languageName->text(), u"English");
  // "Language" measures 8 x 6 pixels on the headless side: the box starts at 48 + 45.
  EXPECT_EQ(form_->languageName->left(), 48 + 47);
  EXPECT_EQ(form_->languageArrow->left(), 48 + 226);
  EXPECT_EQ(form_->pageCanvas->canvas().pixel(48 + 45, 30), rgb(0x66, 0x66, 0x66)) << "the box outline";

  const uint32_t saves = languageSettingSaves();
  whileModal([](Form& f) {
    if (&f != FormList) return;
    ASSERT_EQ(FormList->rowCount(), 4);
    FormList->rowClick(1);  // Traditional Chinese
    FormList->ImgOkClick();
  });
  click(*form_, form_->languageArrow);
  EXPECT_EQ(languageSettingSaves(), saves + 1);
  EXPECT_EQ(loadLanguageSetting(), "CHT");
  EXPECT_EQ(form_->languageName->text(), u"\u7E41\u9AD4\u4E2D\u6587");
  EXPECT_EQ(form_->font().charset, languageCharset());
  EXPECT_NE(languageCharset(), kDefaultCharset);

  // The same language again is still saved; Cancel saves nothing.
  click(*form_, form_->languageArrow);
  EXPECT_EQ(languageSettingSaves(), saves + 2);
  whileModal([](Form& f) {
    if (&f == FormList) FormList->ImgCancelClick();
  });
  click(*form_, form_->languageArrow);
  EXPECT_EQ(languageSettingSaves(), saves + 2);
  EXPECT_TRUE(form_->Timer1.enabled()) << "on again after the dialog";

  // Slot 0 from the settings page shows its disk page.
  mainDiskList().appendDisk(handRecord("DISK"));
  deliver();
  click(*form_, form_->slots[0].hit);
  EXPECT_EQ(shownPage, 0);
  EXPECT_FALSE(form_->settingsPage->visible());
  EXPECT_EQ(form_->methodCaption->text(), u"\u62B9\u9664\u65B9\u5F0F");
}

TEST_F(MainForm, DiskPageControlsAndDrawing) {
  DiskRecord disk = handRecord("WD BLUE", 500107862016);
  disk->serialNumber = "WD-1234";
  for (char letter : {'e', 'f', 'g', 'h'}) addVolume(*disk, letter, 4000, 1000);
  mainDiskList().appendDisk(disk);
  deliver();
  form_->drawPage(0);

  const Size page = pageAreaSize({kClientWidth, kClientHeight});
  EXPECT_EQ(form_->pagePanel(0)->bounds(), (Rect{200, 80, 540, 440}));
  EXPECT_EQ(form_->pageCanvas->parent(), form_->pagePanel(0));
  EXPECT_EQ(form_->pageCanvas->canvas().width(), page.width);
  EXPECT_EQ(form_->pictureOf(form_->devicePicture), kPicDeviceHdd);
  EXPECT_EQ(form_->devicePicture->bounds(), (Rect{35, 41, 152, 152}));
  EXPECT_EQ(form_->methodCaption->text(), u"Erase Method");
  EXPECT_EQ(form_->methodCaption->left(), 215);
  EXPECT_EQ(form_->methodCaption->top(), 100);
  EXPECT_EQ(form_->methodBox->bounds(),
            (Rect{215 + std::max(form_->methodCaption->width(), 104) + 10, 95, 200, 30}));
  EXPECT_EQ(form_->startButton->bounds(), (Rect{440, 410, 100, 30}));
  EXPECT_TRUE(form_->startButton->visible());
  EXPECT_EQ(form_->percentLine->left(), 370);
  EXPECT_EQ(form_->percentLine->top(), 418);
  EXPECT_EQ(form_->progressBar->bounds(), (Rect{0, 418, 360, 22}));
  for (Element* e : std::vector<Element*>{form_->speedLine, form_->elapsedLine, form_->remainingLine,
                                          form_->percentLine, form_->progressBar}) {
    EXPECT_FALSE(e->visible()) << "no erase running";
  }
  const DiskPageDrawing drawing = diskPageDrawing(disk);
  EXPECT_EQ(drawing.size, u"Total Size: 465.76 GB");
  EXPECT_EQ(drawing.serial, u"Serial number: WD-1234");
  EXPECT_EQ(drawing.title, u"HDD");

  // Four volumes: the table's outline ends above 365; each bar turns green at 504 (25 % free).
  CanvasBitmap& canvas = form_->pageCanvas->canvas();
  const Colour pen = rgb(0x66, 0x66, 0x50);
  EXPECT_EQ(canvas.pixel(5, 364), pen);
  EXPECT_EQ(canvas.pixel(5, 365), kWhite);
  EXPECT_EQ(canvas.pixel(503, 295), rgb(0xCC, 0xCC, 0xCC));
  EXPECT_EQ(canvas.pixel(504, 295), rgb(0x33, 0xCC, 0x66));

  // The method box shows its grey face; a larger window moves the Start button with the corner.
  EXPECT_EQ(form_->methodBox->canvas().pixel(5, 5), rgb(0xCC, 0xCC, 0xCC));
  form_->setClientSize(900, 600);
  EXPECT_EQ(form_->startButton->bounds(), (Rect{900 - 240 - 100, 600 - 110 - 30, 100, 30}));
  EXPECT_EQ(form_->progressBar->width(), 900 - 240 - 180);
}

TEST_F(MainForm, TheBootDriveIsRefusedOnEveryDiskTheStartWouldWrite) {
  addPlainDisk(8 * MiB);
  addVolume(*mainDiskList().diskAt(0), 'c', 4000, 1000);
  deliver();
  form_->drawPage(0);
  std::vector<std::u16string> messages;
  std::vector<int32_t> modes;
  whileModal([&](Form& f) {
    if (&f != FormList) return;
    modes.push_back(FormList->dialogMode);
    if (FormList->dialogMode == kDialogMessage) messages.push_back(FormList->rowLabels[0]->text());
    FormList->ImgCancelClick();
  });
  click(*form_, form_->startButton);
  EXPECT_TRUE(modes.empty()) << "the message waits until the click's handler has returned";
  EXPECT_TRUE(form_->Timer_Message.enabled());
  form_->Timer_Message.fire();
  EXPECT_FALSE(form_->Timer_Message.enabled()) << "one-shot";
  EXPECT_EQ(messages, std::vector<std::u16string>{u"Can not erase boot drive!"});
  EXPECT_TRUE(form_->Timer1.enabled());
  EXPECT_TRUE(liveEraseRuns().empty());

  // A station: the Windows volume on the disk of bay 3.
  const SimStation s = addStation(sim::StationModel::sywl, {{0, 8 * MiB}, {3, 8 * MiB}});
  addVolume(*groupOrder(s.head)[1], 'c', 4000, 1000);
  deliver();
  click(*form_, form_->slots[1].hit);
  click(*form_, form_->bayPictures[3]);
  click(*form_, form_->startButton);
  form_->Timer_Message.fire();
  EXPECT_EQ(messages.size(), 2u);
  // Only bay 0 ticked: on to the confirmation, cancelled there.
  click(*form_, form_->bayPictures[3]);
  click(*form_, form_->bayPictures[0]);
  modes.clear();
  click(*form_, form_->startButton);
  EXPECT_EQ(modes, std::vector<int32_t>{kDialogConfirm});
  EXPECT_FALSE(form_->Timer_Message.enabled());
  EXPECT_TRUE(liveEraseRuns().empty());

  // A wrong code (a blank added) is reported and starts nothing.
  whileModal([&](Form& f) {
    if (&f != FormList) return;
    if (FormList->dialogMode == kDialogConfirm) {
      FormList->Edit_Chack->setText(FormList->confirmationCode() + u" ");
      FormList->ImgOkClick();
    } else {
      messages.push_back(FormList->rowLabels[0]->text());
      FormList->ImgOkClick();
    }
  });
  click(*form_, form_->startButton);
  form_->Timer_Message.fire();
  EXPECT_EQ(messages.back(), u"Verification Error");
  EXPECT_TRUE(liveEraseRuns().empty());
}

TEST_F(MainForm, StartThenCancelAtOnce) {
  addPlainDisk(256 * MiB, 512, sim::Backing::discarding);
  deliver();
  form_->drawPage(0);
  holdWrites();
  confirmCorrectly();
  click(*form_, form_->startButton);
  EXPECT_EQ(form_->lastStarted(), 0);
  EXPECT_TRUE(running(0));
  EXPECT_TRUE(form_->progressBar->visible());
  EXPECT_TRUE(form_->percentLine->visible());
  // Start again while it runs: cancels, without a question.
  bool asked = false;
  whileModal([&](Form&) { asked = true; });
  click(*form_, form_->startButton);
  EXPECT_FALSE(asked);
  EXPECT_FALSE(running(0));
  EXPECT_FALSE(form_->progressBar->visible());
  // While the cancelled worker is still ending, the page says so and Start starts nothing.
  if (runAt(0)) {
    EXPECT_TRUE(form_->startButton->visible());
    click(*form_, form_->startButton);
    EXPECT_FALSE(asked);
  }
  EXPECT_TRUE(waitUntil([] { return liveEraseRuns().empty(); }));
}

TEST_F(MainForm, TheMethodBoxChoosesTheMethodAndTheUserDefinedPattern) {
  mainDiskList().appendDisk(handRecord("DISK"));
  deliver();
  whileModal([](Form& f) {
    if (&f == FormList) {
      FormList->rowClick(kMethodUserDefined - 1);
      FormList->ImgOkClick();
    } else if (&f == FormUserDefine) {
      FormUserDefine->ComboBox1->setItemIndex(1);
      FormUserDefine->ComboBox2->setItemIndex(256);
      FormUserDefine->ComboBox4->setItemIndex(0x56);
      FormUserDefine->Image_Button1Click();
    }
  });
  click(*form_, form_->methodBox);
  EXPECT_EQ(selectedMethod, kMethodUserDefined);
  EXPECT_EQ(loadUserPattern(), (UserPattern{1, 256, 0, 86}));
  // OK without a row leaves the method as it was.
  whileModal([](Form& f) {
    if (&f == FormList) FormList->ImgOkClick();
  });
  click(*form_, form_->methodBox);
  EXPECT_EQ(selectedMethod, kMethodUserDefined);
}

TEST_F(MainForm, OnlyTheShownPositionsProgressReachesThePage) {
  addPlainDisk(256 * MiB, 512, sim::Backing::discarding);
  addPlainDisk(256 * MiB, 512, sim::Backing::discarding);
  deliver();
  holdWrites();
  confirmCorrectly();
  form_->drawPage(0);
  click(*form_, form_->startButton);
  click(*form_, form_->slots[1].hit);
  click(*form_, form_->startButton);
  ASSERT_TRUE(running(0));
  ASSERT_TRUE(running(1));
  EXPECT_EQ(form_->percentLine->text(), u"") << "the lines start empty";
  EXPECT_EQ(shownEraseRun, runAt(1)->id()) << "only the shown run publishes";

  // Both workers hand in figures at once; page 1 is on show.
  auto publish = [](int32_t position, double percent) {
    clErase job;
    job.rangeEnd = 1000;
    job.percent = percent;
    job.totalPasses = 1;
    publishProgress(runAt(position)->id(), job, 0, 1000, 0);
  };
  std::thread a(publish, 0, 25.0), b(publish, 1, 50.0);
  a.join();
  b.join();
  deliver();
  EXPECT_EQ(form_->percentLine->text(), u"50.00%");
  EXPECT_EQ(form_->progressBar->position(), 5000);
  EXPECT_EQ(form_->speedLine->text().rfind(u"Speed:", 0), 0u);

  // Figures posted before a switch to page 0 do not show there.
  publish(1, 75.0);
  click(*form_, form_->slots[0].hit);
  deliver();
  EXPECT_EQ(form_->percentLine->text(), u"");
  EXPECT_TRUE(form_->percentLine->visible()) << "page 0 is being erased too";
  publish(0, 30.0);
  deliver();
  EXPECT_EQ(form_->percentLine->text(), u"30.00%");
}

TEST_F(MainForm, ClosingWhileErasingWaitsForTheWorkersAndDropsWhatTheyPostLater) {
  addPlainDisk(1024 * MiB, 512, sim::Backing::discarding);
  addPlainDisk(1024 * MiB, 512, sim::Backing::discarding);
  deliver();
  holdWrites();
  confirmCorrectly();
  form_->drawPage(0);
  click(*form_, form_->startButton);
  click(*form_, form_->slots[1].hit);
  click(*form_, form_->startButton);
  ASSERT_TRUE(runAt(0) && runAt(1));
  const uint64_t second = runAt(1)->id();

  // A thread keeps posting progress and scan news while the window closes and goes.
  std::atomic<bool> posting{true};
  std::thread poster([&] {
    clErase job;
    job.rangeEnd = 1000;
    job.totalPasses = 1;
    while (posting) {
      publishProgress(second, job, 0, 1000, 0);
      DiskRecord passing = handRecord("PASSING");
      mainDiskList().appendDisk(passing);
      mainDiskList().removeDisk(passing);
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  });
  const auto start = std::chrono::steady_clock::now();
  form_->close();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_TRUE(liveEraseRuns().empty()) << "both workers ended before the window went";
  runPostedToWindow();
  delete FormMain;  // the window goes while the thread still posts
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  posting = false;
  poster.join();
  runPostedToWindow();
  EXPECT_EQ(pendingWindowCalls(), 0);
  publishProgress(second, clErase(), 0, 1000, 0);
  EXPECT_EQ(pendingWindowCalls(), 0) << "nothing is posted for a window that is gone";
}

// --- a run owns its station -------------------------------------------------------------------------

bool wholeOnce(sim::DiskId disk) {
  const uint64_t length = sim::diskSpec(disk).length;
  // A mirror target also receives the marks its check looks for (18 blocks of 4 KiB at most).
  return sim::coverage(disk) == std::vector<sim::ByteRange>{{0, length}} && sim::bytesWritten(disk) >= length &&
         sim::bytesWritten(disk) <= length + 18 * 4096;
}

std::string lastLine(const std::string& log) {
  if (log.size() < 2) return "";
  const size_t start = log.rfind("\r\n", log.size() - 3);
  return log.substr(start == std::string::npos ? 0 : start + 2, log.size() - 2 - (start == std::string::npos ? 0 : start + 2));
}

TEST_F(MainForm, TicksOnAnotherStationsPageNeverReachARunningErase) {
  LogFolder folder;
  const SimStation a = addStation(sim::StationModel::sywl, {{0, 4 * MiB}, {1, 4 * MiB}, {2, 4 * MiB}, {3, 4 * MiB}}, 100);
  const SimStation b = addStation(sim::StationModel::sywl, {{2, 3 * MiB}, {3, 3 * MiB}}, 200);
  deliver();
  form_->drawPage(0);
  holdWrites();
  confirmCorrectly();
  click(*form_, form_->bayPictures[0]);
  click(*form_, form_->bayPictures[1]);
  click(*form_, form_->startButton);
  ASSERT_TRUE(running(0));
  // The page switch clears the ticks; B's bays 2 and 3 ticked on B's page.
  click(*form_, form_->slots[1].hit);
  click(*form_, form_->bayPictures[2]);
  click(*form_, form_->bayPictures[3]);
  EXPECT_FALSE(running(1));
  holding_ = false;
  ASSERT_TRUE(waitUntil([] { return liveEraseRuns().empty(); }));
  for (int i : {0, 1}) {
    EXPECT_TRUE(wholeOnce(a.disks[size_t(i)])) << "bay " << i;
    EXPECT_EQ(lastLine(folder.log("_Disk" + std::to_string(i + 1) + ".txt")), "Erase Success") << "bay " << i;
  }
  for (sim::DiskId d : {a.disks[2], a.disks[3], b.disks[0], b.disks[1]}) EXPECT_EQ(sim::bytesWritten(d), 0u);
  EXPECT_EQ(folder.logs().size(), 2u) << "logs for A's ticked disks only";

  // B's own Start, from B's page, erases exactly B's ticked bays.
  click(*form_, form_->startButton);
  ASSERT_TRUE(waitUntil([] { return liveEraseRuns().empty(); }));
  EXPECT_TRUE(wholeOnce(b.disks[0]));
  EXPECT_TRUE(wholeOnce(b.disks[1]));
  EXPECT_EQ(sim::bytesWritten(a.disks[2]) + sim::bytesWritten(a.disks[3]), 0u);
}

TEST_F(MainForm, AnUntickOnTheRunsOwnPageDropsThatDiskAndATickDoesNothing) {
  LogFolder folder;
  const SimStation a = addStation(sim::StationModel::sywl, {{0, 4 * MiB}, {1, 4 * MiB}, {2, 4 * MiB}, {3, 4 * MiB}}, 100);
  deliver();
  form_->drawPage(0);
  holdWrites();
  confirmCorrectly();
  for (int bay : {0, 2, 3}) click(*form_, form_->bayPictures[size_t(bay)]);  // no mirror: bay 1 not ticked
  click(*form_, form_->startButton);
  ASSERT_TRUE(running(0));
  // A page switch and back: the page shows the run's disks, not the cleared ticks.
  addStation(sim::StationModel::syw2, {{0, MiB}}, 200);
  deliver();
  click(*form_, form_->slots[1].hit);
  click(*form_, form_->slots[0].hit);
  EXPECT_EQ(form_->pictureOf(form_->bayPictures[3]), kPicBayTicked);
  EXPECT_EQ(form_->pictureOf(form_->bayPictures[1]), kPicBayEmpty);
  EXPECT_TRUE(form_->startButton->visible()) << "its Cancel stays on the page";
  click(*form_, form_->bayPictures[3]);  // untick: bay 3 leaves the run
  click(*form_, form_->bayPictures[1]);  // tick: nothing
  EXPECT_EQ(form_->pictureOf(form_->bayPictures[3]), kPicBayEmpty);
  EXPECT_EQ(form_->pictureOf(form_->bayPictures[1]), kPicBayEmpty);
  holding_ = false;
  ASSERT_TRUE(waitUntil([] { return liveEraseRuns().empty(); }));
  EXPECT_TRUE(wholeOnce(a.disks[0]));
  EXPECT_TRUE(wholeOnce(a.disks[2]));
  EXPECT_EQ(sim::bytesWritten(a.disks[3]), 0u);
  EXPECT_EQ(sim::bytesWritten(a.disks[1]), 0u);
  EXPECT_EQ(lastLine(folder.log("_Disk4.txt")), "Erase Cancel");
  EXPECT_EQ(lastLine(folder.log("_Disk3.txt")), "Erase Success");
  EXPECT_EQ(folder.log("_Disk2.txt"), "");
}

TEST_F(MainForm, ARunFollowsItsStationWhenAnotherDiskLeavesTheList) {
  LogFolder folder;
  const sim::DiskId plain = addPlainDisk(8 * MiB);
  const SimStation b = addStation(sim::StationModel::sywl, {{2, 4 * MiB}, {3, 4 * MiB}}, 200);
  deliver();
  click(*form_, form_->slots[1].hit);
  holdWrites();
  confirmCorrectly();
  click(*form_, form_->bayPictures[2]);
  click(*form_, form_->bayPictures[3]);
  click(*form_, form_->startButton);
  ASSERT_TRUE(running(1));
  const uint64_t id = runAt(1)->id();
  // The disk at position 0 goes: B moves to position 0 and its page goes with it.
  mainDiskList().removeDisk(mainDiskList().diskAt(0));
  deliver();
  EXPECT_EQ(mainDiskList().diskAt(0), b.head);
  EXPECT_EQ(shownPage, 0);
  form_->drawPage(shownPage);
  EXPECT_EQ(shownEraseRun, id) << "the page follows B's run";
  EXPECT_TRUE(form_->progressBar->visible());
  EXPECT_TRUE(form_->startButton->visible());
  clErase job;
  job.rangeEnd = 1000;
  job.percent = 40.0;
  job.totalPasses = 1;
  publishProgress(id, job, 0, 1000, 0);
  deliver();
  EXPECT_EQ(form_->percentLine->text(), u"40.00%");
  // No second run on B; the click is B's Cancel.
  EXPECT_FALSE(startErase(eraseRequestFor(b.head, {false, false, true, true, false, false}, 1, {})));
  bool asked = false;
  whileModal([&](Form&) { asked = true; });
  click(*form_, form_->startButton);
  EXPECT_FALSE(asked);
  EXPECT_FALSE(running(0));
  holding_ = false;
  ASSERT_TRUE(waitUntil([] { return liveEraseRuns().empty(); }));
  EXPECT_EQ(lastLine(folder.log("_Disk3.txt")), "Erase Cancel");
  EXPECT_EQ(lastLine(folder.log("_Disk4.txt")), "Erase Cancel");
  EXPECT_EQ(sim::bytesWritten(plain), 0u);
}

TEST_F(MainForm, AStartWhoseDisksChangedWhileTheCodeWasTypedIsRefusedAloud) {
  LogFolder folder;
  const SimStation a = addStation(sim::StationModel::sywl, {{0, 4 * MiB}, {1, 4 * MiB}}, 100);
  deliver();
  form_->drawPage(0);
  click(*form_, form_->bayPictures[0]);
  click(*form_, form_->bayPictures[1]);
  std::vector<std::u16string> messages;
  whileModal([&](Form& f) {
    if (&f != FormList) return;
    if (FormList->dialogMode == kDialogConfirm) {
      // Meanwhile the scan drops bay 1's disk from the station.
      mainDiskList().diskAt(0)->groupMembers.clearDisks();
      FormList->Edit_Chack->setText(FormList->confirmationCode());
      FormList->ImgOkClick();
    } else {
      messages.push_back(FormList->rowLabels[0]->text());
      FormList->ImgOkClick();
    }
  });
  click(*form_, form_->startButton);
  form_->Timer_Message.fire();
  EXPECT_EQ(messages, std::vector<std::u16string>{u"The disks have changed. Nothing was erased."});
  EXPECT_TRUE(liveEraseRuns().empty());
  EXPECT_EQ(sim::bytesWritten(a.disks[0]) + sim::bytesWritten(a.disks[1]), 0u);
}

// The user clicks at random among two stations' pages, bays and Start buttons while their runs are
// held at their first write. Afterwards: every disk ticked on a station's page when its Start was
// confirmed is written whole and ends "Erase Success", unless it was unticked on that page during the
// run (then its log ends "Erase Cancel", or it had been finished); no other disk receives a byte.
TEST_F(MainForm, RandomClicksAmongTwoStationsNeverChangeWhatARunErases) {
  size_t runs = 0, drops = 0;
  for (uint32_t seed = 1; seed <= 25; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    auto pick = [&](int n) { return int(rng() % uint32_t(n)); };
    TearDown();
    SetUp();
    LogFolder folder;
    std::vector<SimStation> stations;
    stations.push_back(addStation(sim::StationModel::sywl, {{0, 2 * MiB}, {1, 3 * MiB}, {2, 2 * MiB}, {3, MiB}}, 100));
    stations.push_back(addStation(sim::StationModel::sywl, {{2, 2 * MiB + 4096}, {3, MiB + 4096}}, 200));
    deliver();
    holding_ = true;
    holdWrites();
    confirmCorrectly();
    // What each station's run was given, and which of those disks its own page unticked.
    std::array<std::vector<int>, 2> erased, dropped;
    for (int step = 0; step < 30; ++step) {
      const int page = shownPage;
      const EraseRunHandle run = runAt(page);
      switch (pick(4)) {
        case 0:
          click(*form_, form_->slots[size_t(pick(2))].hit);
          break;
        case 1:
        case 2: {
          const int bay = pick(4);
          const bool inRun = run && run->running() && run->holdsBay(bay) && !run->bayDropped(bay);
          if (form_->bayPictures[size_t(bay)] == nullptr || !form_->bayPictures[size_t(bay)]->visible()) break;
          click(*form_, form_->bayPictures[size_t(bay)]);
          if (inRun) dropped[size_t(page)].push_back(bay);
          break;
        }
        default:
          if (!run && form_->startButton->visible()) {
            const BayTicks ticks = currentBayTicks();
            click(*form_, form_->startButton);
            if (runAt(page)) {
              for (int bay = 0; bay < 4; ++bay)
                if (ticks[size_t(bay)] && sim::diskInBay(stations[size_t(page)].id, bay) != sim::kNone)
                  erased[size_t(page)].push_back(bay);
            }
          }
          break;
      }
    }
    holding_ = false;
    ASSERT_TRUE(waitUntil([] { return liveEraseRuns().empty(); }));
    runs += erased[0].size() + erased[1].size();
    drops += dropped[0].size() + dropped[1].size();
    for (size_t k = 0; k < 2; ++k) {
      for (size_t i = 0; i < stations[k].disks.size(); ++i) {
        const sim::DiskId d = stations[k].disks[i];
        const int bay = sim::bayOf(d);
        SCOPED_TRACE("station " + std::to_string(k) + " bay " + std::to_string(bay));
        const bool wasErased = std::count(erased[k].begin(), erased[k].end(), bay) > 0;
        const bool wasDropped = std::count(dropped[k].begin(), dropped[k].end(), bay) > 0;
        if (!wasErased) {
          EXPECT_EQ(sim::bytesWritten(d), 0u);
          continue;
        }
        const uint64_t length = sim::diskSpec(d).length;
        std::string log;
        for (const auto& [name, content] : folder.logs())
          if (content.find("Capacity:" + std::to_string(length) + " bytes") != std::string::npos &&
              content.rfind("Disk" + std::to_string(bay + 1) + "\r\n", 0) == 0)
            log = content;
        const std::string ending = lastLine(log);
        const bool whole = sim::coverage(d) == std::vector<sim::ByteRange>{{0, length}};
        if (wasDropped) {
          EXPECT_TRUE(ending == "Erase Cancel" || (ending == "Erase Success" && whole)) << ending;
        } else {
          EXPECT_EQ(ending, "Erase Success");
          EXPECT_TRUE(whole);
        }
      }
    }
    if (HasFailure()) break;
  }
  EXPECT_GT(runs, 10u) << "the clicks started runs";
  EXPECT_GT(drops, 2u) << "and unticked some of their disks";
}

// The last line of the log of the disk in that bay with that capacity (two stations share bay numbers).
std::string endingOf(const LogFolder& folder, int bay, uint64_t capacity) {
  const std::string head = "Disk" + std::to_string(bay + 1) + "\r\n";
  const std::string size = "Capacity:" + std::to_string(capacity) + " bytes\r\n";
  for (const auto& [name, content] : folder.logs())
    if (content.rfind(head, 0) == 0 && content.find(size) != std::string::npos) return lastLine(content);
  return "";
}

// The scan changes the list on its own thread and the window hears of it a moment later: a click
// that comes in between acts on the station the user was looking at, never on the one that has
// just moved into that position.
TEST_F(MainForm, AStartClickedBeforeTheWindowHearsTheListMovedNeverErasesTheStationThatMovedIn) {
  LogFolder folder;
  addPlainDisk(8 * MiB);
  const SimStation a = addStation(sim::StationModel::sywl, {{0, 4 * MiB}, {1, 4 * MiB}}, 100);
  const SimStation b = addStation(sim::StationModel::sywl, {{0, 3 * MiB}, {1, 3 * MiB}}, 200);
  deliver();
  click(*form_, form_->slots[1].hit);
  ASSERT_EQ(mainDiskList().diskAt(shownPage), a.head);
  click(*form_, form_->bayPictures[0]);
  click(*form_, form_->bayPictures[1]);
  // The plain disk leaves; B now stands at A's position, A at position 0. Not delivered yet.
  mainDiskList().removeDisk(mainDiskList().diskAt(0));
  confirmCorrectly();
  click(*form_, form_->startButton);
  ASSERT_TRUE(waitUntil([] { return liveEraseRuns().empty(); }));
  deliver();
  EXPECT_EQ(sim::bytesWritten(b.disks[0]) + sim::bytesWritten(b.disks[1]), 0u) << "B was erased with A's ticks";
  EXPECT_EQ(endingOf(folder, 0, 3 * MiB), "");
}

TEST_F(MainForm, AnUntickClickedBeforeTheWindowHearsTheListMovedDropsTheShownStationsDisk) {
  LogFolder folder;
  addPlainDisk(8 * MiB);
  // Bay 1 holds a disk nobody ticks: no mirror, each disk is its own job.
  const SimStation a = addStation(sim::StationModel::sywl, {{0, 4 * MiB}, {1, 4 * MiB}, {2, 4 * MiB}}, 100);
  const SimStation b = addStation(sim::StationModel::sywl, {{0, 3 * MiB}, {1, 3 * MiB}, {2, 3 * MiB}}, 200);
  deliver();
  holdWrites();
  confirmCorrectly();
  for (int position : {2, 1}) {
    click(*form_, form_->slots[size_t(position)].hit);
    click(*form_, form_->bayPictures[0]);
    click(*form_, form_->bayPictures[2]);
    click(*form_, form_->startButton);
    ASSERT_TRUE(running(position));
  }
  ASSERT_EQ(mainDiskList().diskAt(shownPage), a.head);
  mainDiskList().removeDisk(mainDiskList().diskAt(0));
  click(*form_, form_->bayPictures[2]);  // on A's page: A's bay 2 leaves A's run
  holding_ = false;
  ASSERT_TRUE(waitUntil([] { return liveEraseRuns().empty(); }));
  deliver();
  EXPECT_EQ(endingOf(folder, 2, 3 * MiB), "Erase Success") << "B's disk was dropped from B's run";
  EXPECT_TRUE(wholeOnce(b.disks[2]));
  EXPECT_EQ(endingOf(folder, 2, 4 * MiB), "Erase Cancel") << "A's untick did not reach A's run";
}

}  // namespace
