// The picture resources of one program (PICTURE_PROGRAM) as Windows itself sees them: nothing
// carried beyond the table, the program icon first among the icon groups, bitmaps that load.
#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <set>

#include "Picturesource.h"

namespace {

const std::string kProgram = PICTURE_PROGRAM;

BOOL CALLBACK collectId(HMODULE, LPCSTR, LPSTR name, LONG_PTR param) {
  auto* ids = reinterpret_cast<std::vector<uint32_t>*>(param);
  // Named resources count as id 0, which no table row has.
  ids->push_back(IS_INTRESOURCE(name) ? uint32_t(reinterpret_cast<ULONG_PTR>(name)) : 0);
  return TRUE;
}

// The ids of one resource type of the test program, in the order of its resource directory.
std::vector<uint32_t> resourceIds(LPCSTR type) {
  std::vector<uint32_t> ids;
  EnumResourceNamesA(GetModuleHandleA(nullptr), type, collectId, reinterpret_cast<LONG_PTR>(&ids));
  return ids;
}

class PicturesWinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<PictureRow> all;
    std::string error;
    ASSERT_TRUE(parsePictureTable(pictureTableText(kProgram), &all, &error)) << error;
    rows_ = rowsOf(all, kProgram);
    ASSERT_FALSE(rows_.empty());
  }
  std::set<uint32_t> idsOfKind(const std::string& kind) const {
    std::set<uint32_t> ids;
    for (const PictureRow& row : rows_)
      if (row.kind == kind) ids.insert(row.id);
    return ids;
  }
  std::vector<PictureRow> rows_;
};

// A stray or misnumbered picture (one program's picture in the other, an old id left in the
// fragment) shows up as an id of the right type that the table does not list.
TEST_F(PicturesWinTest, CarriesExactlyTheTablesPictures) {
  const std::map<std::string, LPCSTR> types = {
      {"rcdata", RT_RCDATA}, {"binres", "BINRES"}, {"bitmap", RT_BITMAP}, {"icon", RT_GROUP_ICON}};
  for (const auto& [kind, type] : types) {
    SCOPED_TRACE(kind);
    std::vector<uint32_t> carried = resourceIds(type);
    EXPECT_EQ(std::set<uint32_t>(carried.begin(), carried.end()), idsOfKind(kind));
  }
}

TEST_F(PicturesWinTest, ProgramIconIsTheFirstIconGroupAndLoads) {
  std::set<uint32_t> icons = idsOfKind("icon");
  ASSERT_EQ(icons.size(), 1u);
  uint32_t id = *icons.begin();
  std::vector<uint32_t> groups = resourceIds(RT_GROUP_ICON);
  ASSERT_FALSE(groups.empty());
  EXPECT_EQ(groups.front(), id) << "Explorer shows the first icon group";
  for (int size : {16, 32, 48, 256}) {
    HICON icon = static_cast<HICON>(
        LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), IMAGE_ICON, size, size, 0));
    ASSERT_NE(icon, nullptr) << size;
    ICONINFO info = {};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAP colour = {};
    ASSERT_TRUE(GetObjectA(info.hbmColor, sizeof colour, &colour));
    EXPECT_EQ(colour.bmWidth, size);
    EXPECT_EQ(colour.bmHeight, size);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);
  }
}

TEST_F(PicturesWinTest, BitmapsLoadThroughTheSystemAtTheirSize) {
  for (const PictureRow& row : rows_) {
    if (row.kind != "bitmap") continue;
    SCOPED_TRACE(row.id);
    HBITMAP bitmap = static_cast<HBITMAP>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(row.id),
                                                     IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    ASSERT_NE(bitmap, nullptr);
    BITMAP info = {};
    ASSERT_TRUE(GetObjectA(bitmap, sizeof info, &info));
    EXPECT_EQ(uint32_t(info.bmWidth), row.width);
    EXPECT_EQ(uint32_t(info.bmHeight), row.height);
    EXPECT_EQ(info.bmBitsPixel, 24);
    DeleteObject(bitmap);
  }
}

}  // namespace
