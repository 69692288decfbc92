#include "Guigallery.h"

#include <windows.h>

#include "Bcimageutil.h"
#include "Guitestpictures.h"

namespace {

Font arial(int height, Colour colour = kBlack, uint8_t style = 0) {
  return Font{u"Arial", height, style, colour, 1};
}

Label* label(Container* parent, int x, int y, std::u16string_view text, const Font& font) {
  Label* l = parent->make<Label>();
  l->setTransparent(true);
  l->setFont(font);
  l->setBounds(x, y, 0, 0);
  l->setText(text);
  return l;
}

Shape* shape(Container* parent, Rect r, Colour pen, int penWidth, Colour brush) {
  Shape* s = parent->make<Shape>();
  s->setBounds(r);
  s->setPenColour(pen);
  s->setPenWidth(penWidth);
  s->setBrushColour(brush);
  return s;
}

void pictures(Form& form, Gallery& g) {
  label(&form, 10, 34, u"Panel with pictures", arial(-12));
  g.panel = form.make<Panel>();
  g.panel->setBounds(10, 52, 200, 110);
  g.panel->setColour(kGalleryPanelColour);
  label(g.panel, 6, 4, u"PNG  keyed  opaque", arial(-11, rgb(60, 60, 60)));

  g.alphaPng = CreateImage(g.panel, kAlphaPng, kResourcePng);
  g.alphaPng->setBounds(6, 22, 0, 0);
  g.alphaPng->setAutoSize(true);
  g.keyedBitmap = CreateImage(g.panel, kKeyedBitmap, kResourceBitmap);
  g.keyedBitmap->setBounds(40, 26, 0, 0);
  g.keyedBitmap->setAutoSize(true);
  g.opaqueBitmap = g.panel->make<Image>();
  g.opaqueBitmap->setBounds(80, 26, 0, 0);
  g.opaqueBitmap->setAutoSize(true);
  LoadImage(g.opaqueBitmap, kKeyedBitmap, kResourceBitmap);

  g.stretched = g.panel->make<Image>();
  g.stretched->setBounds(6, 60, 48, 32);
  g.stretched->setStretch(true);
  LoadPngResource(g.stretched, kFramedPng);
  g.unscaled = g.panel->make<Image>();
  g.unscaled->setBounds(70, 60, 40, 40);
  LoadPngResource(g.unscaled, kFramedPng);
  label(g.panel, 120, 70, u"stretched,\nunscaled", arial(-11, rgb(60, 60, 60)));
}

void labels(Form& form, Gallery& g) {
  label(&form, 222, 34, u"Labels", arial(-12));
  g.leftLabel = label(&form, 222, 52, u"Left, Arial 13 px", arial(-13));
  g.filledLabel = form.make<Label>();
  g.filledLabel->setFont(arial(-13, rgb(0, 0, 160)));
  g.filledLabel->setAutoSize(false);
  g.filledLabel->setBounds(222, 72, 200, 20);
  g.filledLabel->setColour(kWhite);
  g.filledLabel->setAlignment(TextAlign::centre);
  g.filledLabel->setLayout(TextLayout::centre);
  g.filledLabel->setText(u"Centred on white");
  Label* right = form.make<Label>();
  right->setTransparent(true);
  right->setFont(arial(-13));
  right->setAutoSize(false);
  right->setBounds(222, 96, 200, 18);
  right->setAlignment(TextAlign::right);
  right->setText(u"Right aligned");
  g.wrapLabel = form.make<Label>();
  g.wrapLabel->setTransparent(true);
  g.wrapLabel->setFont(arial(-12));
  g.wrapLabel->setWordWrap(true);
  g.wrapLabel->setBounds(222, 116, 130, 0);
  g.wrapLabel->setText(u"Word wrap keeps the width and grows downwards.");
  label(&form, 345, 116, u"Bold red", arial(-14, rgb(200, 0, 0), fontBold));
  label(&form, 345, 134, u"Italic underlined", arial(-12, kBlack, fontItalic | fontUnderline));
  g.chineseLabel = label(&form, 345, 152, u"\u4e2d\u6587 \u6e2c\u8a66", Font{u"Arial", -16, 0, kBlack, 134});
  Label* disabled = label(&form, 222, 172, u"Disabled label", arial(-13));
  disabled->setEnabled(false);
}

void shapes(Form& form, Gallery& g) {
  label(&form, 450, 34, u"Shapes", arial(-12));
  g.plainRect = shape(&form, {450, 52, 60, 30}, kBlack, 1, kWhite);
  g.thickRect = shape(&form, {520, 52, 60, 30}, rgb(0, 0, 200), 3, rgb(255, 220, 0));
  g.penlessRect = shape(&form, {450, 90, 60, 30}, rgb(255, 0, 0), 0, rgb(0, 160, 60));
  g.clearRect = shape(&form, {520, 90, 60, 30}, rgb(220, 0, 0), 1, kWhite);
  g.clearRect->setBrushStyle(BrushStyle::clear);
  g.roundRect = shape(&form, {460, 128, 23, 23}, rgb(204, 51, 51), 0, rgb(204, 51, 51));
  g.roundRect->setKind(ShapeKind::roundRect);
  Label* number = form.make<Label>();
  number->setTransparent(true);
  number->setFont(arial(-13, kWhite, fontBold));
  number->setAutoSize(false);
  number->setBounds(460, 128, 23, 23);
  number->setAlignment(TextAlign::centre);
  number->setLayout(TextLayout::centre);
  number->setText(u"2");
  Shape* outlined = shape(&form, {500, 128, 23, 23}, kBlack, 1, kWhite);
  outlined->setKind(ShapeKind::roundRect);
}

void canvas(Form& form, Gallery& g) {
  label(&form, 10, 196, u"Image with its own bitmap", arial(-12));
  g.canvas = form.make<Image>();
  g.canvas->setBounds(10, 214, 200, 100);
  g.canvas->setCursor(Cursor::hand);
  CanvasBitmap& c = g.canvas->canvas();
  c.resize(200, 100);
  c.fillRect(0, 0, 200, 100, kWhite);
  c.fillRect(0, 0, 200, 30, rgb(0xCC, 0xCC, 0xCC));
  c.frameRect(0, 0, 200, 30, rgb(0x66, 0x66, 0x66));
  const Font font = arial(-13);
  const std::u16string_view text = u"Centred text";
  c.textOut((200 - c.textWidth(text, font)) / 2, 8, text, font);
  c.line(10, 50, 190, 50, rgb(0x66, 0x66, 0x50));
  c.line(10, 60, 190, 90, rgb(200, 0, 0));
  c.fillRect(150, 40, 190, 46, rgb(0x33, 0xCC, 0x66));
}

void natives(Form& form, Gallery& g) {
  label(&form, 222, 196, u"Native controls", arial(-12));
  g.edit = form.make<Edit>();
  g.edit->setFont(arial(-13));
  g.edit->setBounds(222, 214, 140, 22);
  g.edit->setText(u"Edit text");
  g.listCombo = form.make<ComboBox>();
  g.listCombo->setFont(arial(-12));
  g.listCombo->setBounds(372, 214, 120, 21);
  for (const char16_t* item : {u"Random", u"0x0", u"0xFF"}) g.listCombo->addItem(item);
  g.listCombo->setItemIndex(1);
  g.listCombo->setCursor(Cursor::hand);
  g.editCombo = form.make<ComboBox>(true);
  g.editCombo->setFont(arial(-12));
  g.editCombo->setBounds(502, 214, 120, 21);
  g.editCombo->addItem(u"Editable");
  g.editCombo->setItemIndex(0);
  g.memo = form.make<Memo>();
  g.memo->setFont(arial(-12));
  g.memo->setReadOnly(true);
  g.memo->setScrollBars(false, true);
  g.memo->setBounds(222, 244, 270, 70);
  g.memo->setText(u"Read-only memo\nwith a vertical scroll bar\nline 3\nline 4\nline 5\nline 6");
  g.progress = form.make<ProgressBar>();
  g.progress->setBounds(222, 324, 270, 16);
  g.progress->setRange(0, 10000);
  g.progress->setPosition(4000);
  label(&form, 502, 324, u"40 %", arial(-12));
}

}  // namespace

Gallery buildGallery(Form& form) {
  Gallery g;
  form.setClientSize(640, 420);
  form.setColour(rgb(245, 245, 245));
  form.setFont(arial(-13));
  form.setCaption(u"GUI gallery");
  Shape* title = shape(&form, {0, 0, 640, 26}, rgb(163, 0, 0), 1, rgb(163, 0, 0));
  title->setAnchors(anchorLeft | anchorTop | anchorRight);
  label(&form, 10, 4, u"Gallery of the GUI layer", arial(18, kWhite, fontBold));
  pictures(form, g);
  labels(form, g);
  shapes(form, g);
  canvas(form, g);
  natives(form, g);
  Shape* frame = shape(&form, {0, 0, 640, 420}, kBlack, 1, kWhite);
  frame->setBrushStyle(BrushStyle::clear);
  frame->setAnchors(kAnchorsAll);
  return g;
}
