// The main window: page drawing (settings page, disk page), the erase control and the progress lines.
#include <algorithm>

#include "Eraseutil.h"
#include "Eraseutil_worker.h"
#include "Frmlist.h"
#include "Frmmain.h"
#include "Frmuserdefine.h"
#include "Guipaint.h"
#include "Textformatutil.h"
#include "Winmsglistutil.h"

namespace {

Label* pageLabel(TFormMain& form, Point at) {
  Label* label = form.make<Label>();
  label->setTransparent(true);
  label->setFont(Font{u"Arial", -17, 0, kBlack, languageCharset()});
  label->setBounds(at.x, at.y, 0, 0);
  return label;
}

// The image's own bitmap at the image's size, white.
CanvasBitmap& freshCanvas(Image* image) {
  CanvasBitmap& canvas = image->canvas();
  if (canvas.width() != image->width() || canvas.height() != image->height()) {
    image->setBitmapSize(image->width(), image->height());
  } else {
    canvas.fillRect(0, 0, canvas.width(), canvas.height(), kWhite);
  }
  return image->canvas();
}

// The list dialog, with the main window's message timer as the one that shows its messages.
TFormList* listDialog(Timer& messageTimer) {
  if (FormList != nullptr) FormList->setMessageTimer(&messageTimer);
  return FormList;
}

// Every disk of the request is still in the head's group.
bool stillListed(const DiskRecord& head, const std::vector<DiskRecord>& disks) {
  const std::vector<DiskRecord> group = groupOrder(head);
  return std::all_of(disks.begin(), disks.end(),
                     [&](const DiskRecord& d) { return std::find(group.begin(), group.end(), d) != group.end(); });
}

}  // namespace

// --- disk page controls -------------------------------------------------------------------------------

void TFormMain::buildDiskControls() {
  devicePicture = make<Image>();
  devicePicture->setBounds(kDevicePicturePlace.x, kDevicePicturePlace.y, 152, 152);
  methodCaption = pageLabel(*this, {215, 100});
  speedLine = pageLabel(*this, {215, 135});
  elapsedLine = pageLabel(*this, {215, 160});
  remainingLine = pageLabel(*this, {215, 185});
  const Size page = pageAreaSize({clientWidth(), clientHeight()});
  percentLine = pageLabel(*this, percentLinePlace(page));
  progressBar = make<ProgressBar>();
  progressBar->setBounds(progressBarBounds(page));
  progressBar->setRange(0, 10000);
  progressBar->setPosition(0);
  methodBox = make<Image>();
  methodBox->setBounds(0, 0, kMethodBoxSize.width, kMethodBoxSize.height);
  methodBox->setCursor(Cursor::hand);
  methodBox->onClick = [this] { chooseMethod(); };
  startButton = make<Image>();
  const Point start = startButtonPlace(page);
  startButton->setBounds(start.x, start.y, kStartButtonSize.width, kStartButtonSize.height);
  startButton->setCursor(Cursor::hand);
  startButton->onClick = [this] { startOrCancel(); };
  setProgressVisible(false);
}

void TFormMain::buildBayPictures() {
  Container* page = devicePicture->parent();
  for (int i = 0; i < kBays; ++i) {
    Image* bay = make<Image>();
    const Point at = bayPicturePlace(i);
    bay->setBounds(at.x, at.y, 22, 22);
    bay->setParent(page);
    bay->onClick = [this, i] {
      if (bayActive_[size_t(i)]) toggleBay(i);
    };
    bayPictures[size_t(i)] = bay;
  }
}

void TFormMain::setProgressVisible(bool visible) {
  for (Element* e : {static_cast<Element*>(speedLine), static_cast<Element*>(elapsedLine),
                     static_cast<Element*>(remainingLine), static_cast<Element*>(percentLine),
                     static_cast<Element*>(progressBar)}) {
    if (e != nullptr) e->setVisible(visible);
  }
}

void TFormMain::clearProgress() {
  if (percentLine == nullptr) return;
  for (Label* line : {speedLine, elapsedLine, remainingLine, percentLine}) line->setText(u"");
  progressBar->setPosition(0);
}

// --- drawing --------------------------------------------------------------------------------------------

void TFormMain::drawPage(int32_t page) {
  // The canvas stands in the shown page's panel: another page has nothing to draw on.
  if (!activated || page < 0 || page != shownPage) return;
  freshCanvas(pageCanvas);
  if (page == SETTINGS_PAGE) {
    drawSettings();
  } else {
    drawDisk(page);
  }
}

void TFormMain::drawSettings() {
  const SettingsPlaces places =
      drawSettingsPage(pageCanvas->canvas(), languageText(kTextLanguage), languageCharset());
  languageName->setLeft(places.nameLeft);
  languageArrow->setLeft(places.arrowLeft);
}

