// The GUI layer on real windows (Wine under Xvfb): what the gallery shows, mouse input through the
// window's messages, modal forms, timers, re-parenting, anchors on resize, native controls.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "Bcimageutil.h"
#include "Guiapplication.h"
#include "Guigallery.h"
#include "Guitestdriver.h"
#include "Guitestpictures.h"
#include "Guitimer.h"

namespace {

bool closeTo(Colour a, Colour b, int tolerance = 3) {
  return std::abs(redOf(a) - redOf(b)) <= tolerance && std::abs(greenOf(a) - greenOf(b)) <= tolerance &&
         std::abs(blueOf(a) - blueOf(b)) <= tolerance;
}

std::string hex(Colour c) {
  char s[16];
  std::snprintf(s, sizeof(s), "#%02X%02X%02X", redOf(c), greenOf(c), blueOf(c));
  return s;
}

Rect clientRectOf(void* child, Form& form) {
  RECT r;
  GetWindowRect(static_cast<HWND>(child), &r);
  MapWindowPoints(nullptr, static_cast<HWND>(form.handle()), reinterpret_cast<POINT*>(&r), 2);
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

// Pixels clearly darker than any background of the gallery: drawn text.
int darkPixels(const DecodedImage& shot, const Rect& r) {
  int n = 0;
  for (int y = r.top; y < r.bottom(); ++y) {
    for (int x = r.left; x < r.right(); ++x) {
      const Colour c = pixelAt(shot, x, y);
      n += redOf(c) < 110 && greenOf(c) < 110 && blueOf(c) < 180;
    }
  }
  return n;
}

class GuiWindow : public ::testing::Test {
 protected:
  void SetUp() override { mouseAway(); }
};

TEST_F(GuiWindow, TheGalleryShowsEveryElementKindAsDescribed) {
  Form form;
  Gallery g = buildGallery(form);
  form.setBounds(20, 20, 640, 420);
  form.show();
  pumpMessages(200);
  const std::string path = saveScreenshot(form, "gallery");
  EXPECT_FALSE(path.empty());
  const DecodedImage shot = captureWindow(form.handle());
  ASSERT_EQ(shot.width, 640u);

  struct Probe {
    const char* what;
    Element* element;
    Point at;
    Colour expected;
  };
  const Colour panel = kGalleryPanelColour, formColour = rgb(245, 245, 245);
  const Probe probes[] = {
      // PNG alpha: the half-transparent blue block blended over the panel, the opaque disc, the
      // transparent corner.
      {"png blended", g.alphaPng, {2, 2}, rgb(115, 120, 255)},
      {"png opaque", g.alphaPng, {13, 13}, rgb(200, 30, 30)},
      {"png transparent", g.alphaPng, {23, 23}, panel},
      // Bitmaps: the bottom-left colour left out only where the image is transparent.
      {"keyed ground", g.keyedBitmap, {0, 11}, panel},
      {"keyed bar", g.keyedBitmap, {5, 5}, rgb(0, 0, 200)},
      {"keyed dot", g.keyedBitmap, {10, 2}, kWhite},
      {"opaque ground", g.opaqueBitmap, {0, 11}, rgb(255, 0, 255)},
      // Stretched to 48 x 32, and unscaled from the top-left corner of a larger element.
      {"stretched corner", g.stretched, {47, 31}, kBlack},
      {"stretched inside", g.stretched, {24, 16}, rgb(255, 220, 0)},
      {"unscaled frame", g.unscaled, {15, 15}, kBlack},
      {"unscaled beyond", g.unscaled, {30, 30}, panel},
      // Shapes: outlines inside the bounds, pen 0 without any outline, a clear brush.
      {"plain outline", g.plainRect, {0, 0}, kBlack},
      {"plain inside", g.plainRect, {1, 1}, kWhite},
      {"thick outline", g.thickRect, {2, 2}, rgb(0, 0, 200)},
      {"thick inside", g.thickRect, {3, 3}, rgb(255, 220, 0)},
      {"penless corner", g.penlessRect, {0, 0}, rgb(0, 160, 60)},
      {"penless far corner", g.penlessRect, {59, 29}, rgb(0, 160, 60)},
      {"clear outline", g.clearRect, {59, 29}, rgb(220, 0, 0)},
      {"clear inside", g.clearRect, {30, 15}, formColour},
      {"round centre", g.roundRect, {3, 11}, rgb(204, 51, 51)},
      // The image's own bitmap: outline, fill, line, a filled bar.
      {"canvas outline", g.canvas, {199, 29}, rgb(0x66, 0x66, 0x66)},
      {"canvas band", g.canvas, {3, 3}, rgb(0xCC, 0xCC, 0xCC)},
      {"canvas line", g.canvas, {100, 50}, rgb(0x66, 0x66, 0x50)},
      {"canvas line end", g.canvas, {190, 50}, kWhite},
      {"canvas bar", g.canvas, {160, 42}, rgb(0x33, 0xCC, 0x66)},
      {"filled label", g.filledLabel, {1, 1}, kWhite},
  };
  for (const Probe& p : probes) {
    const Rect r = p.element->formRect();
    const Colour got = pixelAt(shot, r.left + p.at.x, r.top + p.at.y);
    EXPECT_TRUE(closeTo(got, p.expected)) << p.what << ": " << hex(got) << " instead of " << hex(p.expected);
  }

  // Text is drawn where the labels are, Chinese included (through the fallback font).
  for (Label* l : {g.leftLabel, g.filledLabel, g.wrapLabel, g.chineseLabel}) {
    EXPECT_GT(darkPixels(shot, l->formRect()), 10) << "label at " << l->left() << "," << l->top();
  }
  EXPECT_GT(g.wrapLabel->height(), 20);  // two lines at least
  EXPECT_EQ(g.wrapLabel->width(), 130);
  // Native controls sit where their elements are.
  for (NativeControl* n : std::vector<NativeControl*>{g.edit, g.memo, g.progress}) {
    EXPECT_EQ(clientRectOf(n->handle(), form), n->formRect());
  }
  EXPECT_GT(darkPixels(shot, g.edit->formRect()), 10);
}

TEST_F(GuiWindow, ClicksReachTheRightElementAlsoWhereElementsOverlap) {
  Form form;
  form.setBounds(30, 30, 300, 200);
  std::vector<std::string> log;
  auto watch = [&](Element* e, const std::string& name) {
    e->onClick = [&log, name] { log.push_back("click " + name); };
    e->onMouseEnter = [&log, name] { log.push_back("enter " + name); };
    e->onMouseLeave = [&log, name] { log.push_back("leave " + name); };
  };
  Shape* below = form.make<Shape>();
  below->setBounds(10, 10, 100, 100);
  Shape* above = form.make<Shape>();
  above->setBounds(60, 60, 100, 100);
  above->setCursor(Cursor::hand);
  Panel* panel = form.make<Panel>();
  panel->setBounds(180, 10, 100, 100);
  Label* inPanel = panel->make<Label>();
  inPanel->setAutoSize(false);
  inPanel->setBounds(10, 10, 40, 40);
  watch(below, "below");
  watch(above, "above");
  watch(panel, "panel");
  watch(inPanel, "label");
  int doubles = 0;
  above->onDoubleClick = [&] { ++doubles; };
  form.show();
  pumpMessages(50);

  click(form, {20, 20});
  click(form, {70, 70});
  click(form, {150, 150});
  click(form, {195, 25});
  click(form, {250, 90});
  doubleClick(form, {100, 100});
  mouseAway();
  pumpUntil([&] { return !log.empty() && log.back().rfind("leave", 0) == 0; }, 1000);
  EXPECT_EQ(log, (std::vector<std::string>{"enter below", "click below", "leave below", "enter above",
                                           "click above", "click above", "leave above", "enter label",
                                           "click label", "leave label", "enter panel", "click panel",
                                           "leave panel", "enter above", "click above", "leave above"}));
  EXPECT_EQ(doubles, 1);

  // Enter and leave pair up however the pointer goes.
  int balance = 0, worst = 0;
  for (Element* e : std::vector<Element*>{below, above, panel, inPanel}) {
    e->onMouseEnter = [&] { worst = std::max(worst, ++balance); };
    e->onMouseLeave = [&] { --balance; };
  }
  for (int i = 0; i < 60; ++i) mouseMove(form, {(i * 37) % 300, (i * 53) % 200});
  mouseAway();
  pumpUntil([&] { return balance == 0; }, 1000);
  EXPECT_EQ(balance, 0);
  EXPECT_EQ(worst, 1);

  // The pointer over an element shows its cursor.
  mouseMove(form, {150, 150});
  SendMessageW(static_cast<HWND>(form.handle()), WM_SETCURSOR, WPARAM(form.handle()),
               MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, reinterpret_cast<const wchar_t*>(IDC_HAND)));
}

TEST_F(GuiWindow, AModalFormReturnsItsResultWhileTheOthersWait) {
  Form owner;
  owner.setBounds(50, 50, 300, 200);
  owner.show();
  Form dialog;
  dialog.setClientSize(120, 80);
  dialog.setPosition(FormPosition::screenCentre);
  Image* ok = dialog.make<Image>();
  ok->setBounds(10, 10, 36, 36);
  ok->onClick = [&] { dialog.setModalResult(kModalOk); };
  Edit* code = dialog.make<Edit>();
  code->setBounds(50, 10, 60, 22);
  bool ownerDisabled = false, editFocused = false;
  application().post([&] {
    ownerDisabled = !IsWindowEnabled(static_cast<HWND>(owner.handle()));
    editFocused = GetFocus() == code->handle();
    click(dialog, {20, 20});
  });
  EXPECT_EQ(dialog.showModal(), kModalOk);
  EXPECT_TRUE(ownerDisabled);
  EXPECT_TRUE(editFocused);  // typing goes to the edit at once
  EXPECT_TRUE(IsWindowEnabled(static_cast<HWND>(owner.handle())));
  EXPECT_FALSE(IsWindowVisible(static_cast<HWND>(dialog.handle())));

  // The system close command ends it with Cancel; it can be shown again and again.
  int closes = 0;
  dialog.onClose = [&] { ++closes; };
  for (int i = 0; i < 2; ++i) {
    application().post([&] { PostMessageW(static_cast<HWND>(dialog.handle()), WM_CLOSE, 0, 0); });
    EXPECT_EQ(dialog.showModal(), kModalCancel);
  }
  EXPECT_EQ(closes, 2);
}

TEST_F(GuiWindow, ATimerFiresEveryIntervalWhileEnabled) {
  Timer timer;
  int ticks = 0;
  timer.setInterval(30);
  timer.setHandler([&] { ++ticks; });
  timer.setEnabled(true);
  EXPECT_TRUE(pumpUntil([&] { return ticks >= 3; }, 3000));
  timer.setEnabled(false);
  const int stopped = ticks;
  pumpMessages(150);
  EXPECT_EQ(ticks, stopped);
  // A one-shot: the handler switches its timer off.
  timer.setInterval(40);
  timer.setHandler([&] {
    timer.setEnabled(false);
    ++ticks;
  });
  timer.setEnabled(true);
  pumpMessages(300);
  EXPECT_EQ(ticks, stopped + 1);
}

TEST_F(GuiWindow, ReparentedElementsMoveWithTheirPanel) {
  Form form;
  form.setBounds(40, 40, 400, 200);
  form.setColour(kWhite);
  Panel* first = form.make<Panel>();
  first->setBounds(0, 0, 200, 200);
  first->setColour(rgb(200, 200, 255));
  Panel* second = form.make<Panel>();
  second->setBounds(200, 0, 200, 200);
  second->setColour(rgb(200, 255, 200));
  Shape* mark = first->make<Shape>();
  mark->setBounds(20, 20, 30, 30);
  mark->setPenWidth(0);
  mark->setBrushColour(rgb(255, 0, 0));
  Edit* edit = first->make<Edit>();
  edit->setBounds(20, 100, 100, 22);
  edit->setText(u"moves along");
  form.show();
  pumpMessages(50);
  EXPECT_EQ(clientRectOf(edit->handle(), form), (Rect{20, 100, 100, 22}));

  mark->setParent(second);
  edit->setParent(second);
  second->setBounds(220, 10, 180, 190);
  pumpMessages(50);
  EXPECT_EQ(clientRectOf(edit->handle(), form), (Rect{240, 110, 100, 22}));
  EXPECT_EQ(edit->text(), u"moves along");
  const DecodedImage shot = captureWindow(form.handle());
  EXPECT_EQ(pixelAt(shot, 245, 35), rgb(255, 0, 0));
  EXPECT_EQ(pixelAt(shot, 25, 25), rgb(200, 200, 255));
  // Hiding the panel hides the native control on it.
  second->hide();
  EXPECT_FALSE(IsWindowVisible(static_cast<HWND>(edit->handle())));
  second->show();
  EXPECT_TRUE(IsWindowVisible(static_cast<HWND>(edit->handle())));
}

TEST_F(GuiWindow, AnchoredElementsFollowAResize) {
  Form form;
  form.setBounds(10, 10, 300, 200);
  form.setRoundedOutline(14);
  ProgressBar* bar = form.make<ProgressBar>();
  bar->setBounds(10, 170, 200, 16);
  bar->setAnchors(anchorLeft | anchorRight | anchorBottom);
  Image* grip = form.make<Image>();
  grip->setBounds(260, 160, 40, 40);
  grip->setAnchors(anchorRight | anchorBottom);
  form.show();
  pumpMessages(30);

  form.setClientSize(400, 260);
  EXPECT_EQ(bar->bounds(), (Rect{10, 230, 300, 16}));
  EXPECT_EQ(clientRectOf(bar->handle(), form), bar->formRect());
  EXPECT_EQ(grip->bounds(), (Rect{360, 220, 40, 40}));
  RECT box;
  ASSERT_NE(GetWindowRgnBox(static_cast<HWND>(form.handle()), &box), ERROR);
  EXPECT_EQ(box.right, 400);
  EXPECT_EQ(box.bottom, 260);

  // Maximised it covers the work area, and the anchored elements follow again.
  form.maximise();
  pumpMessages(30);
  EXPECT_EQ(form.windowState(), WindowState::maximised);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  GetMonitorInfoW(MonitorFromWindow(static_cast<HWND>(form.handle()), MONITOR_DEFAULTTONEAREST), &monitor);
  EXPECT_EQ(form.bounds(),
            (Rect{monitor.rcWork.left, monitor.rcWork.top, monitor.rcWork.right - monitor.rcWork.left,
                  monitor.rcWork.bottom - monitor.rcWork.top}));
  EXPECT_EQ(grip->bounds().right(), form.width());
  EXPECT_EQ(clientRectOf(bar->handle(), form), bar->formRect());
  form.restore();
  pumpMessages(30);
  EXPECT_EQ(form.bounds(), (Rect{10, 10, 400, 260}));
  EXPECT_EQ(grip->bounds(), (Rect{360, 220, 40, 40}));
}

BOOL CALLBACK findVisibleTooltip(HWND window, LPARAM found) {
  wchar_t cls[64] = {};
  GetClassNameW(window, cls, 64);
  if (lstrcmpiW(cls, TOOLTIPS_CLASSW) == 0 && IsWindowVisible(window))
    *reinterpret_cast<HWND*>(found) = window;
  return TRUE;
}

TEST_F(GuiWindow, FormsStayOnTopTakeIconsMinimiseAndShowHints) {
  Form form;
  form.setBounds(70, 70, 200, 120);
  Shape* tip = form.make<Shape>();
  tip->setBounds(20, 20, 60, 40);
  tip->setHint(u"A hint");
  tip->setShowHint(true);
  form.setAlwaysOnTop(true);
  form.show();
  pumpMessages(30);
  HWND window = static_cast<HWND>(form.handle());
  EXPECT_TRUE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
  EXPECT_TRUE(LoadFormIcon(&form, kIconFile));
  EXPECT_NE(SendMessageW(window, WM_GETICON, ICON_BIG, 0), 0);
  EXPECT_NE(SendMessageW(window, WM_GETICON, ICON_SMALL, 0), 0);

  mouseMove(form, {30, 30});
  HWND tooltip = nullptr;
  EXPECT_TRUE(pumpUntil(
      [&] {
        EnumThreadWindows(GetCurrentThreadId(), findVisibleTooltip, reinterpret_cast<LPARAM>(&tooltip));
        return tooltip != nullptr;
      },
      3000));
  if (tooltip != nullptr) {
    wchar_t text[32] = {};
    GetWindowTextW(tooltip, text, 32);
    EXPECT_STREQ(text, L"A hint");
  }
  mouseAway();

  form.minimise();
  pumpMessages(30);
  EXPECT_EQ(form.windowState(), WindowState::minimised);
  EXPECT_TRUE(IsIconic(window));
  form.restore();
  pumpMessages(30);
  EXPECT_EQ(form.windowState(), WindowState::normal);
  EXPECT_EQ(form.bounds(), (Rect{70, 70, 200, 120}));
}

TEST_F(GuiWindow, NativeControlsTakeTypingAndChoices) {
  Form form;
  form.setBounds(60, 60, 300, 240);
  Edit* edit = form.make<Edit>();
  edit->setBounds(10, 10, 120, 22);
  ComboBox* combo = form.make<ComboBox>();
  combo->setBounds(10, 40, 120, 21);
  for (const char16_t* item : {u"Random", u"0x0", u"0x1"}) combo->addItem(item);
  combo->setItemIndex(0);
  int changes = 0;
  combo->onChange = [&] { ++changes; };
  Memo* memo = form.make<Memo>();
  memo->setBounds(10, 70, 200, 80);
  memo->setReadOnly(true);
  ProgressBar* bar = form.make<ProgressBar>();
  bar->setBounds(10, 160, 200, 16);
  bar->setRange(0, 10000);
  form.show();
  pumpMessages(30);

  typeText(*edit, u"12345");
  EXPECT_EQ(edit->text(), u"12345");
  chooseItem(*combo, 2);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(combo->itemIndex(), 2);
  EXPECT_EQ(combo->text(), u"0x1");
  combo->setItemIndex(1);  // by the program: no change event
  EXPECT_EQ(changes, 1);

  memo->setText(u"first\nsecond");
  EXPECT_EQ(memo->text(), u"first\r\nsecond");
  HWND memoWindow = static_cast<HWND>(memo->handle());
  EXPECT_FALSE(GetWindowLongW(memoWindow, GWL_STYLE) & WS_VSCROLL);
  memo->setScrollBars(false, true);
  memoWindow = static_cast<HWND>(memo->handle());
  EXPECT_TRUE(GetWindowLongW(memoWindow, GWL_STYLE) & WS_VSCROLL);
  EXPECT_TRUE(GetWindowLongW(memoWindow, GWL_STYLE) & ES_READONLY);
  EXPECT_EQ(memo->text(), u"first\r\nsecond");
  EXPECT_EQ(clientRectOf(memoWindow, form), memo->formRect());

  bar->setPosition(2500);
  EXPECT_EQ(SendMessageW(static_cast<HWND>(bar->handle()), PBM_GETPOS, 0, 0), 2500);
}

}  // namespace
