#include <windows.h>
// commctrl.h needs windows.h first.
#include <commctrl.h>

#include "app/form1.h"
#include "platform/win32/real_ops.h"
#include "platform/win32/real_runtime.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_HOTKEY_CLASS | ICC_PROGRESS_CLASS |
                                                     ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  kestrune::win32::RealWin32Ops ops;
  kestrune::win32::RealRuntime rt;
  kestrune::Form1 form1(ops, rt);
  rt.Load(form1);  // Form_Load may refuse a second instance and end here
  if (rt.WindowHandle(form1) == 0) return 0;
  rt.Show(form1);
  return rt.Run();
}
