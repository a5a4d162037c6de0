#include "window_query.h"

// commctrl.h needs windows.h first.
#include <commctrl.h>

#include <cstdlib>

#include "json.h"

namespace kdriver {

long long HandleValue(HWND hwnd) {
  return static_cast<long long>(reinterpret_cast<UINT_PTR>(hwnd));
}

HWND ParseHandle(const std::string& text) {
  return reinterpret_cast<HWND>(static_cast<UINT_PTR>(strtoull(text.c_str(), nullptr, 0)));
}

bool IsWindowArg(HWND hwnd) {
  return hwnd && IsWindow(hwnd);
}

std::wstring ClassOf(HWND hwnd) {
  wchar_t name[256] = {};
  GetClassNameW(hwnd, name, 256);
  return name;
}

std::wstring CaptionOf(HWND hwnd) {
  int length = GetWindowTextLengthW(hwnd);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  int copied = GetWindowTextW(hwnd, text.data(), length + 1);
  text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
  return text;
}

// WM_GETTEXT reaches the control's own procedure: edit controls keep their
// text there, not in the caption. Bounded so a hung target cannot hang us.
std::wstring TextOf(HWND hwnd) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                           &length)) {
    return CaptionOf(hwnd);
  }
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()),
                           SMTO_ABORTIFHUNG, kSendTimeoutMs, &copied)) {
    return CaptionOf(hwnd);
  }
  text.resize(copied);
  return text;
}

long long SendBounded(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(hwnd, message, wparam, lparam, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                           &result)) {
    return -1;
  }
  return static_cast<long long>(result);
}

DWORD ProcessOf(HWND hwnd) {
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  return pid;
}

std::vector<HWND> TopLevelWindows() {
  std::vector<HWND> found;
  EnumWindows(
      [](HWND hwnd, LPARAM list) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(hwnd);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

std::vector<HWND> Descendants(HWND parent) {
  std::vector<HWND> found;
  EnumChildWindows(
      parent,
      [](HWND hwnd, LPARAM list) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(hwnd);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

std::string RectJson(const RECT& r) {
  return Json()
      .Num("left", r.left)
      .Num("top", r.top)
      .Num("right", r.right)
      .Num("bottom", r.bottom)
      .Text();
}

RECT RectIn(HWND hwnd, HWND top) {
  RECT r = {};
  GetWindowRect(hwnd, &r);
  MapWindowPoints(nullptr, top, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

std::string WindowSummary(HWND hwnd) {
  return Json()
      .Num("hwnd", HandleValue(hwnd))
      .Str("caption", CaptionOf(hwnd))
      .Str("class", ClassOf(hwnd))
      .Bool("visible", IsWindowVisible(hwnd))
      .Num("pid", ProcessOf(hwnd))
      .Text();
}

std::string ControlJson(HWND hwnd, HWND top) {
  std::wstring cls = ClassOf(hwnd);
  Json json;
  json.Num("hwnd", HandleValue(hwnd))
      .Num("parent", HandleValue(GetParent(hwnd)))
      .Num("id", GetDlgCtrlID(hwnd))
      .Str("class", cls)
      .Str("text", TextOf(hwnd))
      .Bool("visible", IsWindowVisible(hwnd))
      .Bool("enabled", IsWindowEnabled(hwnd))
      .Num("style", static_cast<long long>(static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE))))
      .Raw("rect", RectJson(RectIn(hwnd, top)));
  if (lstrcmpiW(cls.c_str(), L"Button") == 0) json.Num("checked", SendBounded(hwnd, BM_GETCHECK));
  if (lstrcmpiW(cls.c_str(), PROGRESS_CLASSW) == 0)
    json.Num("progress", SendBounded(hwnd, PBM_GETPOS));
  return json.Text();
}

}  // namespace kdriver
