#include "app/form1.h"

namespace kestrune {

bool Form1::HookWindowProc(Hwnd) {
  return false;
}
bool Form1::UnhookWindowProc(Hwnd) {
  return true;
}
intptr_t Form1::HotKeyWndProc(Hwnd window, uint32_t msg, uintptr_t wParam, intptr_t lParam) {
  return ops.CallWindowProcA(PrevWndProc, window, msg, wParam, lParam);
}

}  // namespace kestrune
