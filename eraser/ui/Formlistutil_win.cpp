#include <windows.h>

#include "Bcimageutil.h"
#include "Formlistutil.h"

bool loadDialogPicture(Image* image, int32_t id) { return LoadPngResource(image, id); }
