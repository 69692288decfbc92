#include <windows.h>

#include "Shortcututil.h"
// windows.h first: the shell headers need its types.
#include <objbase.h>
#include <shlobj.h>

#include <string>

namespace {

std::wstring widen(const char* text) {
  if (text == nullptr || *text == 0) return {};
  const int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (n <= 0) return {};
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), n);
  wide.resize(static_cast<size_t>(n - 1));
  return wide;
}

HRESULT saveLink(const wchar_t* linkPath, const std::wstring& target, const std::wstring& folder,
                 const std::wstring& arguments) {
  IShellLinkW* link = nullptr;
  HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link));
  if (FAILED(hr)) return hr;
  hr = link->SetPath(target.c_str());
  if (SUCCEEDED(hr)) hr = link->SetWorkingDirectory(folder.c_str());
  if (SUCCEEDED(hr)) hr = link->SetArguments(arguments.c_str());
  if (SUCCEEDED(hr)) hr = link->SetShowCmd(SW_SHOWNORMAL);
  if (SUCCEEDED(hr)) hr = link->SetIconLocation(target.c_str(), 0);
  IPersistFile* file = nullptr;
  if (SUCCEEDED(hr)) hr = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
  if (SUCCEEDED(hr)) {
    hr = file->Save(linkPath, TRUE);
    file->Release();
  }
  link->Release();
  return hr;
}

}  // namespace

uint32_t createShortcut(const wchar_t* linkPath, const char* target, const char* workingFolder,
                        const char* arguments) {
  if (linkPath == nullptr || *linkPath == 0 || target == nullptr) return static_cast<uint32_t>(E_INVALIDARG);
  const HRESULT init = CoInitialize(nullptr);
  // A thread already in another apartment still gets its link; only our own initialisation is undone.
  if (FAILED(init) && init != RPC_E_CHANGED_MODE) return static_cast<uint32_t>(init);
  const HRESULT hr = saveLink(linkPath, widen(target), widen(workingFolder), widen(arguments));
  if (SUCCEEDED(init)) CoUninitialize();
  return SUCCEEDED(hr) ? 0 : static_cast<uint32_t>(hr);
}
