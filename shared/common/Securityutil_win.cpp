#include <windows.h>

#include <vector>

#include "Securityutil.h"
#include "Winfuncutil.h"
#include "Winversionutil.h"

namespace {

const char* const kPrivileges[] = {
    "SeShutdownPrivilege",
    "SeBackupPrivilege",
    "SeRestorePrivilege",
    "SeSystemtimePrivilege",
    "SeAssignPrimaryTokenPrivilege",
    "SeAuditPrivilege",
    "SeChangeNotifyPrivilege",
    "SeCreatePagefilePrivilege",
    "SeCreatePermanentPrivilege",
    "SeCreateTokenPrivilege",
    "SeDebugPrivilege",
    "SeEnableDelegationPrivilege",
    "SeImpersonatePrivilege",
    "SeIncreaseBasePriorityPrivilege",
    "SeIncreaseQuotaPrivilege",
    "SeLoadDriverPrivilege",
    "SeLockMemoryPrivilege",
    "SeMachineAccountPrivilege",
    "SeManageVolumePrivilege",
    "SeProfileSingleProcessPrivilege",
    "SeRemoteShutdownPrivilege",
    "SeSecurityPrivilege",
    "SeSyncAgentPrivilege",
    "SeSystemEnvironmentPrivilege",
    "SeSystemProfilePrivilege",
    "SeTakeOwnershipPrivilege",
    "SeTcbPrivilege",
    "SeUndockPrivilege",
    "SeUnsolicitedInputPrivilege",
};

uint32_t lastErrorOrUnknown() {
  const DWORD e = GetLastError();
  return e != 0 ? e : kAccessFailedWithoutCode;
}

// The SID of an entry whose layout has it right after the access mask; object entries (with their
// optional GUIDs first) never name Users here, so they are left alone.
PSID simpleAceSid(const ACE_HEADER* ace) {
  switch (ace->AceType) {
    case ACCESS_ALLOWED_ACE_TYPE:
    case ACCESS_DENIED_ACE_TYPE:
    case SYSTEM_AUDIT_ACE_TYPE:
    case SYSTEM_ALARM_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_ACE_TYPE:
    case ACCESS_DENIED_CALLBACK_ACE_TYPE:
      return const_cast<DWORD*>(&reinterpret_cast<const ACCESS_ALLOWED_ACE*>(ace)->SidStart);
    default:
      return nullptr;
  }
}

// The old list with every entry of `users` removed and a full-access entry for it placed before the
// first inherited entry. Empty on failure (*error set).
std::vector<uint8_t> buildUsersAcl(const ACL* old, PSID users, uint32_t* error) {
  ACL_SIZE_INFORMATION sizes{};
  if (old != nullptr && !GetAclInformation(const_cast<ACL*>(old), &sizes, sizeof sizes, AclSizeInformation)) {
    *error = lastErrorOrUnknown();
    return {};
  }
  const DWORD usedBytes = old != nullptr ? sizes.AclBytesInUse : sizeof(ACL);
  std::vector<uint8_t> bytes(usedBytes + GetLengthSid(users) + sizeof(ACCESS_ALLOWED_ACE));
  ACL* acl = reinterpret_cast<ACL*>(bytes.data());
  // Object entries need the newer revision; keep whichever the old list has.
  const DWORD revision = old != nullptr && old->AclRevision > ACL_REVISION ? old->AclRevision : ACL_REVISION;
  if (!InitializeAcl(acl, static_cast<DWORD>(bytes.size()), revision)) {
    *error = lastErrorOrUnknown();
    return {};
  }
  bool usersAdded = false;
  const DWORD count = old != nullptr ? sizes.AceCount : 0;
  for (DWORD i = 0; i < count; ++i) {
    void* entry = nullptr;
    if (!GetAce(const_cast<ACL*>(old), i, &entry)) {
      *error = lastErrorOrUnknown();
      return {};
    }
    const ACE_HEADER* ace = static_cast<const ACE_HEADER*>(entry);
    const bool inherited = (ace->AceFlags & INHERITED_ACE) != 0;
    if (!inherited) {
      const PSID sid = simpleAceSid(ace);
      if (sid != nullptr && EqualSid(sid, users)) continue;
    } else if (!usersAdded) {
      if (!AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, users)) {
        *error = lastErrorOrUnknown();
        return {};
      }
      usersAdded = true;
    }
    if (!AddAce(acl, revision, MAXDWORD, entry, ace->AceSize)) {
      *error = lastErrorOrUnknown();
      return {};
    }
  }
  if (!usersAdded && !AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, users)) {
    *error = lastErrorOrUnknown();
    return {};
  }
  return bytes;
}

