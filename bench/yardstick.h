// What both yardstick windows share: the main window's client size, twips to
// pixels at the screen's DPI, the window class, the top-level window and the
// message loop, each done the plainest way Win32 allows.

#pragma once

#include <windows.h>

namespace yardstick {

// Kestrune's main window's client area.
constexpr int kClientWidthTwips = 6150;
constexpr int kClientHeightTwips = 3975;

// Twips to pixels at the screen's DPI, as the program scales them.
int Px(int twips);

// A class on the button face with the arrow cursor; the icons may be null.
bool RegisterWindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC proc,
                         HICON icon = nullptr, HICON smallIcon = nullptr);

// A hidden top-level window, not resizable, whose client area is the main
// window's, below the menu bar when there is one.
HWND CreateMainWindow(HINSTANCE instance, const wchar_t* className, const wchar_t* title,
                      HMENU menu = nullptr);

// A window procedure that ends the message loop when its window goes.
LRESULT CALLBACK QuitOnDestroy(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Runs until the quit message and answers its code; `dialog`, when given,
// gets the keyboard navigation of a dialog.
int RunMessageLoop(HWND dialog = nullptr);

}  // namespace yardstick
