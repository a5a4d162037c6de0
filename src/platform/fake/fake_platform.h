#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/runtime.h"
#include "platform/win32_ops.h"

namespace kestrune {

// A small simulated desktop behind both platform interfaces, for tests: a
// table of windows, a foreground window, atoms and hotkeys, replaced window
// procedures that messages really flow through, a clock that fires timers,
// scripted message boxes, files in memory, an MCI, a registry, and a record
// of every exit and power request. Text in the ANSI functions is code page
// 932, as on Japanese Windows. The desktop's windows and messages are in
// fake_desktop.cpp, forms, boxes and the clock in fake_forms.cpp, the system
// services in fake_services.cpp.
class FakePlatform final : public Win32Ops, public WindowRuntime {
 public:
  FakePlatform();
  ~FakePlatform() override;

  struct Message {
    Hwnd hwnd;
    uint32_t msg;
    uintptr_t wParam;
    intptr_t lParam;
  };
  struct Box {
    std::string text;
    int style;
    std::string caption;
  };
  struct Registration {
    Hwnd hwnd;
    int32_t id;
    uint32_t modifiers;
    uint32_t vk;
  };
  struct RegistryValue {
    uint32_t type;
    std::string data;  // raw bytes
  };

  // ---- The simulated desktop, for tests to arrange and inspect. ----
  // A top-level window of another program; title in UTF-8.
  Hwnd AddWindow(const std::string& title);
  // A window with a chosen handle value, e.g. to reuse a destroyed one's.
  void AddWindowWithHandle(Hwnd hwnd, const std::string& title);
  // A window whose title is given as raw ANSI bytes.
  Hwnd AddWindowAnsi(const std::string& titleBytes);
  void DestroyWindow(Hwnd hwnd);
  void SetForeground(Hwnd hwnd) { foreground_ = hwnd; }
  // The window of the innermost message box open now (this program's), 0
  // when none is open.
  Hwnd OpenBox() const { return openBoxes_.empty() ? 0 : openBoxes_.back().hwnd; }
  // The user presses a button of the innermost open box while code runs
  // inside its loop: the box goes, and its call returns this answer once
  // that code is done.
  void AnswerBox(int answer);
  // Windows of the program under test belong to this process; the others
  // to another program's.
  static constexpr uint32_t kOwnProcessId = 0x1F00;
  static constexpr uint32_t kOtherProcessId = 0x2A00;
  Hwnd Foreground() const { return foreground_; }
  // Sends a message through the window's current procedure chain.
  intptr_t Dispatch(Hwnd hwnd, uint32_t msg, uintptr_t wParam, intptr_t lParam);
  // Messages that reached a window's original procedure, and what it returns.
  std::vector<Message> defaultProcMessages;
  intptr_t defaultProcResult = 0;
  bool failSetWindowLong = false;

  // The user presses a key combination (registration modifier bits).
  // Returns false when no window has registered it.
  bool PressHotKey(uint32_t modifiers, uint32_t vk);
  std::vector<Registration> hotKeys;
  // Combinations another program holds: registering them fails.
  std::set<std::pair<uint32_t, uint32_t>> heldElsewhere;
  std::map<std::string, std::pair<Atom, int>> atoms;  // name -> atom, references
  bool failAddAtom = false;

  // The hotkey editor control: what it shows, its rules, its font.
  struct HotKeyControl {
    Hwnd parent = 0;
    uint32_t code = 0;
    uintptr_t rulesInvalid = 0;
    intptr_t rulesDefault = 0;
    uintptr_t font = 0;
    int width = 0, height = 0;
  };
  std::map<Hwnd, HotKeyControl> hotKeyControls;
  bool failCreateWindow = false;
  // The user types a combination into the editor (editor modifier bits).
  void TypeIntoHotKeyControl(Hwnd control, uint32_t code);
  static constexpr uintptr_t kHostFont = 0xF0A7;

