#include "Frmuserdefine.h"

#include "Bcimageutil.h"
#include "Formlistutil.h"
#include "Guiplatform.h"
#include "Textformatutil.h"

TFormUserDefine* FormUserDefine = nullptr;

namespace {

constexpr Colour kPanelColour = rgb(0xEE, 0xEE, 0xEF);
constexpr int32_t kPictureOk = 12004;

ComboBox* makePassList(Panel* panel, int top) {
  // Select-only: a typed text could stand for no pass at all.
  ComboBox* list = panel->make<ComboBox>(false);
  list->setBounds(35, top, 145, 21);
  for (int item = 0; item < kPatternItemCount; ++item) list->addItem(patternItemText(item));
  list->setItemIndex(0);
  return list;
}

}  // namespace

TFormUserDefine::TFormUserDefine() {
  setDoubleBuffered(true);
  setPosition(FormPosition::mainFormCentre);
  setColour(systemFaceColour());
  setFont(Font{u"MS Sans Serif", -11, 0, kBlack, kDefaultCharset});
  setClientSize(215, 245);

  Panel_Title = make<Panel>();
  Panel_Title->setAlign(Align::top);
  Panel_Title->setHeight(kDialogTitleHeight);
  Panel_Title->setColour(kBlack);
  Panel_Title->setFont(Font{u"Arial", -16, 0, kWhite, kDefaultCharset});
  Label_Title = Panel_Title->make<Label>();
  Label_Title->setTransparent(true);

  Panel_Button = make<Panel>();
  Panel_Button->setAlign(Align::bottom);
  Panel_Button->setHeight(kDialogButtonHeight);
  Panel_Button->setColour(kPanelColour);
  Image_BackGround2 = Panel_Button->make<Image>();
  Image_BackGround2->setAlign(Align::client);
  Image_Button1 = Panel_Button->make<Image>();
  Image_Button1->setBounds(72, 3, 36, 36);
  Image_Button1->setTransparent(true);
  Image_Button1->setCursor(Cursor::hand);
  LoadPngResource(Image_Button1, kPictureOk);
  Label_Button1 = Panel_Button->make<Label>();
  Label_Button1->setTransparent(true);
  Label_Button1->setFontHeight(-16);
  Label_Button1->setCursor(Cursor::hand);
  Label_Button1->setBounds(114, 16, 0, 0);
  Label_Button1->setText(u"OK");

  Panel_Item = make<Panel>();
  Panel_Item->setAlign(Align::client);
  Panel_Item->setColour(kPanelColour);
  Image_BackGround = Panel_Item->make<Image>();
  Image_BackGround->setAlign(Align::client);
  ComboBox1 = makePassList(Panel_Item, 24);
  ComboBox2 = makePassList(Panel_Item, 56);
  ComboBox3 = makePassList(Panel_Item, 85);
  ComboBox4 = makePassList(Panel_Item, 120);

  for (Element* handle : {static_cast<Element*>(Panel_Title), static_cast<Element*>(Label_Title)}) {
    handle->onMouseDown = [this](const MouseEvent& e) {
      if (e.button == MouseButton::left) dragOrigin_ = e.pos;
    };
    handle->onMouseMove = [this](const MouseEvent& e) {
      if (e.shift & shiftLeft) {
        setBounds(left() + e.pos.x - dragOrigin_.x, top() + e.pos.y - dragOrigin_.y, width(), height());
      }
    };
  }
  Image_Button1->onClick = [this] { Image_Button1Click(); };
  Label_Button1->onClick = [this] { Image_Button1Click(); };
  onShow = [this] { FormShow(); };
}

TFormUserDefine::~TFormUserDefine() {
  if (FormUserDefine == this) FormUserDefine = nullptr;
}

UserPattern TFormUserDefine::choices() const {
  return {ComboBox1->itemIndex(), ComboBox2->itemIndex(), ComboBox3->itemIndex(), ComboBox4->itemIndex()};
}

UserPattern TFormUserDefine::choosePattern() {
  Label_Title->setFontCharset(kDefaultCharset);
  Label_Title->setText(utf16FromUtf8(methodName(kMethodUserDefined)));
  showModal();
  return choices();
}

void TFormUserDefine::FormShow() {
  Image_BackGround->setBitmapSize(Image_BackGround->width(), Image_BackGround->height());
  drawDialogBody(Image_BackGround->canvas());
  Image_BackGround2->setBitmapSize(Image_BackGround2->width(), Image_BackGround2->height());
  drawDialogButtonStrip(Image_BackGround2->canvas());
  const Point at =
      centredIn({Panel_Title->width(), Panel_Title->height()}, {Label_Title->width(), Label_Title->height()});
  Label_Title->setBounds(at.x, at.y, Label_Title->width(), Label_Title->height());
}

void TFormUserDefine::Image_Button1Click() {
  setModalResult(kModalOk);
  close();
}
