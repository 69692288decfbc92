// The picture loaders against the test pictures (the program's resources on Windows, the headless
// table elsewhere): the kinds, the "no picture" ids and missing resources.
#include "Bcimageutil.h"

#include <gtest/gtest.h>

#include "Guicontrols.h"
#include "Guiform.h"
#include "Guitestpictures.h"

namespace {

class Bcimageutil : public ::testing::Test {
 protected:
  void SetUp() override { provideTestPictures(); }
};

// Alpha of a picture's pixel, from its premultiplied B, G, R, A bytes.
int alphaAt(const Picture& p, int x, int y) {
  return p.pixels(false)[(size_t(y) * size_t(p.width()) + size_t(x)) * 4 + 3];
}

TEST_F(Bcimageutil, LoadImageTakesEachKindAndKeepsThePictureForNone) {
  Form form;
  Image* image = form.make<Image>();
  ASSERT_TRUE(LoadImage(image, kAlphaPng, kResourcePng));
  EXPECT_EQ(image->picture().width(), 24);
  EXPECT_FALSE(image->picture().isBitmap());
  EXPECT_EQ(alphaAt(image->picture(), 0, 0), 128);
  EXPECT_EQ(alphaAt(image->picture(), 23, 23), 0);
  const Picture png = image->picture();

  // -1 is "no picture" for both kinds: false, and what was shown stays.
  for (uint8_t kind : {kResourceBitmap, kResourcePng}) {
    EXPECT_FALSE(LoadImage(image, -1, kind));
    EXPECT_EQ(image->picture().pixels(false), png.pixels(false));
  }
  // Any kind other than 2 is a bitmap.
  for (uint8_t kind : {uint8_t(1), uint8_t(3), uint8_t(0), uint8_t(255)}) {
    image->setPicture(png);
    ASSERT_TRUE(LoadImage(image, kKeyedBitmap, kind)) << int(kind);
    EXPECT_TRUE(image->picture().isBitmap());
    EXPECT_EQ(image->picture().width(), 20);
    EXPECT_EQ(image->picture().height(), 12);
    EXPECT_EQ(image->picture().transparentColour(), rgb(255, 0, 255));
  }
  // A bitmap id asked for as PNG, a PNG id as bitmap, an id nobody has: false, picture kept.
  image->setPicture(png);
  EXPECT_FALSE(LoadImage(image, kKeyedBitmap, kResourcePng));
  EXPECT_FALSE(LoadImage(image, kAlphaPng, kResourceBitmap));
  EXPECT_FALSE(LoadImage(image, 999, kResourcePng));
  EXPECT_FALSE(LoadImage(image, 0, kResourceBitmap));
  EXPECT_EQ(image->picture().pixels(false), png.pixels(false));
  EXPECT_FALSE(LoadImage(nullptr, kAlphaPng, kResourcePng));
}

TEST_F(Bcimageutil, CreateImageGivesAVisibleAutoSizedTransparentElementEvenWithoutPicture) {
  Form form;
  Panel* panel = form.make<Panel>();
  Image* empty = CreateImage(panel, -1, kResourcePng);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty->parent(), panel);
  EXPECT_TRUE(empty->visible());
  EXPECT_TRUE(empty->transparent());
  EXPECT_TRUE(empty->autoSize());
  EXPECT_TRUE(empty->empty());

  Image* bitmap = CreateImage(&form, kKeyedBitmap, kResourceBitmap);
  EXPECT_EQ(bitmap->bounds(), (Rect{0, 0, 20, 12}));
  EXPECT_EQ(CreateImage(nullptr, kAlphaPng, kResourcePng), nullptr);
  // Owned by its owner: destroyed with it.
  EXPECT_TRUE(panel->destroyOwned(empty));
}

TEST_F(Bcimageutil, LoadPngResourceReadsRawDataAndEmptiesForZero) {
  Form form;
  Image* image = form.make<Image>();
  image->setAutoSize(true);
  ASSERT_TRUE(LoadPngResource(image, kFramedPng));
  EXPECT_EQ(image->bounds(), (Rect{0, 0, 16, 16}));
  EXPECT_TRUE(LoadPngResource(image, 0));
  EXPECT_TRUE(image->empty());
  // A missing resource leaves the element empty; a "BINRES" id is not raw data.
  LoadPngResource(image, kFramedPng);
  EXPECT_FALSE(LoadPngResource(image, 999));
  EXPECT_TRUE(image->empty());
  EXPECT_FALSE(LoadPngResource(image, kAlphaPng));
  EXPECT_FALSE(LoadPngResource(nullptr, kFramedPng));
}

TEST_F(Bcimageutil, LoadFormIconTakesOnlyIconFiles) {
  Form form;
  EXPECT_TRUE(LoadFormIcon(&form, kIconFile));
  EXPECT_FALSE(LoadFormIcon(&form, kFramedPng));  // a PNG is no icon file
  EXPECT_FALSE(LoadFormIcon(&form, 999));
  EXPECT_FALSE(LoadFormIcon(nullptr, kIconFile));
}

}  // namespace
