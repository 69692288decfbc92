#include "Frmuserdefine.h"

#include "Bcimageutil.h"
#include "Formlistutil.h"
#include "Frmlist.h"
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

  Panel_Title = makeDialogTitle(*this, &Label_Title);
  Panel_Button = makeDialogStrip(*this, Align::bottom, kDialogButtonHeight, kPanelColour, &Image_BackGround2);
  Image_Button1 = makeDialogButton(*Panel_Button, kPictureOk);
  Image_Button1->setBounds(72, 3, Image_Button1->width(), Image_Button1->height());
  Label_Button1 = makeDialogCaption(*Panel_Button);
  Label_Button1->setBounds(114, 16, 0, 0);
  Label_Button1->setText(u"OK");
  Panel_Item = makeDialogStrip(*this, Align::client, 0, kPanelColour, &Image_BackGround);
  ComboBox1 = makePassList(Panel_Item, 24);
  ComboBox2 = makePassList(Panel_Item, 56);
  ComboBox3 = makePassList(Panel_Item, 85);
  ComboBox4 = makePassList(Panel_Item, 120);

  dragWith(*Panel_Title);
  dragWith(*Label_Title);
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