void TFormMain::drawDisk(int32_t position) {
  const DiskRecord disk = mainDiskList().diskAt(position);
  const uint8_t charset = languageCharset();
  methodCaption->setFontCharset(charset);
  if (!disk) {
    showPicture(devicePicture, kPicDeviceNone);
    devicePicture->setBounds(kNotFoundPicturePlace.x, kNotFoundPicturePlace.y, 152, 152);
    methodCaption->setText(languageText(kTextNotFound));
    methodCaption->setBounds(215, 180, methodCaption->width(), methodCaption->height());
    setProgressVisible(false);
    // Neither would act here.
    methodBox->hide();
    startButton->hide();
    for (Image* bay : bayPictures) {
      if (bay != nullptr) bay->hide();
    }
    return;
  }
  methodCaption->setText(languageText(kTextEraseMethod));
  methodCaption->setBounds(215, 100, methodCaption->width(), methodCaption->height());
  if (!shownRecord_) shownRecord_ = disk;
  // The station's run, wherever the list has moved it: its page follows it.
  const EraseRunHandle run = eraseRunOf(*disk);
  shownEraseRun = run ? run->id() : 0;
  setProgressVisible(run && run->running());
  setProgressCaptions(utf8FromUtf16(languageText(kTextSpeed)), utf8FromUtf16(languageText(kTextSpent)),
                      utf8FromUtf16(languageText(kTextRemaining)));
  placeDiskControls(disk.get(), run);
  drawDiskPage(pageCanvas->canvas(), diskPageDrawing(disk), charset);
  showPicture(devicePicture, devicePictureId(disk.get()));
  devicePicture->setBounds(kDevicePicturePlace.x, kDevicePicturePlace.y, 152, 152);
  drawBays(*disk, run.get());
}

void TFormMain::placeDiskControls(const DiskInfo* disk, const EraseRunHandle& run) {
  const Size page{pageCanvas->width(), pageCanvas->height()};
  const Point box = methodBoxPlace(methodCaption->left(), methodCaption->width());
  methodBox->setBounds(box.x, box.y, kMethodBoxSize.width, kMethodBoxSize.height);
  drawCaptionBox(freshCanvas(methodBox), widen(methodName(selectedMethod)), kDefaultCharset);
  methodBox->show();

  const Point start = startButtonPlace(page);
  startButton->setBounds(start.x, start.y, kStartButtonSize.width, kStartButtonSize.height);
  const RunState state = !run ? RunState::idle : run->running() ? RunState::erasing : RunState::ending;
  drawCaptionBox(freshCanvas(startButton), languageText(startCaptionId(state)), languageCharset());
  startButton->setVisible(state != RunState::idle || startButtonVisible(disk->bayCount, currentBayTicks()));

  const Point percent = percentLinePlace(page);
  percentLine->setBounds(percent.x, percent.y, percentLine->width(), percentLine->height());
  progressBar->setBounds(progressBarBounds(page));
}

void TFormMain::drawBays(const DiskInfo& disk, const EraseRun* run) {
  const int bays = std::min<int>(disk.bayCount, kBays);
  if (bays > 0 && bayPictures[0] == nullptr) buildBayPictures();
  for (int i = 0; i < kBays; ++i) {
    Image* bay = bayPictures[size_t(i)];
    if (bay == nullptr) continue;
    const bool inStation = i < bays;
    const bool occupied = inStation && disk.bayOccupied[size_t(i)] != 0;
    bayActive_[size_t(i)] = occupied;
    bay->setVisible(inStation);
    if (!inStation) continue;
    bay->setCursor(occupied ? Cursor::hand : Cursor::standard);
    // While the station is erased its bays show the run's disks, not the page's ticks.
    const bool ticked = run != nullptr ? run->holdsBay(i) && !run->bayDropped(i) : baySelected[i] != 0;
    showPicture(bay, !occupied ? kPicBayGreyed : ticked ? kPicBayTicked : kPicBayEmpty);
  }
}

// --- erase control --------------------------------------------------------------------------------------

void TFormMain::chooseMethod() {
  if (!isSlotPage(shownPage) || !mainDiskList().diskAt(shownPage)) return;
  TFormList* list = listDialog(Timer_Message);
  if (list == nullptr) return;
  const int32_t method = list->chooseFromMethodList(&Timer1);
  if (method < 0) return;
  if (method == kMethodUserDefined && FormUserDefine != nullptr) {
    const UserPattern chosen = FormUserDefine->choosePattern();
    for (size_t i = 0; i < chosen.size(); ++i) userPattern[i] = chosen[i];
  }
  selectedMethod = method;
  drawPage(shownPage);
}

