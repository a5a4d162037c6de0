"""The Wine session of a run: a virtual display (Xvfb), a fresh Wine prefix
booted once, and the driver (kdriver.exe), a console program under Wine that
finds windows by their texts, reads controls and message boxes and works
them. The end-to-end tests share one session (session()); the bench starts
its own.

Every wait is bounded (wait_until) and raises E2EError, saving a screenshot
under e2e/out/.
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
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path
from typing import Callable, Optional, TypeVar

REPO = Path(__file__).resolve().parent.parent
OUT_DIR = REPO / "e2e" / "out"

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
            screenshot_on_failure(what)
            raise E2EError(f"timed out after {timeout:.0f} s waiting for {what}")
        time.sleep(interval)


class Driver:
    """The driver (kdriver.exe, or the bench's) as a long-lived child: one command line
    in, one JSON line out."""

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


def screenshot_on_failure(what: str) -> None:
    if _session is not None:
        shot = _session.screenshot(f"timeout-{what}")
        if shot:
            print(f"\n[e2e] screenshot: {shot}", file=sys.stderr)