  // The thread is told to quit (WM_QUIT): modal loops end, their forms are
  // destroyed without their close events, then the program's own loop ends.
  void PostQuit();
  // Posts WM_CLOSE to every window of the program, as taskkill without /F.
  void PostCloseToAll();

  // Privilege step, exit and power requests. A request is recorded unless
  // the process itself has ended: code unwinding after the last window has
  // gone still runs.
  std::vector<std::string> privilegeCalls;
  std::vector<uint32_t> exitRequests;
  std::vector<uint32_t> exitReservedArgs;  // ExitWindowsEx's second argument, per call
  std::vector<std::pair<int32_t, int32_t>> powerRequests;
  bool failPrivilegeCalls = false;
  // Last-error code SetSystemPowerState leaves; nullopt leaves it unchanged.
  std::optional<uint32_t> powerStateLastError;
  // What SetSystemPowerState returns; nullopt: success exactly when the last
  // error is 0. A real call may succeed and leave an older code in place.
  std::optional<bool> powerStateResult;
  // Set: ExitWindowsEx refuses with this last-error code.
  std::optional<uint32_t> exitWindowsRefusal;
  uint32_t lastError = 0;
  std::set<Handle> closedHandles;

  // Multimedia: every command sent; by default an open succeeds only for a
  // quoted name of an existing file (275 otherwise), everything else gives 0.
  std::vector<std::string> mciCommands;  // UTF-8
  std::function<uint32_t(const std::string&)> mciResponder;

  // Registry, keyed by (root, key path); values by name.
  std::map<std::pair<Handle, std::string>, std::map<std::string, RegistryValue>> registry;
  // Access masks the account may not open keys with (e.g. write access).
  uint32_t deniedAccessBits = 0;
  std::vector<uint32_t> registryAccessMasks;
  std::vector<Handle> registryCloses;

  // ---- The window runtime, for tests. ----
  // Answers for the coming message boxes, in order; an action runs while its
  // box is open. Without a script: OK, or Yes for a Yes/No box.
  void ScriptBox(int answer, std::function<void()> whileOpen = {});
  std::vector<Box> boxes;
  // Runs when a form is shown modally, before its loop starts.
  void ScriptModal(std::function<void(Form&)> onShow);
  // Events the user causes: posted, and run by the next pump step.
  void Post(std::function<void()> event);
  // An event at a given time on the simulated clock.
  void At(int64_t timeMs, std::function<void()> event);
  // Lets the simulated time run, firing timers and timed events.
  void Advance(int64_t ms);
  int64_t Now() const { return now_; }
  bool Click(Control& control);
  bool ClickMenu(Form& form, int id);
  bool CloseWindow(Form& form);
  bool IsLoaded(const Form& form) const;
  bool IsVisible(const Form& form) const;
  bool IsModal(const Form& form) const;
  // Show, Hide and Unload of forms, in the order they were called.
  std::vector<std::pair<std::string, const Form*>> formCalls;
  // Every control property change, in order, as "name(index).Property".
  std::vector<std::string> changes;
  int refreshCount = 0;
  int doEventsCount = 0;

