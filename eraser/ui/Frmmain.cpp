// The main window: construction, the frame and title area, timers, closing, sidebar slots and page
// switching.
#include "Frmmain.h"

#include <algorithm>
#include <ctime>

#include "Bcimageutil.h"
#include "Eraseutil.h"
#include "Eraseutil_worker.h"
#include "Frmlist.h"
#include "Frmmain_relay.h"
#include "Product_scan.h"
#include "Textformatutil.h"
#include "Winmsglistutil.h"

TFormMain* FormMain = nullptr;

namespace {

constexpr char16_t kTitle[] = u"Nuvant Velmora ";
constexpr Colour kSeparator = rgb(0x33, 0x33, 0x33);

Font arialFont(int pixels, Colour colour, uint8_t charset) {
  return Font{u"Arial", -pixels, 0, colour, charset};
}

}  // namespace

TFormMain::TFormMain() : TFormMain(Options{}) {}

TFormMain::TFormMain(const Options& options) : options_(options) {
  // A handle the posted calls can ask whether the window still exists; it owns nothing.
  self_ = std::shared_ptr<TFormMain>(this, [](TFormMain*) {});
  bayPictures.fill(nullptr);
  setApplicationTitle(kTitle);
  setCaption(kTitle);
  seedRandom(uint32_t(std::time(nullptr)));
  prepareEraserProcess();
  setPosition(FormPosition::screenCentre);
  Timer1.setInterval(1000);
  Timer1.setHandler([this] { Timer1Timer(); });
  Timer_Message.setInterval(40);
  Timer_Message.setHandler([this] { Timer_MessageTimer(); });
  onActivate = [this] { FormActivate(); };
  onClose = [this] { FormClose(); };
  FormCreate();
  Timer1.setEnabled(true);
}

TFormMain::~TFormMain() {
  detachWindowRelay(this);
  self_.reset();
  Timer1.setEnabled(false);
  Timer_Message.setEnabled(false);
  if (FormMain == this) FormMain = nullptr;
}

void TFormMain::FormCreate() {
  if (createLanguageTables()) {
    const std::string code = loadLanguageSetting();
    if (!code.empty()) selectLanguageByCode(code.c_str());
  }
  setFontCharset(languageCharset());
  shownPage = kNoPage;
  setDoubleBuffered(true);
  setFontFace(u"Arial");
  setClientSize(kClientWidth, kClientHeight);
  buildFrame();
  setRoundedOutline(kOutlineEllipse);
  LoadFormIcon(this, kPicIcon);
  buildSettingsPage();
  buildSlots();
  selectPage(0);
  for (auto& flag : baySelected) flag = 0;
  for (auto& entry : userPattern) entry = 0;
  attachWindowRelay(this, self_);
  if (options_.startScan) startDiskScan();
}

void TFormMain::FormActivate() {
  activated = true;
  drawPage(shownPage);
}

void TFormMain::Timer1Timer() { drawPage(shownPage); }

void TFormMain::Timer_MessageTimer() {
  Timer_Message.setEnabled(false);
  Timer1.setEnabled(false);
  if (FormList != nullptr) FormList->showModal();
  Timer1.setEnabled(true);
}

void TFormMain::FormClose() {
  Timer1.setEnabled(false);
  Timer_Message.setEnabled(false);
  // No question, also not while erasing: every run is asked to stop and gets up to 10 s to end.
  stopEraseWorkers(10000);
}

// --- frame and title area ---------------------------------------------------------------------------

void TFormMain::showPicture(Image* image, int32_t id) {
  if (image == nullptr) return;
  auto it = shownPictures_.find(image);
  if (it != shownPictures_.end() && it->second == id) return;
  // A missing picture leaves the control empty.
  const bool loaded = LoadPngResource(image, id);
  shownPictures_[image] = loaded ? id : 0;
}

int32_t TFormMain::pictureOf(const Image* image) const {
  auto it = shownPictures_.find(image);
  return it != shownPictures_.end() ? it->second : 0;
}

