#include "Shortcututil.h"

#include <windows.h>
// windows.h first: the shell headers need its types.
#include <gtest/gtest.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstdlib>
#include <string>

#include "Syshelptest.h"

namespace {

const char kTargetFolder[] = "C:\\VelmoraShortcutTest";
const char kTarget[] = "C:\\VelmoraShortcutTest\\Velmora.exe";

struct LinkFields {
  std::wstring path, folder, arguments, icon;
  int iconIndex = -1, show = -1;
};

bool readLink(const std::wstring& linkPath, LinkFields* out) {
  CoInitialize(nullptr);
  IShellLinkW* link = nullptr;
  bool ok = false;
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                 reinterpret_cast<void**>(&link)))) {
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
      if (SUCCEEDED(file->Load(linkPath.c_str(), STGM_READ))) {
        wchar_t text[MAX_PATH];
        link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH);
        out->path = text;
        link->GetWorkingDirectory(text, MAX_PATH);
        out->folder = text;
        link->GetArguments(text, MAX_PATH);
        out->arguments = text;
        link->GetIconLocation(text, MAX_PATH, &out->iconIndex);
        out->icon = text;
        link->GetShowCmd(&out->show);
        ok = true;
      }
      file->Release();
    }
    link->Release();
  }
  CoUninitialize();
  return ok;
}

std::wstring wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

// Writes the link where VELMORA_LNK_OUT says (a folder the lnkinfo check reads), else into a scratch folder.
TEST(Shortcututil, CreatesLinkToProgram) {
  CreateDirectoryA(kTargetFolder, nullptr);
  makeFile(kTarget, "MZ");
  ScratchFolder scratch;
  const char* out = std::getenv("VELMORA_LNK_OUT");
  const std::string linkPath =
      (out != nullptr && *out != 0 ? std::string(out) : scratch.path()) + "\\Velmora.LNK";

  ASSERT_EQ(createShortcut(wide(linkPath).c_str(), kTarget, kTargetFolder, nullptr), 0u);
  LinkFields fields;
  ASSERT_TRUE(readLink(wide(linkPath), &fields));
  EXPECT_EQ(fields.path, wide(kTarget));
  EXPECT_EQ(fields.folder, wide(kTargetFolder));
  EXPECT_EQ(fields.arguments, L"");
  EXPECT_EQ(fields.icon, wide(kTarget));
  EXPECT_EQ(fields.iconIndex, 0);
  EXPECT_EQ(fields.show, SW_SHOWNORMAL);

  // Saving again replaces it, with arguments this time.
  ASSERT_EQ(createShortcut(wide(linkPath).c_str(), kTarget, kTargetFolder, "/silent"), 0u);
  ASSERT_TRUE(readLink(wide(linkPath), &fields));
  EXPECT_EQ(fields.arguments, L"/silent");
  if (out == nullptr) {
    DeleteFileA(kTarget);
    RemoveDirectoryA(kTargetFolder);
  }
}

TEST(Shortcututil, FailuresAreResultCodes) {
  ScratchFolder scratch;
  const std::wstring inMissingFolder = wide(scratch / "missing\\Velmora.LNK");
  EXPECT_NE(createShortcut(inMissingFolder.c_str(), kTarget, kTargetFolder, nullptr), 0u);
  EXPECT_FALSE(fileExists(scratch / "missing\\Velmora.LNK"));
  EXPECT_EQ(createShortcut(nullptr, kTarget, nullptr, nullptr), static_cast<uint32_t>(E_INVALIDARG));
  EXPECT_EQ(createShortcut(L"", kTarget, nullptr, nullptr), static_cast<uint32_t>(E_INVALIDARG));
}

}  // namespace
