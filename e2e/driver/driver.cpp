// Test driver for the end-to-end tests: a console program run under Wine that
// finds windows by their texts, reads their controls and works them as a user
// would. It reads one command per line (UTF-8) on stdin and answers each with
// one line of JSON (UTF-8) on stdout, so a harness can keep it running.
//
// Every action that could open a modal box is posted, never sent: a sent
// message would block the driver until the box closed.

#include <windows.h>

// These need windows.h first.
#include <commctrl.h>
#include <psapi.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr UINT kSendTimeoutMs = 2000;
constexpr int kMessageBoxTextId = 0xFFFF;

// --- text and JSON ----------------------------------------------------------

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                 nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                      nullptr, nullptr);
  return out;
}

std::wstring Wide(const std::string& text) {
  if (text.empty()) return {};
  int size =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
  return out;
}

std::string Quote(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escaped[8];
      snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string Quote(const std::wstring& text) {
  return Quote(Utf8(text));
}

// Builds one JSON object field by field.
class Json {
 public:
  Json& Raw(const char* key, const std::string& value) {
    body_ += (body_.empty() ? "" : ",") + Quote(std::string(key)) + ":" + value;
    return *this;
  }
  Json& Str(const char* key, const std::wstring& value) { return Raw(key, Quote(value)); }
  Json& Num(const char* key, long long value) { return Raw(key, std::to_string(value)); }
  Json& Bool(const char* key, bool value) { return Raw(key, value ? "true" : "false"); }
  std::string Text() const { return "{" + body_ + "}"; }

 private:
  std::string body_;
};

std::string Array(const std::vector<std::string>& items) {
  std::string out = "[";
  for (size_t i = 0; i < items.size(); ++i) out += (i ? "," : "") + items[i];
  return out + "]";
}

std::string RectJson(const RECT& r) {
  return Json()
      .Num("left", r.left)
      .Num("top", r.top)
      .Num("right", r.right)
      .Num("bottom", r.bottom)
      .Text();
}

// --- window queries -----------------------------------------------------------

long long HandleValue(HWND hwnd) {
  return static_cast<long long>(reinterpret_cast<UINT_PTR>(hwnd));
}

HWND ParseHandle(const std::string& text) {
  return reinterpret_cast<HWND>(static_cast<UINT_PTR>(strtoull(text.c_str(), nullptr, 0)));
}

std::wstring ClassOf(HWND hwnd) {
  wchar_t name[256] = {};
  GetClassNameW(hwnd, name, 256);
  return name;
}

// The window's own caption, which Windows keeps without asking its owner.
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

long long SendBounded(HWND hwnd, UINT message, WPARAM wparam = 0, LPARAM lparam = 0) {
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

// A rectangle in the client coordinates of `top`.
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

// --- commands -----------------------------------------------------------------

std::string Ok() {
  return Json().Bool("ok", true).Text();
}

std::string Fail(const std::string& why) {
  return Json().Bool("ok", false).Raw("error", Quote(why)).Text();
}

std::string Posted(BOOL posted) {
  return posted ? Ok() : Fail("PostMessage failed");
}

bool IsWindowArg(HWND hwnd) {
  return hwnd && IsWindow(hwnd);
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

// --- measurements -------------------------------------------------------------
//
// Timed in here rather than by the harness, so that no pipe round trip lies
// between the event and its clock.

double NowMs() {
  static const LONGLONG frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f.QuadPart;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency);
}

std::string Ms(double ms) {
  char text[32];
  snprintf(text, sizeof text, "%.3f", ms);
  return text;
}

constexpr wchar_t kTargetClass[] = L"KdriverTarget";
constexpr DWORD kPollMs = 1;

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

// Closes one of our target windows and returns once it no longer exists:
// the moment a watcher can first notice. Without a window manager Wine spends
// about 2 s hiding a window before it destroys it, and the handle stays valid
// meanwhile, so the clock starts when the close returns, not when it is sent.
constexpr UINT kDestroyTimeoutMs = 10000;

bool DestroyTarget(HWND target, double* destroyedAt) {
  if (!IsWindowArg(target) || ProcessOf(target) != GetCurrentProcessId()) return false;
  SendMessageTimeoutW(target, WM_CLOSE, 0, 0, SMTO_NORMAL, kDestroyTimeoutMs, nullptr);
  *destroyedAt = NowMs();
  return !IsWindow(target);
}

// Destroys the target, then polls another window's caption (read without a
// message to its owner, so the poll does not wake the watcher) until it shows
// `text`. Answers the time from the destruction to the change.
std::string DestroyUntilText(HWND target, HWND watched, const std::wstring& text, DWORD timeout) {
  if (!IsWindowArg(watched)) return Fail("no such window");
  double destroyed = 0;
  if (!DestroyTarget(target, &destroyed)) return Fail("target not destroyed");
  for (;;) {
    const double now = NowMs();
    if (CaptionOf(watched) == text)
      return Json().Bool("ok", true).Raw("ms", Ms(now - destroyed)).Text();
    if (now - destroyed > timeout) return Fail("text did not show in time");
    Sleep(kPollMs);
  }
}

// A visible top-level window of the process and class, other than `except`.
HWND OtherVisibleWindow(DWORD pid, const std::wstring& cls, HWND except) {
  for (HWND hwnd : TopLevelWindows()) {
    if (hwnd != except && ProcessOf(hwnd) == pid && IsWindowVisible(hwnd) && ClassOf(hwnd) == cls)
      return hwnd;
  }
  return nullptr;
}

// Destroys the target, then times the dialog (of window class `cls`) the
// watcher shows in answer: when it appears, when it has gone and when the
// process has ended (-1: not in time).
std::string DestroyTimeDialog(HWND target, HWND main, const std::wstring& cls, DWORD timeout) {
  if (!IsWindowArg(main)) return Fail("no such window");
  const DWORD pid = ProcessOf(main);
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (!process) return Fail("OpenProcess failed");
  double destroyed = 0;
  if (!DestroyTarget(target, &destroyed)) {
    CloseHandle(process);
    return Fail("target not destroyed");
  }
  double shown = -1, hidden = -1, ended = -1;
  HWND dialog = nullptr;
  while (ended < 0 && NowMs() - destroyed <= timeout) {
    const double now = NowMs() - destroyed;
    if (!dialog && (dialog = OtherVisibleWindow(pid, cls, main)) != nullptr) shown = now;
    if (dialog && hidden < 0 && !(IsWindow(dialog) && IsWindowVisible(dialog))) hidden = now;
    if (WaitForSingleObject(process, kPollMs) == WAIT_OBJECT_0) ended = NowMs() - destroyed;
  }
  CloseHandle(process);
  return Json()
      .Bool("ok", true)
      .Raw("shown_ms", Ms(shown))
      .Raw("hidden_ms", Ms(hidden))
      .Raw("ended_ms", Ms(ended))
      .Text();
}

// True once the window and every visible window inside it have been painted:
// no update region is left pending.
bool Painted(HWND hwnd) {
  if (GetUpdateRect(hwnd, nullptr, FALSE)) return false;
  for (HWND child : Descendants(hwnd)) {
    if (IsWindowVisible(child) && GetUpdateRect(child, nullptr, FALSE)) return false;
  }
  return true;
}

HWND PaintedWindow(DWORD pid) {
  for (HWND hwnd : TopLevelWindows()) {
    if (ProcessOf(hwnd) == pid && IsWindowVisible(hwnd) && Painted(hwnd)) return hwnd;
  }
  return nullptr;
}

// Starts a program and times it to its first painted window, as a user sees
// the start. Arguments: timeout in ms, the folder to start in, the program
// and the program's own arguments, if any, after " -- ".
std::string StartPaint(DWORD timeout, const std::string& folder, const std::string& program) {
  const size_t dashes = program.find(" -- ");
  std::wstring command = L"\"" + Wide(program.substr(0, dashes)) + L"\"";
  if (dashes != std::string::npos) command += L" " + Wide(program.substr(dashes + 4));
  std::wstring directory = Wide(folder);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  const double started = NowMs();
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      directory.c_str(), &startup, &info)) {
    return Fail("CreateProcess failed: " + std::to_string(GetLastError()));
  }
  CloseHandle(info.hThread);
  HWND painted = nullptr;
  double now = 0;
  while (!painted && (now = NowMs() - started) <= timeout &&
         WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT) {
    if (!(painted = PaintedWindow(info.dwProcessId))) Sleep(kPollMs);
  }
  CloseHandle(info.hProcess);
  if (!painted) return Fail("no painted window in time");
  return Json()
      .Bool("ok", true)
      .Num("pid", info.dwProcessId)
      .Num("hwnd", HandleValue(painted))
      .Raw("ms", Ms(now))
      .Text();
}

