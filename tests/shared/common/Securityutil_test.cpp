#include "Securityutil.h"

#include <windows.h>
// windows.h first: sddl.h needs its types.
#include <gtest/gtest.h>
#include <sddl.h>

#include <string>
#include <vector>

#include "Syshelptest.h"

namespace {

// The access list that grantUsersAccess would set for a descriptor, both written in SDDL
// (BU Users, BA Administrators, BG Guests, WD Everyone, SY System; ID marks an inherited entry).
std::string grantedList(const std::string& before) {
  PSECURITY_DESCRIPTOR old = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(before.c_str(), SDDL_REVISION_1, &old, nullptr)) {
    return "bad SDDL";
  }
  std::vector<uint8_t> acl;
  uint16_t control = 0;
  const uint32_t error = usersAccessList(old, &acl, &control);
  LocalFree(old);
  if (error != 0) return "error " + std::to_string(error);
  SECURITY_DESCRIPTOR sd;
  InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
  SetSecurityDescriptorDacl(&sd, TRUE, reinterpret_cast<ACL*>(acl.data()), FALSE);
  if (control != 0) SetSecurityDescriptorControl(&sd, control, control);
  char* text = nullptr;
  ConvertSecurityDescriptorToStringSecurityDescriptorA(&sd, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text,
                                                       nullptr);
  std::string result = text != nullptr ? text : "no text";
  LocalFree(text);
  return result;
}

TEST(Securityutil, UsersEntryReplacesOldOnesBeforeInheritedEntries) {
  struct Case {
    const char* before;
    const char* after;
  } cases[] = {
      // Explicit Users entries (allow and deny) give way to one full-access entry, placed after the other
      // explicit entries and before the inherited ones, which stay as they were.
      {"D:AI(D;;WD;;;BG)(A;;FR;;;BU)(D;;WD;;;BU)(A;;FA;;;BA)(A;ID;FR;;;WD)(A;ID;FR;;;BU)",
       "D:ARAI(D;;WD;;;BG)(A;;FA;;;BA)(A;;GA;;;BU)(A;ID;FR;;;WD)(A;ID;FR;;;BU)"},
      // Granting twice changes nothing more.
      {"D:ARAI(A;;FA;;;BA)(A;;GA;;;BU)(A;ID;FR;;;WD)", "D:ARAI(A;;FA;;;BA)(A;;GA;;;BU)(A;ID;FR;;;WD)"},
      {"D:AI(A;ID;FA;;;SY)(A;ID;FA;;;BA)", "D:ARAI(A;;GA;;;BU)(A;ID;FA;;;SY)(A;ID;FA;;;BA)"},
      // A list kept out of inheritance stays so.
      {"D:P(A;;FA;;;BA)(A;;FR;;;BU)", "D:P(A;;FA;;;BA)(A;;GA;;;BU)"},
      {"D:(A;;FA;;;SY)", "D:(A;;FA;;;SY)(A;;GA;;;BU)"},
      {"D:", "D:(A;;GA;;;BU)"},
      {"O:BA", "D:(A;;GA;;;BU)"},  // no access list at all
  };
  for (const Case& c : cases) {
    EXPECT_EQ(grantedList(c.before), c.after) << c.before;
  }
}

TEST(Securityutil, GrantOnRealFilesAndFolders) {
  ScratchFolder folder;
  const std::string file = folder / "Velmora.ini";
  makeFile(file, "x");
  EXPECT_EQ(grantUsersAccess(file.c_str()), 0u);
  // Folders are granted with their trailing backslash.
  EXPECT_EQ(grantUsersAccess((folder.path() + "\\").c_str()), 0u);
  EXPECT_EQ(fileContent(file), "x");
  EXPECT_EQ(grantUsersAccess((folder / "missing.txt").c_str()), static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(grantUsersAccess(""), static_cast<uint32_t>(ERROR_PATH_NOT_FOUND));
}

}  // namespace