  bool previousInstance = false;
  std::string appPath = "C:\\Kestrune";
  VersionInfo version{1, 0, 0, "Copyright (C) Kestrune developers"};
  std::map<std::string, std::string> files;  // path -> bytes
  bool failFileWrites = false;
  // Files with the read-only attribute, and folders whose access rule lets
  // existing files be written but no file be created (no temporary file:
  // ReplaceFileBytes then writes in place, a backup only over an old one).
  std::set<std::string> readOnlyFiles;
  // Hidden files are no normal files: FileExists does not see them.
  std::set<std::string> hiddenFiles;
  // Files another program holds open without sharing: they can be neither
  // read nor replaced.
  std::set<std::string> lockedFiles;
  std::set<std::string> noCreateFolders;
  // Where a replace leaves the old bytes when they cannot become the backup
  // (a read-only one) and cannot be put back either; empty: they go back.
  std::string oldBytesStrandedAt;
  // The ANSI code page is UTF-8 (Windows' "Beta: Use Unicode UTF-8"
  // option) instead of 932: no byte is then a lead byte.
  bool utf8AnsiCodePage = false;
  // The system refuses every conversion to the ANSI code page.
  bool failAnsiConversions = false;
  // The longest path the system takes; longer ones are refused.
  size_t pathLimit = 32767;
  // Every whole-file read, as the bytes it took into memory.
  std::vector<size_t> readSizes;
  std::vector<std::string> launches;
  // Environment variables for ExpandEnvironmentVariables; names compare
  // without regard to case, as on Windows.
  std::map<std::string, std::string> environment;
  // True once End ran, or once the last form was unloaded. An ended
  // program makes no more calls: requests, boxes and writes its code would
  // make while unwinding are not recorded.
  bool ended = false;
  bool endedAtOnce = false;
  // A session end as the system runs it: WM_QUERYENDSESSION to every form
  // window, then WM_ENDSESSION with whether the session really ends (false
  // when a window refused or someone else cancelled); on a real end the
  // system then ends the program if it has not ended itself. Returns
  // whether every window agreed.
  bool EndSession(bool cancelledElsewhere = false);
  std::vector<intptr_t> queryEndSessionAnswers;
  bool endedBySystem = false;
  // Every taskbar flash asked for: the window and the flags.
  std::vector<std::pair<Hwnd, uint32_t>> flashes;

  // ---- Win32Ops ----
  bool IsWindow(Hwnd hwnd) override;
  Hwnd GetForegroundWindow() override;
  int GetWindowTextA(Hwnd hwnd, char* buffer, int size) override;
  bool SetForegroundWindow(Hwnd hwnd) override;
  uint32_t GetWindowThreadProcessId(Hwnd hwnd, uint32_t* processId) override;
  uint32_t GetCurrentProcessId() override { return kOwnProcessId; }
  bool FlashWindowEx(Hwnd hwnd, uint32_t flags, uint32_t count, uint32_t timeout) override;
  bool IsDBCSLeadByte(uint8_t byte) override;
  Atom GlobalAddAtomA(const char* name) override;
  Atom GlobalDeleteAtom(Atom atom) override;
  bool RegisterHotKey(Hwnd hwnd, int32_t id, uint32_t modifiers, uint32_t vk) override;
  bool UnregisterHotKey(Hwnd hwnd, int32_t id) override;
  WndProcRef AddressOf(WindowProc& proc) override;
  WndProcRef SetWindowLongA(Hwnd hwnd, int index, WndProcRef value) override;
  intptr_t CallWindowProcA(WndProcRef proc, Hwnd hwnd, uint32_t msg, uintptr_t wParam,
                           intptr_t lParam) override;
  Hwnd CreateWindowExA(uint32_t exStyle, const char* className, const char* windowName,
                       uint32_t style, int x, int y, int width, int height, Hwnd parent) override;
  intptr_t SendMessageA(Hwnd hwnd, uint32_t msg, uintptr_t wParam, intptr_t lParam) override;
  Handle GetCurrentProcess() override;
  bool OpenProcessToken(Handle process, uint32_t access, Handle* token) override;
  bool LookupPrivilegeValueA(const char* systemName, const char* name, Luid* luid) override;
  bool AdjustTokenPrivileges(Handle token, bool disableAll, const TokenPrivilege& newState,
                             uint32_t bufferLength, TokenPrivilege* previousState,
                             uint32_t* returnLength) override;
  bool CloseHandle(Handle handle) override;
  bool ExitWindowsEx(uint32_t flags, uint32_t reserved) override;
  bool SetSystemPowerState(int32_t suspend, int32_t force) override;
  uint32_t GetLastError() override;
  uint32_t mciSendStringA(const char* command, char* returnBuffer, uint32_t returnLength,
                          Hwnd callback) override;
  int32_t RegOpenKeyExA(Handle root, const char* subKey, uint32_t options, uint32_t access,
                        Handle* result) override;
  int32_t RegQueryValueExA(Handle key, const char* valueName, uint32_t* type, uint8_t* data,
                           uint32_t* size) override;
  int32_t RegCloseKey(Handle key) override;

