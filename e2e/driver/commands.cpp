#include "commands.h"

// These need windows.h first.
#include <psapi.h>
#include <shlwapi.h>

#include <algorithm>

#include "json.h"
#include "window_query.h"

namespace kdriver {

namespace {

constexpr int kMessageBoxTextId = 0xFFFF;

std::string Posted(BOOL posted) {
  return posted ? Ok() : Fail("PostMessage failed");
}

std::string Find(const std::string& caption) {
  std::wstring wanted = Wide(caption);
  std::vector<std::string> windows;
  for (HWND hwnd : TopLevelWindows()) {
    if (CaptionOf(hwnd) == wanted) windows.push_back(WindowSummary(hwnd));
  }
  return Json().Bool("ok", true).Raw("windows", Array(windows)).Text();
}

std::string Windows(DWORD pid) {
  std::vector<std::string> windows;
  for (HWND hwnd : TopLevelWindows()) {
    if (!pid || ProcessOf(hwnd) == pid) windows.push_back(WindowSummary(hwnd));
  }
  return Json().Bool("ok", true).Raw("windows", Array(windows)).Text();
}

std::string Dump(HWND hwnd) {
  if (!IsWindowArg(hwnd)) return Fail("no such window");
  RECT window = {}, client = {};
  GetWindowRect(hwnd, &window);
  GetClientRect(hwnd, &client);
  MapWindowPoints(hwnd, nullptr, reinterpret_cast<POINT*>(&client), 2);
  std::vector<std::string> controls;
  for (HWND child : Descendants(hwnd)) controls.push_back(ControlJson(child, hwnd));
  return Json()
      .Bool("ok", true)
      .Num("hwnd", HandleValue(hwnd))
      .Str("caption", CaptionOf(hwnd))
      .Str("class", ClassOf(hwnd))
      .Bool("visible", IsWindowVisible(hwnd))
      .Bool("enabled", IsWindowEnabled(hwnd))
      .Bool("minimized", IsIconic(hwnd))
      .Num("style", static_cast<long long>(static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE))))
      .Raw("rect", RectJson(window))
      .Raw("client", RectJson(client))
      .Num("pid", ProcessOf(hwnd))
      .Num("dpi", GetDpiForWindow(hwnd))  // the tests convert twips with it
      .Bool("has_menu", GetMenu(hwnd) != nullptr)
      .Raw("controls", Array(controls))
      .Text();
}

std::string MenuItems(HMENU menu, int depth);

std::string MenuItem(HMENU menu, int position, int depth) {
  wchar_t caption[256] = {};
  MENUITEMINFOW info = {};
  info.cbSize = sizeof info;
  info.fMask = MIIM_STRING | MIIM_ID | MIIM_SUBMENU | MIIM_STATE | MIIM_FTYPE;
  info.dwTypeData = caption;
  info.cch = 255;
  if (!GetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &info)) return "null";
  Json json;
  json.Str("caption", caption)
      .Num("id", info.wID)
      .Bool("enabled", !(info.fState & MFS_DISABLED))
      .Bool("separator", info.fType & MFT_SEPARATOR);
  if (info.hSubMenu && depth < 4) json.Raw("items", MenuItems(info.hSubMenu, depth + 1));
  return json.Text();
}

std::string MenuItems(HMENU menu, int depth) {
  std::vector<std::string> items;
  int count = GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) items.push_back(MenuItem(menu, i, depth));
  return Array(items);
}

// Menus live in the owning process; where the system cannot read them from
// here (Wine), say so and let the caller work the menu through its ids.
std::string Menu(HWND hwnd) {
  if (!IsWindowArg(hwnd)) return Fail("no such window");
  HMENU menu = GetMenu(hwnd);
  if (!menu) return Fail("no menu bar");
  if (GetMenuItemCount(menu) < 0) return Fail("menu unreadable from another process");
  return Json().Bool("ok", true).Raw("items", MenuItems(menu, 0)).Text();
}

