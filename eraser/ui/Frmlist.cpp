#include "Frmlist.h"

#include <ctime>

#include "Bcimageutil.h"
#include "Eraseutil.h"
#include "Guiplatform.h"
#include "Guitimer.h"
#include "Msgobjectutil.h"
#include "Textformatutil.h"
#include "Winmsglistutil.h"

TFormList* FormList = nullptr;

namespace {

constexpr char16_t kFormFace[] = u"\u5FAE\u8EDF\u6B63\u9ED1\u9AD4";  // the Traditional-Chinese UI face
constexpr int32_t kPictureOk = 12004;
constexpr int32_t kPictureCancel = 12005;

void setTitle(Label* title, std::u16string_view caption, uint8_t charset) {
  title->setFontCharset(charset);
  title->setText(caption);
}

}  // namespace

TFormList::TFormList() {
  setDoubleBuffered(true);
  setPosition(FormPosition::mainFormCentre);
  setColour(systemFaceColour());
  setFont(Font{kFormFace, -11, 0, kBlack, kDefaultCharset});
  setClientSize(264, 442);

  Panel_Title = makeDialogTitle(*this, &Label_Title);
  Label_Title->setBounds(96, 11, 0, 0);
  Panel_Button =
      makeDialogStrip(*this, Align::bottom, kDialogButtonHeight, kDialogPanelColour, &Image_BackGround2);
  ImgOk = makeDialogButton(*Panel_Button, kPictureOk);
  ImgCancel = makeDialogButton(*Panel_Button, kPictureCancel);
  LblOk = makeDialogCaption(*Panel_Button);
  LblCancel = makeDialogCaption(*Panel_Button);
  Panel_Item = makeDialogStrip(*this, Align::client, 0, kDialogPanelColour, &Image_BackGround);
  for (int i = 0; i < kListMaxRows; ++i) {
    Label* row = Panel_Item->make<Label>();
    row->setFontHeight(kListRowHeight);  // a cell of one row height
    row->setAutoSize(false);
    row->setBounds(0, listRowTop(i), Panel_Item->width(), kListRowHeight);
    row->setAlignment(TextAlign::centre);
    row->setCursor(Cursor::hand);
    row->setTransparent(true);
    row->hide();
    row->onClick = [this, i] { rowClick(i); };
    rowLabels[size_t(i)] = row;
  }
  Label_Check = Panel_Item->make<Label>();
  Label_Check->setTransparent(true);
  Label_Check->setFont(Font{u"Arial Narrow", -16, fontBold, kBlack, kDefaultCharset});
  Label_Check->setBounds(24, 8, 0, 0);
  Edit_Chack = Panel_Item->make<Edit>();
  Edit_Chack->setBounds(120, 8, 121, 23);

  // The title strip drags the dialog, its text included.
  dragWith(*Panel_Title);
  dragWith(*Label_Title);
  ImgOk->onClick = [this] { ImgOkClick(); };
  LblOk->onClick = [this] { ImgOkClick(); };
  ImgCancel->onClick = [this] { ImgCancelClick(); };
  LblCancel->onClick = [this] { ImgCancelClick(); };
  onShow = [this] { FormShow(); };
  // However the dialog goes (OK, Cancel, or closed by the system), its rows go with it.
  onClose = [this] { clearRows(); };
}

TFormList::~TFormList() {
  if (FormList == this) FormList = nullptr;
}

int32_t TFormList::rowValue(int32_t row) const {
  return row >= 0 && row < rowCount_ ? rowValues_[size_t(row)] : kResultNone;
}

// --- rows -----------------------------------------------------------------------------------------

void TFormList::clearRows() {
  selectedValue_ = kResultNone;
  selectedRow_ = nullptr;
  rowCount_ = 0;
  for (Label* row : rowLabels) row->hide();
}

bool TFormList::addRow(std::u16string_view caption, int32_t value, bool enabled, bool chosen) {
  if (rowCount_ >= kListMaxRows) return false;
  Label* row = rowLabels[size_t(rowCount_)];
  row->setText(caption);
  row->setFontColour(chosen ? kRowChosenColour : kBlack);
  row->setEnabled(enabled);
  rowValues_[size_t(rowCount_)] = value;
  if (chosen) {
    selectedRow_ = row;
    selectedValue_ = value;
  }
  ++rowCount_;
  row->show();
  setClientSize(clientWidth(), listClientHeight(rowCount_));
  return true;
}

