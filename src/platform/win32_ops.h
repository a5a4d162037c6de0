#pragma once

#include <cstdint>

#include "platform/types.h"

namespace kestrune {

// A window procedure implemented by the logic (the hotkey hook). The backend
// turns it into something SetWindowLongA can install with AddressOf.
class WindowProc {
 public:
  virtual intptr_t Call(Hwnd hwnd, uint32_t msg, uintptr_t wParam, intptr_t lParam) = 0;

 protected:
  ~WindowProc() = default;
};

struct Luid {
  uint32_t lowPart = 0;
  int32_t highPart = 0;
};

struct TokenPrivilege {
  uint32_t privilegeCount = 0;
  Luid luid;
  uint32_t attributes = 0;
};

constexpr int kGwlWndProc = -4;
constexpr uint32_t kWmHotKey = 0x312;
constexpr uint32_t kWmQueryEndSession = 0x11;
constexpr uint32_t kWmEndSession = 0x16;
constexpr uint32_t kWmClose = 0x10;
constexpr uint32_t kWmSysCommand = 0x112;
constexpr uintptr_t kScClose = 0xF060;
constexpr uint32_t kWmSetFont = 0x30;
constexpr uint32_t kWmGetFont = 0x31;
constexpr uint32_t kHkmSetHotKey = 0x401;
constexpr uint32_t kHkmGetHotKey = 0x402;
constexpr uint32_t kHkmSetRules = 0x403;
constexpr uint32_t kWsChildVisible = 0x50000000;
constexpr uint32_t kWsTabStop = 0x10000;
constexpr uint32_t kFlashwStop = 0x0;
constexpr uint32_t kFlashwAll = 0x3;
constexpr uint32_t kFlashwTimerNoFg = 0xC;
// A hotkey held down sends one press, not one per key repeat.
constexpr uint32_t kModNoRepeat = 0x4000;
constexpr uint32_t kTokenAdjustPrivileges = 0x20;
constexpr uint32_t kTokenQuery = 0x8;
constexpr uint32_t kSePrivilegeEnabled = 0x2;
constexpr uint32_t kEwxLogoff = 0x0;
constexpr uint32_t kEwxReboot = 0x2;
constexpr uint32_t kEwxPowerOff = 0x8;
constexpr Handle kHkeyLocalMachine = 0x80000002;
constexpr uint32_t kKeyRead = 0x20019;
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegDword = 4;

// The operating-system functions the program calls, under their own names so
// that the logic reads like the steps it implements. Text arguments and
// results of the A functions are bytes in the system ANSI code page; the
// logic converts with WindowRuntime::ToAnsi / FromAnsi.
class Win32Ops {
 public:
  virtual ~Win32Ops() = default;

  // Windows.
  virtual bool IsWindow(Hwnd hwnd) = 0;
  virtual Hwnd GetForegroundWindow() = 0;
  virtual int GetWindowTextA(Hwnd hwnd, char* buffer, int size) = 0;
  virtual bool SetForegroundWindow(Hwnd hwnd) = 0;
  // Returns the window's thread; stores the id of its process.
  virtual uint32_t GetWindowThreadProcessId(Hwnd hwnd, uint32_t* processId) = 0;
  virtual uint32_t GetCurrentProcessId() = 0;
  // The fields of FLASHWINFO after the window.
  virtual bool FlashWindowEx(Hwnd hwnd, uint32_t flags, uint32_t count, uint32_t timeout) = 0;
  // Whether byte begins a double-byte character in the ANSI code page.
  virtual bool IsDBCSLeadByte(uint8_t byte) = 0;

  // Atoms and the global hotkey.
  virtual Atom GlobalAddAtomA(const char* name) = 0;
  virtual Atom GlobalDeleteAtom(Atom atom) = 0;
  virtual bool RegisterHotKey(Hwnd hwnd, int32_t id, uint32_t modifiers, uint32_t vk) = 0;
  virtual bool UnregisterHotKey(Hwnd hwnd, int32_t id) = 0;

  // Replacing a window procedure.
  virtual WndProcRef AddressOf(WindowProc& proc) = 0;
  virtual WndProcRef SetWindowLongA(Hwnd hwnd, int index, WndProcRef value) = 0;
  virtual intptr_t CallWindowProcA(WndProcRef proc, Hwnd hwnd, uint32_t msg, uintptr_t wParam,
                                   intptr_t lParam) = 0;

  // The hotkey editor control.
  virtual Hwnd CreateWindowExA(uint32_t exStyle, const char* className, const char* windowName,
                               uint32_t style, int x, int y, int width, int height,
                               Hwnd parent) = 0;
  virtual intptr_t SendMessageA(Hwnd hwnd, uint32_t msg, uintptr_t wParam, intptr_t lParam) = 0;

  // The shutdown privilege, exit and power requests.
  virtual Handle GetCurrentProcess() = 0;
  virtual bool OpenProcessToken(Handle process, uint32_t access, Handle* token) = 0;
  virtual bool LookupPrivilegeValueA(const char* systemName, const char* name, Luid* luid) = 0;
  virtual bool AdjustTokenPrivileges(Handle token, bool disableAll, const TokenPrivilege& newState,
                                     uint32_t bufferLength, TokenPrivilege* previousState,
                                     uint32_t* returnLength) = 0;
  virtual bool CloseHandle(Handle handle) = 0;
  virtual bool ExitWindowsEx(uint32_t flags, uint32_t reserved) = 0;
  virtual bool SetSystemPowerState(int32_t suspend, int32_t force) = 0;
  virtual uint32_t GetLastError() = 0;

  // The multimedia command-string interface.
  virtual uint32_t mciSendStringA(const char* command, char* returnBuffer, uint32_t returnLength,
                                  Hwnd callback) = 0;

  // Registry reads.
  virtual int32_t RegOpenKeyExA(Handle root, const char* subKey, uint32_t options, uint32_t access,
                                Handle* result) = 0;
  virtual int32_t RegQueryValueExA(Handle key, const char* valueName, uint32_t* type, uint8_t* data,
                                   uint32_t* size) = 0;
  virtual int32_t RegCloseKey(Handle key) = 0;
};

}  // namespace kestrune
