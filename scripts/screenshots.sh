#!/usr/bin/env bash
# Takes the user guide's pictures of the real program under Xvfb and Wine and
# writes them to docs/images/ (PNG, cropped to each window):
#   main-window.png, capture-confirmation.png, countdown.png, about.png,
#   main-window-96dpi.png, main-window-144dpi.png
#
#   bash scripts/screenshots.sh
#
# KESTRUNE_EXE and KESTRUNE_DRIVER name prebuilt programs; otherwise the
# windows preset is built. Japanese text needs a CJK font on the Linux side.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/docs/images"

# Wine, Xvfb, xdotool, ImageMagick and a Japanese font come from Debian
# packages, installed with the rest of what the project needs when missing.
ensure_tools() {
  bash "$root/scripts/install-deps.sh"
}

build() {
  if [ -n "${KESTRUNE_EXE:-}" ] && [ -n "${KESTRUNE_DRIVER:-}" ]; then return; fi
  (cd "$root" && cmake --preset windows >/dev/null && cmake --build --preset windows -j"$(nproc)" >/dev/null)
  export KESTRUNE_EXE="$root/build/windows/Kestrune.exe"
  export KESTRUNE_DRIVER="$root/build/windows/kdriver.exe"
}

ensure_tools
build
mkdir -p "$out"
exec python3 - "$root" "$out" <<'PYTHON'
import subprocess
import sys
import time
from pathlib import Path

root, out = Path(sys.argv[1]), Path(sys.argv[2])
sys.path.insert(0, str(root / "e2e"))
from expected import MENU_IDS, TEXTS  # noqa: E402
from kestrune_e2e import KestruneApp  # noqa: E402
from window_dump import IDOK, IDYES  # noqa: E402
from wine_session import (ACTION_TIMEOUT, WINDOW_TIMEOUT, Driver, E2EError,  # noqa: E402
                          session, wait_until)

# Ctrl+Alt+W, Check1 ticked (so the action row is enabled), suspend selected.
SETTINGS = b"\r\n".join([
    b"/HotKey(bShift)", b"False", b"/HotKey(bCtrl)", b"True", b"/HotKey(bAlt)", b"True",
    b"/HotKey(sChar)", b"W", b"/check1.Value", b"1", b"/Option1().Value",
    b"True|False|False|False|False|False", b"/txtFileName.text", b"", b""])
SETTLE = 1.0  # lets Wine finish painting before a picture
DESKTOP_SIZE = "1024x768"


def shoot(wine, hwnd, name):
    """Crops the screen to one window's rectangle (the virtual desktop's X
    window sits at the screen's origin, so its coordinates are the screen's)."""
    time.sleep(SETTLE)
    rect = wine.driver.call("dump", hwnd)["rect"]
    width, height = rect["right"] - rect["left"], rect["bottom"] - rect["top"]
    path = out / name
    subprocess.run(["import", "-display", wine.display, "-window", "root", "-crop",
                    f"{width}x{height}+{rect['left']}+{rect['top']}", "+repage", str(path)],
                   check=True, timeout=30)
    print(f"screenshots: {path} ({width}x{height})")


def reg_add(wine, key, name, value, kind="REG_SZ"):
    subprocess.run(["wine", "reg", "add", key, "/v", name, "/t", kind, "/d", str(value), "/f"],
                   env=wine.env, check=True, capture_output=True, timeout=60)


def restart(wine, tag):
    """Wine reads the desktop and the DPI when its processes start."""
    wine.driver.stop()
    subprocess.run(["wineserver", "-k"], env=wine.env, check=False, timeout=60)
    subprocess.run(["wineserver", "-w"], env=wine.env, check=False, timeout=60)
    wine.driver = Driver(wine.driver_exe, wine.env, wine.workdir / f"driver-{tag}.log")
    wine.driver.call("ping", timeout=60)


def use_desktop(wine):
    """Inside a Wine virtual desktop Wine draws the window frames and title
    bars itself, as Windows does; plain Xvfb has no window manager to."""
    reg_add(wine, r"HKCU\Software\Wine\Explorer", "Desktop", "Default")
    reg_add(wine, r"HKCU\Software\Wine\Explorer\Desktops", "Default", DESKTOP_SIZE)
    restart(wine, "desktop")


