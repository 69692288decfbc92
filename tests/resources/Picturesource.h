// Where the picture tests get a program's table and pictures: the source tree, or the resources of
// the test program, which carries the program's pictures as the program does.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Picturetable.h"

// The text of the program's picture table; empty when it cannot be read.
std::string pictureTableText(const std::string& program);

// The picture a row lists, in the form the program's loader sees it: a PNG file, a DIB without
// file header (bitmaps), or an icon file (icons and the raw-data icon). Empty when it is missing.
std::vector<uint8_t> pictureBytes(const PictureRow& row);
