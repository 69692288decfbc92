// Runs in a fresh Wine prefix: the keys are real and go away with the prefix.
#include "Regutil.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const char kBase[] = "Software\\VelmoraTest";

class Regutil : public ::testing::Test {
 protected:
  void SetUp() override {
    // Nothing left from an earlier case, in either view.
    deleteKeyInBothViews(HKEY_LOCAL_MACHINE, "Software", "VelmoraTest");
  }
  void TearDown() override { deleteKeyInBothViews(HKEY_LOCAL_MACHINE, "Software", "VelmoraTest"); }
};

bool keyExists(const std::string& path, RegView view) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | static_cast<REGSAM>(view), &key) != 0) {
    return false;
  }
  RegCloseKey(key);
  return true;
}

// Signalled when a value of the key is set, whether or not its data changed.
class ValueWrites {
 public:
  explicit ValueWrites(HKEY key) : event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)), key_(key) { arm(); }
  ~ValueWrites() { CloseHandle(event_); }
  bool seen() {
    const bool signalled = WaitForSingleObject(event_, 300) == WAIT_OBJECT_0;
    ResetEvent(event_);
    arm();
    return signalled;
  }

 private:
  void arm() { EXPECT_EQ(RegNotifyChangeKeyValue(key_, FALSE, REG_NOTIFY_CHANGE_LAST_SET, event_, TRUE), 0); }
  HANDLE event_;
  HKEY key_;
};

TEST_F(Regutil, WriteIfChangedLeavesEqualValuesAlone) {
  HKEY key;
  ASSERT_EQ(openOrCreateKey(HKEY_LOCAL_MACHINE, kBase, &key), 0u);
  ValueWrites writes(key);

  EXPECT_EQ(writeStringIfChanged(key, "DisplayName", "Velmora"), 0u);
  EXPECT_TRUE(writes.seen());
  EXPECT_EQ(writeStringIfChanged(key, "DisplayName", "Velmora"), 0u);
  EXPECT_FALSE(writes.seen());
  EXPECT_EQ(writeStringIfChanged(key, "DisplayName", "Velmorb"), 0u);
  EXPECT_TRUE(writes.seen());
  EXPECT_EQ(readStringValue(HKEY_LOCAL_MACHINE, kBase, "DisplayName"), "Velmorb");

  // Same bytes, other type: rewritten as REG_SZ.
  ASSERT_EQ(RegSetValueExA(key, "Path", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>("C:\\x"), 5), 0);
  writes.seen();
  EXPECT_EQ(writeStringIfChanged(key, "Path", "C:\\x"), 0u);
  EXPECT_TRUE(writes.seen());
  uint32_t type = 0;
  std::vector<uint8_t> data;
  EXPECT_EQ(queryValue(key, "Path", kAnyRegType, &data, &type), 0u);
  EXPECT_EQ(type, static_cast<uint32_t>(REG_SZ));
  EXPECT_EQ(data.size(), 5u);

  EXPECT_EQ(writeDwordIfChanged(key, "NoModify", 1), 0u);
  EXPECT_TRUE(writes.seen());
  EXPECT_EQ(writeDwordIfChanged(key, "NoModify", 1), 0u);
  EXPECT_FALSE(writes.seen());
  EXPECT_EQ(writeDwordIfChanged(key, "NoModify", 2), 0u);
  EXPECT_TRUE(writes.seen());
  EXPECT_EQ(readDwordValue(HKEY_LOCAL_MACHINE, kBase, "NoModify"), 2u);
  RegCloseKey(key);
}

