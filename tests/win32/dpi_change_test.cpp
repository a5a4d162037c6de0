// The real windows under a change of DPI: each form, made at 96 DPI and then
// told of 144, 120 and 96, must show what the same form made at that DPI
// shows. Wine never changes a running program's DPI nor sends the message, so
// the test sends it, as Windows does when a window moves to a monitor of
// another scale.

#include <windows.h>
// commctrl.h needs windows.h first.
#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "about/frm_about.h"
#include "actions/form2.h"
#include "app/form1.h"
#include "platform/win32/form_window.h"
#include "platform/win32/handles.h"
#include "platform/win32/real_ops.h"
#include "platform/win32/real_runtime.h"
#include "win32/common_controls.h"

namespace kestrune::win32 {
namespace {

enum class Kind { Main, Countdown, About };

const char* NameOf(Kind kind) {
  return kind == Kind::Main ? "form1" : kind == Kind::Countdown ? "Form2" : "frmAbout";
}

std::string SizeOf(HICON icon) {
  ICONINFO info{};
  if (icon == nullptr || !GetIconInfo(icon, &info)) return "none";
  BITMAP bitmap{};
  GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
  if (info.hbmColor) DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);
  return std::to_string(bitmap.bmWidth);
}

// One child window as far as a DPI changes it: where it lies in the form's
// client area, its font's height, an icon's size; its text and state too, so
// that a window laid out again is seen to be the same window.
std::string Describe(HWND child, HWND top) {
  wchar_t cls[64] = {};
  GetClassNameW(child, cls, 64);
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(child)) + 1, L'\0');
  text.resize(
      static_cast<size_t>(GetWindowTextW(child, text.data(), static_cast<int>(text.size()))));
  RECT r;
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, top, reinterpret_cast<POINT*>(&r), 2);
  LOGFONTW font{};
  if (auto hfont = reinterpret_cast<HFONT>(SendMessageW(child, WM_GETFONT, 0, 0)))
    GetObjectW(hfont, sizeof font, &font);
  const auto style = GetWindowLongPtrW(child, GWL_STYLE);
  std::string line = Narrow(cls) + " '" + Narrow(text) + "' " + std::to_string(r.left) + "," +
                     std::to_string(r.top) + "," + std::to_string(r.right) + "," +
                     std::to_string(r.bottom) + " font " + std::to_string(font.lfHeight);
  if (!(style & WS_VISIBLE)) line += " hidden";
  if (style & WS_DISABLED) line += " disabled";
  if (auto icon = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
      icon && lstrcmpiW(cls, L"Static") == 0)
    line += " icon " + SizeOf(icon);
  return line;
}

struct Shot {
  std::string client;
  std::string icons;
  std::vector<std::string> children;
};

Shot Take(HWND top) {
  Shot shot;
  RECT client;
  GetClientRect(top, &client);
  shot.client = std::to_string(client.right) + "x" + std::to_string(client.bottom);
  auto icon = [top](WPARAM which, int index) {
    auto own = reinterpret_cast<HICON>(SendMessageW(top, WM_GETICON, which, 0));
    return SizeOf(own ? own : reinterpret_cast<HICON>(GetClassLongPtrW(top, index)));
  };
  shot.icons = icon(ICON_BIG, GCLP_HICON) + " " + icon(ICON_SMALL, GCLP_HICONSM);
  EnumChildWindows(
      top,
      [](HWND child, LPARAM into) {
        auto* taken = reinterpret_cast<Shot*>(into);
        taken->children.push_back(Describe(child, GetAncestor(child, GA_ROOT)));
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&shot));
  return shot;
}

