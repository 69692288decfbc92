// The list dialog and the pattern dialog on real windows (Wine under Xvfb), driven with synthetic
// input: what they show, the rows and stripes, the code, the message, the pattern lists. Each test
// leaves a screenshot in <build>/screenshots.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "Frmlist.h"
#include "Frmuserdefine.h"
#include "Guiapplication.h"
#include "Guitestdriver.h"
#include "Guitimer.h"
#include "Winmsglistutil.h"

namespace {

bool closeTo(Colour a, Colour b, int tolerance = 3) {
  return std::abs(redOf(a) - redOf(b)) <= tolerance && std::abs(greenOf(a) - greenOf(b)) <= tolerance &&
         std::abs(blueOf(a) - blueOf(b)) <= tolerance;
}

// Pixels in a rectangle of the shot that are clearly red text, and clearly dark text.
int countPixels(const DecodedImage& shot, const Rect& r, const std::function<bool(Colour)>& is) {
  int n = 0;
  for (int y = r.top; y < r.bottom(); ++y) {
    for (int x = r.left; x < r.right(); ++x) n += is(pixelAt(shot, x, y));
  }
  return n;
}
bool reddish(Colour c) { return redOf(c) > 180 && greenOf(c) < 120 && blueOf(c) < 120; }
bool dark(Colour c) { return redOf(c) < 110 && greenOf(c) < 110 && blueOf(c) < 110; }

// The dialog with one list dropped down: the list is a window of its own, so the picture comes
// from the screen over the dialog and the list together.
void saveDroppedDown(Form& form, ComboBox& list, const char* name) {
  HWND box = static_cast<HWND>(list.handle());
  SetFocus(box);
  SendMessageW(box, CB_SHOWDROPDOWN, TRUE, 0);
  pumpMessages(100);
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  ASSERT_TRUE(GetComboBoxInfo(box, &info));
  RECT dialog, dropped;
  GetWindowRect(static_cast<HWND>(form.handle()), &dialog);
  GetWindowRect(info.hwndList, &dropped);
  EXPECT_TRUE(IsWindowVisible(info.hwndList)) << "the list is down";
  UnionRect(&dialog, &dialog, &dropped);
  const int width = dialog.right - dialog.left, height = dialog.bottom - dialog.top;
  DecodedImage image;
  image.width = uint32_t(width);
  image.height = uint32_t(height);
  image.rgba.resize(size_t(width) * size_t(height) * 4);
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, dialog.left, dialog.top, SRCCOPY);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const COLORREF c = GetPixel(memory, x, y);
      uint8_t* p = &image.rgba[(size_t(y) * size_t(width) + size_t(x)) * 4];
      p[0] = GetRValue(c), p[1] = GetGValue(c), p[2] = GetBValue(c), p[3] = 255;
    }
  }
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  EXPECT_TRUE(savePng(image, std::string("Z:") + VELMORA_SCREENSHOT_DIR + "/" + name + ".png"));
  SendMessageW(box, CB_SHOWDROPDOWN, FALSE, 0);
  pumpMessages(20);
}

Point centreOf(const Element* e) {
  const Rect r = e->formRect();
  return {r.left + r.width / 2, r.top + r.height / 2};
}

class DialogWindows : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(createLanguageTables());
    ASSERT_TRUE(selectLanguageByCode("ENG"));
    mainForm.setBounds(100, 60, 780, 550);
    mainForm.setColour(rgb(40, 40, 40));
    Form::setMainForm(&mainForm);
    mainForm.show();
    mouseAway();
  }
  void TearDown() override {
    watcher_.setEnabled(false);
    Form::setMainForm(nullptr);
    destroyLanguageTables();
  }
  // Runs user on the window thread once the modal dialog is up. A timer's tick runs inside whichever
  // loop runs then, the dialog's own included; a posted call that waited by running messages would
  // hold a modal loop opened under it (the message dialog opens from a timer) and never return. A
  // dialog that the input did not close fails the test instead of hanging it.
  void whenShown(Form& dialog, std::function<void()> user) {
    HWND window = static_cast<HWND>(dialog.handle());
    userRan_ = false;
    watcher_.setInterval(10);
    watcher_.setHandler([this, &dialog, window, user] {
      if (!IsWindowVisible(window) || !dialog.modal()) {
        if (userRan_) watcher_.setEnabled(false);
        return;
      }
      if (!userRan_) {
        userRan_ = true;
        userRanAt_ = GetTickCount();
        pumpMessages(50);
        user();
      } else if (GetTickCount() - userRanAt_ > 3000 && dialog.modalResult() == kModalNone) {
        ADD_FAILURE() << "the dialog is still open";
        dialog.close();
      }
    });
    watcher_.setEnabled(true);
  }
  Form mainForm;
  Timer watcher_;
  bool userRan_ = false;
  DWORD userRanAt_ = 0;
};

