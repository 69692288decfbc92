// Platform services on Windows.
#include <shlobj.h>
#include <windows.h>

#include <ctime>

#include "Platformservices.h"
#include "Platformservices_impl.h"

namespace {

std::wstring widen(const std::string& text) {
  if (text.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
  std::wstring w(size_t(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), w.data(), n);
  return w;
}

std::string narrow(const wchar_t* text) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return {};
  std::string s(size_t(n - 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, s.data(), n, nullptr, nullptr);
  return s;
}

}  // namespace

LocalTime localTimeNow() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

uint32_t calendarSeconds() { return uint32_t(std::time(nullptr)); }

void platformDebugOutput(const std::string& text) { OutputDebugStringA(text.c_str()); }

void platformMessageBox(const std::string& text) { MessageBoxA(nullptr, text.c_str(), nullptr, MB_OK); }

bool platformDesktopFolder(std::string* path, std::string* failureText) {
  LPITEMIDLIST list = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, &list)) || list == nullptr) {
    *failureText = "SHGetSpecialFolderLocation Error 0";
    return false;
  }
  wchar_t buffer[MAX_PATH] = {};
  const bool ok = SHGetPathFromIDListW(list, buffer) != FALSE;
  CoTaskMemFree(list);
  if (!ok) {
    *failureText = "SHGetPathFromIDList Error";
    return false;
  }
  *path = narrow(buffer);
  return true;
}

bool createFolders(const std::string& path) {
  const std::wstring w = widen(path);
  for (size_t at = 1; at <= w.size(); ++at) {
    if (at != w.size() && w[at] != L'\\' && w[at] != L'/') continue;
    const std::wstring part = w.substr(0, at);
    if (part.size() == 2 && part[1] == L':') continue;  // a drive, not a folder
    CreateDirectoryW(part.c_str(), nullptr);
  }
  const DWORD attributes = GetFileAttributesW(w.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

LogFileHandle createLogFile(const std::string& path) {
  HANDLE h = CreateFileW(widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_ARCHIVE,
                         nullptr);
  return h == INVALID_HANDLE_VALUE ? nullptr : h;
}

bool writeLogFile(LogFileHandle file, const char* data, size_t size) {
  DWORD written = 0;
  return WriteFile(file, data, DWORD(size), &written, nullptr) != FALSE && written == size;
}

void closeLogFile(LogFileHandle file) {
  if (file != nullptr) CloseHandle(file);
}
