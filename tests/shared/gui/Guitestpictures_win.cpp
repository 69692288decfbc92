#include "Guitestpictures.h"

// The test programs carry Guitestpictures.rc.
void provideTestPictures() {}