  // ---- WindowRuntime ----
  int MsgBox(const std::string& text, int style, const std::string& caption) override;
  int BoxAnswer() override;
  void DoEvents() override;
  bool PrevInstance() override { return previousInstance; }
  std::string AppPath() override { return appPath; }
  VersionInfo Version() override { return version; }
  bool FileExists(const std::string& path) override;
  bool Launch(const std::string& path) override;
  std::string ExpandEnvironmentVariables(const std::string& text) override;
  FileRead ReadFileBytes(const std::string& path, size_t maxBytes) override;
  Replaced ReplaceFileBytes(const std::string& path, const std::string& bytes,
                            const std::string& backupPath,
                            const std::optional<std::string>& knownOld) override;
  std::optional<std::string> ToAnsi(const std::string& text) override;
  std::string FromAnsi(const std::string& bytes) override;
  void Load(Form& form) override;
  void Show(Form& form) override;
  void ShowModal(Form& form) override;
  void Hide(Form& form) override;
  bool Unload(Form& form) override;
  void Refresh(Form& form) override;
  Hwnd WindowHandle(const Form& form) override;
  Hwnd ControlHandle(const Control& control) override;
  double TwipsPerPixelX() override { return 15.0; }
  double TwipsPerPixelY() override { return 15.0; }
  void End() override;

  static constexpr WndProcRef kOriginalProc = 0x1000;

 private:
  // The conversion the desktop itself makes for titles, never refused.
  std::string AnsiOf(const std::string& text) const;
  struct Window {
    std::string titleAnsi;
    std::string className;
    Hwnd parent = 0;
    WndProcRef proc = kOriginalProc;
    uint32_t processId = kOtherProcessId;
  };
  struct FormState;
  class Sink;
  struct OpenBoxState {
    Hwnd hwnd;
    int answer;  // 0 until the user answers
    Hwnd owner;  // 0: none
    bool taskModal;
  };
  struct Timed {
    int64_t due;
    uint64_t order;
    std::function<void()> run;
  };

  Hwnd NewHandle();
  Form* FormOfWindow(Hwnd hwnd);
  intptr_t FormWindowProc(Form& form, uint32_t msg, uintptr_t wParam);
  FormState* StateOf(const Form& form);
  bool Blocked(const Form& form) const;
  Hwnd BoxOwner() const;
  bool RunNextPosted();
  bool RunNextTimed(int64_t limit);
  void ScheduleTimer(Control& timer);
  void ArmTimer(Control& timer, uint64_t generation, int64_t due);
  void DestroyFormWindows(FormState& state);
  void DestroyForm(Form& form, FormState& state);
  bool ProcessGone() const { return endedAtOnce || endedBySystem; }

  std::map<Hwnd, Window> windows_;
  Hwnd nextHandle_ = 0x10010;
  Atom nextAtom_ = 0xC000;  // string atoms start here
  Hwnd foreground_ = 0;
  std::map<WndProcRef, WindowProc*> procs_;
  Handle nextKey_ = 0x100;
  std::map<Handle, std::pair<Handle, std::string>> openKeys_;
  std::deque<std::pair<int, std::function<void()>>> boxScript_;
  std::deque<std::function<void(Form&)>> modalScript_;
  std::deque<std::function<void()>> posted_;
  std::vector<Timed> timed_;
  std::map<const Control*, uint64_t> timerGeneration_;
  uint64_t order_ = 0;
  int64_t now_ = 0;
  std::map<const Form*, std::unique_ptr<FormState>> forms_;
  std::vector<const Form*> modalStack_;
  std::vector<OpenBoxState> openBoxes_;
  bool quit_ = false;
};

}  // namespace kestrune