TEST_F(DialogWindows, TheMethodListShowsStripedRowsAndOnlyTheSecondClickStaysRed) {
  TFormList form;
  Timer pageTimer;
  pageTimer.setEnabled(true);
  DecodedImage firstClick, secondClick;
  whenShown(form, [&] {
    EXPECT_EQ(form.rowCount(), 22);
    EXPECT_EQ(form.clientHeight(), 22 * 20 + 41 + 57);
    // Centred over the main window.
    EXPECT_EQ(form.left(), 100 + (780 - form.width()) / 2);
    saveScreenshot(form, "dialog-method-list");
    const DecodedImage shot = captureWindow(form.handle());
    for (int i = 0; i < 22; ++i) {
      const Colour stripe = pixelAt(shot, 33, 41 + 7 + 20 * i + 10);
      EXPECT_TRUE(closeTo(stripe, i % 2 == 0 ? rgb(0xE6, 0xE6, 0xE6) : kWhite)) << "stripe of row " << i;
      EXPECT_GT(countPixels(shot, form.rowLabels[size_t(i)]->formRect(), dark), 10) << "text of row " << i;
    }
    EXPECT_TRUE(closeTo(pixelAt(shot, 5, 20), kBlack)) << "title strip";
    EXPECT_TRUE(closeTo(pixelAt(shot, 0, 200), kBlack)) << "body outline";
    click(form, centreOf(form.rowLabels[2]));
    firstClick = captureWindow(form.handle());
    click(form, centreOf(form.rowLabels[5]));
    secondClick = captureWindow(form.handle());
    saveScreenshot(form, "dialog-method-chosen");
    EXPECT_FALSE(pageTimer.enabled());
    click(form, centreOf(form.ImgOk));
  });
  EXPECT_EQ(form.chooseFromMethodList(&pageTimer), 6);
  EXPECT_TRUE(pageTimer.enabled());
  EXPECT_FALSE(IsWindowVisible(static_cast<HWND>(form.handle())));
  const Rect row2 = form.rowLabels[2]->formRect(), row5 = form.rowLabels[5]->formRect();
  EXPECT_GT(countPixels(firstClick, row2, reddish), 10);
  EXPECT_EQ(countPixels(secondClick, row2, reddish), 0);
  EXPECT_GT(countPixels(secondClick, row5, reddish), 10);
  EXPECT_EQ(countPixels(firstClick, row5, reddish), 0);

  // OK without a row chooses nothing.
  whenShown(form, [&] { click(form, centreOf(form.ImgOk)); });
  EXPECT_EQ(form.chooseFromMethodList(nullptr), kResultNone);
}

TEST_F(DialogWindows, TheConfirmationTakesTheTypedCodeOnlyWhenItIsExact) {
  TFormList form;
  struct Case {
    const char* what;
    std::u16string (*typed)(std::u16string code);
    int32_t result;
  };
  const Case cases[] = {
      {"nothing typed", [](std::u16string) { return std::u16string(); }, kResultCodeWrong},
      {"a wrong digit",
       [](std::u16string code) {
         code[0] = code[0] == u'9' ? u'1' : char16_t(code[0] + 1);
         return code;
       },
       kResultCodeWrong},
      {"a blank before", [](std::u16string code) { return u" " + code; }, kResultCodeWrong},
      {"a blank after", [](std::u16string code) { return code + u" "; }, kResultCodeWrong},
      {"the code", [](std::u16string code) { return code; }, kResultCodeOk},
  };
  for (const Case& c : cases) {
    whenShown(form, [&] {
      EXPECT_TRUE(IsWindowVisible(static_cast<HWND>(form.Edit_Chack->handle())));
      EXPECT_EQ(GetFocus(), static_cast<HWND>(form.Edit_Chack->handle())) << "ready for typing";
      const std::u16string code = form.Label_Check->text();
      typeText(*form.Edit_Chack, c.typed(code));
      if (c.result == kResultCodeOk) {
        saveScreenshot(form, "dialog-confirmation");
        const DecodedImage shot = captureWindow(form.handle());
        EXPECT_GT(countPixels(shot, form.Label_Check->formRect(), dark), 10) << "the code is shown";
      }
      click(form, centreOf(form.ImgOk));
    });
    EXPECT_EQ(form.confirmWithCode(nullptr), c.result == kResultCodeOk) << c.what;
    EXPECT_EQ(form.resultValue, c.result) << c.what;
  }
  whenShown(form, [&] {
    typeText(*form.Edit_Chack, form.Label_Check->text());
    click(form, centreOf(form.LblCancel));
  });
  EXPECT_FALSE(form.confirmWithCode(nullptr));
  EXPECT_EQ(form.resultValue, kResultNone);
}

