// Resource ids of the pictures in Guitestpictures.rc.
#pragma once

constexpr int kAlphaPng =
    200;  // "BINRES", 24 x 24: red disc with a soft edge, blue block (alpha 128) top-left
constexpr int kFramedPng = 201;  // raw data, 16 x 16: yellow square with a black frame
constexpr int kKeyedBitmap =
    202;  // bitmap, 20 x 12: magenta ground, blue bar (4..15, 4..7), white dot (10, 2)
