// The list dialog and the pattern dialog on the headless side: rows, stripes, choosing, the
// confirmation code, the deferred message, the language list, dragging, and the pattern lists.
#include "Frmlist.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "Frmuserdefine.h"
#include "Guiheadless.h"
#include "Guitimer.h"
#include "Msgobjectutil.h"
#include "Winmsglistutil.h"

namespace {

std::vector<uint8_t> fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::vector<uint8_t> table(std::u16string_view lines) {
  std::vector<uint8_t> bytes = {0xFF, 0xFE};
  for (char16_t u : lines) {
    bytes.push_back(uint8_t(u & 0xFF));
    bytes.push_back(uint8_t(u >> 8));
  }
  return bytes;
}

Point centreOf(const Element* e) {
  const Rect r = e->formRect();
  return {r.left + r.width / 2, r.top + r.height / 2};
}

void click(Form& form, Point at) {
  form.mouse().press(MouseButton::left, at, shiftLeft, false);
  form.mouse().release(MouseButton::left, at, 0);
  runHeadlessPending();
}

class Dialogs : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const std::string pictures = VELMORA_SOURCE_DIR "/eraser/resources/pictures/";
    setHeadlessResource(ResourceType::rcdata, 12004, fileBytes(pictures + "ok.png"));
    setHeadlessResource(ResourceType::rcdata, 12005, fileBytes(pictures + "cancel.png"));
  }
  void SetUp() override {
    // English, a Traditional-Chinese table without a name of its own, German, and a Swedish table
    // that neither names itself nor has a system name here.
    resources_[21000] = table(
        u"1\tEnglish\r\n20\tOK\r\n21\tCancel\r\n23\tLanguage\r\n32\tPlease enter the verification code\r\n"
        u"43\tErase Method\r\n");
    resources_[21001] = table(u"20\t\u78BA\u5B9A\r\n");
    resources_[21006] = table(u"1\tDeutsch\r\n20\tOK\r\n");
    resources_[21030] = table(u"20\tOK\r\n");
    ASSERT_TRUE(createLanguageTables(
        [this](uint32_t id) {
          auto it = resources_.find(id);
          return it != resources_.end() ? std::span<const uint8_t>(it->second) : std::span<const uint8_t>();
        },
        "ENG"));
  }
  void TearDown() override {
    setHeadlessModalHandler(nullptr);
    destroyLanguageTables();
  }
  // Shows the dialog modally; while it is shown, the handler acts as the user.
  int32_t showWith(TFormList& form, const std::function<void()>& user) {
    setHeadlessModalHandler([&](Form&) { user(); });
    form.showModal();
    setHeadlessModalHandler(nullptr);
    return form.resultValue;
  }
  static Point rowPoint(TFormList& form, int row) { return centreOf(form.rowLabels[size_t(row)]); }

  std::map<uint32_t, std::vector<uint8_t>> resources_;
};

TEST_F(Dialogs, TheMethodListShowsTwentyTwoStripedRowsAndCancelChoosesNothing) {
  TFormList form;
  EXPECT_EQ(form.ImgOk->picture().width(), 36) << "the OK picture is loaded";
  form.prepareMethodList();
  const int32_t result = showWith(form, [&] {
    EXPECT_EQ(form.rowCount(), 22);
    EXPECT_EQ(form.clientWidth(), 280);
    EXPECT_EQ(form.clientHeight(), 22 * 20 + 41 + 57);
    EXPECT_EQ(form.rowLabels[0]->text(), u"One Pass Zeros");
    EXPECT_EQ(form.rowLabels[21]->text(), u"User defined");
    for (int i = 0; i < 22; ++i) {
      const Label* row = form.rowLabels[size_t(i)];
      EXPECT_TRUE(row->visible());
      EXPECT_EQ(row->bounds(), (Rect{0, 7 + 20 * i, 280, 20})) << i;
      EXPECT_EQ(row->font().colour, kBlack) << i;
      EXPECT_EQ(form.rowValue(i), i + 1);
      // The stripe behind it, grey first.
      EXPECT_EQ(form.Image_BackGround->canvas().pixel(100, 10 + 20 * i),
                i % 2 == 0 ? rgb(0xE6, 0xE6, 0xE6) : kWhite)
          << i;
    }
    EXPECT_EQ(form.Label_Title->text(), u"Erase Method");
    EXPECT_EQ(form.Label_Title->left(), (280 - form.Label_Title->width()) / 2);
    EXPECT_FALSE(form.Label_Check->visible());
    EXPECT_FALSE(form.Edit_Chack->visible());
    EXPECT_TRUE(form.ImgCancel->visible() && form.LblCancel->visible());
    EXPECT_EQ(form.LblOk->text(), u"OK");
    EXPECT_EQ(form.LblCancel->text(), u"Cancel");
    EXPECT_EQ(form.ImgOk->left(), 20);
    click(form, rowPoint(form, 4));
    click(form, centreOf(form.ImgCancel));
  });
  EXPECT_EQ(result, kResultNone);
  EXPECT_FALSE(form.visible());
  EXPECT_EQ(form.rowCount(), 0) << "the rows go with the dialog";
  EXPECT_FALSE(form.rowLabels[0]->visible());
}