void TFormList::rowClick(int32_t row) {
  if (row < 0 || row >= rowCount_) return;
  if (selectedRow_ != nullptr) selectedRow_->setFontColour(kBlack);
  selectedRow_ = rowLabels[size_t(row)];
  selectedValue_ = rowValues_[size_t(row)];
  selectedRow_->setFontColour(kRowChosenColour);
}

// --- preparing -------------------------------------------------------------------------------------

void TFormList::prepareMethodList() {
  dialogMode = kDialogList;
  setTitle(Label_Title, languageText(kTextEraseMethod), languageCharset());
  setClientSize(kListWidth, clientHeight());
  clearRows();
  for (int32_t m = 1; m <= kMethodCount && rowCount_ < kListMaxRows; ++m) {
    addRow(utf16FromUtf8(methodName(m)), m, true, false);
  }
}

void TFormList::prepareLanguageList() {
  dialogMode = kDialogList;
  setTitle(Label_Title, languageText(kTextLanguage), languageCharset());
  setClientSize(kListWidth, clientHeight());
  clearRows();
  int32_t index = 0;
  for (clMsgObject* t = firstLanguageTable(); t != nullptr; t = nextLanguageTable(t), ++index) {
    const char16_t* name = t->findText(1);
    if (name == nullptr) name = nativeLanguageName(t->languageCode);
    if (name != nullptr) addRow(name, index, true, false);
  }
  setClientSize(clientWidth(), listClientHeight(rowCount_));
}

clMsgObject* languageTableOfValue(int32_t value) {
  if (value < 0) return nullptr;
  clMsgObject* t = firstLanguageTable();
  for (int32_t i = 0; t != nullptr && i < value; ++i) t = nextLanguageTable(t);
  return t;
}

void TFormList::showMessage(std::u16string_view message) {
  if (visible()) {
    setTitle(Label_Title, u"Velmora", kDefaultCharset);
    rowLabels[0]->setText(message);
    return;
  }
  clearRows();
  setTitle(Label_Title, u"Velmora", kDefaultCharset);
  addRow(message, 0, true, false);
  dialogMode = kDialogMessage;
  if (messageTimer_ != nullptr) messageTimer_->setEnabled(true);
}

// --- whole uses ------------------------------------------------------------------------------------

namespace {

// The page timer is off while the dialog is open so that nothing redraws under it.
int32_t showPausing(TFormList& form, Timer* pageTimer) {
  if (pageTimer != nullptr) pageTimer->setEnabled(false);
  form.showModal();
  if (pageTimer != nullptr) pageTimer->setEnabled(true);
  return form.resultValue;
}

}  // namespace

int32_t TFormList::chooseFromMethodList(Timer* pageTimer) {
  prepareMethodList();
  const int32_t chosen = showPausing(*this, pageTimer);
  return chosen >= 1 && chosen <= kMethodCount ? chosen : kResultNone;
}

clMsgObject* TFormList::chooseFromLanguageList(Timer* pageTimer) {
  prepareLanguageList();
  return languageTableOfValue(showPausing(*this, pageTimer));
}

bool TFormList::confirmWithCode(Timer* pageTimer) {
  prepareConfirmation();
  return showPausing(*this, pageTimer) == kResultCodeOk;
}

// --- handlers --------------------------------------------------------------------------------------

void TFormList::FormShow() {
  // Closed by any other way than OK, the dialog has chosen nothing.
  resultValue = kResultNone;
  if (dialogMode == kDialogMessage) {
    layoutMessage();
  } else if (dialogMode == kDialogConfirm) {
    layoutConfirmation();
  } else {
    layoutList();
  }
}

void TFormList::ImgOkClick() {
  if (dialogMode == kDialogConfirm) {
    resultValue = codeMatches(Edit_Chack->text(), code_) ? kResultCodeOk : kResultCodeWrong;
  } else {
    resultValue = selectedValue_;
  }
  clearRows();
  setModalResult(kModalOk);
  close();
}

void TFormList::ImgCancelClick() {
  resultValue = kResultNone;
  clearRows();
  close();
}

// --- layouts ---------------------------------------------------------------------------------------

void TFormList::layoutList() {
  Label_Check->hide();
  Edit_Chack->hide();
  centreTitle();
  drawBackgrounds(true);
  ImgCancel->show();
  layoutButtons();
}

