#include <shlobj.h>

#include <string>

#include "Winfuncutil.h"

namespace {

// Only from the system folder: a DLL of the same name beside the installer (say, in a downloads
// folder) must never be picked up instead.
HMODULE loadSystemModule(const char* name) {
  if (HMODULE loaded = GetModuleHandleA(name)) return loaded;
  char folder[MAX_PATH];
  const UINT n = GetSystemDirectoryA(folder, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return nullptr;
  const std::string path = std::string(folder, n) + "\\" + name;
  return LoadLibraryA(path.c_str());
}

template <typename F>
void bind(HMODULE module, const char* name, F*& slot) {
  if (module == nullptr || slot != nullptr) return;
  // Through void(*)() so that the cast between function types is explicit and warning-free.
  slot = reinterpret_cast<F*>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

}  // namespace

const KernelFunctions& kernelFunctions() {
  static const KernelFunctions table = [] {
    KernelFunctions t;
    t.module = loadSystemModule("Kernel32.DLL");
    bind(t.module, "GetNativeSystemInfo", t.getNativeSystemInfo);
    return t;
  }();
  return table;
}

const ShellFunctions& shellFunctions() {
  static const ShellFunctions table = [] {
    ShellFunctions t;
    t.shell32 = loadSystemModule("Shell32.DLL");
    t.shfolder = loadSystemModule("SHFolder.DLL");
    // The first module that has a function gives it.
    for (HMODULE m : {t.shell32, t.shfolder}) {
      bind(m, "SHGetFolderPathA", t.shGetFolderPathA);
      bind(m, "SHCreateDirectoryExA", t.shCreateDirectoryExA);
      bind(m, "SHChangeNotify", t.shChangeNotify);
    }
    return t;
  }();
  return table;
}

const SecurityFunctions& securityFunctions() {
  static const SecurityFunctions table = [] {
    SecurityFunctions t;
    t.module = loadSystemModule("advapi32.DLL");
    bind(t.module, "SetSecurityDescriptorControl", t.setSecurityDescriptorControl);
    return t;
  }();
  return table;
}

const NativeFunctions& nativeFunctions() {
  static const NativeFunctions table = [] {
    NativeFunctions t;
    t.module = loadSystemModule("NtDll.DLL");
    bind(t.module, "RtlGetNtVersionNumbers", t.rtlGetNtVersionNumbers);
    return t;
  }();
  return table;
}

const ConfigManagerFunctions& configManagerFunctions() {
  static const ConfigManagerFunctions table = [] {
    ConfigManagerFunctions t;
    // SETUPAPI forwards the CM_ functions on the NT family; CFGMGR32 holds them everywhere since.
    t.module = loadSystemModule("SETUPAPI.DLL");
    bind(t.module, "CM_Get_Parent", t.cmGetParent);
    if (t.cmGetParent == nullptr) {
      t.module = loadSystemModule("CFGMGR32.DLL");
      bind(t.module, "CM_Get_Parent", t.cmGetParent);
    }
    return t;
  }();
  return table;
}

void nativeSystemInfo(SYSTEM_INFO* info) {
  if (auto f = kernelFunctions().getNativeSystemInfo) {
    f(info);
  } else {
    GetSystemInfo(info);
  }
}

bool ntVersionNumbers(uint32_t* major, uint32_t* minor, uint32_t* build) {
  auto f = nativeFunctions().rtlGetNtVersionNumbers;
  if (f == nullptr) return false;
  DWORD ma = 0, mi = 0, bu = 0;
  f(&ma, &mi, &bu);
  if (ma == 0) return false;
  *major = ma;
  *minor = mi;
  *build = bu & 0xFFFF;  // the high bits flag checked and free builds
  return true;
}

uint32_t cmGetParent(uint32_t devInst) {
  auto f = configManagerFunctions().cmGetParent;
  if (f == nullptr) return 0;
  DWORD parent = 0;
  if (f(&parent, devInst, 0) != 0) return 0;  // CR_SUCCESS is 0
  return parent;
}

BOOL setSecurityDescriptorControl(PSECURITY_DESCRIPTOR descriptor, SECURITY_DESCRIPTOR_CONTROL mask,
                                  SECURITY_DESCRIPTOR_CONTROL bits) {
  if (auto f = securityFunctions().setSecurityDescriptorControl) return f(descriptor, mask, bits);
  return SetSecurityDescriptorControl(descriptor, mask, bits);
}

HRESULT shGetFolderPathA(int folder, char path[MAX_PATH]) {
  if (auto f = shellFunctions().shGetFolderPathA)
    return f(nullptr, folder, nullptr, SHGFP_TYPE_CURRENT, path);
  return SHGetFolderPathA(nullptr, folder, nullptr, SHGFP_TYPE_CURRENT, path);
}

int shCreateDirectoryExA(const char* path) {
  if (auto f = shellFunctions().shCreateDirectoryExA) return f(nullptr, path, nullptr);
  return SHCreateDirectoryExA(nullptr, path, nullptr);
}

void shChangeNotify(LONG event, UINT flags, const void* item1, const void* item2) {
  if (auto f = shellFunctions().shChangeNotify) {
    f(event, flags, item1, item2);
  } else {
    SHChangeNotify(event, flags, item1, item2);
  }
}
