// The simulated desktop: windows and their titles, the foreground window,
// replaced window procedures that messages flow through, hotkeys and the
// hotkey editor control.

#include <algorithm>
#include <cstring>

#include "platform/fake/fake_platform.h"

namespace kestrune {

// ---- Windows ----

Hwnd FakePlatform::NewHandle() {
  Hwnd h = nextHandle_;
  nextHandle_ += 4;
  return h;
}

Hwnd FakePlatform::AddWindow(const std::string& title) {
  return AddWindowAnsi(AnsiOf(title));
}

Hwnd FakePlatform::AddWindowAnsi(const std::string& titleBytes) {
  Hwnd h = NewHandle();
  windows_[h] = Window{titleBytes, "OtherApp", 0, kOriginalProc};
  return h;
}

void FakePlatform::AddWindowWithHandle(Hwnd hwnd, const std::string& title) {
  windows_[hwnd] = Window{AnsiOf(title), "OtherApp", 0, kOriginalProc};
}

void FakePlatform::DestroyWindow(Hwnd hwnd) {
  windows_.erase(hwnd);
  std::erase_if(hotKeys, [hwnd](const Registration& r) { return r.hwnd == hwnd; });
  if (foreground_ == hwnd) foreground_ = 0;
}

bool FakePlatform::IsWindow(Hwnd hwnd) {
  return hwnd != 0 && windows_.count(hwnd) != 0;
}

Hwnd FakePlatform::GetForegroundWindow() {
  return IsWindow(foreground_) ? foreground_ : 0;
}

int FakePlatform::GetWindowTextA(Hwnd hwnd, char* buffer, int size) {
  auto it = windows_.find(hwnd);
  if (it == windows_.end() || size <= 0) return 0;
  const std::string& title = it->second.titleAnsi;
  // Like the real function under Wine: at most size - 1 bytes, even when the
  // cut falls between the two bytes of a character.
  const size_t n = std::min(title.size(), static_cast<size_t>(size - 1));
  std::memcpy(buffer, title.data(), n);
  buffer[n] = '\0';
  return static_cast<int>(n);
}

uint32_t FakePlatform::GetWindowThreadProcessId(Hwnd hwnd, uint32_t* processId) {
  auto it = windows_.find(hwnd);
  if (processId) *processId = it == windows_.end() ? 0 : it->second.processId;
  return it == windows_.end() ? 0 : 1;
}

bool FakePlatform::FlashWindowEx(Hwnd hwnd, uint32_t flags, uint32_t, uint32_t) {
  flashes.emplace_back(hwnd, flags);
  return false;
}

bool FakePlatform::SetForegroundWindow(Hwnd hwnd) {
  if (!IsWindow(hwnd)) return false;
  foreground_ = hwnd;
  return true;
}

// ---- Window procedures and messages ----

intptr_t FakePlatform::Dispatch(Hwnd hwnd, uint32_t msg, uintptr_t wParam, intptr_t lParam) {
  auto it = windows_.find(hwnd);
  if (it == windows_.end()) return 0;
  return CallWindowProcA(it->second.proc, hwnd, msg, wParam, lParam);
}

WndProcRef FakePlatform::AddressOf(WindowProc& proc) {
  for (auto& [ref, p] : procs_) {
    if (p == &proc) return ref;
  }
  WndProcRef ref = 0x7000 + static_cast<WndProcRef>(procs_.size()) * 0x10;
  procs_[ref] = &proc;
  return ref;
}

WndProcRef FakePlatform::SetWindowLongA(Hwnd hwnd, int index, WndProcRef value) {
  auto it = windows_.find(hwnd);
  if (failSetWindowLong || index != kGwlWndProc || it == windows_.end()) {
    lastError = 1400;  // invalid window handle
    return 0;
  }
  WndProcRef previous = it->second.proc;
  it->second.proc = value;
  return previous;
}

intptr_t FakePlatform::CallWindowProcA(WndProcRef proc, Hwnd hwnd, uint32_t msg, uintptr_t wParam,
                                       intptr_t lParam) {
  if (proc == kOriginalProc) {
    defaultProcMessages.push_back({hwnd, msg, wParam, lParam});
    if (Form* form = FormOfWindow(hwnd)) return FormWindowProc(*form, msg, wParam);
    return defaultProcResult;
  }
  auto it = procs_.find(proc);
  return it == procs_.end() ? 0 : it->second->Call(hwnd, msg, wParam, lParam);
}

Hwnd FakePlatform::CreateWindowExA(uint32_t, const char* className, const char* windowName,
                                   uint32_t, int, int, int width, int height, Hwnd parent) {
  if (failCreateWindow) return 0;
  Hwnd h = NewHandle();
  windows_[h] =
      Window{windowName ? windowName : "", className, parent, kOriginalProc, kOwnProcessId};
  if (std::strcmp(className, "msctls_hotkey32") == 0) {
    HotKeyControl control;
    control.parent = parent;
    control.width = width;
    control.height = height;
    hotKeyControls[h] = control;
  }
  return h;
}

intptr_t FakePlatform::SendMessageA(Hwnd hwnd, uint32_t msg, uintptr_t wParam, intptr_t lParam) {
  auto control = hotKeyControls.find(hwnd);
  if (control != hotKeyControls.end()) {
    HotKeyControl& c = control->second;
    switch (msg) {
      case kHkmSetHotKey:
        c.code = static_cast<uint32_t>(wParam & 0xFFFF);
        return 0;
      case kHkmGetHotKey:
        return c.code;
      case kHkmSetRules:
        c.rulesInvalid = wParam;
        c.rulesDefault = lParam;
        return 0;
      case kWmSetFont:
        c.font = wParam;
        return 0;
      default:
        return 0;
    }
  }
  if (msg == kWmGetFont && IsWindow(hwnd)) return static_cast<intptr_t>(kHostFont);
  return Dispatch(hwnd, msg, wParam, lParam);
}

// ---- Hotkeys ----

bool FakePlatform::PressHotKey(uint32_t modifiers, uint32_t vk) {
  for (const Registration& r : hotKeys) {
    if ((r.modifiers & ~kModNoRepeat) != modifiers || r.vk != vk) continue;
    // The identifier arrives widened with its sign, as Windows passes it.
    auto wParam = static_cast<uintptr_t>(static_cast<intptr_t>(r.id));
    Dispatch(r.hwnd, kWmHotKey, wParam, static_cast<intptr_t>(modifiers | (vk << 16)));
    return true;
  }
  return false;
}

void FakePlatform::TypeIntoHotKeyControl(Hwnd control, uint32_t code) {
  HotKeyControl& c = hotKeyControls.at(control);
  uint32_t modifiers = (code >> 8) & 0xFF;
  // Combination bits: none 0x01, Shift 0x02, Ctrl 0x04, Alt 0x08, S+C 0x10,
  // S+A 0x20, C+A 0x40, S+C+A 0x80.
  static constexpr uint32_t kCombination[8] = {0x01, 0x02, 0x04, 0x10, 0x08, 0x20, 0x40, 0x80};
  if (c.rulesInvalid & kCombination[modifiers & 7])
    modifiers = (modifiers & ~7u) | static_cast<uint32_t>(c.rulesDefault & 0xFFFF);
  c.code = (code & 0xFF) | (modifiers << 8);
}

bool FakePlatform::RegisterHotKey(Hwnd hwnd, int32_t id, uint32_t modifiers, uint32_t vk) {
  // The no-repeat flag is no part of the combination another program holds.
  const uint32_t combination = modifiers & ~kModNoRepeat;
  if (!IsWindow(hwnd) || heldElsewhere.count({combination, vk})) return false;
  for (const Registration& r : hotKeys) {
    if ((r.hwnd == hwnd && r.id == id) ||
        ((r.modifiers & ~kModNoRepeat) == combination && r.vk == vk))
      return false;
  }
  hotKeys.push_back({hwnd, id, modifiers, vk});
  return true;
}

bool FakePlatform::UnregisterHotKey(Hwnd hwnd, int32_t id) {
  auto before = hotKeys.size();
  std::erase_if(hotKeys, [&](const Registration& r) { return r.hwnd == hwnd && r.id == id; });
  return hotKeys.size() != before;
}

}  // namespace kestrune
