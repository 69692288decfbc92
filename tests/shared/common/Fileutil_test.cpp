#include "Fileutil.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Syshelptest.h"

namespace {

TEST(Fileutil, CreateFolderPathMakesEveryMissingParent) {
  ScratchFolder root;
  const std::string deep = root / "a\\b\\c";
  EXPECT_EQ(createFolderPath(deep.c_str()), 0u);
  EXPECT_TRUE(folderExists(deep));
  EXPECT_EQ(createFolderPath(deep.c_str()), 0u);  // already there
  EXPECT_EQ(createFolderPath((root / "d\\e\\").c_str()), 0u);
  EXPECT_TRUE(folderExists(root / "d\\e"));
  EXPECT_EQ(createFolderPath((root / "f/g").c_str()), 0u);
  EXPECT_TRUE(folderExists(root / "f\\g"));
}

TEST(Fileutil, CreateFolderPathRefusals) {
  ScratchFolder root;
  makeFile(root / "file", "x");
  struct Case {
    std::string path;
    uint32_t error;
  } cases[] = {
      {root / "file", ERROR_FILE_EXISTS},       // the path itself is a file
      {root / "file\\sub", ERROR_FILE_EXISTS},  // a parent is a file
      {root / "file\\sub\\deeper", ERROR_FILE_EXISTS},
      {"no-parent-here", ERROR_PATH_NOT_FOUND},  // nothing to split off
      {"", ERROR_PATH_NOT_FOUND},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(createFolderPath(c.path.c_str()), c.error);
  }
  EXPECT_FALSE(folderExists("no-parent-here"));
  EXPECT_EQ(fileContent(root / "file"), "x");
}

TEST(Fileutil, EnsureFolder) {
  ScratchFolder root;
  makeFile(root / "file", "x");
  EXPECT_EQ(ensureFolder(root.path().c_str()), 0u);
  EXPECT_EQ(ensureFolder((root / "file").c_str()), static_cast<uint32_t>(ERROR_FILE_EXISTS));
  EXPECT_EQ(ensureFolder((root / "x\\y\\z").c_str()), 0u);
  EXPECT_TRUE(folderExists(root / "x\\y\\z"));
}

TEST(Fileutil, WriteWholeFileCreatesFoldersAndReadsBack) {
  ScratchFolder root;
  const std::string path = root / "NUVANT\\Velmora\\Velmora.ini";
  const std::string text = "[Display]\r\nLang=DEU\r\n";
  ASSERT_EQ(writeWholeFile(path.c_str(), text.data(), static_cast<uint32_t>(text.size())), 0u);
  EXPECT_EQ(fileContent(path), text);
  EXPECT_EQ(GetFileAttributesA(path.c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
  std::vector<uint8_t> back;
  EXPECT_EQ(readWholeFile(path.c_str(), &back), 0u);
  EXPECT_EQ(std::string(back.begin(), back.end()), text);

  // A shorter write truncates; nothing written leaves an empty file.
  ASSERT_EQ(writeWholeFile(path.c_str(), "ab", 2), 0u);
  EXPECT_EQ(fileContent(path), "ab");
  ASSERT_EQ(writeWholeFile(path.c_str(), nullptr, 0), 0u);
  EXPECT_TRUE(fileExists(path));
  EXPECT_EQ(fileContent(path), "");
}

TEST(Fileutil, WriteWholeFileReplacesReadOnlyFile) {
  ScratchFolder root;
  const std::string path = root / "Velmora.exe";
  makeFile(path, "old program");
  ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  ASSERT_EQ(writeWholeFile(path.c_str(), "new", 3, UsersAccess::unchanged), 0u);
  EXPECT_EQ(fileContent(path), "new");
  EXPECT_EQ(GetFileAttributesA(path.c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
}

TEST(Fileutil, WriteWholeFileFailures) {
  ScratchFolder root;
  makeFile(root / "file", "x");
  EXPECT_EQ(writeWholeFile(nullptr, "a", 1), static_cast<uint32_t>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(writeWholeFile("", "a", 1), static_cast<uint32_t>(ERROR_PATH_NOT_FOUND));
  // Its folder would have to be where a file is.
  EXPECT_EQ(writeWholeFile((root / "file\\new.txt").c_str(), "a", 1),
            static_cast<uint32_t>(ERROR_FILE_EXISTS));
  // A folder of that name is in the way.
  EXPECT_NE(writeWholeFile(root.path().c_str(), "a", 1), 0u);
  // A copy held open without sharing, like a running program.
  HANDLE held = CreateFileA((root / "file").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_EQ(writeWholeFile((root / "file").c_str(), "b", 1), static_cast<uint32_t>(ERROR_SHARING_VIOLATION));
  CloseHandle(held);
  EXPECT_EQ(fileContent(root / "file"), "x");
}

TEST(Fileutil, ReadWholeFileFailures) {
  ScratchFolder root;
  makeFile(root / "ten", "0123456789");
  std::vector<uint8_t> bytes{1, 2, 3};
  EXPECT_EQ(readWholeFile((root / "missing").c_str(), &bytes), static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(bytes.empty());
  EXPECT_EQ(readWholeFile((root / "ten").c_str(), &bytes, 9), static_cast<uint32_t>(ERROR_FILE_TOO_LARGE));
  EXPECT_TRUE(bytes.empty());
  EXPECT_EQ(readWholeFile((root / "ten").c_str(), &bytes, 10), 0u);
  EXPECT_EQ(bytes.size(), 10u);
}

TEST(Fileutil, ForcedRemoval) {
  ScratchFolder root;
  const std::string file = root / "Uninstall.LNK";
  makeFile(file, "x");
  SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(removeFileForce(file.c_str()), 0u);
  EXPECT_FALSE(fileExists(file));
  EXPECT_EQ(removeFileForce(file.c_str()), 0u);  // a missing file is no error

  const std::string folder = root / "Nuvant Velmora";
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  makeFile(folder + "\\kept.txt", "user's");
  EXPECT_EQ(removeFolderForce(folder.c_str()), static_cast<uint32_t>(ERROR_DIR_NOT_EMPTY));
  EXPECT_TRUE(fileExists(folder + "\\kept.txt"));
  DeleteFileA((folder + "\\kept.txt").c_str());
  SetFileAttributesA(folder.c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(removeFolderForce(folder.c_str()), 0u);
  EXPECT_FALSE(folderExists(folder));
  EXPECT_EQ(removeFolderForce(folder.c_str()), 0u);
}

TEST(Fileutil, WideFileAndBytes) {
  ScratchFolder root;
  const std::string path = root / "Velmora Delete Files.bat";
  std::wstring wide(path.begin(), path.end());
  HANDLE file = createFileWide(wide.c_str());
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(writeFileBytes(file, "del x\r\n", 7), 7u);
  // No sharing while it is open.
  EXPECT_EQ(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  CloseHandle(file);
  EXPECT_EQ(fileContent(path), "del x\r\n");
  EXPECT_EQ(writeFileBytes(INVALID_HANDLE_VALUE, "x", 1), 0u);
  EXPECT_EQ(writeFileBytes(nullptr, "x", 1), 0u);
}

}  // namespace
