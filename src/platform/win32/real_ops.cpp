#include "platform/win32/real_ops.h"

// clang-format off
#include "platform/win32/handles.h"
#include <mmsystem.h>
// clang-format on

namespace kestrune::win32 {
namespace {

// The one window procedure the logic installs; the system calls it through
// the trampoline below.
WindowProc* g_hook = nullptr;

LRESULT CALLBACK HookTrampoline(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (g_hook == nullptr) return DefWindowProcW(hwnd, msg, wParam, lParam);
  return g_hook->Call(FromHwnd(hwnd), msg, wParam, lParam);
}

HANDLE ToHandle(Handle h) {
  return reinterpret_cast<HANDLE>(h);
}

// Predefined registry roots are 32-bit values that the 64-bit system expects
// sign-extended (HKEY_LOCAL_MACHINE is 0xFFFFFFFF80000002 there).
HKEY ToHkey(Handle h) {
  constexpr Handle kFirstPredefined = 0x80000000;
  constexpr Handle kLastPredefined = 0x800000FF;
  if (h >= kFirstPredefined && h <= kLastPredefined)
    return reinterpret_cast<HKEY>(static_cast<intptr_t>(static_cast<int32_t>(h)));
  return reinterpret_cast<HKEY>(h);
}

}  // namespace

bool RealWin32Ops::IsWindow(Hwnd hwnd) {
  return hwnd != 0 && ::IsWindow(ToHwnd(hwnd));
}

Hwnd RealWin32Ops::GetForegroundWindow() {
  return FromHwnd(::GetForegroundWindow());
}

int RealWin32Ops::GetWindowTextA(Hwnd hwnd, char* buffer, int size) {
  return ::GetWindowTextA(ToHwnd(hwnd), buffer, size);
}

bool RealWin32Ops::SetForegroundWindow(Hwnd hwnd) {
  return ::SetForegroundWindow(ToHwnd(hwnd));
}

uint32_t RealWin32Ops::GetWindowThreadProcessId(Hwnd hwnd, uint32_t* processId) {
  DWORD process = 0;
  const DWORD thread = ::GetWindowThreadProcessId(ToHwnd(hwnd), &process);
  if (processId) *processId = process;
  return thread;
}

uint32_t RealWin32Ops::GetCurrentProcessId() {
  return ::GetCurrentProcessId();
}

bool RealWin32Ops::FlashWindowEx(Hwnd hwnd, uint32_t flags, uint32_t count, uint32_t timeout) {
  FLASHWINFO info{sizeof info, ToHwnd(hwnd), flags, count, timeout};
  return ::FlashWindowEx(&info);
}

bool RealWin32Ops::IsDBCSLeadByte(uint8_t byte) {
  return ::IsDBCSLeadByte(byte);
}

Atom RealWin32Ops::GlobalAddAtomA(const char* name) {
  return ::GlobalAddAtomA(name);
}

Atom RealWin32Ops::GlobalDeleteAtom(Atom atom) {
  return ::GlobalDeleteAtom(atom);
}

bool RealWin32Ops::RegisterHotKey(Hwnd hwnd, int32_t id, uint32_t modifiers, uint32_t vk) {
  return ::RegisterHotKey(ToHwnd(hwnd), id, modifiers, vk);
}

bool RealWin32Ops::UnregisterHotKey(Hwnd hwnd, int32_t id) {
  return ::UnregisterHotKey(ToHwnd(hwnd), id);
}

WndProcRef RealWin32Ops::AddressOf(WindowProc& proc) {
  g_hook = &proc;
  return reinterpret_cast<WndProcRef>(&HookTrampoline);
}

WndProcRef RealWin32Ops::SetWindowLongA(Hwnd hwnd, int index, WndProcRef value) {
  // GWLP_WNDPROC has the same index; the pointer-sized W function keeps the
  // window Unicode and the full 64-bit procedure address.
  return ::SetWindowLongPtrW(ToHwnd(hwnd), index, value);
}

intptr_t RealWin32Ops::CallWindowProcA(WndProcRef proc, Hwnd hwnd, uint32_t msg, uintptr_t wParam,
                                       intptr_t lParam) {
  return ::CallWindowProcW(reinterpret_cast<WNDPROC>(proc), ToHwnd(hwnd), msg, wParam, lParam);
}

Hwnd RealWin32Ops::CreateWindowExA(uint32_t exStyle, const char* className, const char* windowName,
                                   uint32_t style, int x, int y, int width, int height,
                                   Hwnd parent) {
  return FromHwnd(::CreateWindowExA(exStyle, className, windowName, style, x, y, width, height,
                                    ToHwnd(parent), nullptr, GetModuleHandleW(nullptr), nullptr));
}

intptr_t RealWin32Ops::SendMessageA(Hwnd hwnd, uint32_t msg, uintptr_t wParam, intptr_t lParam) {
  return ::SendMessageA(ToHwnd(hwnd), msg, wParam, lParam);
}

Handle RealWin32Ops::GetCurrentProcess() {
  return reinterpret_cast<Handle>(::GetCurrentProcess());
}

bool RealWin32Ops::OpenProcessToken(Handle process, uint32_t access, Handle* token) {
  HANDLE h = nullptr;
  bool ok = ::OpenProcessToken(ToHandle(process), access, &h);
  *token = reinterpret_cast<Handle>(h);
  return ok;
}

bool RealWin32Ops::LookupPrivilegeValueA(const char* systemName, const char* name, Luid* luid) {
  LUID value{};
  bool ok = ::LookupPrivilegeValueA(systemName, name, &value);
  luid->lowPart = value.LowPart;
  luid->highPart = value.HighPart;
  return ok;
}

bool RealWin32Ops::AdjustTokenPrivileges(Handle token, bool disableAll,
                                         const TokenPrivilege& newState, uint32_t,
                                         TokenPrivilege* previousState, uint32_t* returnLength) {
  // The caller's record holds one privilege, as TOKEN_PRIVILEGES does; the
  // buffer length is ours, not the caller's record size.
  TOKEN_PRIVILEGES next{};
  next.PrivilegeCount = newState.privilegeCount;
  next.Privileges[0].Luid = {newState.luid.lowPart, newState.luid.highPart};
  next.Privileges[0].Attributes = newState.attributes;
  TOKEN_PRIVILEGES previous{};
  DWORD length = 0;
  bool ok = ::AdjustTokenPrivileges(ToHandle(token), disableAll, &next,
                                    previousState ? sizeof previous : 0,
                                    previousState ? &previous : nullptr, &length);
  if (previousState) {
    previousState->privilegeCount = previous.PrivilegeCount;
    previousState->luid = {previous.Privileges[0].Luid.LowPart,
                           previous.Privileges[0].Luid.HighPart};
    previousState->attributes = previous.Privileges[0].Attributes;
  }
  if (returnLength) *returnLength = length;
  return ok;
}

bool RealWin32Ops::CloseHandle(Handle handle) {
  return ::CloseHandle(ToHandle(handle));
}

bool RealWin32Ops::ExitWindowsEx(uint32_t flags, uint32_t reserved) {
  return ::ExitWindowsEx(flags, reserved);
}

bool RealWin32Ops::SetSystemPowerState(int32_t suspend, int32_t force) {
  return ::SetSystemPowerState(suspend, force);
}

uint32_t RealWin32Ops::GetLastError() {
  return ::GetLastError();
}

// The multimedia library is loaded with the first sound, not at start: most
// runs never play one, and loading it (with what it pulls in) made every start
// slower and every watch bigger. Only from the system folder, since the
// program's own folder is writable and a DLL dropped there must not load.
uint32_t RealWin32Ops::mciSendStringA(const char* command, char* returnBuffer,
                                      uint32_t returnLength, Hwnd callback) {
  using SendString = MCIERROR(WINAPI*)(LPCSTR, LPSTR, UINT, HWND);
  static const auto send = ProcOf<SendString>(
      LoadLibraryExW(L"winmm.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32), "mciSendStringA");
  if (send == nullptr) return MCIERR_CANNOT_LOAD_DRIVER;
  return send(command, returnBuffer, returnLength, ToHwnd(callback));
}

int32_t RealWin32Ops::RegOpenKeyExA(Handle root, const char* subKey, uint32_t options,
                                    uint32_t access, Handle* result) {
  HKEY key = nullptr;
  LSTATUS status = ::RegOpenKeyExA(ToHkey(root), subKey, options, access, &key);
  *result = reinterpret_cast<Handle>(key);
  return status;
}

int32_t RealWin32Ops::RegQueryValueExA(Handle key, const char* valueName, uint32_t* type,
                                       uint8_t* data, uint32_t* size) {
  DWORD t = 0;
  DWORD s = size ? *size : 0;
  LSTATUS status =
      ::RegQueryValueExA(ToHkey(key), valueName, nullptr, &t, data, size ? &s : nullptr);
  if (type) *type = t;
  if (size) *size = s;
  return status;
}

int32_t RealWin32Ops::RegCloseKey(Handle key) {
  return ::RegCloseKey(ToHkey(key));
}

}  // namespace kestrune::win32