Image* TFormMain::framePicture(int32_t id, Rect bounds, bool stretch, Anchors anchors) {
  Image* image = make<Image>();
  image->setBounds(bounds);
  image->setStretch(stretch);
  image->setAnchors(anchors);
  showPicture(image, id);
  return image;
}

void TFormMain::addTitleActions(Element* element) {
  dragWith(*element);
  element->onDoubleClick = [this] { toggleMaximised(); };
}

void TFormMain::toggleMaximised() {
  // The outline follows every change of size by itself.
  if (windowState() == WindowState::maximised) {
    restore();
  } else {
    maximise();
  }
}

void TFormMain::buildFrame() {
  const int cw = clientWidth(), ch = clientHeight();
  constexpr Anchors lt = anchorLeft | anchorTop, tr = anchorTop | anchorRight;
  constexpr Anchors lb = anchorLeft | anchorBottom, rb = anchorRight | anchorBottom;
  Image* sidebar = framePicture(kPicSidebar, {0, 80, 200, ch - 110}, true, lt | anchorBottom);
  sidebar->sendToBack();
  addTitleActions(framePicture(kPicTitleLeft, {0, 0, 200, 80}, false, lt));
  addTitleActions(framePicture(kPicTitleRight, {cw - 40, 0, 40, 80}, false, tr));
  addTitleActions(framePicture(kPicTitleMiddle, {200, 0, cw - 240, 80}, true, lt | anchorRight));
  framePicture(kPicBottomLeft, {0, ch - 30, 200, 30}, false, lb);
  grip = framePicture(kPicGrip, {cw - 40, ch - 30, 40, 30}, false, rb);
  grip->setCursor(Cursor::hand);
  framePicture(kPicRightBand, {cw - 40, 80, 40, ch - 110}, true, tr | anchorBottom);
  framePicture(kPicBottomMiddle, {200, ch - 30, cw - 240, 30}, true, lb | anchorRight);
  addTitleActions(framePicture(kPicLogo, {15, 14, 44, 44}, false, lt));
  addTitleActions(framePicture(kPicProductName, {75, 18, 210, 38}, false, lt));
  minimiseButton = framePicture(kPicMinimise, {cw - 80, 13, 17, 11}, false, tr);
  maximiseButton = framePicture(kPicMaximise, {cw - 55, 13, 15, 10}, false, tr);
  closeButton = framePicture(kPicClose, {cw - 30, 13, 12, 12}, false, tr);
  settingsButton = framePicture(kPicSettings, {cw - 30, 45, 15, 15}, false, tr);
  for (Image* button : {minimiseButton, maximiseButton, closeButton, settingsButton})
    button->setCursor(Cursor::hand);
  minimiseButton->onClick = [] { minimiseApplication(); };
  maximiseButton->onClick = [this] { toggleMaximised(); };
  closeButton->onClick = [this] { close(); };
  settingsButton->onClick = [this] { settingsClick(); };
  const int height = this->height();
  framePicture(kPicPlate, {22, height - 93, 161, 71}, true, lb);
  framePicture(kPicMakerLogo, {35, height - 68, 130, 21}, true, lb);

  versionLabel = make<Label>();
  versionLabel->setTransparent(true);
  versionLabel->setFont(arialFont(11, kWhite, kDefaultCharset));
  versionLabel->setBounds(295, 44, 0, 0);
  const char* version = versionText(kProductVersion);
  versionLabel->setText(widen(version != nullptr ? version : ""));
  addTitleActions(versionLabel);

  grip->onMouseDown = [this](const MouseEvent& e) {
    if (e.button == MouseButton::left) gripOrigin_ = e.pos;
  };
  grip->onMouseMove = [this](const MouseEvent& e) {
    if (!(e.shift & shiftLeft) || windowState() == WindowState::maximised) return;
    const Size size =
        gripResize({clientWidth(), clientHeight()}, {e.pos.x - gripOrigin_.x, e.pos.y - gripOrigin_.y});
    setClientSize(size.width, size.height);
  };
}

