#pragma once

#include <windows.h>
// commctrl.h needs windows.h first.
#include <commctrl.h>

#include "platform/win32/handles.h"

namespace kestrune::win32 {

// The controls the forms use, from the system folder as the program loads
// them; true once they are registered.
inline bool LoadCommonControls() {
  static const bool loaded = [] {
    using Init = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    const auto init =
        ProcOf<Init>(LoadLibraryExW(L"comctl32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32),
                     "InitCommonControlsEx");
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_HOTKEY_CLASS | ICC_PROGRESS_CLASS |
                                                       ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    return init != nullptr && init(&controls);
  }();
  return loaded;
}

}  // namespace kestrune::win32
