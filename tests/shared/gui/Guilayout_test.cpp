// Layout of the element tree on the headless side: anchors, alignment, stacking, hit-testing,
// re-parenting, font inheritance and label sizing.
#include <gtest/gtest.h>

#include "Guicontrols.h"
#include "Guiform.h"
#include "Guinative.h"

namespace {

TEST(GuiLayout, AnchorsFollowAParentResize) {
  struct Case {
    Anchors anchors;
    Rect after;
  };
  // Parent 200 x 100 grows to 260 x 130; the child starts at (20, 10), 50 x 30.
  const Case cases[] = {
      {kAnchorsDefault, {20, 10, 50, 30}},
      {anchorLeft | anchorTop | anchorRight, {20, 10, 110, 30}},
      {anchorTop | anchorRight, {80, 10, 50, 30}},
      {anchorLeft | anchorBottom, {20, 40, 50, 30}},
      {kAnchorsAll, {20, 10, 110, 60}},
      {0, {50, 25, 50, 30}},
  };
  for (const Case& c : cases) {
    Form form;
    form.setClientSize(200, 100);
    Panel* child = form.make<Panel>();
    child->setBounds(20, 10, 50, 30);
    child->setAnchors(c.anchors);
    form.setClientSize(260, 130);
    EXPECT_EQ(child->bounds(), c.after) << "anchors " << int(c.anchors);
  }
}

TEST(GuiLayout, AnchoredElementsOfAnAnchoredPanelFollowTheForm) {
  Form form;
  form.setClientSize(780, 550);
  Panel* page = form.make<Panel>();
  page->setBounds(200, 80, 540, 440);
  page->setAnchors(kAnchorsAll);
  Image* button = page->make<Image>();
  button->setBounds(440, 410, 100, 30);
  button->setAnchors(anchorRight | anchorBottom);
  form.setClientSize(900, 600);
  EXPECT_EQ(page->bounds(), (Rect{200, 80, 660, 490}));
  EXPECT_EQ(button->bounds(), (Rect{560, 460, 100, 30}));
  EXPECT_EQ(button->formRect(), (Rect{760, 540, 100, 30}));
  // Shrinking comes back to where it was.
  form.setClientSize(780, 550);
  EXPECT_EQ(button->formRect(), (Rect{640, 490, 100, 30}));
}

TEST(GuiLayout, AlignedPanelsShareTheParent) {
  Form form;
  form.setClientSize(264, 300);
  Panel* title = form.make<Panel>();
  title->setHeight(41);
  title->setAlign(Align::top);
  Panel* buttons = form.make<Panel>();
  buttons->setHeight(42);
  buttons->setAlign(Align::bottom);
  Panel* body = form.make<Panel>();
  body->setAlign(Align::client);
  Image* background = body->make<Image>();
  background->setAlign(Align::client);

  EXPECT_EQ(title->bounds(), (Rect{0, 0, 264, 41}));
  EXPECT_EQ(buttons->bounds(), (Rect{0, 258, 264, 42}));
  EXPECT_EQ(body->bounds(), (Rect{0, 41, 264, 217}));
  EXPECT_EQ(background->bounds(), (Rect{0, 0, 264, 217}));

  form.setClientSize(280, 400);
  EXPECT_EQ(buttons->bounds(), (Rect{0, 358, 280, 42}));
  EXPECT_EQ(background->bounds(), (Rect{0, 0, 280, 317}));

  // A hidden aligned element gives its room away; a taller one takes more.
  title->hide();
  EXPECT_EQ(body->bounds(), (Rect{0, 0, 280, 358}));
  buttons->setHeight(60);
  EXPECT_EQ(buttons->bounds(), (Rect{0, 340, 280, 60}));
  EXPECT_EQ(body->bounds(), (Rect{0, 0, 280, 340}));
}

TEST(GuiLayout, HitTestFindsTheTopMostVisibleEnabledWindowlessElement) {
  Form form;
  form.setClientSize(300, 200);
  Shape* below = form.make<Shape>();
  below->setBounds(10, 10, 100, 100);
  Label* above = form.make<Label>();
  above->setAutoSize(false);
  above->setBounds(50, 50, 100, 100);
  Panel* panel = form.make<Panel>();
  panel->setBounds(200, 0, 100, 100);
  Image* inPanel = panel->make<Image>();
  inPanel->setBounds(10, 10, 20, 20);
  Image* sticksOut = panel->make<Image>();
  sticksOut->setBounds(90, 90, 50, 50);  // mostly outside its panel
  Edit* edit = form.make<Edit>();
  edit->setBounds(0, 150, 100, 20);

  struct Case {
    Point at;
    Element* expected;
  };
  const Case cases[] = {
      {{20, 20}, below},  {{60, 60}, above},      {{120, 120}, above},   {{215, 15}, inPanel},
      {{250, 50}, panel}, {{295, 95}, sticksOut}, {{250, 150}, nullptr}, {{10, 155}, nullptr},
      {{-1, 0}, nullptr}, {{299, 199}, nullptr},
  };
  auto hit = [&](Point p) {
    Element* e = form.elementAt(p);
    return e == &form ? nullptr : e;
  };
  for (const Case& c : cases) EXPECT_EQ(hit(c.at), c.expected) << c.at.x << "," << c.at.y;

  below->bringToFront();
  EXPECT_EQ(hit({60, 60}), below);
  below->sendToBack();
  EXPECT_EQ(hit({60, 60}), above);
  // Hidden or disabled elements let the pointer through to what lies below; a disabled panel
  // takes its children with it.
  above->hide();
  EXPECT_EQ(hit({60, 60}), below);
  above->show();
  above->setEnabled(false);
  EXPECT_EQ(hit({60, 60}), below);
  panel->setEnabled(false);
  EXPECT_EQ(hit({215, 15}), nullptr);
}

TEST(GuiLayout, ReparentedElementsMoveWithTheirPanelAndGoOnTop) {
  Form form;
  form.setClientSize(400, 300);
  Panel* first = form.make<Panel>();
  first->setBounds(0, 0, 200, 300);
  Panel* second = form.make<Panel>();
  second->setBounds(200, 0, 200, 300);
  Image* canvas = form.make<Image>();
  canvas->setBounds(10, 20, 30, 40);
  Label* onSecond = second->make<Label>();
  Edit* edit = form.make<Edit>();
  edit->setBounds(5, 5, 50, 20);

  canvas->setParent(second);
  EXPECT_EQ(canvas->formRect(), (Rect{210, 20, 30, 40}));
  EXPECT_EQ(second->children().back(), canvas);
  canvas->sendToBack();
  EXPECT_EQ(second->children().front(), canvas);
  EXPECT_EQ(second->children().back(), onSecond);

  second->setLeft(150);
  EXPECT_EQ(canvas->formRect(), (Rect{160, 20, 30, 40}));
  edit->setParent(second);
  EXPECT_EQ(edit->formRect(), (Rect{155, 5, 50, 20}));
  EXPECT_EQ(edit->form(), &form);

  // Taken off the form, it keeps its text; on another form it is a control there.
  edit->setText(u"kept");
  edit->setParent(nullptr);
  EXPECT_EQ(edit->form(), nullptr);
  EXPECT_EQ(edit->text(), u"kept");
  Form other;
  edit->setParent(&other);
  EXPECT_EQ(edit->form(), &other);
  EXPECT_EQ(edit->text(), u"kept");

  // A panel never goes into its own subtree.
  Panel* inner = first->make<Panel>();
  first->setParent(inner);
  EXPECT_EQ(first->parent(), &form);
}

TEST(GuiLayout, DestroyingOwnersAndParentsLeavesNoDanglingLinks) {
  auto form = std::make_unique<Form>();
  Panel* panel = form->make<Panel>();
  auto loose = std::make_unique<Label>();  // not owned by the form
  loose->setParent(panel);
  Label* owned = panel->make<Label>();
  ASSERT_EQ(panel->children().size(), 2u);
  EXPECT_TRUE(panel->destroyOwned(owned));
  EXPECT_FALSE(panel->destroyOwned(loose.get()));
  EXPECT_EQ(panel->children().size(), 1u);
  form.reset();
  EXPECT_EQ(loose->parent(), nullptr);
  EXPECT_EQ(loose->form(), nullptr);
}

TEST(GuiLayout, FontsComeFromTheParentUntilSetHere) {
  Form form;
  form.setFont(Font{u"Arial", -13, 0, kBlack, 1});
  Panel* panel = form.make<Panel>();
  Label* label = panel->make<Label>();
  EXPECT_EQ(label->font().face, u"Arial");

  form.setFontCharset(136);
  EXPECT_EQ(label->font().charset, 136);
  label->setFontHeight(20);
  EXPECT_FALSE(label->parentFont());
  EXPECT_EQ(label->font(), (Font{u"Arial", 20, 0, kBlack, 136}));
  form.setFontColour(kWhite);
  EXPECT_EQ(label->font().colour, kBlack);
  label->setParentFont(true);
  EXPECT_EQ(label->font().colour, kWhite);
  EXPECT_EQ(label->font().height, -13);
}

// The headless side measures half the font height per character; a -12 font has lines 15 high.
TEST(GuiLayout, LabelsSizeToTheirText) {
  Form form;
  form.setFont(Font{u"Arial", -12, 0, kBlack, 1});
  Label* label = form.make<Label>();
  label->setBounds(100, 10, 0, 0);
  label->setText(u"abcd");
  EXPECT_EQ(label->bounds(), (Rect{100, 10, 24, 15}));
  label->setText(u"ab\r\nabcdef");
  EXPECT_EQ(label->bounds(), (Rect{100, 10, 36, 30}));
  label->setText(u"");
  EXPECT_EQ(label->bounds(), (Rect{100, 10, 6, 15}));

  // Right-aligned labels keep their right edge.
  label->setAlignment(TextAlign::right);
  label->setText(u"abcdefgh");
  EXPECT_EQ(label->bounds(), (Rect{58, 10, 48, 15}));

  // Word wrap keeps the width and fits the height; without auto-size the bounds stay.
  label->setAlignment(TextAlign::left);
  label->setAutoSize(false);
  label->setWordWrap(true);
  label->setWidth(40);
  label->setText(u"aa bb cc dd");
  EXPECT_EQ(label->bounds(), (Rect{58, 10, 40, 15}));
  EXPECT_EQ(label->textSize(), (Size{30, 30}));
  label->setAutoSize(true);
  EXPECT_EQ(label->bounds(), (Rect{58, 10, 40, 30}));
  label->setFontHeight(-24);  // 12 wide, 30 high: one word per line
  EXPECT_EQ(label->bounds(), (Rect{58, 10, 40, 120}));
}

TEST(GuiLayout, FormsCentreOverTheirReferenceOrTheScreen) {
  Form main;
  main.setBounds(100, 50, 500, 300);
  Form dialog;
  dialog.setClientSize(400, 101);
  dialog.centreOver(&main);
  EXPECT_EQ(dialog.bounds(), (Rect{150, 149, 400, 101}));  // divisions truncate
  dialog.setClientSize(600, 100);
  dialog.centreOver(&main);
  EXPECT_EQ(dialog.left(), 50);
  dialog.centreOnScreen();  // the headless screen is 1280 x 1024
  EXPECT_EQ(dialog.bounds(), (Rect{340, 462, 600, 100}));

  // Positions are applied when shown, after onShow has laid the form out.
  Form::setMainForm(&main);
  dialog.setPosition(FormPosition::mainFormCentre);
  dialog.onShow = [&] { dialog.setClientSize(300, 100); };
  dialog.show();
  EXPECT_EQ(dialog.bounds(), (Rect{200, 150, 300, 100}));
  Form::setMainForm(nullptr);
}

TEST(GuiLayout, NativeControlsKeepTheirState) {
  Form form;
  ComboBox* combo = form.make<ComboBox>();
  combo->addItem(u"Random", 0);
  combo->addItem(u"0x0", 1);
  combo->addItem(u"0xFF", 256);
  combo->setItemIndex(2);
  EXPECT_EQ(combo->itemIndex(), 2);
  EXPECT_EQ(combo->text(), u"0xFF");
  EXPECT_EQ(combo->itemValue(2), 256);
  combo->setItemIndex(7);
  EXPECT_EQ(combo->itemIndex(), -1);
  combo->setItemIndex(1);
  combo->setParent(nullptr);
  EXPECT_EQ(combo->itemIndex(), 1);
  combo->setParent(&form);
  EXPECT_EQ(combo->itemIndex(), 1);
  EXPECT_EQ(combo->count(), 3);

  ProgressBar* bar = form.make<ProgressBar>();
  bar->setRange(0, 10000);
  bar->setPosition(12000);
  EXPECT_EQ(bar->position(), 10000);
  bar->setRange(0, 100);
  EXPECT_EQ(bar->position(), 100);
  bar->setPosition(-5);
  EXPECT_EQ(bar->position(), 0);
}

}  // namespace
