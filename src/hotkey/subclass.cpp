#include <string>

#include "app/form1.h"
#include "app/texts.h"

namespace kestrune {

namespace {

// As printf's "%X" writes it; done by hand, as the printf family would add a
// formatter with floating point to the exe for this one number.
std::string UpperHex(uint32_t value) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  do {
    text.insert(text.begin(), kDigits[value % 16]);
    value /= 16;
  } while (value != 0);
  return text;
}

// The hotkey message is ours when the last four hexadecimal digits of its
// word parameter read as the atom does, both written without leading zeros.
// The atom then matches whether the identifier comes back widened with its
// sign or with zeros, and identifier 0 matches atom 0.
bool IsOurHotKeyId(uintptr_t wParam, int16_t atom) {
  std::string received = UpperHex(static_cast<uint32_t>(wParam));
  if (received.size() > 4) received.erase(0, received.size() - 4);
  return received == UpperHex(static_cast<uint16_t>(atom));
}

}  // namespace

bool Form1::HookWindowProc(Hwnd window) {
  // A second install would save the hook as its own predecessor, and the
  // pass-through would then call itself without end.
  if (PrevWndProc != 0) return false;
  PrevWndProc = ops.SetWindowLongA(window, kGwlWndProc, ops.AddressOf(*this));
  return PrevWndProc != 0;
}

bool Form1::UnhookWindowProc(Hwnd window) {
  if (PrevWndProc == 0) return true;
  if (ops.SetWindowLongA(window, kGwlWndProc, PrevWndProc) == 0) return false;
  PrevWndProc = 0;
  return true;
}

intptr_t Form1::HotKeyWndProc(Hwnd window, uint32_t msg, uintptr_t wParam, intptr_t lParam) {
  if (msg == kWmHotKey && IsOurHotKeyId(wParam, HotKeyAtom) &&
      Command1.Caption() == texts::kArmedCaption) {
    CaptureTarget();
  }
  // Every message goes on unchanged, the hotkey included.
  return ops.CallWindowProcA(PrevWndProc, window, msg, wParam, lParam);
}

}  // namespace kestrune