TEST_F(Dialogs, TwoClicksLeaveOnlyTheSecondRowRedAndOkGivesItsValue) {
  TFormList form;
  Timer pageTimer;
  pageTimer.setEnabled(true);
  bool pausedWhileShown = false;
  setHeadlessModalHandler([&](Form&) {
    pausedWhileShown = !pageTimer.enabled();
    click(form, rowPoint(form, 2));
    EXPECT_EQ(form.rowLabels[2]->font().colour, rgb(255, 0, 0));
    click(form, rowPoint(form, 5));
    EXPECT_EQ(form.rowLabels[2]->font().colour, kBlack);
    EXPECT_EQ(form.rowLabels[5]->font().colour, rgb(255, 0, 0));
    EXPECT_EQ(form.selectedRow(), form.rowLabels[5]);
    click(form, centreOf(form.ImgOk));
  });
  EXPECT_EQ(form.chooseFromMethodList(&pageTimer), 6);
  EXPECT_EQ(form.resultValue, 6);
  EXPECT_TRUE(pausedWhileShown);
  EXPECT_TRUE(pageTimer.enabled());

  // Shown again, nothing is red any more; OK without a click chooses nothing.
  setHeadlessModalHandler([&](Form&) {
    for (int i = 0; i < form.rowCount(); ++i) EXPECT_EQ(form.rowLabels[size_t(i)]->font().colour, kBlack);
    click(form, centreOf(form.LblOk));
  });
  EXPECT_EQ(form.chooseFromMethodList(nullptr), kResultNone);

  // Closed by the system: nothing chosen either.
  setHeadlessModalHandler([&](Form&) {
    click(form, rowPoint(form, 0));
    form.close();
  });
  EXPECT_EQ(form.chooseFromMethodList(nullptr), kResultNone);
}

TEST_F(Dialogs, ATwentyThirdRowIsRefusedAndDisabledRowsCannotBeChosen) {
  TFormList form;
  form.prepareMethodList();
  EXPECT_FALSE(form.addRow(u"more", 99, true, false));
  EXPECT_EQ(form.rowCount(), 22);

  form.clearRows();
  ASSERT_TRUE(form.addRow(u"on", 7, true, true));
  ASSERT_TRUE(form.addRow(u"off", 8, false, false));
  EXPECT_EQ(form.selectedValue(), 7) << "a chosen row is chosen from the start";
  EXPECT_EQ(form.rowLabels[0]->font().colour, rgb(255, 0, 0));
  EXPECT_EQ(form.clientHeight(), listClientHeight(2));
  const int32_t result = showWith(form, [&] {
    click(form, rowPoint(form, 1));
    click(form, centreOf(form.ImgOk));
  });
  EXPECT_EQ(result, 7);
}

TEST_F(Dialogs, TheConfirmationTakesOnlyTheExactCode) {
  TFormList form;
  struct Case {
    const char* what;
    std::function<std::u16string(const std::u16string&)> typed;
    bool ok;  // OK pressed, else Cancel
    int32_t result;
  };
  const Case cases[] = {
      {"empty", [](const std::u16string&) { return u""; }, true, kResultCodeWrong},
      {"leading blank", [](const std::u16string& c) { return u" " + c; }, true, kResultCodeWrong},
      {"trailing blank", [](const std::u16string& c) { return c + u" "; }, true, kResultCodeWrong},
      {"blank inside", [](const std::u16string& c) { return c.substr(0, 1) + u" " + c.substr(1); }, true,
       kResultCodeWrong},
      {"the code", [](const std::u16string& c) { return c; }, true, kResultCodeOk},
      {"the code, then Cancel", [](const std::u16string& c) { return c; }, false, kResultNone},
  };
  for (const Case& c : cases) {
    form.Edit_Chack->setText(u"left from before");
    bool matched = false;
    setHeadlessModalHandler([&](Form&) {
      EXPECT_EQ(form.dialogMode, kDialogConfirm);
      EXPECT_TRUE(form.Edit_Chack->text().empty()) << c.what;
      EXPECT_TRUE(form.Label_Check->visible() && form.Edit_Chack->visible());
      const std::u16string code = form.Label_Check->text();
      EXPECT_EQ(code, form.confirmationCode());
      EXPECT_FALSE(code.empty());
      EXPECT_EQ(form.rowCount(), 0);
      EXPECT_EQ(form.clientHeight(), form.Label_Check->height() + 41 + 67);
      EXPECT_EQ(form.Edit_Chack->bounds(), (Rect{120, 8, 121, 23}));
      EXPECT_EQ(form.Label_Check->left(), 24);
      EXPECT_TRUE(form.ImgCancel->visible());
      form.Edit_Chack->setText(c.typed(code));
      click(form, centreOf(c.ok ? form.ImgOk : form.ImgCancel));
    });
    matched = form.confirmWithCode(nullptr);
    EXPECT_EQ(form.resultValue, c.result) << c.what;
    EXPECT_EQ(matched, c.result == kResultCodeOk) << c.what;
  }
  setHeadlessModalHandler(nullptr);
}

