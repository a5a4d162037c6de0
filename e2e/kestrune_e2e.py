"""End-to-end harness: drives the real Kestrune.exe under Wine, as a user would.

One Wine session serves the whole run: a virtual display (Xvfb), a fresh Wine
prefix booted once, and the test driver (kdriver.exe), a console program under
Wine that finds windows by their texts, reads controls and message boxes and
works them. Each test gets its own copy of Kestrune.exe in a fresh folder, so
default.ini (beside the exe) can be prepared before the start and read back.

Writing a test (one file per area, e2e/test_<area>.py):

    from kestrune_e2e import KestruneTestCase, TEXTS, IDYES

    class SettingsTest(KestruneTestCase):
        def test_saved_on_close(self):
            app = self.start_app(ini=b"...")        # copied, started, main window up
            form = app.dump()                      # the main window and its controls
            self.assertFalse(form.control(TEXTS["kStartWatch"]).enabled)
            app.close()                            # posts WM_CLOSE
            app.answer(app.wait_msgbox(TEXTS["kQuitQuestion"]), IDYES)
            app.wait_exit()
            data = app.read_ini()                  # bytes, as the program wrote them

Read-only checks of one start can share it: start_class_app() in setUpClass.
Keys go through wine.xdotool("key", ...); app.bring_to_front() first, as
there is no window manager.

Texts, layout and menu ids come from expected.py (TEXTS, LAYOUT, MENU_IDS),
typed from the design and never read from src/. Every wait is bounded and raises E2EError, saving a
screenshot under e2e/out/. Nothing blocks on the program: actions that may
open a modal box are posted.

Run all end-to-end tests:  python3 e2e/kestrune_e2e.py [unittest args]
Environment:
  KESTRUNE_EXE, KESTRUNE_DRIVER  the programs (default build/windows/*.exe)
  KESTRUNE_E2E_DISPLAY=current   use $DISPLAY instead of starting Xvfb
  KESTRUNE_E2E_KEEP=1            keep the Wine prefix and test folders
  KESTRUNE_E2E_SUMMARY=<file>    write "passed failed skipped" counts there
"""

from __future__ import annotations

import atexit
import json
import os
import queue
import random
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest
from dataclasses import dataclass, field
from pathlib import Path
from typing import Callable, Optional, TypeVar

REPO = Path(__file__).resolve().parent.parent
OUT_DIR = REPO / "e2e" / "out"

IDOK, IDCANCEL, IDYES, IDNO = 1, 2, 6, 7
TWIPS_PER_INCH = 1440

BOOT_TIMEOUT = 240  # Wine's first boot of a prefix
WINDOW_TIMEOUT = 30  # a program start, including Wine loading it
# Without a window manager Wine takes about 2 s to hide or destroy a window.
ACTION_TIMEOUT = 15
DRIVER_TIMEOUT = 20


class E2EError(AssertionError):
    """A wait ran out or the test machinery failed; fails the test."""


T = TypeVar("T")


def wait_until(probe: Callable[[], Optional[T]], timeout: float, what: str,
               interval: float = 0.15) -> T:
    """Calls probe until it returns something other than None/False."""
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if value is not None and value is not False:
            return value
        if time.monotonic() >= deadline:
            _screenshot_on_failure(what)
            raise E2EError(f"timed out after {timeout:.0f} s waiting for {what}")
        time.sleep(interval)


# --- what the user should see --------------------------------------------------

# Typed from the design in expected.py; never read from src/.
sys.path.insert(0, str(Path(__file__).resolve().parent))
from expected import LAYOUT, MENU_IDS, TEXTS, LayoutRow  # noqa: E402,F401


def twips_to_pixels(twips: int, dpi: int) -> int:
    return round(twips * dpi / TWIPS_PER_INCH)


def client_origin_twips(name: str) -> tuple[int, int]:
    """A control's top-left in twips from the main window's client area."""
    left = top = 0
    row: Optional[LayoutRow] = LAYOUT[name]
    while row is not None:
        left, top = left + row.left, top + row.top
        row = LAYOUT[row.container] if row.container else None
    return left, top


