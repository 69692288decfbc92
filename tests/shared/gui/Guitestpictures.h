// Resource ids of the pictures in Guitestpictures.rc.
#pragma once

// "BINRES", 24 x 24: a red disc with a soft edge, a blue block of alpha 128 in the top-left corner.
constexpr int kAlphaPng = 200;
// Raw data, 16 x 16: an opaque yellow square with a black frame.
constexpr int kFramedPng = 201;
// Bitmap, 20 x 12: magenta ground, a blue bar over (4..15, 4..7), a white dot at (10, 2).
constexpr int kKeyedBitmap = 202;
// Raw data: an icon file with a 16 and a 32 pixel image of the disc.
constexpr int kIconFile = 203;

// Makes the pictures above available to the loaders (the headless side has no resources of its own).
void provideTestPictures();
