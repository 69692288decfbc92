// Folders and whole files: creating folder paths, writing and reading whole files, forced removal.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

// Whether a file we write is opened to the local Users group. Data files shared by every user of the
// machine are; programs placed in an admin-only folder must not be.
enum class UsersAccess : uint8_t { unchanged, full };

// Creates the folder and every missing parent (single-byte path). 0; 80 when a file of that name is in
// the way; 3 when no parent can be split off; or a system error code.
uint32_t createFolderPath(const char* path);

// 0 when the path is a folder, 80 when it is a file; otherwise creates it with every missing parent.
uint32_t ensureFolder(const char* path);

// Writes the file in one piece, creating its folder, replacing an existing (even read-only) file, with
// the archive attribute and no sharing while it is written. 0 or a system error code; 3 for no path.
uint32_t writeWholeFile(const char* path, const void* bytes, uint32_t count,
                        UsersAccess access = UsersAccess::full);

// Reads a whole file of at most maxBytes. 0 or a system error code (*bytes left empty).
uint32_t readWholeFile(const char* path, std::vector<uint8_t>* bytes, uint32_t maxBytes = 256u << 20);

// Clear the attributes, then delete; a missing file or folder is no error. A folder that is not empty
// reports its error.
uint32_t removeFileForce(const char* path);
uint32_t removeFolderForce(const char* path);

// WriteFile: the number of bytes written, 0 for an invalid handle or a failure.
uint32_t writeFileBytes(HANDLE file, const void* bytes, uint32_t count);

// A new or truncated file for writing, no sharing, the archive attribute; INVALID_HANDLE_VALUE on failure.
HANDLE createFileWide(const wchar_t* path);
