// Reading other programs' windows without ever waiting on them for long:
// what a window is called, holds and shows, and which windows there are.

#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace kdriver {

constexpr UINT kSendTimeoutMs = 2000;

long long HandleValue(HWND hwnd);
HWND ParseHandle(const std::string& text);
bool IsWindowArg(HWND hwnd);

std::wstring ClassOf(HWND hwnd);
// The window's own caption, which Windows keeps without asking its owner.
std::wstring CaptionOf(HWND hwnd);
// The text the control's own procedure keeps (an edit control's), bounded.
std::wstring TextOf(HWND hwnd);
// A message sent with a bound; -1 when the window did not answer in time.
long long SendBounded(HWND hwnd, UINT message, WPARAM wparam = 0, LPARAM lparam = 0);
DWORD ProcessOf(HWND hwnd);

std::vector<HWND> TopLevelWindows();
std::vector<HWND> Descendants(HWND parent);

std::string RectJson(const RECT& r);
// A rectangle in the client coordinates of `top`.
RECT RectIn(HWND hwnd, HWND top);
std::string WindowSummary(HWND hwnd);
std::string ControlJson(HWND hwnd, HWND top);

}  // namespace kdriver
