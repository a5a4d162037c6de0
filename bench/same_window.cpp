// The benchmark's second yardstick: Kestrune's main window as it shows on a
// first start, built as plainly as Win32 allows. One CreateWindowExW per
// control, each in its final state (text, style, enabled, checked) from the
// start, in the order Kestrune creates them; the same menu, manifest, icon
// and font. Nothing else: no settings, no hotkey, no logic behind the clicks.
// What Kestrune costs beyond this program is its own overhead.
//
//   same_window.exe [pixels smaller] [box [poll <window handle>]]
//
// The form's font is the system's message font, made smaller by the given
// number of pixels: Kestrune may shrink it so that every caption fits, and
// the benchmark finds by pictures how much it did on the machine at hand.
// With "box" the window then shows the capture's confirmation box once and
// minimises, as Kestrune's window has done when it watches: a reference for
// what that box costs any program. With "poll" it then polls the given window
// as a watch must: once a second a timer, one pump step and one IsWindow.

#include <windows.h>
// commctrl.h needs windows.h first.
#include <commctrl.h>

#include "yardstick.h"

namespace {

constexpr wchar_t kClassName[] = L"KestruneSameWindow";
constexpr wchar_t kTitle[] = L"Kestrune";
constexpr int kLineThicknessPx = 2;
constexpr int kTooltipWidthTwips = 4500;
constexpr UINT kMenuIdExit = 101;
constexpr UINT kMenuIdVersion = 201;
constexpr WORD kIconId = 1;
constexpr UINT_PTR kPollTimerId = 1;
constexpr UINT kPollPeriodMs = 1000;

constexpr DWORD kButton = BS_PUSHBUTTON | WS_TABSTOP;
// Checking a radio button makes it a tab stop, unchecking it takes that away.
constexpr DWORD kOption = BS_AUTORADIOBUTTON;
constexpr DWORD kHidden = 0x1;    // not WS_VISIBLE
constexpr DWORD kDisabled = 0x2;  // WS_DISABLED
constexpr DWORD kChecked = 0x4;   // BM_SETCHECK BST_CHECKED

struct Child {
  UINT id;
  const wchar_t* cls;
  DWORD style;
  DWORD exStyle;
  const wchar_t* text;
  int left, top, width, height;  // twips from the client area; height -1: a line
  DWORD state;
  const wchar_t* tooltip;
};

// Kestrune's creation order: the controls in tab order, then the frames,
// innermost first. Ids are Kestrune's (1000 + the row of its layout table).
constexpr Child kChildren[] = {
    {1002, L"BUTTON", kButton, 0, L"変更", 5040, 480, 735, 255, 0, nullptr},
    {1003, L"STATIC", SS_NOTIFY | WS_CLIPCHILDREN, WS_EX_CONTROLPARENT, L"", 360, 480, 4575, 255, 0,
     nullptr},
    {1005, L"BUTTON", kButton, 0, L"クリックして「監視ウインドウ」を選択。ホットキーを押して下さい",
     360, 1800, 5415, 375, 0, L"test\r\nkai"},
    {1006, L"STATIC", SS_LEFT | SS_NOPREFIX, 0, L"選択されたウインドウ名は…", 360, 1080, 5415, 255,
     0, nullptr},
    {1007, L"STATIC", SS_LEFT | SS_NOPREFIX, 0, L"未設定", 360, 1320, 5415, 375, 0, nullptr},
    {1008, L"BUTTON", kButton, 0, L"監視開始", 240, 3360, 5655, 375, kDisabled, L"aaaaa"},
    {1009, L"BUTTON", BS_3STATE | WS_TABSTOP, 0, L"監視ウィンドウが消えたら次の動作をする", 360,
     2400, 3495, 255, kChecked, nullptr},
    {1011, L"BUTTON", kButton, 0, L"サウンドファイル選択", 2640, 3120, 2055, 255, kHidden, nullptr},
    {1012, L"EDIT", ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE, L"", 360, 3720, 5415, 270,
     kHidden, nullptr},
    {1013, L"BUTTON", kButton, 0, L"再生テスト", 4800, 3120, 975, 255, kHidden, nullptr},
    {1014, L"BUTTON", kOption, 0, L"サウンドを鳴らす", 360, 3120, 1635, 255, kHidden, nullptr},
    {1015, L"BUTTON", kOption | WS_TABSTOP, 0, L"サスペンド", 360, 2760, 1095, 255, kChecked,
     nullptr},
    {1016, L"BUTTON", kOption, 0, L"休止状態", 1440, 2760, 1095, 255, 0, nullptr},
    {1017, L"BUTTON", kOption, 0, L"ログオフ", 2520, 2760, 975, 255, 0, nullptr},
    {1018, L"BUTTON", kOption, 0, L"リブート", 3480, 2760, 975, 255, 0, nullptr},
    {1019, L"BUTTON", kOption, 0, L"シャットダウン", 4440, 2760, 1400, 255, 0, nullptr},
    {1020, L"BUTTON", kButton, 0, L"停　　止", 4800, 3360, 975, 255, kHidden, nullptr},
    {1021, L"STATIC", SS_ETCHEDHORZ, 0, L"", 360, 3045, 5400, -1, 0, nullptr},
    {1022, L"STATIC", SS_ETCHEDHORZ, 0, L"", 360, 3050, 5400, -1, 0, nullptr},
    {1010, L"BUTTON", BS_GROUPBOX, 0, L"", 240, 2400, 5655, 855, 0, nullptr},
    {1004, L"BUTTON", BS_GROUPBOX, 0, L"", 240, 840, 5655, 1455, 0, nullptr},
    {1001, L"BUTTON", BS_GROUPBOX, 0, L"ホットキー設定", 240, 240, 5655, 615, 0, nullptr},
    {1000, L"BUTTON", BS_GROUPBOX, 0, L"", 120, 0, 5895, 3855, 0, nullptr},
};
constexpr UINT kHotKeyHostId = 1003;

using yardstick::Px;

HWND g_watched = nullptr;  // the window the poll tests

// Runs the messages waiting now and returns, as a watch's tick must to keep
// its window answering; a quit is left for the message loop.
void PumpStep(HWND dialog) {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    if (IsDialogMessageW(dialog, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  // Focus on the first tab stop, as in a dialog (and in Kestrune).
  if (msg == WM_ACTIVATE && LOWORD(wParam) != WA_INACTIVE && HIWORD(wParam) == 0) {
    SetFocus(GetNextDlgTabItem(hwnd, nullptr, FALSE));
    return 0;
  }
  if (msg == WM_TIMER && wParam == kPollTimerId) {
    PumpStep(hwnd);
    IsWindow(g_watched);  // the answer goes unused: the yardstick only pays for asking
    return 0;
  }
  return yardstick::QuitOnDestroy(hwnd, msg, wParam, lParam);
}

HMENU Menu() {
  HMENU bar = CreateMenu();
  HMENU window = CreatePopupMenu();
  AppendMenuW(window, MF_STRING, kMenuIdExit, L"終了(&X)");
  AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(window), L"ウィンドウ(&W)");
  HMENU help = CreatePopupMenu();
  AppendMenuW(help, MF_STRING, kMenuIdVersion, L"バージョン情報(&V)");
  AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(help), L"へるぷ(&H)");
  return bar;
}

HFONT FormFont(int smaller) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  LOGFONTW font = metrics.lfMessageFont;
  font.lfHeight += font.lfHeight < 0 ? smaller : -smaller;
  return CreateFontIndirectW(&font);
}

