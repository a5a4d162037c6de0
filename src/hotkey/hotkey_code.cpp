#include "hotkey/hotkey_code.h"

#include "platform/twips.h"

namespace kestrune {

namespace {

constexpr int32_t kHotKeyFShift = 0x01;
constexpr int32_t kHotKeyFControl = 0x02;
constexpr int32_t kHotKeyFAlt = 0x04;
constexpr uint32_t kModAlt = 0x1;
constexpr uint32_t kModControl = 0x2;
constexpr uint32_t kModShift = 0x4;
// Rules: a key typed alone (HKCOMB_NONE) or with Shift alone (HKCOMB_S) is
// shown with Alt instead, so the editor never offers a bare key.
constexpr uintptr_t kInvalidCombinations = 0x01 | 0x02;
constexpr int32_t kReplacementModifier = kHotKeyFAlt;
constexpr char kHotKeyClass[] = "msctls_hotkey32";

}  // namespace

int32_t MakeWord(int32_t low, int16_t high) {
  return static_cast<int32_t>(high * 256) | (low & 0xFF);
}

int32_t MakeLong(int32_t low, int16_t high) {
  return static_cast<int32_t>(high * 65536) | low;
}

int32_t MakeLParam(int32_t low, int16_t high) {
  return MakeLong(low, high);
}

uint32_t HotKeyVirtualKey(const HotKeySetting& setting) {
  if (setting.sChar.size() != 1) return 0;
  return static_cast<unsigned char>(setting.sChar[0]);
}

HotKeyCode HotKeySettingToCode(const HotKeySetting& setting) {
  int32_t flags = 0;
  if (setting.bShift) flags |= kHotKeyFShift;
  if (setting.bCtrl) flags |= kHotKeyFControl;
  if (setting.bAlt) flags |= kHotKeyFAlt;
  return MakeWord(static_cast<int32_t>(HotKeyVirtualKey(setting)), static_cast<int16_t>(flags));
}

void CodeToHotKeySetting(HotKeyCode code, HotKeySetting& setting) {
  const int32_t key = code & 0xFF;
  const int32_t flags = (code & ~0xFF) / 256;
  setting.sChar = std::string(1, static_cast<char>(key));
  setting.bShift = (flags & kHotKeyFShift) ? kTrue : kFalse;
  setting.bCtrl = (flags & kHotKeyFControl) ? kTrue : kFalse;
  setting.bAlt = (flags & kHotKeyFAlt) ? kTrue : kFalse;
}

uint32_t HotKeyModifiers(const HotKeySetting& setting) {
  return (setting.bShift ? kModShift : 0) + (setting.bCtrl ? kModControl : 0) +
         (setting.bAlt ? kModAlt : 0);
}

Hwnd CreateHotKeyControl(Win32Ops& ops, WindowRuntime& rt, const Control& host) {
  const Hwnd hostWindow = rt.ControlHandle(host);
  // The host's outer size, border included, rounded as the host itself is
  // laid out, so the editor fills it exactly at every DPI.
  const int width = TwipsToPixels(host.Design().width, DpiOf(rt.TwipsPerPixelX()));
  const int height = TwipsToPixels(host.Design().height, DpiOf(rt.TwipsPerPixelY()));
  // A tab stop: without one a user without a mouse could never change the
  // hotkey.
  const Hwnd control = ops.CreateWindowExA(0, kHotKeyClass, "", kWsChildVisible | kWsTabStop, 0, 0,
                                           width, height, hostWindow);
  if (control == 0) return 0;
  ops.SendMessageA(control, kHkmSetRules, kInvalidCombinations,
                   MakeLParam(kReplacementModifier, 0));
  const intptr_t font = ops.SendMessageA(hostWindow, kWmGetFont, 0, 0);
  ops.SendMessageA(control, kWmSetFont, static_cast<uintptr_t>(font), 1);
  return control;
}

void SetHotKeyControlValue(Win32Ops& ops, Hwnd control, HotKeyCode code) {
  ops.SendMessageA(control, kHkmSetHotKey, static_cast<uintptr_t>(code), 0);
}

HotKeyCode GetHotKeyControlValue(Win32Ops& ops, Hwnd control) {
  // The control answers in the low word; anything above is not part of it.
  return static_cast<HotKeyCode>(ops.SendMessageA(control, kHkmGetHotKey, 0, 0) & 0xFFFF);
}

}  // namespace kestrune
