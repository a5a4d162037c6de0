#include "platform/win32/version_info.h"

#include <vector>

namespace kestrune::win32 {
namespace {

// The version library, loaded from the system folder when the version is
// first asked for: it is not a Known DLL, so an import would let a copy
// beside the exe run instead.
struct VersionLibrary {
  decltype(&GetFileVersionInfoSizeW) infoSize = nullptr;
  decltype(&GetFileVersionInfoW) info = nullptr;
  decltype(&VerQueryValueW) query = nullptr;
};

const VersionLibrary* LoadVersionLibrary() {
  static const VersionLibrary library = [] {
    VersionLibrary loaded;
    HMODULE module = LoadLibraryExW(L"version.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module == nullptr) return loaded;
    loaded.infoSize = ProcOf<decltype(loaded.infoSize)>(module, "GetFileVersionInfoSizeW");
    loaded.info = ProcOf<decltype(loaded.info)>(module, "GetFileVersionInfoW");
    loaded.query = ProcOf<decltype(loaded.query)>(module, "VerQueryValueW");
    return loaded;
  }();
  return library.infoSize && library.info && library.query ? &library : nullptr;
}

}  // namespace

VersionInfo ReadVersionInfo(const std::wstring& path) {
  VersionInfo info;
  const VersionLibrary* library = LoadVersionLibrary();
  if (library == nullptr) return info;
  DWORD ignored = 0;
  const DWORD size = library->infoSize(path.c_str(), &ignored);
  if (size == 0) return info;
  std::vector<BYTE> block(size);
  if (!library->info(path.c_str(), 0, size, block.data())) return info;
  void* value = nullptr;
  UINT length = 0;
  if (library->query(block.data(), L"\\", &value, &length) && length >= sizeof(VS_FIXEDFILEINFO)) {
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    info.major = HIWORD(fixed->dwFileVersionMS);
    info.minor = LOWORD(fixed->dwFileVersionMS);
    info.revision = HIWORD(fixed->dwFileVersionLS);
  }
  struct Translation {
    WORD language;
    WORD codePage;
  };
  if (!library->query(block.data(), L"\\VarFileInfo\\Translation", &value, &length) ||
      length < sizeof(Translation))
    return info;
  const auto* translation = static_cast<const Translation*>(value);
  const std::wstring key = L"\\StringFileInfo\\" + Hex4(translation->language) +
                           Hex4(translation->codePage) + L"\\LegalCopyright";
  if (library->query(block.data(), key.c_str(), &value, &length) && length > 0)
    info.legalCopyright = Narrow(static_cast<const wchar_t*>(value));
  return info;
}

}  // namespace kestrune::win32
