// Without Windows the program carries no resources: the dialogs' pictures stay empty.
#include "Formlistutil.h"
#include "Guicontrols.h"

bool loadDialogPicture(Image* image, int32_t) {
  if (image != nullptr) image->clearPicture();
  return false;
}
