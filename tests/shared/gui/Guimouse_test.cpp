// Mouse input of windowless elements on the headless side: enter and leave, capture, clicks, double
// clicks, cursors, elements that go away under the pointer; modal forms and timers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Guicontrols.h"
#include "Guiform.h"
#include "Guiheadless.h"
#include "Guitimer.h"

namespace {

using Lines = std::vector<std::string>;

struct EventLog {
  Lines lines;
  void watch(Element* e, const std::string& name, bool moves = false) {
    auto at = [](const MouseEvent& m) {
      std::string s = " " + std::to_string(m.pos.x) + "," + std::to_string(m.pos.y);
      if (m.shift & shiftDouble) s += " double";
      return s;
    };
    e->onMouseEnter = [this, name] { lines.push_back("enter " + name); };
    e->onMouseLeave = [this, name] { lines.push_back("leave " + name); };
    e->onMouseDown = [this, name, at](const MouseEvent& m) { lines.push_back("down " + name + at(m)); };
    e->onMouseUp = [this, name, at](const MouseEvent& m) { lines.push_back("up " + name + at(m)); };
    e->onClick = [this, name] { lines.push_back("click " + name); };
    if (moves)
      e->onMouseMove = [this, name, at](const MouseEvent& m) { lines.push_back("move " + name + at(m)); };
  }
  Lines take() { return std::exchange(lines, {}); }
};

// A (10, 10, 100, 100) under B (60, 60, 100, 100); panel P (200, 0, 100, 100) holding C at (10, 10),
// 20 x 20.
class GuiMouse : public ::testing::Test {
 protected:
  void SetUp() override {
    form.setClientSize(300, 200);
    form.show();
    a = form.make<Shape>();
    a->setBounds(10, 10, 100, 100);
    b = form.make<Image>();
    b->setBounds(60, 60, 100, 100);
    p = form.make<Panel>();
    p->setBounds(200, 0, 100, 100);
    c = p->make<Label>();
    c->setAutoSize(false);
    c->setBounds(10, 10, 20, 20);
    log.watch(a, "A");
    log.watch(b, "B", true);
    log.watch(p, "P");
    log.watch(c, "C");
  }
  void click(Point at, bool doubleClick = false) {
    form.mouse().press(MouseButton::left, at, shiftLeft, doubleClick);
    form.mouse().release(MouseButton::left, at, 0);
    runHeadlessPending();
  }

