#include "platform/win32/real_runtime.h"

#include <algorithm>

#include "platform/win32/real_files.h"
#include "platform/win32/version_info.h"

namespace kestrune::win32 {
namespace {

constexpr wchar_t kInstanceMutexName[] = L"Kestrune.SingleInstance";
// Messages one pump step runs at most, so that a fast timer cannot keep it
// going for ever.
constexpr int kPumpStepBudget = 200;

std::wstring ModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const auto size = static_cast<DWORD>(path.size());
    DWORD length = GetModuleFileNameW(nullptr, path.data(), size);
    if (length == 0) return {};
    if (length < size) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

// The folder part of a path; a drive root keeps its separator.
std::wstring FolderOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return L".";
  std::wstring folder = path.substr(0, slash);
  if (folder.size() == 2 && folder[1] == L':') folder += L'\\';
  return folder;
}

// The boxes open now, innermost last, with the button pressed in each. The
// system's box keeps its answer until its call returns, which a modal loop
// running inside it delays: a hook sees the box created, a subclass sees
// the button.
struct OpenBox {
  HHOOK hook = nullptr;
  HWND hwnd = nullptr;
  WNDPROC proc = nullptr;
  int answer = 0;
};
std::vector<OpenBox> g_openBoxes;

OpenBox* BoxOf(HWND hwnd) {
  for (OpenBox& box : g_openBoxes) {
    if (box.hwnd == hwnd) return &box;
  }
  return nullptr;
}

LRESULT CALLBACK BoxProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  OpenBox* box = BoxOf(hwnd);
  if (box == nullptr) return DefDlgProcW(hwnd, msg, wParam, lParam);
  const WNDPROC proc = box->proc;  // the vector may grow while the box runs
  const UINT id = LOWORD(wParam);
  if (msg == WM_COMMAND && id >= IDOK && id <= IDCONTINUE) box->answer = static_cast<int>(id);
  return CallWindowProcW(proc, hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK BoxHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_CREATEWND && !g_openBoxes.empty() && g_openBoxes.back().hwnd == nullptr) {
    const auto hwnd = reinterpret_cast<HWND>(wParam);
    wchar_t name[8] = {};
    GetClassNameW(hwnd, name, 8);
    if (std::wstring_view(name) == L"#32770") {
      OpenBox& box = g_openBoxes.back();
      box.hwnd = hwnd;
      box.proc = reinterpret_cast<WNDPROC>(
          SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&BoxProc)));
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

BoxWatch::BoxWatch() {
  g_openBoxes.push_back(
      {SetWindowsHookExW(WH_CBT, &BoxHook, nullptr, GetCurrentThreadId()), nullptr, nullptr, 0});
}

BoxWatch::~BoxWatch() {
  if (g_openBoxes.back().hook != nullptr) UnhookWindowsHookEx(g_openBoxes.back().hook);
  g_openBoxes.pop_back();
}

bool BoxWatch::Watches(HWND hwnd) {
  return hwnd != nullptr && BoxOf(hwnd) != nullptr;
}

int BoxWatch::InnermostAnswer() {
  return g_openBoxes.empty() ? 0 : g_openBoxes.back().answer;
}

RealRuntime::RealRuntime() {
  instanceMutex_.reset(CreateMutexW(nullptr, FALSE, kInstanceMutexName));
  previousInstance_ = GetLastError() == ERROR_ALREADY_EXISTS;
}

// Form windows still open are destroyed with their objects; they no longer
// raise events once their destruction has begun.
RealRuntime::~RealRuntime() = default;

int RealRuntime::Run() {
  MSG msg{};
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    Dispatch(msg);
    FreeUnloaded();
  }
  return static_cast<int>(msg.wParam);
}

void RealRuntime::Dispatch(MSG& msg) {
  // Dialog keys (Tab, Enter, Esc, access keys) go through the dialog
  // handling of the box or form they were typed in, whichever loop pumps
  // them: a tick's pump step inside a box's loop must not take them away.
  // The dialog manager acts on keys alone, so nothing else pays for the
  // lookup, which is a round trip to the window system that a watch's every
  // tick would pay.
  if (msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST && msg.hwnd != nullptr) {
    HWND root = GetAncestor(msg.hwnd, GA_ROOT);
    if ((IsFormWindow(root) || BoxWatch::Watches(root)) && IsDialogMessageW(root, &msg)) return;
  }
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

void RealRuntime::DoEvents() {
  MSG msg;
  for (int budget = kPumpStepBudget; budget > 0 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);
       --budget) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));  // for the loop that owns it
      return;
    }
    Dispatch(msg);
  }
}

// A box is owned by the window it opens over, so that the system activates
// that window again when the box goes: the innermost modal form the box
// holds (the About box), else the main window. A form left usable under
// boxes (the countdown) may close under one and would take the box with it.
HWND RealRuntime::BoxOwner() const {
  HWND owner = MainHwnd();
  for (const Modal& modal : modals_) {
    const FormWindow* window = modal.form != nullptr ? WindowOf(*modal.form) : nullptr;
    if (window != nullptr && !modal.form->Design().usableUnderBoxes &&
        IsWindowVisible(window->Hwnd()))
      owner = window->Hwnd();
  }
  return owner != nullptr && IsWindowVisible(owner) && !IsIconic(owner) ? owner : nullptr;
}