uint32_t grantOnNt(const char* path) {
  const SECURITY_INFORMATION what = DACL_SECURITY_INFORMATION;
  DWORD needed = 0;
  GetFileSecurityA(path, what, nullptr, 0, &needed);
  if (needed == 0) return lastErrorOrUnknown();
  std::vector<uint8_t> oldDescriptor(needed);
  if (!GetFileSecurityA(path, what, oldDescriptor.data(), needed, &needed)) return lastErrorOrUnknown();

  std::vector<uint8_t> acl;
  uint16_t bits = 0;
  if (const uint32_t error = usersAccessList(oldDescriptor.data(), &acl, &bits)) return error;
  SECURITY_DESCRIPTOR descriptor;
  if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
      !SetSecurityDescriptorDacl(&descriptor, TRUE, reinterpret_cast<ACL*>(acl.data()), FALSE)) {
    return lastErrorOrUnknown();
  }
  if (bits != 0 && !setSecurityDescriptorControl(&descriptor, bits, bits)) return lastErrorOrUnknown();
  if (!SetFileSecurityA(path, what, &descriptor)) return lastErrorOrUnknown();
  return 0;
}

}  // namespace

bool enablePrivileges() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return false;
  for (const char* name : kPrivileges) {
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!LookupPrivilegeValueA(nullptr, name, &privileges.Privileges[0].Luid)) continue;
    AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
  }
  CloseHandle(token);
  return true;
}

uint32_t grantUsersAccess(const char* path) {
  if (!isNtFamily()) return 0;
  if (path == nullptr || *path == 0) return ERROR_PATH_NOT_FOUND;
  SetLastError(0);
  return grantOnNt(path);
}

uint32_t usersAccessList(const void* descriptor, std::vector<uint8_t>* acl, uint16_t* control) {
  acl->clear();
  *control = 0;
  SetLastError(0);
  const PSECURITY_DESCRIPTOR old = const_cast<void*>(descriptor);
  BOOL present = FALSE, defaulted = FALSE;
  ACL* oldAcl = nullptr;
  if (!GetSecurityDescriptorDacl(old, &present, &oldAcl, &defaulted)) return lastErrorOrUnknown();
  if (!present) oldAcl = nullptr;
  SECURITY_DESCRIPTOR_CONTROL oldControl = 0;
  DWORD revision = 0;
  if (!GetSecurityDescriptorControl(old, &oldControl, &revision)) return lastErrorOrUnknown();

  uint8_t users[SECURITY_MAX_SID_SIZE];
  DWORD sidSize = sizeof users;
  if (!CreateWellKnownSid(WinBuiltinUsersSid, nullptr, users, &sidSize)) return lastErrorOrUnknown();
  uint32_t error = 0;
  *acl = buildUsersAcl(oldAcl, users, &error);
  if (acl->empty()) return error;
  // Keep the list taking part in inheritance as it did, or kept out of it.
  if (oldControl & SE_DACL_AUTO_INHERITED) {
    *control = SE_DACL_AUTO_INHERIT_REQ | SE_DACL_AUTO_INHERITED;
  } else if (oldControl & SE_DACL_PROTECTED) {
    *control = SE_DACL_PROTECTED;
  }
  return 0;
}