DiskRecord TFormMain::pageRecord() const {
  if (!isSlotPage(shownPage) || !shownRecord_) return nullptr;
  // The page is its disk's, wherever the list has moved it meanwhile (the window hears of a move a
  // moment later): a click acts on the disk the user sees, or on nothing once it has gone.
  const std::vector<DiskRecord> records = mainDiskList().records();
  return std::find(records.begin(), records.end(), shownRecord_) != records.end() ? shownRecord_ : nullptr;
}

void TFormMain::toggleBay(int bay) {
  if (bay < 0 || bay >= kBays || !isSlotPage(shownPage)) return;
  const DiskRecord head = pageRecord();
  if (!head) return;
  if (const EraseRunHandle run = eraseRunOf(*head)) {
    // During a run only an untick counts: it drops that disk from the run. A new tick would mean
    // nothing to the run, so the bay stays as it is.
    if (run->running() && run->holdsBay(bay) && !run->bayDropped(bay)) {
      run->dropBay(bay);
      showPicture(bayPictures[size_t(bay)], kPicBayEmpty);
    }
    return;
  }
  const bool ticked = baySelected[bay] == 0;
  baySelected[bay] = ticked ? 1 : 0;
  showPicture(bayPictures[size_t(bay)], ticked ? kPicBayTicked : kPicBayEmpty);
  if (ticked) {
    startButton->show();
  } else if (!startButtonVisible(kBays, currentBayTicks())) {
    startButton->hide();
  }
}

void TFormMain::startOrCancel() {
  const int32_t p = shownPage;
  if (!isSlotPage(p)) return;
  const DiskRecord head = pageRecord();
  if (!head) return;
  if (const EraseRunHandle run = eraseRunOf(*head)) {
    // Cancel at once, without a question; the worker ends after its current write. A run that is
    // still ending keeps its disks: the page says so until it has ended.
    if (run->running()) run->cancel();
    drawPage(p);
    return;
  }
  const BayTicks ticks = currentBayTicks();
  if (!startButtonVisible(head->bayCount, ticks)) return;  // a station without a ticked bay
  TFormList* list = listDialog(Timer_Message);
  if (list == nullptr) return;
  // The run erases exactly what the boot-drive test looked at.
  const EraseRequest request = eraseRequestFor(head, ticks, selectedMethod, loadUserPattern());
  std::vector<DiskRecord> written = request.disks;
  written.push_back(head);  // its path carries the station's mode commands
  if (holdsBootDrive(written, windowsFolderLetter())) {
    list->showMessage(languageText(kTextBootDrive));
    return;
  }
  list->confirmWithCode(&Timer1);
  if (list->resultValue == kResultCodeWrong) {
    list->showMessage(languageText(kTextVerificationError));
    return;
  }
  if (list->resultValue != kResultCodeOk) return;
  // The scan may have changed the list while the code was typed: only the confirmed disks are erased.
  if (pageRecord() != head || !stillListed(head, request.disks)) {
    list->showMessage(languageText(kTextDisksChanged));
    drawPage(p);
    return;
  }
  if (startErase(request)) {
    lastStarted_ = p;
    clearProgress();
  } else {
    list->showMessage(languageText(kTextStartFailed));
  }
  drawPage(p);
}

void TFormMain::showProgress(uint64_t runId, const ProgressValues& values) {
  // Posted before a page switch or after the run ended: not this page's figures any more.
  if (!isSlotPage(shownPage) || percentLine == nullptr) return;
  const DiskRecord disk = mainDiskList().diskAt(shownPage);
  const EraseRunHandle run = disk ? eraseRunOf(*disk) : nullptr;
  if (!run || run->id() != runId || !run->running()) return;
  const uint8_t charset = languageCharset();
  percentLine->setText(utf16FromUtf8(values.percentText));
  progressBar->setPosition(values.barPosition);
  const std::pair<Label*, const std::string*> lines[] = {{speedLine, &values.speedText},
                                                         {elapsedLine, &values.spentText},
                                                         {remainingLine, &values.remainingText}};
  for (const auto& [line, text] : lines) {
    line->setFontCharset(charset);
    line->setText(utf16FromUtf8(*text));
  }
}

// --- settings page ------------------------------------------------------------------------------------

void TFormMain::chooseLanguage() {
  TFormList* list = listDialog(Timer_Message);
  if (list == nullptr) return;
  clMsgObject* table = list->chooseFromLanguageList(&Timer1);
  if (table == nullptr) return;
  setCurrentTable(table);
  setFontCharset(languageCharset());
  // Saved also when it is the language already in force (the file is then left as it is).
  storeLanguageSetting();
  languageName->setFontCharset(languageCharset());
  languageName->setText(languageText(kTextLanguageName));
  drawPage(SETTINGS_PAGE);
}
