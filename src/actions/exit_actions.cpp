#include <string>

#include "actions/form2.h"
#include "app/form1.h"
#include "app/texts.h"

namespace kestrune {
namespace {

constexpr int kSuspendIndex = 0;
constexpr int kHibernateIndex = 1;
constexpr int kShutdownIndex = 4;
constexpr int kSoundIndex = 5;
constexpr uint32_t kErrorNotSupported = 50;
constexpr uint32_t kErrorCallNotImplemented = 120;

static_assert(sizeof(TokenPrivilege) == 16, "one privilege: count, identifier, attributes");

// Enables the shutdown privilege of this process. Every step is attempted
// and none is checked: an account without the privilege simply gets a
// request that the system may refuse.
void EnableShutdownPrivilege(Win32Ops& ops) {
  Handle token = 0;
  ops.OpenProcessToken(ops.GetCurrentProcess(), kTokenAdjustPrivileges | kTokenQuery, &token);
  Luid luid;
  ops.LookupPrivilegeValueA(nullptr, texts::kShutdownPrivilege, &luid);
  const TokenPrivilege enable{1, luid, kSePrivilegeEnabled};
  TokenPrivilege previous;
  uint32_t returnLength = 0;
  ops.AdjustTokenPrivileges(token, false, enable, sizeof previous, &previous, &returnLength);
  if (token != 0) ops.CloseHandle(token);
}

uint32_t ExitWindowsFlags(int index) {
  static constexpr uint32_t kFlags[] = {kEwxLogoff, kEwxReboot, kEwxPowerOff};
  return kFlags[index - 2];
}

}  // namespace

void Form1::Win_Exit_State() {
  int i = 0;
  while (i < static_cast<int>(Option1.size()) && !Option1[i]->Selected()) ++i;

  if (i <= kShutdownIndex) {
    Form2 countdown(*this, rt);
    // Windows keeps a program in the background from taking the foreground,
    // and the countdown does not force it: the taskbar button asks for the
    // user's eye instead, until the program comes forward or the count ends.
    const Hwnd main = rt.WindowHandle(*this);
    const bool behind = !IsWindowOfOurs(ops.GetForegroundWindow());
    if (behind) ops.FlashWindowEx(main, kFlashwAll | kFlashwTimerNoFg, 0, 0);
    rt.ShowModal(countdown);
    if (behind) ops.FlashWindowEx(main, kFlashwStop, 0, 0);
    // Only the countdown's own last tick leads on. A dialog destroyed with
    // the main window or by a quit message never set the cancel flag, and
    // Yes to the closing question may have come while it counted.
    if (!countdown.RanOut() || QuitChosen()) return;
  }
  if (i > kShutdownIndex) {
    if (i == kSoundIndex) Command3_Click();
    return;  // the sound and no selection leave the program running
  }
  if (!RequestSystemAction(i)) {
    // The machine keeps running, and so does the program, in plain sight.
    rt.Show(*this);
    return;
  }
  Exitflag = kTrue;
  rt.Unload(*this);
}

bool Form1::RequestSystemAction(int index) {
  EnableShutdownPrivilege(ops);
  if (index == kSuspendIndex || index == kHibernateIndex) {
    // A call that succeeded may leave an earlier call's code behind: the
    // result decides, the code only explains a failure.
    if (ops.SetSystemPowerState(index - 1, 0)) return true;
    const uint32_t error = ops.GetLastError();
    if (error == kErrorNotSupported || error == kErrorCallNotImplemented) {
      rt.MsgBox(texts::kNotSupported, kMbIconInformation, texts::kAppTitle);
    } else {
      rt.MsgBox("(" + std::to_string(error) + ")" + texts::kCallFailedSuffix, kMbIconError,
                texts::kAppTitle);
    }
    return false;
  }
  if (ops.ExitWindowsEx(ExitWindowsFlags(index), 0)) return true;
  const uint32_t error = ops.GetLastError();
  rt.MsgBox(Option1[index]->Caption() + texts::kRequestRefusedMiddle + std::to_string(error) +
                texts::kRequestRefusedEnd,
            kMbIconError, texts::kAppTitle);
  return false;
}

}  // namespace kestrune
