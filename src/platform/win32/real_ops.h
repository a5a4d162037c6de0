#pragma once

#include "platform/win32_ops.h"

namespace kestrune::win32 {

// The operating-system functions, called for real. Window handles cross the
// boundary as the program's 32-bit values; window procedures are replaced
// through the pointer-sized W functions so the main window stays Unicode.
class RealWin32Ops final : public Win32Ops {
 public:
  bool IsWindow(Hwnd hwnd) override;
  Hwnd GetForegroundWindow() override;
  int GetWindowTextA(Hwnd hwnd, char* buffer, int size) override;
  bool SetForegroundWindow(Hwnd hwnd) override;
  uint32_t GetWindowThreadProcessId(Hwnd hwnd, uint32_t* processId) override;
  uint32_t GetCurrentProcessId() override;
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
};

}  // namespace kestrune::win32