TEST_F(Regutil, ReadsCheckTypeAndSize) {
  ASSERT_EQ(writeStringValue(HKEY_LOCAL_MACHINE, kBase, "Text", "1.03.02"), 0u);
  ASSERT_EQ(writeStringValue(HKEY_LOCAL_MACHINE, kBase, "Empty", nullptr), 0u);
  HKEY key;
  ASSERT_EQ(openOrCreateKey(HKEY_LOCAL_MACHINE, kBase, &key), 0u);
  const uint32_t version = 10302;
  const uint64_t wide = 7;
  RegSetValueExA(key, "Version", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&version), 4);
  RegSetValueExA(key, "Wide", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&wide), 8);
  RegSetValueExA(key, "Unterminated", 0, REG_SZ, reinterpret_cast<const BYTE*>("abc"), 3);

  std::vector<uint8_t> data{1};
  EXPECT_EQ(queryValue(key, "Empty", REG_SZ, &data), 0u);
  EXPECT_TRUE(data.empty());
  EXPECT_EQ(queryValue(key, "Text", REG_DWORD, &data), static_cast<uint32_t>(ERROR_BAD_FORMAT));
  EXPECT_TRUE(data.empty());
  RegCloseKey(key);

  struct StringCase {
    const char* name;
    std::string text;
    uint32_t error;
  } strings[] = {
      {"Text", "1.03.02", 0},
      {"Empty", "", 0},
      {"Unterminated", "abc", 0},
      {"Version", "", ERROR_BAD_FORMAT},
      {"Missing", "", ERROR_FILE_NOT_FOUND},
  };
  for (const StringCase& c : strings) {
    SCOPED_TRACE(c.name);
    uint32_t error = 99;
    EXPECT_EQ(readStringValue(HKEY_LOCAL_MACHINE, kBase, c.name, &error), c.text);
    EXPECT_EQ(error, c.error);
  }
  struct DwordCase {
    const char* name;
    uint32_t value, error;
  } dwords[] = {
      {"Version", 10302, 0},
      {"Wide", 0, ERROR_INVALID_DATA},
      {"Text", 0, ERROR_BAD_FORMAT},
      {"Missing", 0, ERROR_FILE_NOT_FOUND},
  };
  for (const DwordCase& c : dwords) {
    SCOPED_TRACE(c.name);
    uint32_t error = 99;
    EXPECT_EQ(readDwordValue(HKEY_LOCAL_MACHINE, kBase, c.name, &error), c.value);
    EXPECT_EQ(error, c.error);
  }
  uint32_t error = 0;
  EXPECT_EQ(readDwordValue(HKEY_LOCAL_MACHINE, "Software\\VelmoraMissing", "Version", &error), 0u);
  EXPECT_EQ(error, static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
}

