// The eraser's pattern dialog (TFormUserDefine): four select-only lists choosing the passes of the
// user-defined method, each "Random" or one byte value; the choices are kept between shows.
#pragma once

#include <array>
#include <cstdint>

#include "Eraseutil.h"
#include "Guicontrols.h"
#include "Guiform.h"
#include "Guinative.h"

class TFormUserDefine : public Form {
 public:
  // Built once at start-up with all four lists on "Random".
  TFormUserDefine();
  ~TFormUserDefine() override;

  // --- components ---------------------------------------------------------------------------------
  Panel* Panel_Title = nullptr;  // top strip, drags the dialog
  Label* Label_Title = nullptr;  // set by the caller
  Panel* Panel_Item = nullptr;
  Image* Image_BackGround = nullptr;
  ComboBox* ComboBox1 = nullptr;  // pass 1 .. pass 4
  ComboBox* ComboBox2 = nullptr;
  ComboBox* ComboBox3 = nullptr;
  ComboBox* ComboBox4 = nullptr;
  Panel* Panel_Button = nullptr;
  Image* Image_BackGround2 = nullptr;
  Image* Image_Button1 = nullptr;  // OK: closes, keeping the choices (there is no Cancel)
  Label* Label_Button1 = nullptr;

  // The chosen item index of ComboBox1..4, as userPattern takes them: 0 random, k > 0 byte k - 1.
  UserPattern choices() const;

  // The whole use, for the main form: title "User defined", shown modally, the four choices given
  // back (to be stored into userPattern by the caller).
  UserPattern choosePattern();

  // --- event handlers -------------------------------------------------------------------------------
  void FormShow();  // draws both backgrounds and centres the title
  void Image_Button1Click();

 private:
};

// The one pattern dialog of the program; made by the process entry, lives until the process ends.
extern TFormUserDefine* FormUserDefine;
