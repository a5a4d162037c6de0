"""End-to-end harness: drives the real Kestrune.exe under Wine, as a user would.

This module holds one copy of the program (KestruneApp), the tests' base
class and the runner. One Wine session serves the whole run (wine_session.py:
Xvfb, a Wine prefix and the driver); what the driver reports is read through
window_dump.py. Each test gets its own copy of Kestrune.exe in a fresh folder,
so default.ini (beside the exe) can be prepared before the start and read
back.

Writing a test (one file per area, e2e/test_<area>.py):

    from expected import TEXTS
    from kestrune_e2e import KestruneTestCase
    from window_dump import IDYES

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
typed from the design and never read from src/. Every wait is bounded and
raises E2EError (wine_session.py), saving a screenshot under e2e/out/.
Nothing blocks on the program: actions that may open a modal box are posted.

Run all end-to-end tests:  python3 e2e/kestrune_e2e.py [unittest args]
Environment:
  KESTRUNE_EXE, KESTRUNE_DRIVER  the programs (default build/windows/*.exe)
  KESTRUNE_E2E_DISPLAY=current   use $DISPLAY instead of starting Xvfb
  KESTRUNE_E2E_KEEP=1            keep the Wine prefix and test folders
  KESTRUNE_E2E_SUMMARY=<file>    write "passed failed skipped" counts there
"""

from __future__ import annotations

import os
import shutil
import signal
import subprocess
import sys
import time
import unittest
from pathlib import Path
from typing import Optional

from expected import TEXTS
from window_dump import MessageBox, WindowDump
from wine_session import (ACTION_TIMEOUT, WINDOW_TIMEOUT, E2EError, WineSession,
                          screenshot_on_failure, session, wait_until)


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
            screenshot_on_failure("process-exit")
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
