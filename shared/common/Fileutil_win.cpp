#include <new>
#include <string>

#include "Fileutil.h"
#include "Securityutil.h"
#include "Winfuncutil.h"

namespace {

const char kSeparators[] = "\\/";

enum PathKind { kMissing, kFolder, kFile };

PathKind pathKind(const char* path) {
  const DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return kMissing;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? kFolder : kFile;
}

}  // namespace

uint32_t createFolderPath(const char* path) {
  if (path == nullptr) return ERROR_PATH_NOT_FOUND;
  switch (pathKind(path)) {
    case kFolder:
      return 0;
    case kFile:
      return ERROR_FILE_EXISTS;
    case kMissing:
      break;
  }
  const std::string full(path);
  const size_t slash = full.find_last_of(kSeparators);
  if (slash == std::string::npos) return ERROR_PATH_NOT_FOUND;
  // A leading backslash names the root of the current drive, which is there.
  if (slash > 0) {
    if (const uint32_t error = createFolderPath(full.substr(0, slash).c_str())) return error;
  }
  if (CreateDirectoryA(path, nullptr)) return 0;
  const DWORD error = GetLastError();
  return error == ERROR_ALREADY_EXISTS ? 0 : error;
}

uint32_t ensureFolder(const char* path) {
  if (path == nullptr) return ERROR_PATH_NOT_FOUND;
  switch (pathKind(path)) {
    case kFolder:
      return 0;
    case kFile:
      return ERROR_FILE_EXISTS;
    case kMissing:
      break;
  }
  const int result = shCreateDirectoryExA(path);
  if (result == ERROR_SUCCESS || result == ERROR_FILE_EXISTS || result == ERROR_ALREADY_EXISTS) return 0;
  return createFolderPath(path);
}

uint32_t writeWholeFile(const char* path, const void* bytes, uint32_t count, UsersAccess access) {
  if (path == nullptr || *path == 0) return ERROR_PATH_NOT_FOUND;
  const std::string full(path);
  const size_t slash = full.find_last_of(kSeparators);
  if (slash != std::string::npos && slash > 0) {
    if (const uint32_t error = ensureFolder(full.substr(0, slash).c_str())) return error;
  }
  // A read-only copy can then be replaced; a missing file is no error.
  SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
  HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_ARCHIVE, nullptr);
  if (file == INVALID_HANDLE_VALUE) return GetLastError();
  const uint8_t* next = static_cast<const uint8_t*>(bytes);
  uint32_t left = count;
  while (left > 0) {
    DWORD written = 0;
    if (!WriteFile(file, next, left, &written, nullptr) || written == 0) {
      const DWORD error = GetLastError();
      CloseHandle(file);
      return error != 0 ? error : ERROR_WRITE_FAULT;
    }
    next += written;
    left -= written;
  }
  if (!CloseHandle(file)) return GetLastError();
  if (access == UsersAccess::full) grantUsersAccess(path);  // a file we could not open up still counts
  return 0;
}

uint32_t readWholeFile(const char* path, std::vector<uint8_t>* bytes, uint32_t maxBytes) {
  bytes->clear();
  if (path == nullptr || *path == 0) return ERROR_PATH_NOT_FOUND;
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return GetLastError();
  uint32_t error = 0;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file, &size)) {
    error = GetLastError();
  } else if (size.QuadPart > maxBytes) {
    error = ERROR_FILE_TOO_LARGE;
  } else {
    try {
      bytes->resize(static_cast<size_t>(size.QuadPart));
    } catch (const std::bad_alloc&) {
      error = ERROR_NOT_ENOUGH_MEMORY;
    }
  }
  size_t done = 0;
  while (error == 0 && done < bytes->size()) {
    DWORD got = 0;
    if (!ReadFile(file, bytes->data() + done, static_cast<DWORD>(bytes->size() - done), &got, nullptr)) {
      error = GetLastError();
    } else if (got == 0) {
      error = ERROR_HANDLE_EOF;  // the file shrank while we read it
    }
    done += got;
  }
  CloseHandle(file);
  if (error != 0) bytes->clear();
  return error;
}

uint32_t removeFileForce(const char* path) {
  if (!SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL)) return 0;
  if (DeleteFileA(path)) return 0;
  const DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND ? 0 : error;
}

uint32_t removeFolderForce(const char* path) {
  if (!SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL)) return 0;
  return RemoveDirectoryA(path) ? 0 : GetLastError();
}

uint32_t writeFileBytes(HANDLE file, const void* bytes, uint32_t count) {
  if (file == nullptr || file == INVALID_HANDLE_VALUE) return 0;
  DWORD written = 0;
  if (!WriteFile(file, bytes, count, &written, nullptr)) return 0;
  return written;
}

HANDLE createFileWide(const wchar_t* path) {
  return CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_ARCHIVE, nullptr);
}
