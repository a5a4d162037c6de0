// A box gives its owner input back as it closes (Windows' EndDialog does so
// before the box's call returns), also while a countdown opened inside that
// box still holds the owner. The main window must stay disabled until the
// countdown ends, or the user could work it while the action counts down.

#include <gtest/gtest.h>
#include <windows.h>

#include "actions/form2.h"
#include "app/form1.h"
#include "platform/win32/real_ops.h"
#include "platform/win32/real_runtime.h"
#include "win32/common_controls.h"

namespace kestrune::win32 {
namespace {

struct Countdown {
  HWND main;
  HWND stop;
  bool enabledAfterTheBoxLetGo;
};
Countdown* g_countdown = nullptr;

// Runs inside the countdown's modal loop: gives the main window input back
// as a closing box would, looks, then stops the countdown.
void CALLBACK WhileCounting(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  EnableWindow(g_countdown->main, TRUE);
  g_countdown->enabledAfterTheBoxLetGo = IsWindowEnabled(g_countdown->main);
  SendMessageW(g_countdown->stop, BM_CLICK, 0, 0);
}

TEST(ModalHold, CountdownKeepsTheMainWindowDisabledAfterABoxLetItGo) {
  ASSERT_TRUE(LoadCommonControls());
  RealWin32Ops ops;
  RealRuntime rt;
  Form1 form1{ops, rt};
  rt.Load(form1);
  HWND main = ToHwnd(rt.WindowHandle(form1));
  ASSERT_NE(main, nullptr);
  {
    Form2 countdown(form1, rt);
    rt.Load(countdown);
    Countdown seen{main, ToHwnd(rt.ControlHandle(countdown.Command1)), true};
    g_countdown = &seen;
    SetTimer(nullptr, 0, 50, WhileCounting);
    rt.ShowModal(countdown);
    g_countdown = nullptr;
    EXPECT_FALSE(seen.enabledAfterTheBoxLetGo);
    EXPECT_TRUE(form1.Cancelflag);
  }
  EXPECT_TRUE(IsWindowEnabled(main));  // given back once the countdown ended
  form1.UnhookWindowProc(FromHwnd(main));
  form1.HotKeyRemove();
  DestroyWindow(main);
  MSG quit;
  while (PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
}

}  // namespace
}  // namespace kestrune::win32
