#pragma once

#include <cstdint>

#include "hotkey/hotkey_setting.h"
#include "platform/form.h"
#include "platform/runtime.h"
#include "platform/win32_ops.h"

namespace kestrune {

// The hotkey editor control's value: the virtual-key code in bits 0-7, the
// editor's modifier flags (Shift 0x01, Ctrl 0x02, Alt 0x04, extended 0x08) in
// bits 8-15, nothing above.
using HotKeyCode = int32_t;

// high * 256 with the low byte of low. The high part is 16 bits wide, so the
// product always fits 32 bits.
int32_t MakeWord(int32_t low, int16_t high);
// high * 65536 combined bit by bit with low; low is deliberately not masked.
int32_t MakeLong(int32_t low, int16_t high);
int32_t MakeLParam(int32_t low, int16_t high);

// The key code carried by sChar: its one raw byte read as 0-255, lead bytes of
// double-byte code pages included, so every code survives a round trip. Any
// length but one gives 0.
uint32_t HotKeyVirtualKey(const HotKeySetting& setting);
HotKeyCode HotKeySettingToCode(const HotKeySetting& setting);
// Writes the setting in its normal form: flags True (-1) or False, sChar the
// byte of the key code; the extended-key flag is dropped.
void CodeToHotKeySetting(HotKeyCode code, HotKeySetting& setting);
// The modifier set for registration, where Shift and Alt trade places with
// the editor's bits: MOD_ALT 1, MOD_CONTROL 2, MOD_SHIFT 4.
uint32_t HotKeyModifiers(const HotKeySetting& setting);

// Creates the editor filling the host control, with the host's font. Returns
// 0 when the control cannot be created.
Hwnd CreateHotKeyControl(Win32Ops& ops, WindowRuntime& rt, const Control& host);
void SetHotKeyControlValue(Win32Ops& ops, Hwnd control, HotKeyCode code);
HotKeyCode GetHotKeyControlValue(Win32Ops& ops, Hwnd control);

}  // namespace kestrune