unsigned long long ParseNumber(const wchar_t* text) {
  unsigned long long value = 0;
  while (*text == L' ') ++text;
  for (; *text >= L'0' && *text <= L'9'; ++text) value = value * 10 + (*text - L'0');
  return value;
}

// Where the word starts in the command line, or null.
const wchar_t* FindWord(const wchar_t* text, const wchar_t* word) {
  for (; *text != L'\0'; ++text) {
    size_t i = 0;
    while (word[i] != L'\0' && text[i] == word[i]) ++i;
    if (word[i] == L'\0') return text;
  }
  return nullptr;
}

HWND CreateChild(HWND parent, const Child& c, HFONT font) {
  DWORD style = WS_CHILD | WS_CLIPSIBLINGS | c.style;
  if (!(c.state & kHidden)) style |= WS_VISIBLE;
  if (c.state & kDisabled) style |= WS_DISABLED;
  const int height = c.height < 0 ? kLineThicknessPx : Px(c.height);
  HWND child = CreateWindowExW(c.exStyle, c.cls, c.text, style, Px(c.left), Px(c.top), Px(c.width),
                               height, parent, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(c.id)),
                               nullptr, nullptr);
  SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  if (c.state & kChecked) SendMessageW(child, BM_SETCHECK, BST_CHECKED, 0);
  return child;
}