// --- pages ----------------------------------------------------------------------------------------------

Panel* TFormMain::pagePanel(int32_t page) const {
  if (page == SETTINGS_PAGE) return settingsPage;
  return isSlotPage(page) ? slotPages[size_t(page)] : nullptr;
}

void TFormMain::buildSettingsPage() {
  const Size area = pageAreaSize({clientWidth(), clientHeight()});
  settingsPage = make<Panel>();
  settingsPage->setColour(kWhite);
  settingsPage->setBounds(kPageLeft, kPageTop, area.width, area.height);
  settingsPage->setAnchors(kAnchorsAll);
  settingsPage->hide();
  settingsPage->onResize = [this] {
    if (shownPage == SETTINGS_PAGE) drawPage(SETTINGS_PAGE);
  };
  languageName = settingsPage->make<Label>();
  languageName->setTransparent(true);
  languageName->setAutoSize(false);
  languageName->setFont(arialFont(17, kBlack, languageCharset()));
  languageName->setBounds(0, 22, 196, 21);
  languageName->setCursor(Cursor::hand);
  languageName->onClick = [this] { chooseLanguage(); };
  languageArrow = settingsPage->make<Image>();
  languageArrow->setBounds(0, 21, 18, 23);
  languageArrow->setCursor(Cursor::hand);
  showPicture(languageArrow, kPicDropDown);
  languageArrow->onClick = [this] { chooseLanguage(); };
}

void TFormMain::buildSlots() {
  const Size area = pageAreaSize({clientWidth(), clientHeight()});
  pageCanvas = make<Image>();
  pageCanvas->setAlign(Align::client);
  for (int i = 0; i < kSlotCount; ++i) {
    Panel* page = make<Panel>();
    page->setColour(kWhite);
    page->setBounds(kPageLeft, kPageTop, area.width, area.height);
    page->setAnchors(kAnchorsAll);
    page->hide();
    page->onResize = [this, i] {
      if (shownPage == i) drawPage(i);
    };
    slotPages[size_t(i)] = page;
  }
  for (int i = 0; i < kSlotCount; ++i) {
    const int y0 = slotOffset(i);
    SlotControls& c = slots[size_t(i)];
    c.background = make<Image>();
    c.background->setBounds(16, 76 + y0, 182, 46);
    c.separator = make<Shape>();
    c.separator->setBounds(16, 73 + y0, 170, 1);
    c.separator->setPenWidth(0);
    c.separator->setBrushColour(kSeparator);
    c.icon = make<Image>();
    c.icon->setBounds(30, 83 + y0, 30, 31);
    c.marker = make<Image>();
    c.marker->setBounds(16, 76 + y0, 15, 40);
    c.name = make<Label>();
    c.name->setTransparent(true);
    c.name->setFont(arialFont(11, kWhite, kDefaultCharset));
    c.name->setBounds(72, 89 + y0, 0, 0);
    c.hit = make<Label>();
    c.hit->setTransparent(true);
    c.hit->setAutoSize(false);
    c.hit->setBounds(15, 76 + y0, 182, 46);
    c.hit->onClick = [this, i] { slotClick(i); };
    c.hit->onMouseEnter = [this, i] {
      sidebar_.setHovered(i, true);
      applySlot(i);
    };
    c.hit->onMouseLeave = [this, i] {
      sidebar_.setHovered(i, false);
      applySlot(i);
    };
    applySlot(i);
  }
}