TEST_F(DialogWindows, AMessageOpensFromTheTimerWithOkAlone) {
  TFormList form;
  Timer messageTimer;
  messageTimer.setInterval(40);
  int shown = 0;
  // As the main form's Timer_MessageTimer does it.
  messageTimer.setHandler([&] {
    messageTimer.setEnabled(false);
    ++shown;
    form.showModal();
  });
  form.setMessageTimer(&messageTimer);

  form.showMessage(u"Verification Error");
  EXPECT_FALSE(IsWindowVisible(static_cast<HWND>(form.handle())));
  bool checked = false;
  whenShown(form, [&] {
    EXPECT_EQ(form.clientWidth(), 280);
    EXPECT_EQ(form.clientHeight(), 118);
    EXPECT_FALSE(IsWindowVisible(static_cast<HWND>(form.Edit_Chack->handle())));
    EXPECT_EQ(form.ImgOk->formRect().right(), 140);
    saveScreenshot(form, "dialog-message");
    const DecodedImage shot = captureWindow(form.handle());
    EXPECT_GT(countPixels(shot, form.rowLabels[0]->formRect(), dark), 10);
    // Right of the OK caption, inside the strip's outline.
    const Rect strip = form.Panel_Button->formRect();
    const int from = form.LblOk->formRect().right() + 4;
    EXPECT_EQ(countPixels(shot, {from, strip.top + 1, strip.right() - 2 - from, strip.height - 3}, dark), 0)
        << "no Cancel";
    checked = true;
    click(form, centreOf(form.ImgOk));
  });
  EXPECT_TRUE(pumpUntil([&] { return checked && !form.visible(); }, 3000));
  EXPECT_EQ(shown, 1);
}

TEST_F(DialogWindows, ThePatternListsStartOnRandomGiveTheirChoicesAndKeepThem) {
  TFormUserDefine form;
  whenShown(form, [&] {
    for (ComboBox* list : {form.ComboBox1, form.ComboBox2, form.ComboBox3, form.ComboBox4}) {
      EXPECT_EQ(list->text(), u"Random");
    }
    click(form, centreOf(form.Image_Button1));
  });
  EXPECT_EQ(form.choosePattern(), (UserPattern{0, 0, 0, 0}));

  whenShown(form, [&] {
    chooseItem(*form.ComboBox1, 1);
    chooseItem(*form.ComboBox2, 256);
    chooseItem(*form.ComboBox3, 0);
    chooseItem(*form.ComboBox4, 86);
    click(form, centreOf(form.Label_Button1));
  });
  EXPECT_EQ(form.choosePattern(), (UserPattern{1, 256, 0, 86}));

  whenShown(form, [&] {
    EXPECT_EQ(form.ComboBox1->text(), u"0x0");
    EXPECT_EQ(form.ComboBox2->text(), u"0xFF");
    EXPECT_EQ(form.ComboBox3->text(), u"Random");
    EXPECT_EQ(form.ComboBox4->text(), u"0x55");
    saveScreenshot(form, "dialog-pattern");
    saveDroppedDown(form, *form.ComboBox2, "dialog-pattern-dropped");
    const DecodedImage shot = captureWindow(form.handle());
    EXPECT_GT(countPixels(shot, form.Label_Title->formRect(), [](Colour c) { return greenOf(c) > 200; }), 10)
        << "the white title on black";
    click(form, centreOf(form.Image_Button1));
  });
  EXPECT_EQ(form.choosePattern(), (UserPattern{1, 256, 0, 86}));
}

TEST_F(DialogWindows, TheLanguageListInTraditionalChinese) {
  ASSERT_TRUE(selectLanguageByCode("CHT"));
  TFormList form;
  whenShown(form, [&] {
    EXPECT_EQ(form.rowCount(), 4);
    saveScreenshot(form, "dialog-language-list-cht");
    click(form, centreOf(form.rowLabels[3]));
    click(form, centreOf(form.ImgOk));
  });
  clMsgObject* chosen = form.chooseFromLanguageList(nullptr);
  ASSERT_NE(chosen, nullptr);
  EXPECT_STREQ(chosen->languageCode, "DEU");
}

}  // namespace