  Form form;
  Shape* a = nullptr;
  Image* b = nullptr;
  Panel* p = nullptr;
  Label* c = nullptr;
  EventLog log;
};

TEST_F(GuiMouse, EnterAndLeaveComeInPairsAlongThePointersWay) {
  MouseRouter& m = form.mouse();
  m.move({20, 20}, 0);
  m.move({70, 70}, 0);
  m.move({150, 150}, 0);
  m.move({205, 5}, 0);
  m.move({215, 15}, 0);
  m.leaveWindow();
  EXPECT_EQ(log.take(), (Lines{"enter A", "leave A", "enter B", "move B 10,10", "move B 90,90", "leave B",
                               "enter P", "leave P", "enter C", "leave C"}));
}

TEST_F(GuiMouse, ClicksReachTheTopMostElementAndHeldButtonsCaptureIt) {
  click({70, 70});
  click({20, 20});
  click({250, 50});
  EXPECT_EQ(log.take(),
            (Lines{"enter B", "down B 10,10", "up B 10,10", "click B", "leave B", "enter A", "down A 10,10",
                   "up A 10,10", "click A", "leave A", "enter P", "down P 50,50", "up P 50,50", "click P"}));

  // Pressed on B, released over A: B gets the moves and the release, A nothing until the release.
  MouseRouter& m = form.mouse();
  m.move({70, 70}, 0);
  log.take();
  m.press(MouseButton::left, {70, 70}, shiftLeft, false);
  m.move({20, 20}, shiftLeft);
  EXPECT_EQ(m.captured(), b);
  m.move({80, 80}, shiftLeft);
  m.release(MouseButton::left, {20, 20}, 0);
  EXPECT_EQ(m.captured(), nullptr);
  runHeadlessPending();
  EXPECT_EQ(log.take(), (Lines{"down B 10,10", "leave B", "move B -40,-40", "enter B", "move B 20,20",
                               "up B -40,-40", "leave B", "enter A"}));

  // Right button: down and up, no click.
  m.press(MouseButton::right, {20, 20}, shiftRight, false);
  m.release(MouseButton::right, {20, 20}, 0);
  EXPECT_EQ(log.take(), (Lines{"down A 10,10", "up A 10,10"}));

  // What is hidden or disabled lets the click through to what lies below it.
  b->hide();
  click({70, 70});
  b->show();
  b->setEnabled(false);
  click({75, 75});
  EXPECT_EQ(log.take(),
            (Lines{"down A 60,60", "up A 60,60", "click A", "down A 65,65", "up A 65,65", "click A"}));
}

TEST_F(GuiMouse, DoubleClicksGoToTheirHandlerOrCountAsTwoClicks) {
  click({20, 20});
  click({20, 20}, true);
  int doubles = 0;
  b->onDoubleClick = [&] {
    log.lines.push_back("double B");
    ++doubles;
  };
  click({70, 70});
  click({70, 70}, true);
  EXPECT_EQ(log.take(), (Lines{"enter A", "down A 10,10", "up A 10,10", "click A", "down A 10,10",
                               "up A 10,10", "click A", "leave A", "enter B", "down B 10,10", "up B 10,10",
                               "click B", "double B", "down B 10,10 double", "up B 10,10"}));
  EXPECT_EQ(doubles, 1);
}

TEST_F(GuiMouse, ElementsThatGoAwayUnderThePointer) {
  MouseRouter& m = form.mouse();
  // Hidden: the leave comes with the next look at the pointer, and what lies below is entered.
  m.move({70, 70}, 0);
  b->hide();
  runHeadlessPending();
  // Taken off the form: it hears the leave at once.
  m.move({220, 20}, 0);
  c->setParent(nullptr);
  runHeadlessPending();
  EXPECT_EQ(log.take(), (Lines{"enter B", "move B 10,10", "leave B", "enter A", "leave A", "enter C",
                               "leave C", "enter P"}));

  // Destroyed by its own click handler: nothing more reaches it, nothing breaks.
  Image* doomed = form.make<Image>();
  doomed->setBounds(0, 150, 50, 50);
  doomed->onClick = [&] { form.destroyOwned(doomed); };
  doomed->onMouseUp = [&](const MouseEvent&) { log.lines.push_back("up doomed"); };
  click({10, 160});
  EXPECT_EQ(form.children().back(), p);
  EXPECT_EQ(m.hovered(), nullptr);
  // Destroyed in its mouse-down handler while it holds the capture.
  Image* gone = form.make<Image>();
  gone->setBounds(0, 150, 50, 50);
  gone->onMouseDown = [&](const MouseEvent&) { form.destroyOwned(gone); };
  click({10, 160});
  EXPECT_EQ(m.captured(), nullptr);
  EXPECT_EQ(log.take(), (Lines{"leave P", "up doomed"}));
}

TEST_F(GuiMouse, CursorsComeFromTheElementOrTheNearestContainerWithOne) {
  MouseRouter& m = form.mouse();
  p->setCursor(Cursor::hand);
  m.move({215, 15}, 0);
  EXPECT_EQ(m.cursor(), Cursor::hand);
  c->setCursor(Cursor::move);
  EXPECT_EQ(m.cursor(), Cursor::move);
  m.move({20, 20}, 0);
  EXPECT_EQ(m.cursor(), Cursor::standard);
  // The captured element keeps its cursor wherever the pointer goes.
  m.press(MouseButton::left, {215, 15}, shiftLeft, false);
  m.move({20, 20}, shiftLeft);
  EXPECT_EQ(m.cursor(), Cursor::move);
  m.release(MouseButton::left, {20, 20}, 0);

  EXPECT_EQ(m.hintElement(), nullptr);
  a->setHint(u"tip");
  EXPECT_EQ(m.hintElement(), nullptr);
  a->setShowHint(true);
  runHeadlessPending();
  EXPECT_EQ(m.hintElement(), a);
}

TEST(GuiDrag, TheHandleMovesTheFormExceptWhileMaximised) {
  Form form;
  form.setBounds(100, 100, 300, 200);
  Panel* title = form.make<Panel>();
  title->setBounds(0, 0, 300, 40);
  form.dragWith(*title);
  form.show();
  form.mouse().press(MouseButton::left, {30, 20}, shiftLeft, false);
  form.mouse().move({45, 28}, shiftLeft);
  EXPECT_EQ(form.bounds(), (Rect{115, 108, 300, 200}));
  form.mouse().release(MouseButton::left, {45, 28}, 0);
  form.mouse().press(MouseButton::right, {30, 20}, shiftRight, false);
  form.mouse().move({60, 20}, shiftRight);
  EXPECT_EQ(form.bounds().left, 115) << "only the left button drags";
  form.mouse().release(MouseButton::right, {60, 20}, 0);

  form.maximise();
  const Rect maximised = form.bounds();
  form.mouse().press(MouseButton::left, {30, 20}, shiftLeft, false);
  form.mouse().move({80, 50}, shiftLeft);
  EXPECT_EQ(form.bounds(), maximised);
  form.mouse().release(MouseButton::left, {80, 50}, 0);
}

TEST(GuiModal, ModalFormsReturnTheirResult) {
  Form dialog;
  Image* ok = dialog.make<Image>();
  ok->setBounds(10, 10, 36, 36);
  ok->onClick = [&] { dialog.setModalResult(kModalOk); };
  int shown = 0, closed = 0;
  dialog.onShow = [&] { ++shown; };
  dialog.onClose = [&] { ++closed; };

  setHeadlessModalHandler([](Form& f) {
    f.mouse().press(MouseButton::left, {20, 20}, shiftLeft, false);
    f.mouse().release(MouseButton::left, {20, 20}, 0);
  });
  EXPECT_EQ(dialog.showModal(), kModalOk);
  EXPECT_FALSE(dialog.visible());
  EXPECT_FALSE(dialog.modal());
  setHeadlessModalHandler([](Form& f) { f.close(); });
  EXPECT_EQ(dialog.showModal(), kModalCancel);
  setHeadlessModalHandler([](Form& f) { f.setModalResult(7); });
  EXPECT_EQ(dialog.showModal(), 7);
  setHeadlessModalHandler(nullptr);
  EXPECT_EQ(dialog.showModal(), kModalCancel);
  EXPECT_EQ(shown, 4);
  EXPECT_EQ(closed, 1);
}

TEST(GuiTimer, TicksRunTheHandlerOnlyWhileEnabled) {
  Timer timer;
  int ticks = 0;
  timer.setHandler([&] { ++ticks; });
  timer.fire();
  timer.setInterval(40);
  timer.setEnabled(true);
  timer.fire();
  timer.fire();
  timer.setEnabled(false);
  timer.fire();
  EXPECT_EQ(ticks, 2);
}

}  // namespace