TEST_F(Dialogs, ALongConfirmationTitleWidensTheDialog) {
  resources_[21000] = table(u"32\tPlease enter the verification code shown on the left\r\n");
  ASSERT_TRUE(createLanguageTables(
      [this](uint32_t id) {
        auto it = resources_.find(id);
        return it != resources_.end() ? std::span<const uint8_t>(it->second) : std::span<const uint8_t>();
      },
      "ENG"));
  TFormList form;
  showWith(form, [&] {});  // nothing shown yet: a list
  form.prepareConfirmation();
  showWith(form, [&] {
    EXPECT_GT(form.Label_Title->width() + 32, 280);
    EXPECT_EQ(form.clientWidth(), form.Label_Title->width() + 32);
    EXPECT_EQ(form.Label_Title->left(), 16);
  });
}

TEST_F(Dialogs, AMessageWaitsForTheTimerAndIsLaidOutWithOkAlone) {
  TFormList form;
  Timer messageTimer;
  messageTimer.setInterval(40);
  form.setMessageTimer(&messageTimer);

  // After a confirmation, a message is a message.
  form.prepareConfirmation();
  showWith(form, [&] { click(form, centreOf(form.ImgCancel)); });
  form.showMessage(u"Verification Error");
  EXPECT_TRUE(messageTimer.enabled());
  EXPECT_FALSE(form.visible()) << "deferred to the timer";
  EXPECT_EQ(form.dialogMode, kDialogMessage);
  const int32_t result = showWith(form, [&] {
    EXPECT_EQ(form.Label_Title->text(), u"Velmora");
    EXPECT_EQ(form.rowCount(), 1);
    EXPECT_EQ(form.rowLabels[0]->text(), u"Verification Error");
    EXPECT_EQ(form.clientWidth(), 280);
    EXPECT_EQ(form.clientHeight(), 118);
    EXPECT_FALSE(form.Edit_Chack->visible());
    EXPECT_FALSE(form.Label_Check->visible());
    EXPECT_FALSE(form.ImgCancel->visible());
    EXPECT_FALSE(form.LblCancel->visible());
    EXPECT_EQ(form.ImgOk->bounds().right(), 140) << "OK ends on the centre line";
    EXPECT_EQ(form.Image_BackGround->canvas().pixel(100, 10), rgb(0xE6, 0xE6, 0xE6));
    // A second message while this one is open only changes the text.
    form.showMessage(u"Can not erase boot drive!");
    EXPECT_EQ(form.rowLabels[0]->text(), u"Can not erase boot drive!");
    EXPECT_EQ(form.rowCount(), 1);
    click(form, centreOf(form.ImgOk));
  });
  EXPECT_EQ(result, kResultNone);

  // A long message widens the dialog by its measured width and 64.
  const std::u16string longText(60, u'W');
  form.showMessage(longText);
  showWith(form, [&] {
    const int measured = form.Label_Check->width();
    EXPECT_GT(measured, 216);
    EXPECT_EQ(form.clientWidth(), measured + 64);
    EXPECT_EQ(form.rowLabels[0]->width(), measured + 64);
    EXPECT_EQ(form.ImgOk->bounds().right(), (measured + 64) / 2);
  });
}