int RealRuntime::MsgBox(const std::string& text, int style, const std::string& caption) {
  HWND owner = BoxOwner();
  // The box disables its owner itself and gives it back input before it
  // goes, so that the system activates the owner and not another program.
  const uint64_t modal = BeginModal(nullptr, owner);
  // Without an owner the box is still modal to the program, as the other
  // forms are held disabled; MB_TASKMODAL would disable the countdown too.
  const BoxWatch watch;
  ++modalDepth_;
  const int answer =
      MessageBoxW(owner, Widen(text).c_str(), Widen(caption).c_str(), static_cast<UINT>(style));
  --modalDepth_;
  EndModal(modal);
  return answer;
}

int RealRuntime::BoxAnswer() {
  return BoxWatch::InnermostAnswer();
}

std::string RealRuntime::AppPath() {
  return Narrow(FolderOf(ModulePath()));
}

VersionInfo RealRuntime::Version() {
  return ReadVersionInfo(ModulePath());
}

bool RealRuntime::FileExists(const std::string& path) {
  return NormalFileExists(Widen(path));
}

bool RealRuntime::Launch(const std::string& path) {
  const std::wstring program = Widen(path);
  std::wstring commandLine = L"\"" + program + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &process))
    return false;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

std::string RealRuntime::ExpandEnvironmentVariables(const std::string& text) {
  const std::wstring source = Widen(text);
  DWORD size = ExpandEnvironmentStringsW(source.c_str(), nullptr, 0);
  if (size == 0) return text;
  std::wstring expanded(size, L'\0');
  size = ExpandEnvironmentStringsW(source.c_str(), expanded.data(), size);
  if (size == 0) return text;
  expanded.resize(size - 1);
  return Narrow(expanded);
}

WindowRuntime::FileRead RealRuntime::ReadFileBytes(const std::string& path, size_t maxBytes) {
  return ReadWholeFile(Widen(path), maxBytes);
}

WindowRuntime::Replaced RealRuntime::ReplaceFileBytes(const std::string& path,
                                                      const std::string& bytes,
                                                      const std::string& backupPath,
                                                      const std::optional<std::string>& knownOld) {
  const FileReplace replace = ReplaceWholeFile(Widen(path), bytes, Widen(backupPath), knownOld);
  return {replace.done, Narrow(replace.oldBytesAt)};
}

std::optional<std::string> RealRuntime::ToAnsi(const std::string& text) {
  return ToCodePage(Widen(text, CP_UTF8), CP_ACP);
}

std::string RealRuntime::FromAnsi(const std::string& bytes) {
  return Narrow(Widen(bytes, CP_ACP));
}

std::unique_ptr<FormWindow>* RealRuntime::EntryOf(const Form& form) {
  auto it = std::find_if(windows_.begin(), windows_.end(),
                         [&form](const auto& entry) { return entry.first == &form; });
  return it == windows_.end() ? nullptr : &it->second;
}

FormWindow* RealRuntime::WindowOf(const Form& form) const {
  for (const auto& [known, window] : windows_) {
    // A window destroyed with its owner leaves its form unloaded.
    if (known == &form) return window->Hwnd() == nullptr ? nullptr : window.get();
  }
  return nullptr;
}

bool RealRuntime::HeldByModalForm(HWND hwnd) const {
  return std::any_of(modals_.begin(), modals_.end(), [hwnd](const Modal& modal) {
    return modal.form != nullptr &&
           std::find(modal.held.begin(), modal.held.end(), hwnd) != modal.held.end();
  });
}

bool RealRuntime::IsFormWindow(HWND hwnd) const {
  if (hwnd == nullptr) return false;
  return std::any_of(windows_.begin(), windows_.end(),
                     [hwnd](const auto& entry) { return entry.second->Hwnd() == hwnd; });
}

HWND RealRuntime::MainHwnd() const {
  for (const auto& [form, window] : windows_) {
    if (form->Design().style == FormStyle::MainWindow && window->Hwnd() != nullptr)
      return window->Hwnd();
  }
  return nullptr;
}

void RealRuntime::Load(Form& form) {
  if (WindowOf(form) != nullptr) return;
  FreeUnloaded();
  auto window = std::make_unique<FormWindow>(*this, form, MainHwnd());
  if (window->Hwnd() == nullptr) return;
  FormWindow& created = *window;
  if (auto* entry = EntryOf(form)) {
    *entry = std::move(window);
  } else {
    windows_.emplace_back(&form, std::move(window));
  }
  form.AttachSink(&created);
  created.StartTimers();
  form.Form_Load();
}

void RealRuntime::Show(Form& form) {
  Load(form);
  FormWindow* window = WindowOf(form);
  if (window == nullptr) return;
  ShowWindow(window->Hwnd(), SW_SHOW);
  SetForegroundWindow(window->Hwnd());
}