# --- what the driver reports -------------------------------------------------

BS_TYPEMASK = 0xF
_BUTTON_KINDS = {0: "push", 1: "push", 2: "check", 3: "check", 4: "radio", 5: "check",
                 6: "check", 7: "group", 9: "radio"}


@dataclass
class Rect:
    left: int
    top: int
    right: int
    bottom: int

    @property
    def width(self) -> int:
        return self.right - self.left

    @property
    def height(self) -> int:
        return self.bottom - self.top

    def contains(self, other: "Rect") -> bool:
        return (self.left <= other.left and self.top <= other.top and
                other.right <= self.right and other.bottom <= self.bottom)


@dataclass
class Control:
    hwnd: int
    parent: int
    id: int
    cls: str
    text: str
    visible: bool
    enabled: bool
    style: int
    rect: Rect  # in the main window's client coordinates
    checked: Optional[int] = None
    progress: Optional[int] = None

    @property
    def kind(self) -> str:
        """push, check, radio, group for buttons; else the class in lower case."""
        if self.cls.lower() == "button":
            return _BUTTON_KINDS.get(self.style & BS_TYPEMASK, "button")
        return self.cls.lower()


@dataclass
class WindowDump:
    hwnd: int
    caption: str
    cls: str
    visible: bool
    enabled: bool
    minimized: bool
    rect: Rect
    client: Rect  # screen coordinates
    pid: int
    dpi: int
    has_menu: bool
    controls: list[Control] = field(default_factory=list)

    @classmethod
    def parse(cls, data: dict) -> "WindowDump":
        controls = [Control(c["hwnd"], c["parent"], c["id"], c["class"], c["text"], c["visible"],
                            c["enabled"], c["style"], Rect(**c["rect"]), c.get("checked"),
                            c.get("progress")) for c in data["controls"]]
        return cls(data["hwnd"], data["caption"], data["class"], data["visible"], data["enabled"],
                   data["minimized"], Rect(**data["rect"]), Rect(**data["client"]), data["pid"],
                   data["dpi"], data["has_menu"], controls)

    def controls_with(self, text: Optional[str] = None, kind: Optional[str] = None) -> list[Control]:
        return [c for c in self.controls
                if (text is None or c.text == text) and (kind is None or c.kind == kind)]

    def control(self, text: Optional[str] = None, kind: Optional[str] = None) -> Control:
        """The one control with this text and/or kind; fails on none or several."""
        found = self.controls_with(text, kind)
        if len(found) != 1:
            raise E2EError(f"expected one control (text={text!r}, kind={kind!r}), "
                           f"found {len(found)}: {[(c.cls, c.text) for c in self.controls]}")
        return found[0]

    def parent_of(self, control: Control) -> Optional[Control]:
        return next((c for c in self.controls if c.hwnd == control.parent), None)

    def takes_input(self, control: Control) -> bool:
        """Enabled itself and inside no disabled container window."""
        current: Optional[Control] = control
        while current is not None:
            if not current.enabled:
                return False
            current = self.parent_of(current)
        return self.enabled

    def frame_of(self, control: Control) -> Optional[Control]:
        """The frame holding a control: its container window if it has one,
        else the smallest group box drawn around it."""
        parent = self.parent_of(control)
        if parent is not None:
            return parent
        boxes = [c for c in self.controls if c.kind == "group" and c.rect.contains(control.rect)]
        return min(boxes, key=lambda c: c.rect.width * c.rect.height, default=None)


@dataclass
class MessageBox:
    hwnd: int
    caption: str
    text: str
    pid: int
    buttons: dict[str, int]  # button text -> id

    @classmethod
    def parse(cls, data: dict) -> "MessageBox":
        return cls(data["hwnd"], data["caption"], data["text"], data["pid"],
                   {b["text"]: b["id"] for b in data["buttons"]})

    @property
    def button_ids(self) -> set[int]:
        return set(self.buttons.values())


