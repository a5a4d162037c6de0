// The bench's driver: the end-to-end driver's commands and the bench's
// measurements, timed in here rather than by the harness, so that no pipe
// round trip lies between the event and its clock: start to first paint, and
// from a watched window's end to what the watcher shows.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "command_loop.h"
#include "commands.h"
#include "json.h"
#include "window_query.h"

namespace kdriver {
namespace {

constexpr DWORD kPollMs = 1;

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

std::string RunMeasurement(const Line& line) {
  const std::string& v = line.verb;
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
  return RunCommand(line);
}

}  // namespace
}  // namespace kdriver

int wmain() {
  return kdriver::ServeCommands(kdriver::RunMeasurement);
}
