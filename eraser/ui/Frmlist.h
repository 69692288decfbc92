// The eraser's list dialog (TFormList): method and language picker, one-line message and the typed
// confirmation code before an erase; shown modally by the main form, its outcome in resultValue.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "Formlistutil.h"
#include "Guicontrols.h"
#include "Guiform.h"
#include "Guinative.h"

class Timer;
class clMsgObject;

class TFormList : public Form {
 public:
  // Built once at start-up (after the main form) and shown again and again.
  TFormList();
  ~TFormList() override;

  // --- components ---------------------------------------------------------------------------------
  Panel* Panel_Title = nullptr;  // top strip, drags the dialog
  Label* Label_Title = nullptr;
  Panel* Panel_Item = nullptr;  // the rows, or the code and its edit
  Image* Image_BackGround = nullptr;
  Label* Label_Check = nullptr;  // the confirmation code
  Edit* Edit_Chack = nullptr;    // where the user types it
  Panel* Panel_Button = nullptr;
  Image* Image_BackGround2 = nullptr;
  Image* ImgOk = nullptr;
  Image* ImgCancel = nullptr;
  Label* LblOk = nullptr;
  Label* LblCancel = nullptr;
  std::array<Label*, kListMaxRows> rowLabels{};

  // --- state -------------------------------------------------------------------------------------
  int32_t dialogMode = kDialogList;   // kDialogList, kDialogMessage or kDialogConfirm; kept until set again
  int32_t resultValue = kResultNone;  // a row value, kResultNone, kResultCodeOk or kResultCodeWrong

  int32_t rowCount() const { return rowCount_; }
  int32_t selectedValue() const { return selectedValue_; }
  Label* selectedRow() const { return selectedRow_; }               // the red row; nullptr when none
  int32_t rowValue(int32_t row) const;                              // -1 outside 0..rowCount-1
  const std::u16string& confirmationCode() const { return code_; }  // the code of the last confirmation

  // --- rows --------------------------------------------------------------------------------------
  // No row chosen, none in use, all hidden (the dialog keeps its size).
  void clearRows();
  // Fills the next row and shows it; the client height follows the row count. False, nothing
  // changed, when all kListMaxRows rows are in use.
  bool addRow(std::u16string_view text, int32_t value, bool enabled, bool chosen);
  // A click on row i: it becomes the chosen (red) row, the one before turns black.
  void rowClick(int32_t row);

  // --- preparing (the main form then shows the dialog modally) -------------------------------------
  // The 22 erase methods, row value = method number.
  void prepareMethodList();
  // One row per language table in list order, row value = the table's index in the list (see
  // languageTableOfValue); a table without a name of its own or of the system gets no row.
  void prepareLanguageList();
  // Confirmation mode; the code is made each time the dialog is shown.
  void prepareConfirmation() { dialogMode = kDialogConfirm; }
  // The one-line message "Velmora"/text with OK only. Deferred: it enables the message timer,
  // whose handler (the main form's Timer_MessageTimer) shows this dialog modally once the current
  // handler has returned. When the dialog is on screen, only its title and first row change.
  void showMessage(std::u16string_view text);

  // The main form's Timer_Message (40 ms, one-shot), enabled by showMessage; nullptr: none yet.
  void setMessageTimer(Timer* timer) { messageTimer_ = timer; }
  Timer* messageTimer() const { return messageTimer_; }

  // --- the whole use, for the main form: prepare, switch pageTimer (its Timer1) off, show modally,
  // switch pageTimer on again, give the outcome. pageTimer may be nullptr. ------------------------
  // The chosen method number, or kResultNone (Cancel, or OK without a row).
  int32_t chooseFromMethodList(Timer* pageTimer);
  // The chosen language table, or nullptr.
  clMsgObject* chooseFromLanguageList(Timer* pageTimer);
  // The confirmation: true when the typed text equals the shown code; resultValue tells kResultCodeOk,
  // kResultCodeWrong (typed text differs) or kResultNone (Cancel).
  bool confirmWithCode(Timer* pageTimer);

  // --- event handlers (the components call them; tests may too) ------------------------------------
  void FormShow();  // lays the dialog out by dialogMode, makes the code in confirmation mode
  void ImgOkClick();
  void ImgCancelClick();

 private:
  void layoutList();
  void layoutMessage();
  void layoutConfirmation();
  void layoutButtons();
  void drawBackgrounds(bool stripes);
  void centreTitle();

  int32_t rowCount_ = 0;
  int32_t selectedValue_ = kResultNone;
  Label* selectedRow_ = nullptr;
  std::array<int32_t, kListMaxRows> rowValues_{};
  std::u16string code_;
  Timer* messageTimer_ = nullptr;
};

// The language table that a language row's value stands for; nullptr when none.
clMsgObject* languageTableOfValue(int32_t value);

// The frame both dialogs share: the black title strip with its label (white Arial), and a grey strip
// with a background picture filling it, aligned to the bottom (buttons) or to the rest (items).
Panel* makeDialogTitle(Form& dialog, Label** title);
Panel* makeDialogStrip(Form& dialog, Align align, int height, Colour colour, Image** background);
// A button picture of the bottom strip and its caption; both take the hand cursor.
Image* makeDialogButton(Container& strip, int32_t picture);
Label* makeDialogCaption(Container& strip);

// The one list dialog of the program; made by the process entry, lives until the process ends.
extern TFormList* FormList;