std::string MessageBoxJson(HWND box) {
  std::vector<std::string> buttons;
  for (HWND child : Descendants(box)) {
    if (lstrcmpiW(ClassOf(child).c_str(), L"Button") != 0) continue;
    buttons.push_back(Json().Num("id", GetDlgCtrlID(child)).Str("text", CaptionOf(child)).Text());
  }
  HWND text = GetDlgItem(box, kMessageBoxTextId);
  return Json()
      .Num("hwnd", HandleValue(box))
      .Str("caption", CaptionOf(box))
      .Str("text", text ? CaptionOf(text) : std::wstring())
      .Num("pid", ProcessOf(box))
      .Num("owner", HandleValue(GetWindow(box, GW_OWNER)))
      .Raw("buttons", Array(buttons))
      .Text();
}

std::string MessageBoxes(DWORD pid) {
  std::vector<std::string> boxes;
  for (HWND hwnd : TopLevelWindows()) {
    if (ClassOf(hwnd) != L"#32770" || !IsWindowVisible(hwnd)) continue;
    if (pid && ProcessOf(hwnd) != pid) continue;
    boxes.push_back(MessageBoxJson(hwnd));
  }
  return Json().Bool("ok", true).Raw("boxes", Array(boxes)).Text();
}

std::string Click(HWND hwnd) {
  if (!IsWindowArg(hwnd)) return Fail("no such window");
  return Posted(PostMessageW(hwnd, BM_CLICK, 0, 0));
}

// The notification a click sends, for controls whose parent handles it.
std::string Notify(HWND hwnd) {
  if (!IsWindowArg(hwnd)) return Fail("no such window");
  WPARAM wparam = MAKEWPARAM(GetDlgCtrlID(hwnd), BN_CLICKED);
  return Posted(PostMessageW(GetParent(hwnd), WM_COMMAND, wparam, reinterpret_cast<LPARAM>(hwnd)));
}

std::string Command(HWND hwnd, int id) {
  if (!IsWindowArg(hwnd)) return Fail("no such window");
  return Posted(PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(id, 0), 0));
}

std::string Answer(HWND box, int id) {
  if (!IsWindowArg(box)) return Fail("no such window");
  LPARAM button = reinterpret_cast<LPARAM>(GetDlgItem(box, id));
  return Posted(PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), button));
}

std::string Close(HWND hwnd) {
  if (!IsWindowArg(hwnd)) return Fail("no such window");
  return Posted(PostMessageW(hwnd, WM_CLOSE, 0, 0));
}

std::string Foreground(HWND hwnd) {
  if (!IsWindowArg(hwnd)) return Fail("no such window");
  BOOL done = SetForegroundWindow(hwnd);
  return Json().Bool("ok", true).Bool("done", done).Text();
}

std::string GetForeground() {
  HWND hwnd = GetForegroundWindow();
  return Json().Bool("ok", true).Raw("window", hwnd ? WindowSummary(hwnd) : "null").Text();
}

std::string WaitGone(DWORD pid, DWORD ms) {
  HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (!process) return Json().Bool("ok", true).Bool("gone", true).Text();
  bool gone = WaitForSingleObject(process, ms) == WAIT_OBJECT_0;
  DWORD code = 0;
  Json json;
  json.Bool("ok", true).Bool("gone", gone);
  if (gone && GetExitCodeProcess(process, &code)) json.Num("exit_code", code);
  CloseHandle(process);
  return json.Text();
}

// A session end requested as another program would request it.
std::string RequestSessionEnd(UINT flags) {
  return Json().Bool("ok", true).Bool("done", ExitWindowsEx(flags, 0)).Text();
}

// Sends a message and waits for the answer: its result and how long it took.
std::string SendTimed(HWND hwnd, UINT msg, WPARAM wparam) {
  if (!IsWindowArg(hwnd)) return Fail("no such window");
  DWORD_PTR result = 0;
  const ULONGLONG started = GetTickCount64();
  if (!SendMessageTimeoutW(hwnd, msg, wparam, 0, SMTO_NORMAL, kSendTimeoutMs, &result))
    return Fail("no answer");
  return Json()
      .Bool("ok", true)
      .Num("result", static_cast<long long>(result))
      .Num("ms", static_cast<long long>(GetTickCount64() - started))
      .Text();
}

