#include "platform/win32/real_runtime.h"

#include <algorithm>

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

// A path as the file functions take it at any length: beyond MAX_PATH only
// the extended form, which the system takes as it is, reaches the file.
std::wstring SystemPath(const std::wstring& path) {
  constexpr std::wstring_view kExtended = L"\\\\?\\";
  if (path.size() < MAX_PATH || path.starts_with(kExtended)) return path;
  std::wstring full(GetFullPathNameW(path.c_str(), 0, nullptr, nullptr), L'\0');
  const DWORD length =
      GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (length == 0 || length >= full.size()) return path;
  full.resize(length);
  if (full.starts_with(L"\\\\")) return std::wstring(kExtended) + L"UNC" + full.substr(1);
  return std::wstring(kExtended) + full;
}

HANDLE OpenFileW(const std::wstring& path, DWORD access, DWORD share, DWORD disposition) {
  HANDLE file = CreateFileW(SystemPath(path).c_str(), access, share, nullptr, disposition,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  return file == INVALID_HANDLE_VALUE ? nullptr : file;
}

DWORD AttributesOf(const std::wstring& path) {
  return GetFileAttributesW(SystemPath(path).c_str());
}

bool WriteAll(HANDLE file, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const auto chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
    DWORD written = 0;
    if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0)
      return false;
    done += written;
  }
  return true;
}

// The version library, loaded from the system folder when the version is
// first asked for: it is not a Known DLL, so an import would let a copy
// beside the exe run instead.
struct VersionLibrary {
  decltype(&GetFileVersionInfoSizeW) infoSize = nullptr;
  decltype(&GetFileVersionInfoW) info = nullptr;
  decltype(&VerQueryValueW) query = nullptr;
};

const VersionLibrary* LoadVersionLibrary() {
  static const VersionLibrary library = [] {
    VersionLibrary loaded;
    HMODULE module = LoadLibraryExW(L"version.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module == nullptr) return loaded;
    loaded.infoSize = ProcOf<decltype(loaded.infoSize)>(module, "GetFileVersionInfoSizeW");
    loaded.info = ProcOf<decltype(loaded.info)>(module, "GetFileVersionInfoW");
    loaded.query = ProcOf<decltype(loaded.query)>(module, "VerQueryValueW");
    return loaded;
  }();
  return library.infoSize && library.info && library.query ? &library : nullptr;
}

// Four lower-case hexadecimal digits, as a string-table name spells them.
std::wstring Hex4(unsigned value) {
  static constexpr wchar_t kDigits[] = L"0123456789abcdef";
  std::wstring digits(4, L'0');
  for (size_t i = 4; i-- > 0; value >>= 4) digits[i] = kDigits[value & 0xF];
  return digits;
}

// A new file beside target, named after it. Its name is returned in name;
// error tells why none could be created.
unique_handle CreateTemporaryBeside(const std::wstring& target, std::wstring& name, DWORD& error) {
  constexpr int kAttempts = 64;
  const DWORD seed = GetTickCount() ^ (GetCurrentProcessId() << 12);
  for (DWORD attempt = 0; attempt < kAttempts; ++attempt) {
    // Hex digits of our own: the wide printf family would add about 24 KB.
    const DWORD unique = seed + attempt;
    name = target + L"." + Hex4(unique >> 16) + Hex4(unique) + L".tmp";
    if (unique_handle file{OpenFileW(name, GENERIC_WRITE, 0, CREATE_NEW)}) return file;
    error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
  }
  return unique_handle{};
}

bool WriteToDisk(HANDLE file, const std::string& bytes) {
  return WriteAll(file, bytes) && SetEndOfFile(file) && FlushFileBuffers(file);
}

// The last resort where the folder lets the file be written but no file be
// created: the backup can only go over an existing one, the bytes over the
// file's own.
bool WriteInPlace(const std::wstring& target, const std::wstring& backup,
                  const std::string& bytes) {
  if (!backup.empty() && !CopyFileW(SystemPath(target).c_str(), SystemPath(backup).c_str(), FALSE))
    return false;
  unique_handle file(OpenFileW(target, GENERIC_WRITE, 0, OPEN_EXISTING));
  return file && WriteToDisk(file.get(), bytes);
}

// Puts the written temporary file in the target's place. ReplaceFileW keeps
// the old file under the backup name in the same step, and the old file's
// attributes and security on the new one.
bool MoveIntoPlace(const std::wstring& temporary, const std::wstring& target,
                   const std::wstring& backup, bool targetExists) {
  const std::wstring to = SystemPath(target);
  const std::wstring from = SystemPath(temporary);
  if (!targetExists) return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH);
  const std::wstring keep = backup.empty() ? std::wstring() : SystemPath(backup);
  if (ReplaceFileW(to.c_str(), from.c_str(), keep.empty() ? nullptr : keep.c_str(),
                   REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr))
    return true;
  const DWORD error = GetLastError();
  if (error != ERROR_UNABLE_TO_MOVE_REPLACEMENT && error != ERROR_UNABLE_TO_MOVE_REPLACEMENT_2)
    return false;
  // The old file has left its place: put the new one there, else the old back.
  if (AttributesOf(target) != INVALID_FILE_ATTRIBUTES) return false;
  if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) return true;
  if (!keep.empty()) MoveFileExW(keep.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH);
  return false;
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
  // The active form gets dialog keys: Tab, Enter for the default button, Esc.
  HWND active = GetActiveWindow();
  if (IsFormWindow(active) && IsDialogMessageW(active, &msg)) return;
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

