// Pictures from the program's own resources into image elements: bitmaps (kind 1), PNG files of the
// custom type "BINRES" (kind 2), and the eraser's PNG files stored as raw data.
#pragma once

#include <cstdint>

class Container;
class Form;
class Image;

constexpr uint8_t kResourceBitmap = 1;
constexpr uint8_t kResourcePng = 2;

// The system headers make LoadImage a name for LoadImageA (or LoadImageW); here it is the loader
// below, whichever is included first.
#ifdef LoadImage
#undef LoadImage
#endif

// Loads resource id of the kind (2: PNG in "BINRES", anything else: a bitmap resource) into the
// image's picture, replacing what it showed. Id -1 means no picture: false, and the picture stays.
// A resource that is missing or does not decode also gives false and leaves the picture as it was.
bool LoadImage(Image* image, int32_t id, uint8_t kind);
// Where <windows.h> comes after this header, its macro turns our calls into these.
inline bool LoadImageA(Image* image, int32_t id, uint8_t kind) { return LoadImage(image, id, kind); }
inline bool LoadImageW(Image* image, int32_t id, uint8_t kind) { return LoadImage(image, id, kind); }

// A new image element owned by and placed on owner (a form or panel): visible, auto-sized,
// transparent, showing the picture when it loads (empty otherwise). nullptr only without an owner.
Image* CreateImage(Container* owner, int32_t id, uint8_t kind);

// The eraser's loader: id 0 empties the image (true); otherwise the raw-data PNG resource id
// replaces its picture. A resource that is missing or does not decode empties the image and gives
// false.
bool LoadPngResource(Image* image, int32_t id);

// The icon file stored as raw-data resource id becomes the form's icon (task bar, task switcher),
// in the system's large and small icon sizes. False when it is missing or not an icon file.
bool LoadFormIcon(Form* form, int32_t id);
