// A box gives its owner input back as it closes (Windows' EndDialog does so
// before the box's call returns), also while a countdown opened inside that
// box still holds the owner. The main window must stay disabled until the
// countdown ends, or the user could work it while the action counts down.
// Where Windows does more than Wine (activation, the default button), the
// tests do Windows' part.

#include <gtest/gtest.h>
#include <windows.h>

#include "about/frm_about.h"
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

// The main window on the real backend, left as the program leaves it.
struct Program {
  Program() {
    EXPECT_TRUE(LoadCommonControls());
    rt.Load(form1);
    main = ToHwnd(rt.WindowHandle(form1));
  }
  ~Program() {
    form1.UnhookWindowProc(FromHwnd(main));
    form1.HotKeyRemove();
    DestroyWindow(main);
    MSG quit;
    while (PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
  }
  RealWin32Ops ops;
  RealRuntime rt;
  Form1 form1{ops, rt};
  HWND main = nullptr;
};

TEST(ModalHold, CountdownKeepsTheMainWindowDisabledAfterABoxLetItGo) {
  Program p;
  ASSERT_NE(p.main, nullptr);
  {
    Form2 countdown(p.form1, p.rt);
    p.rt.Load(countdown);
    Countdown seen{p.main, ToHwnd(p.rt.ControlHandle(countdown.Command1)), true};
    g_countdown = &seen;
    SetTimer(nullptr, 0, 50, WhileCounting);
    p.rt.ShowModal(countdown);
    g_countdown = nullptr;
    EXPECT_FALSE(seen.enabledAfterTheBoxLetGo);
    EXPECT_TRUE(p.form1.Cancelflag);
  }
  EXPECT_TRUE(IsWindowEnabled(p.main));  // given back once the countdown ended
}

// A box opened while the main window is minimised has no owner; the
// countdown's stop button must still be usable under it.
struct UnderTheBox {
  RealRuntime* rt;
  HWND stop;
  bool usable;
} g_under{};

void CALLBACK LookUnderTheBox(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  g_under.usable = IsWindowEnabled(GetParent(g_under.stop)) && IsWindowEnabled(g_under.stop);
  if (g_under.usable) SendMessageW(g_under.stop, BM_CLICK, 0, 0);
  PostMessageW(FindWindowW(L"#32770", L"unowned"), WM_COMMAND, IDNO, 0);
}

void CALLBACK OpenTheBox(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  SetTimer(nullptr, 0, 50, LookUnderTheBox);
  g_under.rt->MsgBox("?", kMbYesNo, "unowned");
}

TEST(ModalHold, BoxWithoutOwnerLeavesTheCountdownUsable) {
  Program p;
  p.form1.SetWindowState(kWindowStateMinimized);
  Form2 countdown(p.form1, p.rt);
  p.rt.Load(countdown);
  g_under = {&p.rt, ToHwnd(p.rt.ControlHandle(countdown.Command1)), false};
  SetTimer(nullptr, 0, 50, OpenTheBox);
  p.rt.ShowModal(countdown);
  EXPECT_TRUE(g_under.usable);
  EXPECT_TRUE(p.form1.Cancelflag);
}

// Windows activates another program's window when the active one goes while
// its owner is disabled: the countdown must give the main window back first.
struct Hiding {
  HWND main;
  WNDPROC proc;
  bool mainEnabled;
} g_hiding{};

LRESULT CALLBACK SeeTheHide(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_SHOWWINDOW && !wParam) g_hiding.mainEnabled = IsWindowEnabled(g_hiding.main);
  return CallWindowProcW(g_hiding.proc, hwnd, msg, wParam, lParam);
}

TEST(ModalHold, CountdownGivesTheMainWindowBackBeforeItHides) {
  Program p;
  Form2 countdown(p.form1, p.rt);
  p.rt.Load(countdown);
  HWND dialog = ToHwnd(p.rt.WindowHandle(countdown));
  g_hiding = {p.main,
              reinterpret_cast<WNDPROC>(
                  SetWindowLongPtrW(dialog, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SeeTheHide))),
              false};
  PostMessageW(ToHwnd(p.rt.ControlHandle(countdown.Command1)), BM_CLICK, 0, 0);
  p.rt.ShowModal(countdown);
  EXPECT_TRUE(g_hiding.mainEnabled);
}

// Windows leaves the default button to the form as the focus moves (Wine
// moves its look itself): Enter presses the focused push button, else the
// form's default, and the main window has none.
TEST(ModalHold, DefaultButtonIsTheFocusedPushButtonElseTheFormsOwn) {
  Program p;
  FrmAbout about(p.ops, p.rt);
  p.rt.Load(about);
  HWND box = ToHwnd(p.rt.WindowHandle(about));
  ShowWindow(box, SW_SHOW);
  auto handle = [&p](const Control& control) { return ToHwnd(p.rt.ControlHandle(control)); };
  auto focusAndAsk = [](HWND form, HWND focus, HWND moved) {
    SetFocus(focus);
    SendMessageW(form, DM_SETDEFID, static_cast<WPARAM>(GetDlgCtrlID(moved)), 0);
    const LRESULT id = SendMessageW(form, DM_GETDEFID, 0, 0);
    return HIWORD(id) == DC_HASDEFID ? GetDlgItem(form, LOWORD(id)) : nullptr;
  };
  const HWND sysInfo = handle(about.cmdSysInfo);
  EXPECT_EQ(focusAndAsk(box, sysInfo, sysInfo), sysInfo);
  EXPECT_TRUE(SendMessageW(sysInfo, WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON);
  EXPECT_FALSE(SendMessageW(handle(about.cmdOK), WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON);
  EXPECT_EQ(focusAndAsk(box, handle(about.cmdOK), handle(about.cmdOK)), handle(about.cmdOK));
  DestroyWindow(box);
  ShowWindow(p.main, SW_SHOW);
  EXPECT_EQ(focusAndAsk(p.main, handle(p.form1.Check1), handle(p.form1.Command2)), nullptr);
}

}  // namespace
}  // namespace kestrune::win32
