// Process privileges and the access the local Users group gets to the files and folders we create.
#pragma once

#include <cstdint>
#include <vector>

// A step of grantUsersAccess failed without leaving a system error code.
constexpr uint32_t kAccessFailedWithoutCode = 0xFFFFFFFFu;

// Enables, one by one, every privilege of the process token that the setup programs may need
// (shutdown, backup, restore, ...); single failures are ignored. False when the token cannot be opened.
bool enablePrivileges();

// Gives the local Users group (BUILTIN\Users, found by its well-known SID so that localized systems
// resolve it too) full access to the file or folder: an explicit entry of that group is replaced by a
// full-access entry, placed after the other explicit entries and before the inherited ones.
// 0, a system error code, or kAccessFailedWithoutCode. Success at once outside the NT family.
uint32_t grantUsersAccess(const char* path);

// The access list and the control bits grantUsersAccess gives an object whose current security
// descriptor (with its access list, as GetFileSecurity returns it) is `descriptor`. 0 or an error code.
uint32_t usersAccessList(const void* descriptor, std::vector<uint8_t>* acl, uint16_t* control);