TEST_F(Regutil, ViewsAreSeparate) {
  ASSERT_EQ(writeStringValue(HKEY_LOCAL_MACHINE, kBase, "Own", "32", RegView::view32), 0u);
  ASSERT_EQ(writeStringValue(HKEY_LOCAL_MACHINE, kBase, "Wide", "64", RegView::view64), 0u);
  uint32_t error = 0;
  EXPECT_EQ(readStringValue(HKEY_LOCAL_MACHINE, kBase, "Own", &error, RegView::view32), "32");
  EXPECT_EQ(readStringValue(HKEY_LOCAL_MACHINE, kBase, "Own", &error, RegView::view64), "");
  EXPECT_EQ(error, static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(readStringValue(HKEY_LOCAL_MACHINE, kBase, "Wide", &error, RegView::view64), "64");
  EXPECT_EQ(readStringValue(HKEY_LOCAL_MACHINE, kBase, "Wide", &error, RegView::view32), "");
  // The 32-bit programs' keys live under Wow6432Node of the 64-bit view.
  EXPECT_EQ(readStringValue(HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\VelmoraTest", "Own", &error,
                            RegView::view64),
            "32");

  EXPECT_EQ(deleteValueInBothViews(HKEY_LOCAL_MACHINE, kBase, "Own"), 0u);
  EXPECT_EQ(deleteValueInBothViews(HKEY_LOCAL_MACHINE, kBase, "Wide"), 0u);
  EXPECT_EQ(deleteValueInBothViews(HKEY_LOCAL_MACHINE, kBase, "Wide"), 0u);  // gone already
  for (RegView view : {RegView::view32, RegView::view64}) {
    for (const char* name : {"Own", "Wide"}) {
      readStringValue(HKEY_LOCAL_MACHINE, kBase, name, &error, view);
      EXPECT_EQ(error, static_cast<uint32_t>(ERROR_FILE_NOT_FOUND)) << name;
    }
  }
  EXPECT_EQ(deleteKeyInBothViews(HKEY_LOCAL_MACHINE, "Software", "VelmoraTest"), 0u);
  EXPECT_FALSE(keyExists(kBase, RegView::view32));
  EXPECT_FALSE(keyExists(kBase, RegView::view64));
  EXPECT_TRUE(keyExists("Software", RegView::view32));
  EXPECT_EQ(deleteKeyInBothViews(HKEY_LOCAL_MACHINE, "Software", "VelmoraTest"), 0u);
  EXPECT_EQ(deleteValueInBothViews(HKEY_LOCAL_MACHINE, "Software\\VelmoraMissing", "X"), 0u);
}

TEST_F(Regutil, DeleteKeyTreeRemovesNestedKeys) {
  const std::string app = std::string(kBase) + "\\Velmora";
  for (const char* path : {"\\a\\b\\c", "\\a\\b2", "\\a2", "\\z\\y"}) {
    ASSERT_EQ(writeStringValue(HKEY_LOCAL_MACHINE, (app + path).c_str(), "v", "x"), 0u);
  }
  ASSERT_EQ(writeStringValue(HKEY_LOCAL_MACHINE, kBase, "Sibling", "stays"), 0u);
  ASSERT_EQ(writeStringValue(HKEY_LOCAL_MACHINE, (std::string(kBase) + "\\Other").c_str(), "v", "stays"), 0u);

  HKEY base;
  ASSERT_EQ(openOrCreateKey(HKEY_LOCAL_MACHINE, kBase, &base), 0u);
  EXPECT_EQ(deleteKeyTree(base, "Velmora"), 0u);
  EXPECT_FALSE(keyExists(app, RegView::view32));
  EXPECT_EQ(deleteKeyTree(base, "Velmora"), 0u);  // missing: no error
  EXPECT_EQ(deleteKeyTree(base, ""), static_cast<uint32_t>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(deleteKeyTree(base, nullptr), static_cast<uint32_t>(ERROR_INVALID_PARAMETER));
  RegCloseKey(base);
  EXPECT_EQ(readStringValue(HKEY_LOCAL_MACHINE, kBase, "Sibling"), "stays");
  EXPECT_TRUE(keyExists(std::string(kBase) + "\\Other", RegView::view32));
}

TEST_F(Regutil, DeleteKeyIfEmptyKeepsOtherProducts) {
  ASSERT_EQ(writeStringValue(HKEY_LOCAL_MACHINE, (std::string(kBase) + "\\NUVANT\\Other").c_str(), "v", "x"),
            0u);
  EXPECT_NE(deleteKeyIfEmpty(HKEY_LOCAL_MACHINE, kBase, "NUVANT"), 0u);
  EXPECT_TRUE(keyExists(std::string(kBase) + "\\NUVANT\\Other", RegView::view32));
  HKEY base;
  ASSERT_EQ(openOrCreateKey(HKEY_LOCAL_MACHINE, (std::string(kBase) + "\\NUVANT").c_str(), &base), 0u);
  ASSERT_EQ(deleteKeyTree(base, "Other"), 0u);
  RegCloseKey(base);
  EXPECT_EQ(deleteKeyIfEmpty(HKEY_LOCAL_MACHINE, kBase, "NUVANT"), 0u);
  EXPECT_FALSE(keyExists(std::string(kBase) + "\\NUVANT", RegView::view32));
}

}  // namespace
