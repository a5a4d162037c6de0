// The yardstick of the benchmark: the least a Win32 program with one window
// does. One class, one visible window with the main window's client size (the
// same twips, scaled by the screen's DPI as the program scales them), and the
// message loop. Built with the program's size flags, so that what it costs
// to start and to idle is what Windows (or Wine) costs, nothing more.

#include <windows.h>

#include "yardstick.h"

namespace {

constexpr wchar_t kClassName[] = L"KestruneBareWindow";
constexpr wchar_t kTitle[] = L"bare window";

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  if (!yardstick::RegisterWindowClass(instance, kClassName, yardstick::QuitOnDestroy)) return 1;
  HWND hwnd = yardstick::CreateMainWindow(instance, kClassName, kTitle);
  if (!hwnd) return 1;
  ShowWindow(hwnd, show);
  UpdateWindow(hwnd);
  return yardstick::RunMessageLoop();
}
