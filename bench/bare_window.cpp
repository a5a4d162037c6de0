// The yardstick of the benchmark: the least a Win32 program with one window
// does. One class, one visible window with the main window's client size (the
// same twips, scaled by the screen's DPI as the program scales them), and the
// message loop. Built with the program's size flags, so that what it costs
// to start and to idle is what Windows (or Wine) costs, nothing more.

#include <windows.h>

namespace {

constexpr wchar_t kClassName[] = L"KestruneBareWindow";
constexpr wchar_t kTitle[] = L"bare window";
constexpr int kClientWidthTwips = 6150;
constexpr int kClientHeightTwips = 3975;
constexpr int kTwipsPerInch = 1440;

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

int ScreenDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
  wc.lpszClassName = kClassName;
  if (!RegisterClassExW(&wc)) return 1;

  const int dpi = ScreenDpi();
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  RECT rc{0, 0, MulDiv(kClientWidthTwips, dpi, kTwipsPerInch),
          MulDiv(kClientHeightTwips, dpi, kTwipsPerInch)};
  AdjustWindowRectEx(&rc, style, FALSE, 0);
  HWND hwnd =
      CreateWindowExW(0, kClassName, kTitle, style, CW_USEDEFAULT, CW_USEDEFAULT,
                      rc.right - rc.left, rc.bottom - rc.top, nullptr, nullptr, instance, nullptr);
  if (!hwnd) return 1;
  ShowWindow(hwnd, show);
  UpdateWindow(hwnd);

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}
