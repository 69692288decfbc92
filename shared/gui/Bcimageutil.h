// Pictures from the program's own resources into image elements: bitmaps (kind 1), PNG files of the
// custom type "BINRES" (kind 2), and the eraser's PNG files stored as raw data.
#pragma once

#include <cstdint>

class Container;
class Image;

constexpr uint8_t kResourceBitmap = 1;
constexpr uint8_t kResourcePng = 2;

// The system headers make LoadImage a name for LoadImageA; here it is the loader below. Include
// this header after <windows.h> where both are used.
#ifdef LoadImage
#undef LoadImage
#endif

// Loads resource id of the kind (2: PNG in "BINRES", anything else: a bitmap resource) into the
// image's picture, replacing what it showed. Id -1 means no picture: false, and the picture stays.
// A resource that is missing or does not decode also gives false and leaves the picture as it was.
bool LoadImage(Image* image, int32_t id, uint8_t kind);

// A new image element owned by and placed on owner (a form or panel): visible, auto-sized,
// transparent, showing the picture when it loads (empty otherwise). nullptr only without an owner.
Image* CreateImage(Container* owner, int32_t id, uint8_t kind);

// The eraser's loader: id 0 empties the image (true); otherwise the raw-data PNG resource id
// replaces its picture. A resource that is missing or does not decode empties the image and gives
// false.
bool LoadPngResource(Image* image, int32_t id);