void RealRuntime::ShowModal(Form& form) {
  Load(form);
  FormWindow* window = WindowOf(form);
  if (window == nullptr) return Discard(form);
  HWND previous = GetActiveWindow();
  const uint64_t modal = BeginModal(&form, nullptr);
  // Shown, not forced to the foreground: the countdown appears while the
  // user may be working in another program.
  ShowWindow(window->Hwnd(), SW_SHOW);
  MSG msg{};
  ++modalDepth_;
  while (WindowOf(form) != nullptr) {
    if (GetMessageW(&msg, nullptr, 0, 0) <= 0) {
      PostQuitMessage(static_cast<int>(msg.wParam));  // the outer loop ends too
      break;
    }
    Dispatch(msg);
  }
  --modalDepth_;
  EndModal(modal);
  // Still here after a quit message, or gone with its owner's window: no
  // close event runs, and the caller's form object must leave no entry.
  Discard(form);
  if (previous != nullptr && IsWindow(previous) && IsWindowVisible(previous))
    SetForegroundWindow(previous);
}

// Every box and modal form holds the program's other windows disabled; a
// window gets input back only when the last one holding it ends, so that a
// countdown ending under a question leaves the question's owner disabled.
// Forms whose design asks for it stay usable under boxes. The box's owner
// is held but left to the box to disable.
uint64_t RealRuntime::BeginModal(const Form* form, HWND boxOwner) {
  Modal modal{++modalSerial_, form, {}};
  for (const auto& [other, window] : windows_) {
    HWND hwnd = window->Hwnd();
    if (hwnd == nullptr || other == form) continue;
    if (form == nullptr && other->Design().usableUnderBoxes) continue;
    if (hwnd != boxOwner && IsWindowEnabled(hwnd)) EnableWindow(hwnd, FALSE);
    modal.held.push_back(hwnd);
  }
  modals_.push_back(std::move(modal));
  return modals_.back().id;
}

// Done before a modal window goes, so that the system activates one of
// ours, not another program's.
void RealRuntime::EndModal(uint64_t id) {
  auto it =
      std::find_if(modals_.begin(), modals_.end(), [id](const Modal& m) { return m.id == id; });
  if (it == modals_.end()) return;
  const std::vector<HWND> held = std::move(it->held);
  modals_.erase(it);
  for (HWND hwnd : held) {
    const bool stillHeld = std::any_of(modals_.begin(), modals_.end(), [hwnd](const Modal& m) {
      return std::find(m.held.begin(), m.held.end(), hwnd) != m.held.end();
    });
    if (!stillHeld && IsWindow(hwnd)) EnableWindow(hwnd, TRUE);
  }
}

void RealRuntime::EndModalOf(const Form& form) {
  for (const Modal& modal : modals_) {
    if (modal.form == &form) return EndModal(modal.id);
  }
}

// Forgets a form without its close events: its window is gone already, or
// goes now.
void RealRuntime::Discard(Form& form) {
  auto* entry = EntryOf(form);
  if (entry == nullptr) return;
  std::unique_ptr<FormWindow> window = std::move(*entry);
  std::erase_if(windows_, [&form](const auto& known) { return known.first == &form; });
  EndModalOf(form);
  form.AttachSink(nullptr);
  window->Destroy();
  unloaded_.push_back(std::move(window));
}

void RealRuntime::Hide(Form& form) {
  FormWindow* window = WindowOf(form);
  if (window == nullptr) return;
  // A modal form gives its windows back before it goes from the screen, or
  // the system hands activation to another program's window.
  EndModalOf(form);
  ShowWindow(window->Hwnd(), SW_HIDE);
}

bool RealRuntime::Unload(Form& form) {
  if (WindowOf(form) == nullptr) return true;
  int16_t cancel = 0;
  form.Form_QueryUnload(cancel);
  if (cancel) return false;
  form.Form_Unload();
  Discard(form);  // a form unloaded meanwhile by its own events is gone already
  return true;
}

void RealRuntime::FreeUnloaded() {
  if (!FormWindow::Dispatching()) unloaded_.clear();
}

void RealRuntime::Refresh(Form& form) {
  if (FormWindow* window = WindowOf(form))
    RedrawWindow(window->Hwnd(), nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

Hwnd RealRuntime::WindowHandle(const Form& form) {
  FormWindow* window = WindowOf(form);
  return window == nullptr ? 0 : FromHwnd(window->Hwnd());
}

Hwnd RealRuntime::ControlHandle(const Control& control) {
  FormWindow* window = WindowOf(control.Owner());
  return window == nullptr ? 0 : FromHwnd(window->ControlHwnd(control));
}

double RealRuntime::TwipsPerPixelX() {
  // The main window's own DPI, which follows its monitor; the system may
  // still report the one the window was made at.
  for (const auto& [form, window] : windows_) {
    if (form->Design().style == FormStyle::MainWindow && window->Hwnd() != nullptr)
      return double{kTwipsPerInch} / window->Dpi();
  }
  return double{kTwipsPerInch} / DpiFor(nullptr);
}

double RealRuntime::TwipsPerPixelY() {
  return TwipsPerPixelX();
}

void RealRuntime::End() {
  ExitProcess(0);
}

}  // namespace kestrune::win32