// One run of the program's forms on the real backend. Its windows go before
// the forms do: the main window's procedure calls into form1.
class Session {
 public:
  HWND Open(Kind kind, int dpi) {
    EXPECT_TRUE(LoadCommonControls());
    if (kind == Kind::Countdown) form_ = std::make_unique<Form2>(form1_, rt_);
    if (kind == Kind::About) form_ = std::make_unique<FrmAbout>(ops_, rt_);
    Form& form = form_ ? *form_ : form1_;
    FormWindow::OverrideNewWindowDpi(dpi);
    rt_.Load(form);
    FormWindow::OverrideNewWindowDpi(0);
    return ToHwnd(rt_.WindowHandle(form));
  }
  ~Session() {
    if (form_) DestroyWindow(ToHwnd(rt_.WindowHandle(*form_)));
    if (const Hwnd main = rt_.WindowHandle(form1_)) {
      form1_.UnhookWindowProc(main);
      form1_.HotKeyRemove();
      DestroyWindow(ToHwnd(main));
    }
    MSG quit;
    while (PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
  }

 private:
  RealWin32Ops ops_;
  RealRuntime rt_;
  Form1 form1_{ops_, rt_};
  std::unique_ptr<Form> form_;
};

// With KESTRUNE_DPI_PICTURES naming a folder, the main window's client area
// goes there as name.bmp, for the eye: docs/images has its pictures from here.
void Picture(HWND top, Kind kind, const std::string& name) {
  const char* folder = std::getenv("KESTRUNE_DPI_PICTURES");
  if (folder == nullptr || kind != Kind::Main) return;
  ShowWindow(top, SW_SHOWNA);
  RedrawWindow(top, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  RECT r;
  GetClientRect(top, &r);
  BITMAPINFOHEADER header{};
  header.biSize = sizeof header;
  header.biWidth = r.right - r.left;
  header.biHeight = r.bottom - r.top;
  header.biPlanes = 1;
  header.biBitCount = 24;
  HDC window = GetDC(top);
  HDC memory = CreateCompatibleDC(window);
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(window, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS,
                                    &bits, nullptr, 0);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, header.biWidth, header.biHeight, window, 0, 0, SRCCOPY);
  SelectObject(memory, previous);
  const DWORD size = static_cast<DWORD>((header.biWidth * 3 + 3) / 4 * 4 * header.biHeight);
  constexpr DWORD kHeaders = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  const BITMAPFILEHEADER file{0x4D42, kHeaders + size, 0, 0, kHeaders};
  std::ofstream out(std::string(folder) + "/" + name + ".bmp", std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(&header), sizeof header);
  out.write(static_cast<const char*>(bits), size);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(top, window);
}

Shot FreshAt(Kind kind, int dpi) {
  Session session;
  HWND hwnd = session.Open(kind, dpi);
  Picture(hwnd, kind, "dpi-fresh-" + std::to_string(dpi));
  return Take(hwnd);
}

void ExpectSame(const Shot& changed, const Shot& fresh) {
  EXPECT_EQ(changed.client, fresh.client);
  EXPECT_EQ(changed.icons, fresh.icons);
  ASSERT_EQ(changed.children.size(), fresh.children.size());
  for (size_t i = 0; i < changed.children.size(); ++i)
    EXPECT_EQ(changed.children[i], fresh.children[i]);
}

// Where Windows would put the window at the new DPI: scaled about its corner.
RECT Suggested(HWND hwnd, int from, int to) {
  RECT r;
  GetWindowRect(hwnd, &r);
  return {r.left, r.top, r.left + MulDiv(r.right - r.left, to, from),
          r.top + MulDiv(r.bottom - r.top, to, from)};
}

TEST(DpiChange, EachFormShowsWhatOneMadeAtTheNewDpiShows) {
  // The client area at each DPI, from the design's twips.
  const std::map<std::pair<Kind, int>, std::string> clients = {
      {{Kind::Main, 192}, "820x530"},      {{Kind::Main, 144}, "615x398"},
      {{Kind::Main, 120}, "513x331"},      {{Kind::Main, 96}, "410x265"},
      {{Kind::Countdown, 192}, "718x154"}, {{Kind::Countdown, 144}, "539x116"},
      {{Kind::Countdown, 120}, "449x96"},  {{Kind::Countdown, 96}, "359x77"},
      {{Kind::About, 192}, "614x252"},     {{Kind::About, 144}, "461x189"},
      {{Kind::About, 120}, "384x158"},     {{Kind::About, 96}, "307x126"},
  };
  // The title bar's icons, large and small: 32 and 16 pixels at 96 DPI.
  const std::map<int, std::string> icons = {
      {192, "64 32"}, {144, "48 24"}, {120, "40 20"}, {96, "32 16"}};
  const int steps[] = {192, 144, 120, 96};
  for (Kind kind : {Kind::Main, Kind::Countdown, Kind::About}) {
    std::map<int, Shot> fresh;
    for (int dpi : steps) fresh[dpi] = FreshAt(kind, dpi);
    // Minimised (as while watching), the suggestion is the icon's rectangle:
    // restored, the window is still the one made at the new DPI, in the
    // frame Windows draws at that DPI around the same client area.
    for (int to : {192, 144, 120}) {
      if (kind != Kind::Main) break;
      SCOPED_TRACE("minimised, 96 to " + std::to_string(to));
      Session minimised;
      HWND main = minimised.Open(kind, 96);
      RECT before;
      GetWindowRect(main, &before);
      ShowWindow(main, SW_MINIMIZE);
      RECT suggested = Suggested(main, 96, to);
      SendMessageW(main, WM_DPICHANGED, MAKEWPARAM(to, to), reinterpret_cast<LPARAM>(&suggested));
      EXPECT_TRUE(IsIconic(main));
      EXPECT_NE(GetActiveWindow(), main);
      ShowWindow(main, SW_RESTORE);
      RECT after;
      GetWindowRect(main, &after);
      EXPECT_EQ(after.left, before.left);
      EXPECT_EQ(after.top, before.top);
      RECT frame{0, 0, 0, 0};
      sscanf(fresh[to].client.c_str(), "%ldx%ld", &frame.right, &frame.bottom);
      AdjustWindowRectExForDpi(&frame, static_cast<DWORD>(GetWindowLongPtrW(main, GWL_STYLE)), TRUE,
                               static_cast<DWORD>(GetWindowLongPtrW(main, GWL_EXSTYLE)),
                               static_cast<UINT>(to));
      EXPECT_EQ(after.right - after.left, frame.right - frame.left);
      EXPECT_EQ(after.bottom - after.top, frame.bottom - frame.top);
      // Wine draws every frame at the one DPI it gives the process, so the
      // client area it leaves inside is not the one Windows leaves.
      Shot restored = Take(main);
      restored.client = fresh[to].client;
      ExpectSame(restored, fresh[to]);
    }
    Session session;
    HWND hwnd = session.Open(kind, 96);
    ASSERT_NE(hwnd, nullptr) << NameOf(kind);
    int dpi = 96;
    for (int to : steps) {
      SCOPED_TRACE(std::string(NameOf(kind)) + " from " + std::to_string(dpi) + " to " +
                   std::to_string(to));
      RECT suggested = Suggested(hwnd, dpi, to);
      SendMessageW(hwnd, WM_DPICHANGED, MAKEWPARAM(to, to), reinterpret_cast<LPARAM>(&suggested));
      Picture(hwnd, kind, "dpi-change-" + std::to_string(dpi) + "-to-" + std::to_string(to));
      dpi = to;
      EXPECT_EQ(fresh[to].client, clients.at({kind, to}));
      EXPECT_EQ(fresh[to].icons, icons.at(to));
      ExpectSame(Take(hwnd), fresh[to]);
    }
    // No DPI that Windows has (it scales from 50 % to 500 %): nothing changes.
    for (int impossible : {0, 47, 481, 65535}) {
      SCOPED_TRACE(std::string(NameOf(kind)) + " told of " + std::to_string(impossible));
      RECT suggested = Suggested(hwnd, 96, 96);
      SendMessageW(hwnd, WM_DPICHANGED, MAKEWPARAM(impossible, impossible),
                   reinterpret_cast<LPARAM>(&suggested));
      ExpectSame(Take(hwnd), fresh[96]);
    }
  }
}

}  // namespace
}  // namespace kestrune::win32