void AddTooltip(HWND tooltip, HWND owner, HWND child, const wchar_t* text) {
  TOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = owner;
  tool.uId = reinterpret_cast<UINT_PTR>(child);
  tool.lpszText = const_cast<wchar_t*>(text);
  SendMessageW(tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

// The hotkey editor fills its host, as Kestrune's does.
void CreateHotKeyEditor(HWND host, HFONT font) {
  HWND editor = CreateWindowExW(0, HOTKEY_CLASSW, L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 0,
                                Px(4575), Px(255), host, nullptr, nullptr, nullptr);
  SendMessageW(editor, HKM_SETRULES, HKCOMB_NONE | HKCOMB_S, MAKELPARAM(HOTKEYF_ALT, 0));
  SendMessageW(editor, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_HOTKEY_CLASS | ICC_PROGRESS_CLASS |
                                                     ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  auto icon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kIconId), IMAGE_ICON, 0, 0,
                                            LR_DEFAULTSIZE | LR_SHARED));
  auto smallIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kIconId), IMAGE_ICON,
                                                 GetSystemMetrics(SM_CXSMICON),
                                                 GetSystemMetrics(SM_CYSMICON), LR_SHARED));
  if (!yardstick::RegisterWindowClass(instance, kClassName, WindowProc, icon, smallIcon)) return 1;
  HWND hwnd = yardstick::CreateMainWindow(instance, kClassName, kTitle, Menu());
  if (!hwnd) return 1;

  HFONT font = FormFont(static_cast<int>(ParseNumber(commandLine)));
  HWND tooltip = CreateWindowExW(
      WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
      CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd, nullptr, instance, nullptr);
  SendMessageW(tooltip, TTM_SETMAXTIPWIDTH, 0, Px(kTooltipWidthTwips));
  for (const Child& c : kChildren) {
    HWND child = CreateChild(hwnd, c, font);
    if (c.tooltip) AddTooltip(tooltip, hwnd, child, c.tooltip);
    if (c.id == kHotKeyHostId) CreateHotKeyEditor(child, font);
  }

  ShowWindow(hwnd, SW_SHOW);
  SetForegroundWindow(hwnd);
  if (FindWord(commandLine, L"box")) {
    MessageBoxW(hwnd, L"ロックオンされたウインドウ名はbench-target-0です", kTitle, MB_OKCANCEL);
    ShowWindow(hwnd, SW_MINIMIZE);
    if (const wchar_t* poll = FindWord(commandLine, L"poll ")) {
      g_watched = reinterpret_cast<HWND>(static_cast<UINT_PTR>(ParseNumber(poll + 5)));
      SetTimer(hwnd, kPollTimerId, kPollPeriodMs, nullptr);
    }
  }
  const int code = yardstick::RunMessageLoop(hwnd);
  DeleteObject(font);
  return code;
}
