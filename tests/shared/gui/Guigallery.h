// A form that shows every element kind of the GUI layer, for looking at and for the window tests.
#pragma once

#include "Guicontrols.h"
#include "Guiform.h"
#include "Guinative.h"

struct Gallery {
  Panel* panel = nullptr;
  Image* alphaPng = nullptr;      // on the panel
  Image* keyedBitmap = nullptr;   // transparent: magenta left out
  Image* opaqueBitmap = nullptr;  // not transparent: magenta shown
  Image* stretched = nullptr;     // 16 x 16 picture stretched to 48 x 32
  Image* unscaled = nullptr;      // 16 x 16 picture in a 40 x 40 element
  Label* leftLabel = nullptr;
  Label* filledLabel = nullptr;  // centred, white background
  Label* wrapLabel = nullptr;
  Label* chineseLabel = nullptr;
  Shape* plainRect = nullptr;    // pen 1 black, brush white
  Shape* thickRect = nullptr;    // pen 3 blue, brush yellow
  Shape* penlessRect = nullptr;  // pen 0, brush green
  Shape* clearRect = nullptr;    // pen 1 red, clear brush
  Shape* roundRect = nullptr;
  Image* canvas = nullptr;
  Edit* edit = nullptr;
  ComboBox* listCombo = nullptr;
  ComboBox* editCombo = nullptr;
  Memo* memo = nullptr;
  ProgressBar* progress = nullptr;
};

constexpr Colour kGalleryPanelColour = rgb(230, 240, 255);

// Builds the gallery on the form (640 x 420 client area); the pictures come from the program's
// resources (Guitestpictures.rc).
Gallery buildGallery(Form& form);
