#include <algorithm>
#include <string>

#include "app/form1.h"
#include "app/texts.h"

namespace kestrune {

namespace {

// Titles are read in the ANSI code page: at most 249 bytes and the zero.
constexpr int kTitleBufferSize = 250;

// The system cuts a long title at the buffer's end, even between the two
// bytes of a character; the half left over would show as "・".
size_t WholeCharacters(Win32Ops& ops, const char* bytes, size_t length) {
  size_t whole = 0;
  while (whole < length) {
    const size_t width = ops.IsDBCSLeadByte(static_cast<uint8_t>(bytes[whole])) ? 2 : 1;
    if (whole + width > length) break;
    whole += width;
  }
  return whole;
}

}  // namespace

// Arming and disarming change only the caption: the current target, handle and
// title together, stays exactly as it was, so a watch started after a disarm
// still watches the window Label1 names.
void Form1::Command1_Click() {
  const std::string& caption = Command1.Caption();
  if (caption == texts::kSelectPrompt || caption == texts::kReselectPrompt)
    Command1.SetCaption(texts::kArmedCaption);
  else if (caption == texts::kArmedCaption)
    Command1.SetCaption(texts::kSelectPrompt);
}

// Runs from the hook while capture is armed. The handle becomes the target
// only on confirmation, together with the title, so a cancelled capture
// leaves the previous target whole; in a nested capture the confirmation
// answered last decides both.
void Form1::CaptureTarget() {
  char buffer[kTitleBufferSize] = {};
  const Hwnd handle = ops.GetForegroundWindow();
  if (IsPassingWindowOfOurs(handle)) return;
  const int copied = ops.GetWindowTextA(handle, buffer, kTitleBufferSize);
  const auto length = static_cast<size_t>(std::clamp(copied, 0, kTitleBufferSize - 1));
  const std::string title = rt.FromAnsi(std::string(buffer, WholeCharacters(ops, buffer, length)));

  mywindowactiveset();
  const std::string question = texts::kLockedOnPrefix + title + texts::kLockedOnSuffix;
  if (rt.MsgBox(question, kMbOkCancel, texts::kAppTitle) == kIdCancel) return;

  WatchHandle = handle;
  Label1.SetCaption(title);
  Command1.SetCaption(texts::kReselectPrompt);
  Command1.SetEnabled(true);
  Command2.SetEnabled(true);
  Command2.SetCaption(texts::kStartWatch);
}

// A box or dialog of this program vanishes once answered: a watch on it
// would end at once and run the action. The main window stays a target.
bool Form1::IsPassingWindowOfOurs(Hwnd handle) {
  return handle != 0 && handle != rt.WindowHandle(*this) && IsWindowOfOurs(handle);
}

bool Form1::IsWindowOfOurs(Hwnd handle) {
  uint32_t process = 0;
  ops.GetWindowThreadProcessId(handle, &process);
  return process == ops.GetCurrentProcessId();
}

}  // namespace kestrune