void TFormMain::applySlot(int i) {
  const SlotState& s = sidebar_.slot(i);
  SlotControls& c = slots[size_t(i)];
  for (Element* e : {static_cast<Element*>(c.background), static_cast<Element*>(c.separator),
                     static_cast<Element*>(c.icon), static_cast<Element*>(c.marker),
                     static_cast<Element*>(c.name), static_cast<Element*>(c.hit)}) {
    e->setVisible(s.shown);
  }
  showPicture(c.background, s.marked ? kPicSlotSelected : 0);
  showPicture(c.icon, s.icon);
  showPicture(c.marker, s.hovered ? kPicSlotHover : 0);
  c.name->setText(widen(s.name));
  c.hit->setCursor(s.marked ? Cursor::standard : Cursor::hand);
}

void TFormMain::applySlots() {
  for (int i = 0; i < kSlotCount; ++i) applySlot(i);
}

void TFormMain::diskAdded(int position) {
  sidebar_.diskAdded(position, mainDiskList());
  applySlots();
  if (position == shownPage) {
    // Another disk has taken the shown position for good: the page is now its page, and the ticks
    // made for the one before mean nothing for it.
    const std::vector<DiskRecord> records = mainDiskList().records();
    if (std::find(records.begin(), records.end(), shownRecord_) == records.end()) {
      shownRecord_ = mainDiskList().diskAt(position);
      for (auto& flag : baySelected) flag = 0;
    }
  }
  // The shown page need not wait for the next tick to show its disk.
  if (position == shownPage) drawPage(shownPage);
}

void TFormMain::slotRemoved(int slot) {
  const bool wasShown = sidebar_.slotRemoved(slot, shownPage);
  if (slot >= 0 && slot < kSlotCount) applySlot(slot);
  // The shown disk may only have moved up: its page goes with it.
  const std::vector<DiskRecord> records = mainDiskList().records();
  const auto at = std::find(records.begin(), records.end(), shownRecord_);
  const int32_t moved = at == records.end() ? -1 : int32_t(at - records.begin());
  if (shownRecord_ && moved >= 0 && moved < kSlotCount && moved != shownPage) {
    selectPage(moved);
  } else if (wasShown) {
    selectPage(0);
  }
}

void TFormMain::noDisks() {
  sidebar_.noDisks();
  applySlots();
  if (isSlotPage(shownPage)) drawPage(shownPage);
}

void TFormMain::slotClick(int slot) {
  if (slot == shownPage) return;
  selectPage(slot);
}

void TFormMain::settingsClick() {
  if (shownPage == SETTINGS_PAGE) return;
  sidebar_.unmark(shownPage);
  selectPage(SETTINGS_PAGE);
}

void TFormMain::selectPage(int32_t page) {
  Panel* panel = pagePanel(page);
  if (panel == nullptr) return;
  settingsPage->hide();
  for (Panel* p : slotPages) p->hide();
  sidebar_.select(shownPage, page);
  applySlots();
  shownPage = page;
  shownRecord_ = page == SETTINGS_PAGE ? nullptr : mainDiskList().diskAt(page);
  const Size area = pageAreaSize({clientWidth(), clientHeight()});
  panel->setBounds(kPageLeft, kPageTop, area.width, area.height);
  panel->show();
  pageCanvas->setParent(panel);
  pageCanvas->sendToBack();
  if (page == SETTINGS_PAGE) {
    languageName->setFontCharset(languageCharset());
    languageName->setText(languageText(kTextLanguageName));
  } else {
    if (devicePicture == nullptr) buildDiskControls();
    for (Element* e : {static_cast<Element*>(devicePicture), static_cast<Element*>(methodCaption),
                       static_cast<Element*>(speedLine), static_cast<Element*>(elapsedLine),
                       static_cast<Element*>(remainingLine), static_cast<Element*>(percentLine),
                       static_cast<Element*>(progressBar), static_cast<Element*>(methodBox),
                       static_cast<Element*>(startButton)}) {
      e->setParent(panel);
    }
    for (Image* bay : bayPictures) {
      if (bay != nullptr) bay->setParent(panel);
    }
    for (auto& flag : baySelected) flag = 0;
    // The lines belong to the page that was shown: the new one shows its own at its worker's next turn.
    clearProgress();
  }
  drawPage(page);
}