// CPU time (kernel + user) and memory of a process, as Windows reports them.
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

std::string ProcessStats(DWORD pid) {
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
  if (!process) return Fail("OpenProcess failed");
  FILETIME created, exited, kernel, user;
  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof memory;
  const bool times = GetProcessTimes(process, &created, &exited, &kernel, &user);
  const bool counters = K32GetProcessMemoryInfo(process, &memory, sizeof memory);
  CloseHandle(process);
  if (!times || !counters) return Fail("process information unavailable");
  auto ms = [](const FILETIME& t) {
    return static_cast<double>((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime) /
           10000.0;
  };
  return Json()
      .Bool("ok", true)
      .Raw("kernel_ms", Ms(ms(kernel)))
      .Raw("user_ms", Ms(ms(user)))
      .Num("working_set", static_cast<long long>(memory.WorkingSetSize))
      .Num("peak_working_set", static_cast<long long>(memory.PeakWorkingSetSize))
      .Num("private_bytes", static_cast<long long>(memory.PagefileUsage))
      .Text();
}

// --- the command loop -------------------------------------------------------------

struct Line {
  std::string verb;
  std::string rest;  // everything after the verb and one space
  std::string Arg(int n) const {
    size_t start = 0;
    for (int i = 0;; ++i) {
      start = rest.find_first_not_of(' ', start);
      if (start == std::string::npos) return {};
      size_t end = rest.find(' ', start);
      if (i == n) return rest.substr(start, end == std::string::npos ? end : end - start);
      if (end == std::string::npos) return {};
      start = end;
    }
  }
  HWND Handle() const { return ParseHandle(Arg(0)); }
  unsigned long Number(int n) const { return strtoul(Arg(n).c_str(), nullptr, 0); }
};

Line Parse(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  size_t space = text.find(' ');
  if (space == std::string::npos) return {text, {}};
  return {text.substr(0, space), text.substr(space + 1)};
}

// The offset just after the first `words` words of `text` and one space.
size_t Skip(const std::string& text, int words) {
  size_t at = 0;
  for (int i = 0; i < words; ++i) {
    at = text.find_first_not_of(' ', at);
    if (at == std::string::npos) return text.size();
    at = text.find(' ', at);
    if (at == std::string::npos) return text.size();
  }
  return at + 1;
}

std::string Run(const Line& line) {
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
  if (v == "ping") return Ok();
  if (v == "target") return Target(line.rest);
  if (v == "destroy-until-text") {
    // target, watched window, timeout in ms, then the text (may hold spaces)
    const std::string text = line.rest.substr(std::min(line.rest.size(), Skip(line.rest, 3)));
    return DestroyUntilText(ParseHandle(line.Arg(0)), ParseHandle(line.Arg(1)), Wide(text),
                            line.Number(2));
  }
  if (v == "destroy-time-dialog")
    return DestroyTimeDialog(ParseHandle(line.Arg(0)), ParseHandle(line.Arg(1)), Wide(line.Arg(2)),
                             line.Number(3));
  if (v == "start-paint") {
    // timeout in ms, the folder (no spaces), then the program's path
    const std::string program = line.rest.substr(std::min(line.rest.size(), Skip(line.rest, 2)));
    return StartPaint(line.Number(0), line.Arg(1), program);
  }
  if (v == "proc-stats") return ProcessStats(line.Number(0));
  if (v == "hold-file") return HoldFile(Wide(line.rest));
  if (v == "release-file") return ReleaseFile();
  if (v == "module") return ModuleOf(line.Number(0), Wide(line.Arg(1)));
  return Fail("unknown command: " + v);
}

}  // namespace

int wmain() {
  char buffer[8192];
  while (fgets(buffer, sizeof buffer, stdin)) {
    Line line = Parse(buffer);
    if (line.verb == "quit") break;
    if (line.verb.empty()) continue;
    std::string answer = Run(line) + "\n";
    fwrite(answer.data(), 1, answer.size(), stdout);
    fflush(stdout);
  }
  return 0;
}