// A new DPI as Windows announces it. The suggested rectangle is written into
// the window's own process, where the message's pointer is read: the window's
// rectangle scaled about its corner, the icon's while it is minimised.
std::string DpiChange(HWND hwnd, int dpi) {
  if (!IsWindowArg(hwnd) || dpi <= 0) return Fail("no such window");
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, pid);
  if (!process) return Fail("cannot open the process");
  RECT r;
  GetWindowRect(hwnd, &r);
  const int from = std::max(1, static_cast<int>(GetDpiForWindow(hwnd)));
  const RECT suggested{r.left, r.top, r.left + MulDiv(r.right - r.left, dpi, from),
                       r.top + MulDiv(r.bottom - r.top, dpi, from)};
  void* remote =
      VirtualAllocEx(process, nullptr, sizeof suggested, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  DWORD_PTR result = 0;
  const bool sent =
      remote && WriteProcessMemory(process, remote, &suggested, sizeof suggested, nullptr) &&
      SendMessageTimeoutW(hwnd, WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                          reinterpret_cast<LPARAM>(remote), SMTO_NORMAL, kSendTimeoutMs, &result);
  if (remote) VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  CloseHandle(process);
  return sent ? Ok() : Fail("no answer");
}

// The window size Windows gives a client area at a DPI, for the window's
// styles and menu: what a window drawn at that DPI measures.
std::string FrameAt(HWND hwnd, int dpi, int width, int height) {
  if (!IsWindowArg(hwnd) || dpi <= 0) return Fail("no such window");
  RECT r{0, 0, width, height};
  AdjustWindowRectExForDpi(&r, static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE)) & ~WS_MINIMIZE,
                           GetMenu(hwnd) != nullptr,
                           static_cast<DWORD>(GetWindowLongW(hwnd, GWL_EXSTYLE)),
                           static_cast<UINT>(dpi));
  return Json()
      .Bool("ok", true)
      .Num("width", r.right - r.left)
      .Num("height", r.bottom - r.top)
      .Text();
}

// Last resort of a test's clean-up, so one failing test does not leave its
// program running into the next.
std::string Kill(DWORD pid) {
  HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
  if (!process) return Ok();
  TerminateProcess(process, 1);
  WaitForSingleObject(process, kSendTimeoutMs);
  CloseHandle(process);
  return Ok();
}

// The module of that name (e.g. comctl32.dll) loaded in a process: its path
// and, when it has one, what its DllGetVersion tells in the driver's process.
std::string ModuleOf(DWORD pid, const std::wstring& name) {
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
  if (!process) return Fail("cannot open the process");
  HMODULE modules[1024];
  DWORD bytes = 0;
  std::wstring path;
  if (EnumProcessModules(process, modules, sizeof modules, &bytes)) {
    for (DWORD i = 0; i < bytes / sizeof(HMODULE) && path.empty(); ++i) {
      wchar_t file[MAX_PATH];
      if (!GetModuleFileNameExW(process, modules[i], file, MAX_PATH)) continue;
      const wchar_t* base = wcsrchr(file, L'\\');
      if (lstrcmpiW(base ? base + 1 : file, name.c_str()) == 0) path = file;
    }
  }
  CloseHandle(process);
  Json json;
  json.Bool("ok", true).Bool("loaded", !path.empty()).Str("path", path);
  HMODULE library = path.empty() ? nullptr : LoadLibraryW(path.c_str());
  using GetVersion = HRESULT(CALLBACK*)(DLLVERSIONINFO*);
  auto get = library ? reinterpret_cast<GetVersion>(
                           reinterpret_cast<void (*)()>(GetProcAddress(library, "DllGetVersion")))
                     : nullptr;
  DLLVERSIONINFO version{sizeof version, 0, 0, 0, 0};
  if (get && SUCCEEDED(get(&version)))
    json.Num("major", version.dwMajorVersion).Num("minor", version.dwMinorVersion);
  return json.Text();
}

// --- target windows, for a watcher to capture ----------------------------------

constexpr wchar_t kTargetClass[] = L"KdriverTarget";