void TFormList::layoutMessage() {
  Label_Check->hide();
  Edit_Chack->hide();
  // The code label measures the message only.
  Label_Check->setText(rowLabels[0]->text());
  setClientSize(messageDialogWidth(Label_Check->width()), clientHeight());
  centreTitle();
  drawBackgrounds(true);
  ImgCancel->hide();
  layoutButtons();
}

void TFormList::layoutConfirmation() {
  clearRows();
  setTitle(Label_Title, languageText(kTextEnterCode), languageCharset());
  code_ = makeConfirmationCode(uint32_t(std::time(nullptr)));
  Label_Check->setText(code_);
  Edit_Chack->setText(u"");
  Label_Check->show();
  Edit_Chack->show();
  const TitlePlacement t = confirmationTitle(Label_Title->width());
  setClientSize(t.dialogWidth, confirmationClientHeight(Label_Check->height()));
  Label_Title->setBounds(t.titleLeft, (Panel_Title->height() - Label_Title->height()) / 2,
                         Label_Title->width(), Label_Title->height());
  drawBackgrounds(false);
  ImgCancel->show();
  layoutButtons();
}

void TFormList::centreTitle() {
  const Point at =
      centredIn({Panel_Title->width(), Panel_Title->height()}, {Label_Title->width(), Label_Title->height()});
  Label_Title->setBounds(at.x, at.y, Label_Title->width(), Label_Title->height());
}

void TFormList::drawBackgrounds(bool stripes) {
  Image_BackGround->setBitmapSize(Image_BackGround->width(), Image_BackGround->height());
  drawDialogBody(Image_BackGround->canvas());
  Image_BackGround2->setBitmapSize(Image_BackGround2->width(), Image_BackGround2->height());
  drawDialogButtonStrip(Image_BackGround2->canvas());
  if (!stripes) return;
  for (int i = 0; i < rowCount_; ++i) rowLabels[size_t(i)]->setWidth(Panel_Item->width());
  drawRowStripes(Image_BackGround->canvas(), rowCount_);
}

void TFormList::layoutButtons() {
  const bool withCancel = ImgCancel->visible();
  LblCancel->setVisible(withCancel);
  LblOk->setFontCharset(languageCharset());
  LblOk->setText(languageText(kTextOk));
  const ButtonPlacement p = placeDialogButtons(
      clientWidth(), Panel_Button->width(), Panel_Button->height(), {ImgOk->width(), ImgOk->height()},
      {ImgCancel->width(), ImgCancel->height()}, LblOk->height(), withCancel);
  ImgOk->setBounds(p.ok.x, p.ok.y, ImgOk->width(), ImgOk->height());
  LblOk->setBounds(p.okLabel.x, p.okLabel.y, LblOk->width(), LblOk->height());
  if (!withCancel) return;
  ImgCancel->setBounds(p.cancel.x, p.cancel.y, ImgCancel->width(), ImgCancel->height());
  LblCancel->setFontCharset(languageCharset());
  LblCancel->setText(languageText(kTextCancel));
  LblCancel->setBounds(p.cancelLabel.x, p.cancelLabel.y, LblCancel->width(), LblCancel->height());
}

// --- the dialogs' frame -----------------------------------------------------------------------------

Panel* makeDialogTitle(Form& dialog, Label** title) {
  Panel* strip = dialog.make<Panel>();
  strip->setAlign(Align::top);
  strip->setHeight(kDialogTitleHeight);
  strip->setColour(kBlack);
  strip->setFont(Font{u"Arial", -16, 0, kWhite, kDefaultCharset});
  *title = strip->make<Label>();
  (*title)->setTransparent(true);
  return strip;
}

Panel* makeDialogStrip(Form& dialog, Align align, int height, Colour colour, Image** background) {
  Panel* strip = dialog.make<Panel>();
  strip->setAlign(align);
  if (height > 0) strip->setHeight(height);
  strip->setColour(colour);
  *background = strip->make<Image>();
  (*background)->setAlign(Align::client);
  return strip;
}

Image* makeDialogButton(Container& strip, int32_t picture) {
  constexpr int kButtonSize = 36;
  Image* image = strip.make<Image>();
  image->setBounds(0, 0, kButtonSize, kButtonSize);
  image->setTransparent(true);
  image->setCursor(Cursor::hand);
  LoadPngResource(image, picture);
  return image;
}

Label* makeDialogCaption(Container& strip) {
  Label* label = strip.make<Label>();
  label->setTransparent(true);
  label->setFontHeight(-16);
  label->setCursor(Cursor::hand);
  return label;
}