# --- the Wine session ----------------------------------------------------------


class Driver:
    """kdriver.exe as a long-lived child: one command line in, one JSON line out."""

    def __init__(self, exe: Path, env: dict[str, str], log: Path):
        self._log = open(log, "wb")
        self._process = subprocess.Popen(["wine", str(exe)], stdin=subprocess.PIPE,
                                         stdout=subprocess.PIPE, stderr=self._log, env=env)
        self._lines: queue.Queue[Optional[bytes]] = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self) -> None:
        assert self._process.stdout is not None
        for line in self._process.stdout:
            self._lines.put(line)
        self._lines.put(None)

    def call(self, *words: object, timeout: float = DRIVER_TIMEOUT, check: bool = True) -> dict:
        line = " ".join(str(w) for w in words)
        try:
            assert self._process.stdin is not None
            self._process.stdin.write(line.encode("utf-8") + b"\n")
            self._process.stdin.flush()
            answer = self._lines.get(timeout=timeout)
        except (OSError, queue.Empty) as error:
            raise E2EError(f"driver gave no answer to {line!r}: {error!r}") from error
        if answer is None:
            raise E2EError(f"driver ended while answering {line!r}")
        result = json.loads(answer.decode("utf-8"))
        if check and not result.get("ok"):
            raise E2EError(f"driver: {line!r} failed: {result.get('error')}")
        return result

    def stop(self) -> None:
        try:
            if self._process.poll() is None and self._process.stdin is not None:
                self._process.stdin.write(b"quit\n")
                self._process.stdin.close()
            self._process.wait(timeout=10)
        except (OSError, subprocess.TimeoutExpired):
            self._process.kill()
            self._process.wait()
        self._log.close()


def _run_bounded(command: list[str], env: dict[str, str], timeout: float, log) -> None:
    result = subprocess.run(command, env=env, stdout=log, stderr=log, timeout=timeout)
    if result.returncode != 0:
        raise E2EError(f"{' '.join(command)} failed with {result.returncode}")


def _read_line(fd: int, timeout: float) -> bytes:
    """Reads up to a newline. Xvfb writes its display number and the newline
    separately and dies if the pipe is closed in between."""
    data = b""
    deadline = time.monotonic() + timeout
    while not data.endswith(b"\n"):
        ready, _, _ = select.select([fd], [], [], max(0.0, deadline - time.monotonic()))
        chunk = os.read(fd, 64) if ready else b""
        if not chunk:
            break
        data += chunk
    return data