struct TargetRequest {
  std::wstring title;
  HANDLE created = nullptr;
  HWND hwnd = nullptr;
};

LRESULT CALLBACK TargetProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcW(hwnd, msg, wparam, lparam);
}

// Each target window lives on a thread of its own with its own message loop,
// so it answers other programs while the command loop waits on stdin.
DWORD WINAPI TargetThread(void* param) {
  auto* request = static_cast<TargetRequest*>(param);
  request->hwnd =
      CreateWindowExW(0, kTargetClass, request->title.c_str(), WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40,
                      40, 320, 200, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  SetEvent(request->created);  // the request belongs to the caller from here
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
  return 0;
}

std::string Target(const std::string& title) {
  static const bool registered = [] {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = TargetProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
    wc.lpszClassName = kTargetClass;
    return RegisterClassW(&wc) != 0;
  }();
  if (!registered) return Fail("RegisterClass failed");
  TargetRequest request{Wide(title), CreateEventW(nullptr, TRUE, FALSE, nullptr), nullptr};
  HANDLE thread = CreateThread(nullptr, 0, TargetThread, &request, 0, nullptr);
  if (!thread) {
    CloseHandle(request.created);
    return Fail("CreateThread failed");
  }
  WaitForSingleObject(request.created, INFINITE);
  CloseHandle(request.created);
  CloseHandle(thread);
  if (!request.hwnd) return Fail("CreateWindow failed");
  return Json().Bool("ok", true).Num("hwnd", HandleValue(request.hwnd)).Text();
}

// --- files held by another program -----------------------------------------

// A file opened without sharing, as a sync client or an editor may hold it:
// no other program can read, write or replace it until it is released.
HANDLE heldFile = INVALID_HANDLE_VALUE;

std::string HoldFile(const std::wstring& path) {
  if (heldFile != INVALID_HANDLE_VALUE) return Fail("a file is held already");
  heldFile = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  return heldFile == INVALID_HANDLE_VALUE ? Fail("cannot open the file") : Ok();
}

std::string ReleaseFile() {
  if (heldFile == INVALID_HANDLE_VALUE) return Fail("no file is held");
  CloseHandle(heldFile);
  heldFile = INVALID_HANDLE_VALUE;
  return Ok();
}

}  // namespace

std::string RunCommand(const Line& line) {
  const std::string& v = line.verb;
  if (v == "find") return Find(line.rest);
  if (v == "windows") return Windows(line.Number(0));
  if (v == "dump") return Dump(line.Handle());
  if (v == "menu") return Menu(line.Handle());
  if (v == "click") return Click(line.Handle());
  if (v == "notify") return Notify(line.Handle());
  if (v == "command") return Command(line.Handle(), static_cast<int>(line.Number(1)));
  if (v == "close") return Close(line.Handle());
  if (v == "msgboxes") return MessageBoxes(line.Number(0));
  if (v == "answer") return Answer(line.Handle(), static_cast<int>(line.Number(1)));
  if (v == "foreground") return Foreground(line.Handle());
  if (v == "getforeground") return GetForeground();
  if (v == "wait-gone") return WaitGone(line.Number(0), line.Number(1));
  if (v == "kill") return Kill(line.Number(0));
  if (v == "exit-windows") return RequestSessionEnd(static_cast<UINT>(line.Number(0)));
  if (v == "send")
    return SendTimed(line.Handle(), static_cast<UINT>(line.Number(1)),
                     static_cast<WPARAM>(line.Number(2)));
  if (v == "dpi-change") return DpiChange(line.Handle(), static_cast<int>(line.Number(1)));
  if (v == "frame")
    return FrameAt(line.Handle(), static_cast<int>(line.Number(1)),
                   static_cast<int>(line.Number(2)), static_cast<int>(line.Number(3)));
  if (v == "ping") return Ok();
  if (v == "target") return Target(line.rest);
  if (v == "hold-file") return HoldFile(Wide(line.rest));
  if (v == "release-file") return ReleaseFile();
  if (v == "module") return ModuleOf(line.Number(0), Wide(line.Arg(1)));
  return Fail("unknown command: " + v);
}

}  // namespace kdriver