// The main window owns every box: it outlives them all, whereas a dialog
// that owned one could close under it and destroy it unanswered.
HWND RealRuntime::BoxOwner() const {
  HWND main = MainHwnd();
  return main != nullptr && IsWindowVisible(main) && !IsIconic(main) ? main : nullptr;
}

int RealRuntime::MsgBox(const std::string& text, int style, const std::string& caption) {
  HWND owner = BoxOwner();
  // The box disables its owner itself and gives it back input before it
  // goes, so that the system activates the owner and not another program.
  const uint64_t modal = BeginModal(nullptr, owner);
  // Without a window to own it the box is still modal to the whole program.
  UINT type = static_cast<UINT>(style) | (owner == nullptr ? MB_TASKMODAL : 0);
  const BoxWatch watch;
  ++modalDepth_;
  const int answer = MessageBoxW(owner, Widen(text).c_str(), Widen(caption).c_str(), type);
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
  VersionInfo info;
  const VersionLibrary* library = LoadVersionLibrary();
  if (library == nullptr) return info;
  const std::wstring path = ModulePath();
  DWORD ignored = 0;
  const DWORD size = library->infoSize(path.c_str(), &ignored);
  if (size == 0) return info;
  std::vector<BYTE> block(size);
  if (!library->info(path.c_str(), 0, size, block.data())) return info;
  void* value = nullptr;
  UINT length = 0;
  if (library->query(block.data(), L"\\", &value, &length) && length >= sizeof(VS_FIXEDFILEINFO)) {
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    info.major = HIWORD(fixed->dwFileVersionMS);
    info.minor = LOWORD(fixed->dwFileVersionMS);
    info.revision = HIWORD(fixed->dwFileVersionLS);
  }
  struct Translation {
    WORD language;
    WORD codePage;
  };
  if (!library->query(block.data(), L"\\VarFileInfo\\Translation", &value, &length) ||
      length < sizeof(Translation))
    return info;
  const auto* translation = static_cast<const Translation*>(value);
  const std::wstring key = L"\\StringFileInfo\\" + Hex4(translation->language) +
                           Hex4(translation->codePage) + L"\\LegalCopyright";
  if (library->query(block.data(), key.c_str(), &value, &length) && length > 0)
    info.legalCopyright = Narrow(static_cast<const wchar_t*>(value));
  return info;
}

bool RealRuntime::FileExists(const std::string& path) {
  // A normal file: folders, hidden and system files do not count.
  constexpr DWORD kNotNormal =
      FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  const DWORD attributes = AttributesOf(Widen(path));
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & kNotNormal);
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

std::optional<std::string> RealRuntime::ReadFileBytes(const std::string& path, size_t maxBytes) {
  unique_handle file(OpenFileW(Widen(path), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               OPEN_EXISTING));
  LARGE_INTEGER size{};
  if (!file || !GetFileSizeEx(file.get(), &size) || static_cast<uint64_t>(size.QuadPart) > maxBytes)
    return std::nullopt;
  std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
  size_t done = 0;
  while (done < bytes.size()) {
    const auto chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
    DWORD read = 0;
    if (!ReadFile(file.get(), bytes.data() + done, chunk, &read, nullptr)) return std::nullopt;
    if (read == 0) break;  // the file shrank meanwhile
    done += read;
  }
  bytes.resize(done);
  return bytes;
}

bool RealRuntime::ReplaceFileBytes(const std::string& path, const std::string& bytes,
                                   const std::string& backupPath) {
  const std::wstring target = Widen(path);
  const std::wstring backup = backupPath.empty() ? std::wstring() : Widen(backupPath);
  const DWORD attributes = AttributesOf(target);
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  // Read-only is the user's word; a move over the file would also drop it.
  if (exists && (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) return false;
  std::wstring temporary;
  DWORD error = ERROR_SUCCESS;
  unique_handle file = CreateTemporaryBeside(target, temporary, error);
  if (!file) return exists && error == ERROR_ACCESS_DENIED && WriteInPlace(target, backup, bytes);
  scope_exit removeTemporary([&] { DeleteFileW(SystemPath(temporary).c_str()); });
  const bool written = WriteToDisk(file.get(), bytes);
  file.reset();
  if (!written || !MoveIntoPlace(temporary, target, backup, exists)) return false;
  removeTemporary.dismiss();
  return true;
}

std::string RealRuntime::ToAnsi(const std::string& text) {
  return Narrow(Widen(text, CP_UTF8), CP_ACP);
}

std::string RealRuntime::FromAnsi(const std::string& bytes) {
  return Narrow(Widen(bytes, CP_ACP), CP_UTF8);
}

FormWindow* RealRuntime::WindowOf(const Form& form) const {
  auto it = windows_.find(&form);
  // A window destroyed with its owner leaves its form unloaded.
  if (it == windows_.end() || it->second->Hwnd() == nullptr) return nullptr;
  return it->second.get();
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
  windows_[&form] = std::move(window);
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
  auto node = windows_.extract(&form);
  if (node.empty()) return;
  EndModalOf(form);
  form.AttachSink(nullptr);
  node.mapped()->Destroy();
  unloaded_.push_back(std::move(node.mapped()));
}

void RealRuntime::Hide(Form& form) {
  if (FormWindow* window = WindowOf(form)) ShowWindow(window->Hwnd(), SW_HIDE);
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