TEST_F(Dialogs, TheLanguageListNamesEachTableThatHasANameAndGivesItBack) {
  TFormList form;
  setHeadlessModalHandler([&](Form&) {
    ASSERT_EQ(form.rowCount(), 3);
    EXPECT_EQ(form.Label_Title->text(), u"Language");
    EXPECT_EQ(form.rowLabels[0]->text(), u"English");
    EXPECT_EQ(form.rowLabels[1]->text(), u"中文(繁體)") << "the system's name for a table without its own";
    EXPECT_EQ(form.rowLabels[2]->text(), u"Deutsch");
    EXPECT_EQ(form.clientHeight(), listClientHeight(3));
    EXPECT_STREQ(languageTableOfValue(form.rowValue(1))->languageCode, "CHT");
    click(form, rowPoint(form, 2));
    click(form, centreOf(form.ImgOk));
  });
  clMsgObject* chosen = form.chooseFromLanguageList(nullptr);
  ASSERT_NE(chosen, nullptr);
  EXPECT_STREQ(chosen->languageCode, "DEU");
  EXPECT_EQ(languageTableOfValue(kResultNone), nullptr);
  EXPECT_EQ(languageTableOfValue(99), nullptr);
}

TEST_F(Dialogs, DraggingTheTitleMovesTheDialog) {
  TFormList form;
  TFormUserDefine pattern;
  for (Form* f : {static_cast<Form*>(&form), static_cast<Form*>(&pattern)}) {
    f->show();
    f->setBounds(100, 100, f->width(), f->height());
    f->mouse().press(MouseButton::left, {30, 20}, shiftLeft, false);
    // The window follows the pointer, so the pointer stays where it was pressed in the window.
    f->mouse().move({45, 28}, shiftLeft);
    EXPECT_EQ(f->bounds().left, 115);
    EXPECT_EQ(f->bounds().top, 108);
    f->mouse().move({25, 20}, shiftLeft);
    f->mouse().release(MouseButton::left, {25, 20}, 0);
    f->mouse().move({80, 30}, 0);
    EXPECT_EQ(f->bounds().left, 110) << "no move without the button";
    f->hide();
  }
}

TEST_F(Dialogs, ThePatternListsStartOnRandomAndKeepTheirChoices) {
  TFormUserDefine form;
  EXPECT_EQ(form.clientWidth(), 215);
  EXPECT_EQ(form.clientHeight(), 245);
  EXPECT_EQ(form.Panel_Item->height(), 162);
  const std::array<ComboBox*, 4> lists = {form.ComboBox1, form.ComboBox2, form.ComboBox3, form.ComboBox4};
  for (ComboBox* list : lists) {
    EXPECT_EQ(list->kind(), NativeKind::comboList) << "select-only";
    ASSERT_EQ(list->count(), 257);
    EXPECT_EQ(list->itemText(0), u"Random");
    EXPECT_EQ(list->itemText(1), u"0x0");
    EXPECT_EQ(list->itemText(256), u"0xFF");
  }
  EXPECT_EQ(form.ComboBox3->bounds(), (Rect{35, 85, 145, 21}));

  setHeadlessModalHandler([&](Form&) {
    EXPECT_EQ(form.Label_Title->text(), u"User defined");
    EXPECT_EQ(form.Label_Title->left(), (215 - form.Label_Title->width()) / 2);
    for (ComboBox* list : lists) EXPECT_EQ(list->text(), u"Random");
    click(form, centreOf(form.Image_Button1));
  });
  EXPECT_EQ(form.choosePattern(), (UserPattern{0, 0, 0, 0}));

  setHeadlessModalHandler([&](Form&) {
    form.ComboBox1->setItemIndex(1);
    form.ComboBox2->setItemIndex(256);
    form.ComboBox3->setItemIndex(0);
    form.ComboBox4->setItemIndex(86);
    click(form, centreOf(form.Image_Button1));
  });
  EXPECT_EQ(form.choosePattern(), (UserPattern{1, 256, 0, 86}));

  // Shown again: the choices of last time; closed by the system, they are kept too.
  setHeadlessModalHandler([&](Form&) {
    EXPECT_EQ(form.ComboBox2->text(), u"0xFF");
    EXPECT_EQ(form.ComboBox4->text(), u"0x55");
    form.close();
  });
  EXPECT_EQ(form.choosePattern(), (UserPattern{1, 256, 0, 86}));
  // The background is drawn at the body's size, outline and foot line included.
  EXPECT_EQ(form.Image_BackGround->canvas().width(), 215);
  EXPECT_EQ(form.Image_BackGround->canvas().pixel(0, 161), kBlack);
  EXPECT_EQ(form.Image_BackGround->canvas().pixel(100, 161), rgb(0x66, 0x66, 0x66));
}

}  // namespace