def set_dpi(wine, dpi):
    for key in (r"HKCU\Control Panel\Desktop",
                r"HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts"):
        reg_add(wine, key, "LogPixels", dpi, "REG_DWORD")
    restart(wine, f"{dpi}dpi")


def other_window(app, text):
    """A visible top-level window of the program besides the main one that
    holds a control with this text."""
    for window in app.driver.call("windows", app.pid)["windows"]:
        if window["hwnd"] != app.hwnd and window["visible"] and window["class"] != "#32770":
            if app.dump(window["hwnd"]).controls_with(text):
                return window["hwnd"]
    return None


def start_notepad(wine):
    subprocess.Popen(["wine", "notepad"], env=wine.env, stdout=subprocess.DEVNULL,
                     stderr=subprocess.DEVNULL)

    def found():
        windows = wine.driver.call("windows", 0)["windows"]
        return next((w for w in windows if w["class"] == "Notepad" and w["visible"]), None)

    return wait_until(found, WINDOW_TIMEOUT, "notepad")


def press_hotkey_on(wine, notepad, app):
    app.bring_to_front(notepad["hwnd"])
    # Keys reach Wine through the desktop's X window, which needs the X focus.
    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "Wine desktop"],
                           env=wine.env, capture_output=True, text=True, timeout=10).stdout.split()
    if not found:
        raise E2EError("no X window for the Wine desktop")
    wine.xdotool("windowfocus", "--sync", found[-1])
    wine.xdotool("key", "ctrl+alt+w")


def main_window(wine, name):
    app = KestruneApp(wine)
    app.write_ini(SETTINGS)
    app.launch()
    shoot(wine, app.hwnd, name)
    return app


def close(app):
    app.close()
    app.answer(app.wait_msgbox(TEXTS["kQuitQuestion"]), IDYES)
    app.wait_exit()


def tour(wine):
    app = main_window(wine, "main-window.png")
    shoot(wine, app.hwnd, "main-window-96dpi.png")

    notepad = start_notepad(wine)
    app.click(TEXTS["kSelectPrompt"])
    wait_until(lambda: app.dump().controls_with(TEXTS["kArmedCaption"]), ACTION_TIMEOUT,
               "the armed caption")
    press_hotkey_on(wine, notepad, app)
    box = app.wait_msgbox()
    shoot(wine, box.hwnd, "capture-confirmation.png")
    app.answer(box, IDOK)

    app.click(TEXTS["kStartWatch"])
    wait_until(lambda: app.dump().controls_with(TEXTS["kStopWatch"]), ACTION_TIMEOUT,
               "the watch to start")
    app.driver.call("close", notepad["hwnd"])
    countdown = wait_until(lambda: other_window(app, TEXTS["kCancelCountdown"]), ACTION_TIMEOUT,
                           "the countdown", interval=0.05)
    shoot(wine, countdown, "countdown.png")
    app.driver.call("click", app.dump(countdown).control(TEXTS["kCancelCountdown"]).hwnd)
    wait_until(lambda: other_window(app, TEXTS["kCancelCountdown"]) is None, ACTION_TIMEOUT,
               "the countdown to close")

    app.command(MENU_IDS["kMenuIdVersion"])
    about = wait_until(lambda: other_window(app, TEXTS["kSysInfoButton"]), ACTION_TIMEOUT,
                       "the About box")
    shoot(wine, about, "about.png")
    app.driver.call("click", app.dump(about).control(TEXTS["kOk"]).hwnd)
    wait_until(lambda: other_window(app, TEXTS["kSysInfoButton"]) is None, ACTION_TIMEOUT,
               "the About box to close")
    close(app)


wine = session()
try:
    use_desktop(wine)
    tour(wine)
    set_dpi(wine, 144)
    close(main_window(wine, "main-window-144dpi.png"))
finally:
    wine.stop()
PYTHON
