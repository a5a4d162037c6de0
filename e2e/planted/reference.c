/* The yardstick of the planted-DLL test: a window of its own and nothing
 * else, importing kernel32 and user32 only, with Kestrune's manifest. What a
 * planted DLL does in this process, Wine's own libraries did. It closes
 * itself after two seconds. */
#include <windows.h>

static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_TIMER) DestroyWindow(hwnd);
  if (msg == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

void Start(void) {
  WNDCLASSW wc = {0};
  wc.lpfnWndProc = Proc;
  wc.hInstance = GetModuleHandleW(NULL);
  wc.lpszClassName = L"KestruneReference";
  RegisterClassW(&wc);
  HWND hwnd = CreateWindowExW(0, wc.lpszClassName, L"KestruneReference", WS_OVERLAPPEDWINDOW, 0, 0,
                              200, 100, NULL, NULL, wc.hInstance, NULL);
  ShowWindow(hwnd, SW_SHOW);
  SetTimer(hwnd, 1, 2000, NULL);
  MSG msg;
  while (GetMessageW(&msg, NULL, 0, 0) > 0) DispatchMessageW(&msg);
  ExitProcess(0);
}