class WineSession:
    """Xvfb, a fresh Wine prefix and the driver, shared by every test of a run."""

    def __init__(self, exe: Path, driver_exe: Path, use_current_display: bool = False):
        self.exe = exe
        self.driver_exe = driver_exe
        self.use_current_display = use_current_display
        self.workdir = Path(tempfile.mkdtemp(prefix="kestrune-e2e-"))
        self.prefix = self.workdir / "prefix"
        self.display = ""
        self.env: dict[str, str] = {}
        self.driver: Optional[Driver] = None
        self._xvfb: Optional[subprocess.Popen] = None
        self._apps = 0

    def start(self) -> None:
        for program in (self.exe, self.driver_exe):
            if not program.is_file():
                raise E2EError(f"{program} is missing: build the windows preset first")
        self.display = os.environ["DISPLAY"] if self.use_current_display else self._start_xvfb()
        self.env = dict(os.environ, DISPLAY=self.display, WINEPREFIX=str(self.prefix),
                        WINEDEBUG="-all", LC_ALL="ja_JP.UTF-8",
                        WINEDLLOVERRIDES="mscoree,mshtml=", WINEARCH="win64")
        with open(self.workdir / "wineboot.log", "wb") as log:
            _run_bounded(["wineboot", "-i"], self.env, BOOT_TIMEOUT, log)
        self.driver = Driver(self.driver_exe, self.env, self.workdir / "driver.log")
        self.driver.call("ping", timeout=60)
        # Wine's desktop windows show that the display and the server work.
        wait_until(lambda: self.driver.call("windows")["windows"], 30, "Wine's desktop")

    def _stop_driver_and_server(self) -> None:
        if self.driver is not None:
            self.driver.stop()
            self.driver = None
        if self.env:
            for option in ("-k", "-w"):
                subprocess.run(["wineserver", option], env=self.env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, timeout=30, check=False)

    def _start_xvfb(self) -> str:
        # Xvfb's own search starts at :0 and trusts lock files alone; on a
        # shared machine another server may hold a socket without a lock, so
        # pick a number in a high range that has neither.
        rng = random.Random()
        for _ in range(8):
            number = rng.randrange(100, 900)
            if any(Path(p).exists() for p in (f"/tmp/.X{number}-lock",
                                               f"/tmp/.X11-unix/X{number}")):
                continue
            if self._try_xvfb(number):
                return f":{number}"
        raise E2EError("could not start Xvfb")

    def _try_xvfb(self, number: int) -> bool:
        read_end, write_end = os.pipe()
        xvfb = subprocess.Popen(
            ["Xvfb", f":{number}", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24",
             "-nolisten", "tcp"], pass_fds=(write_end,), stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
        os.close(write_end)
        try:
            reported = _read_line(read_end, 30).decode().strip()
        finally:
            os.close(read_end)
        if reported == str(number) and xvfb.poll() is None:
            self._xvfb = xvfb
            return True
        xvfb.kill()
        xvfb.wait()
        return False

    def stop(self) -> None:
        self._stop_driver_and_server()
        if self._xvfb is not None:
            self._xvfb.terminate()
            try:
                self._xvfb.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self._xvfb.kill()
            self._xvfb = None
        if os.environ.get("KESTRUNE_E2E_KEEP") != "1":
            shutil.rmtree(self.workdir, ignore_errors=True)

    def new_folder(self) -> Path:
        self._apps += 1
        folder = self.workdir / f"app{self._apps}"
        folder.mkdir()
        return folder

    def screenshot(self, name: str) -> Optional[Path]:
        if not self.display:
            return None
        OUT_DIR.mkdir(parents=True, exist_ok=True)
        path = OUT_DIR / (re.sub(r"[^\w.-]+", "_", name)[:80] + ".png")
        try:
            subprocess.run(["import", "-display", self.display, "-window", "root", str(path)],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=20,
                           check=True)
        except (OSError, subprocess.SubprocessError):
            return None
        return path

    def xdotool(self, *args: str) -> None:
        subprocess.run(["xdotool", *args], env=self.env, timeout=10, check=True)

    def sibling(self) -> "WineSession":
        """A Wine session of its own (prefix and server) on this display, not yet
        started: for tests whose program ends the session or changes its server."""
        own = WineSession(self.exe, self.driver_exe)
        own._start_xvfb = lambda: self.display  # share the display, not the server
        return own

    def windows_path(self, path: Path) -> str:
        """How programs in this session name a Linux path."""
        return subprocess.run(["winepath", "-w", str(path)], env=self.env, capture_output=True,
                              text=True, timeout=30).stdout.strip()


_session: Optional[WineSession] = None


def session() -> WineSession:
    """The run's Wine session, started on first use and stopped at exit."""
    global _session
    if _session is None:
        exe = Path(os.environ.get("KESTRUNE_EXE", REPO / "build/windows/Kestrune.exe"))
        driver = Path(os.environ.get("KESTRUNE_DRIVER", REPO / "build/windows/kdriver.exe"))
        current = os.environ.get("KESTRUNE_E2E_DISPLAY") == "current"
        candidate = WineSession(exe, driver, current)
        atexit.register(candidate.stop)
        candidate.start()
        _session = candidate
    return _session


def _screenshot_on_failure(what: str) -> None:
    if _session is not None:
        shot = _session.screenshot(f"timeout-{what}")
        if shot:
            print(f"\n[e2e] screenshot: {shot}", file=sys.stderr)


# --- one copy of the program -------------------------------------------------------


class KestruneApp:
    """One Kestrune.exe in its own folder; several instances may share it."""

    def __init__(self, wine: WineSession):
        self.wine = wine
        self.driver = wine.driver
        self.folder = wine.new_folder()
        self.exe = self.folder / "Kestrune.exe"
        shutil.copyfile(wine.exe, self.exe)
        self.process: Optional[subprocess.Popen] = None
        # The environment the program starts in; a test may change it first.
        self.env = dict(wine.env)
        self.hwnd = 0
        self.pid = 0  # the Windows process id, from the main window
        self._others: list[subprocess.Popen] = []

    @property
    def ini_path(self) -> Path:
        return self.folder / TEXTS["kSettingsFileName"]

    def write_ini(self, data: bytes) -> None:
        self.ini_path.write_bytes(data)

    def read_ini(self) -> Optional[bytes]:
        return self.ini_path.read_bytes() if self.ini_path.exists() else None

    def spawn(self) -> subprocess.Popen:
        """Starts an instance of this copy without waiting for anything."""
        log = open(self.folder / f"wine-{len(self._others)}.log", "wb")
        process = subprocess.Popen(["wine", str(self.exe)], cwd=self.folder, env=self.env,
                                   stdout=log, stderr=log)
        log.close()
        self._others.append(process)
        return process

    def main_windows(self) -> list[dict]:
        found = self.driver.call("find", TEXTS["kAppTitle"])["windows"]
        return [w for w in found if w["class"] != "#32770"]

    def launch(self, timeout: float = WINDOW_TIMEOUT) -> "KestruneApp":
        """Starts the program and waits until its main window is visible."""
        before = {w["hwnd"] for w in self.main_windows()}
        self.process = self.spawn()

        def shown() -> Optional[dict]:
            if self.process.poll() is not None:
                raise E2EError(f"Kestrune ended at start with {self.process.returncode}")
            return next((w for w in self.main_windows()
                         if w["hwnd"] not in before and w["visible"]), None)

        window = wait_until(shown, timeout, "the main window")
        self.hwnd, self.pid = window["hwnd"], window["pid"]
        return self

    # Reading the window.
    def dump(self, hwnd: int = 0) -> WindowDump:
        return WindowDump.parse(self.driver.call("dump", hwnd or self.hwnd))

    def window_exists(self) -> bool:
        return any(w["hwnd"] == self.hwnd for w in self.main_windows())

    def is_running(self) -> bool:
        return self.process is not None and self.process.poll() is None

    # Acting on it; everything is posted, so a modal box never blocks the test.
    def click(self, text: str) -> None:
        self.driver.call("click", self.dump().control(text).hwnd)

    def command(self, menu_id: int) -> None:
        self.driver.call("command", self.hwnd, menu_id)

    def close(self) -> None:
        self.driver.call("close", self.hwnd)

    def bring_to_front(self, hwnd: int = 0) -> None:
        self.driver.call("foreground", hwnd or self.hwnd)

    # Message boxes.
    def msgboxes(self, pid: int = 0) -> list[MessageBox]:
        return [MessageBox.parse(b) for b in self.driver.call("msgboxes", pid)["boxes"]]

    def wait_msgbox(self, text: Optional[str] = None, pid: Optional[int] = None,
                    timeout: float = ACTION_TIMEOUT) -> MessageBox:
        """Waits for a message box of this program's main process (or of pid),
        with this text if given."""
        owner = self.pid if pid is None else pid

        def found() -> Optional[MessageBox]:
            return next((b for b in self.msgboxes(owner) if text is None or b.text == text), None)

        return wait_until(found, timeout, f"a message box {text!r}")

    def answer(self, box: MessageBox, button_id: int, timeout: float = ACTION_TIMEOUT) -> None:
        """Presses a button of the box and waits until the box has gone."""
        if button_id not in box.button_ids:
            raise E2EError(f"box {box.text!r} has no button {button_id}: {box.buttons}")
        self.driver.call("answer", box.hwnd, button_id)
        wait_until(lambda: all(b.hwnd != box.hwnd for b in self.msgboxes(box.pid)), timeout,
                   f"the box {box.text!r} to close")

    def no_msgbox(self, pid: Optional[int] = None, settle: float = 1.0) -> bool:
        """True when no box of the process shows after waiting a moment."""
        time.sleep(settle)
        return not self.msgboxes(self.pid if pid is None else pid)

    # The end.
    def wait_exit(self, process: Optional[subprocess.Popen] = None,
                  timeout: float = ACTION_TIMEOUT) -> int:
        process = process or self.process
        assert process is not None
        try:
            return process.wait(timeout=timeout)
        except subprocess.TimeoutExpired as error:
            _screenshot_on_failure("process-exit")
            raise E2EError(f"Kestrune still running after {timeout:.0f} s") from error

    def cleanup(self) -> None:
        if self.pid and self.is_running():
            try:
                self.driver.call("kill", self.pid)
            except E2EError:
                pass
        for process in self._others:
            if process.poll() is None:
                process.kill()
            process.wait(timeout=10)


class KestruneTestCase(unittest.TestCase):
    """Base of the end-to-end tests: the shared session and per-test copies."""

    wine: WineSession

    @classmethod
    def setUpClass(cls) -> None:
        cls.wine = session()

    def new_app(self, ini: Optional[bytes] = None) -> KestruneApp:
        """A fresh copy of the program, not started; cleaned up after the test."""
        app = KestruneApp(self.wine)
        self.addCleanup(app.cleanup)
        if ini is not None:
            app.write_ini(ini)
        return app

    def start_app(self, ini: Optional[bytes] = None) -> KestruneApp:
        return self.new_app(ini).launch()

    @classmethod
    def start_class_app(cls, ini: Optional[bytes] = None) -> KestruneApp:
        """One start shared by the read-only tests of a class (call it in
        setUpClass after super().setUpClass())."""
        app = KestruneApp(cls.wine)
        cls.addClassCleanup(app.cleanup)
        if ini is not None:
            app.write_ini(ini)
        return app.launch()


# --- running ---------------------------------------------------------------------


class _CountingResult(unittest.TextTestResult):
    def __init__(self, *args, **kwargs):
        super().__init__(*args, **kwargs)
        self.passed = 0

    def addSuccess(self, test):
        super().addSuccess(test)
        self.passed += 1

    def addExpectedFailure(self, test, err):
        super().addExpectedFailure(test, err)
        self.passed += 1


def _stop_on_signal(_signum, _frame) -> None:
    # unittest records SystemExit as a test error and goes on; an interrupt
    # stops the run, and atexit then stops Wine and Xvfb.
    raise KeyboardInterrupt


def main(argv: list[str]) -> int:
    signal.signal(signal.SIGTERM, _stop_on_signal)
    signal.signal(signal.SIGHUP, _stop_on_signal)
    sys.path.insert(0, str(Path(__file__).parent))
    loader = unittest.defaultTestLoader
    suite = (loader.loadTestsFromNames(argv) if argv else
             loader.discover(str(Path(__file__).parent), pattern="test_*.py"))
    started = time.monotonic()
    result = unittest.TextTestRunner(verbosity=2, resultclass=_CountingResult).run(suite)
    # A failed class set-up counts once, as the tests it stopped never ran.
    failed = len(result.failures) + len(result.errors) + len(result.unexpectedSuccesses)
    skipped = len(result.skipped)
    passed = result.passed
    print(f"end-to-end: {passed} passed, {failed} failed, {skipped} skipped "
          f"in {time.monotonic() - started:.0f} s")
    summary = os.environ.get("KESTRUNE_E2E_SUMMARY")
    if summary:
        Path(summary).write_text(f"{passed} {failed} {skipped}\n")
    return 0 if failed == 0 and passed > 0 else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
