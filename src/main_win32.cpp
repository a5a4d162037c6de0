#include <windows.h>
// commctrl.h needs windows.h first.
#include <commctrl.h>

#include "app/form1.h"
#include "platform/win32/handles.h"
#include "platform/win32/real_ops.h"
#include "platform/win32/real_runtime.h"

namespace {

// The common controls library is not a Known DLL: it is loaded by name from
// the system folder, where the manifest's activation context makes that name
// version 6, and never imported, so that no copy beside the exe can run.
void LoadCommonControls() {
  // The theme library the controls draw with takes msimg32 as a delayed
  // import, which Wine resolves without the search restriction; loaded here
  // first, from the system folder, that import finds it in place.
  LoadLibraryExW(L"msimg32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  using Init = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  const auto init = kestrune::win32::ProcOf<Init>(
      LoadLibraryExW(L"comctl32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32),
      "InitCommonControlsEx");
  if (init == nullptr) return;
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_HOTKEY_CLASS | ICC_PROGRESS_CLASS |
                                                     ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
  init(&controls);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // First of all: every later load, and every load those libraries make in
  // turn (the theme library, for one), looks in the system folder only.
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  LoadCommonControls();

  kestrune::win32::RealWin32Ops ops;
  kestrune::win32::RealRuntime rt;
  kestrune::Form1 form1(ops, rt);
  rt.Load(form1);  // Form_Load may refuse a second instance and end here
  if (rt.WindowHandle(form1) == 0) return 0;
  rt.Show(form1);
  return rt.Run();
}
