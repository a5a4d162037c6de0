#pragma once

#include <cstdint>
#include <string>

namespace kestrune {

// A window handle as the program keeps it: 32 bits, 0 for none. Windows
// handles fit in 32 bits even on 64-bit systems; the real backend converts.
using Hwnd = uint32_t;
using Atom = uint16_t;
// Opaque kernel handle (process, token, registry key) passed through the
// Win32 operations unchanged.
using Handle = uintptr_t;
// A window procedure as a value: what SetWindowLongA returns and takes.
using WndProcRef = intptr_t;

// Message box results.
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

// Message box styles, combined by addition.
constexpr int kMbOk = 0x0;
constexpr int kMbOkCancel = 0x1;
constexpr int kMbYesNo = 0x4;
constexpr int kMbIconError = 0x10;
constexpr int kMbIconQuestion = 0x20;
constexpr int kMbIconExclamation = 0x30;
constexpr int kMbIconInformation = 0x40;
constexpr int kMbTaskModal = 0x2000;

// Booleans of the stored format: True is -1, any non-zero value tests true.
using VbBool = int16_t;
constexpr VbBool kTrue = -1;
constexpr VbBool kFalse = 0;

struct VersionInfo {
  int major = 0;
  int minor = 0;
  int revision = 0;
  std::string legalCopyright;  // UTF-8
};

}  // namespace kestrune
