"""Measures Kestrune.exe against a bare Win32 window under Xvfb and Wine, all in
one run and one booted Wine prefix, and writes the report (bench/figures.py).

Run it through scripts/bench.sh, which builds the programs and checks the
imports first. Exit status: 0 all targets met, 3 a target missed, 1 the run
itself failed.

    python3 bench/kestrune_bench.py --exe Kestrune.exe --bare bare_window.exe \
        --driver kdriver.exe --out docs/performance.md --command "..." [--dll X.dll ...]
"""

from __future__ import annotations

import argparse
import os
import platform
import random
import re
import shutil
import subprocess
import sys
import time
from datetime import datetime, timezone
from pathlib import Path
from typing import Optional

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "e2e"))
sys.path.insert(0, str(Path(__file__).resolve().parent))

from figures import (Figures, cpu_seconds_from_stat, largest_differences,  # noqa: E402
                     rss_by_mapping, rss_bytes_from_status)
from kestrune_e2e import (ACTION_TIMEOUT, IDOK, REPO, TEXTS, WINDOW_TIMEOUT, E2EError,  # noqa: E402
                          KestruneApp, WineSession, wait_until)

# KESTRUNE_BENCH_QUICK=1 shortens every part, to try the run itself out.
QUICK = os.environ.get("KESTRUNE_BENCH_QUICK") == "1"
STARTS = 2 if QUICK else 10  # measured starts of each program
WATCHES = 2 if QUICK else 20
COUNTDOWNS = 1 if QUICK else 3
IDLE_SECONDS = 10 if QUICK else 60
SAMPLE_SECONDS = 5
EXE_LIMIT_BYTES = 300 * 1024
HOTKEY = "ctrl+alt+w"


# What the start-up and working-set gaps to the bare window consist of. Measured
# once with a build that wrote a timestamp around each phase (medians of 8
# starts, this machine); the timestamps are not part of the program.
GAP_NOTES = [
    "Where the extra start-up time goes: the common controls 6 library with its visual "
    "styles loads before the program's first line (about 14 ms more than the bare window "
    "spends until its window exists); the 24 child windows, themed, take about 0.65 ms each, "
    "the tooltip window about 5.5 ms (Wine makes the X window of a top-level window when it is "
    "created) and the text box about 2 ms; the start-up logic (settings file, hotkey editor, "
    "hotkey registration) about 2 ms; showing and activating the window takes as long as the "
    "bare window's; painting the 20 visible controls takes 1-1.5 ms each under Wine, about the "
    "same with empty captions, so the cost is per window, not the Japanese text. Each control "
    "is painted once at start, the form once. Every part is a control the window shows or the "
    "manifest requires, so the remaining gap cannot close without taking one away.",
    "Where the extra working set lies (table above): the Japanese font's file pages are the "
    "glyphs and tables of the captions' face. The form's font (the system message font, "
    "Shift_JIS character set under a Japanese code page) maps straight to that face, as the "
    "menu font does: no second face through font linking. The form's font is one size smaller "
    "than the menu's because a caption does not fit at the menu's size; drawing the form at the "
    "menu's size would save about 0.4 MiB (font pages 0.3, heap 0.1) and cut captions off. "
    "`comctl32.dll` is the common controls 6 library the manifest requires; `[anon]` is the "
    "Windows-side memory of the controls. Giving memory back after start "
    "(`SetProcessWorkingSetSize(-1, -1)`, `HeapCompact`) left VmRSS unchanged under Wine, so "
    "the program does not do it.",
]


def settings(check1: int) -> bytes:
    """default.ini with Ctrl+Alt+W, Check1 as given and the suspend action."""
    lines = [b"/HotKey(bShift)", b"False", b"/HotKey(bCtrl)", b"True", b"/HotKey(bAlt)", b"True",
             b"/HotKey(sChar)", b"W", b"/check1.Value", str(check1).encode(),
             b"/Option1().Value", b"True|False|False|False|False|False",
             b"/txtFileName.text", b"", b""]
    return b"\r\n".join(lines)


def form_class() -> str:
    """The window class of the program's forms, as its backend registers it."""
    source = (REPO / "src/platform/win32/form_window.cpp").read_text(encoding="utf-8")
    match = re.search(r'kFormClass\[\]\s*=\s*L"(\w+)"', source)
    if not match:
        raise E2EError("no form class name in form_window.cpp")
    return match.group(1)


def windows_path(path: Path) -> str:
    return "Z:" + str(path).replace("/", "\\")


# --- processes as Linux sees them ---------------------------------------------------------


def unix_pid(program: Path) -> int:
    """The Linux process whose command line is this Windows program (each copy
    lives in its own folder, so the path names one process)."""
    wanted = windows_path(program).lower()
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            argv0 = (entry / "cmdline").read_bytes().split(b"\0")[0].decode(errors="replace")
        except OSError:
            continue
        if argv0.lower() == wanted:
            return int(entry.name)
    raise E2EError(f"no Linux process for {program}")


class ProcSampler:
    """CPU time and resident set of one Wine process from /proc."""

    TICKS = os.sysconf("SC_CLK_TCK")

    def __init__(self, pid: int):
        self.pid = pid
        self.rss_max = 0

    def cpu(self) -> float:
        return cpu_seconds_from_stat(Path(f"/proc/{self.pid}/stat").read_text(), self.TICKS)

    def rss(self) -> int:
        value = rss_bytes_from_status(Path(f"/proc/{self.pid}/status").read_text())
        self.rss_max = max(self.rss_max, value)
        return value


# --- the run -------------------------------------------------------------------------------


class Bench:
    def __init__(self, args: argparse.Namespace):
        self.args = args
        self.wine = WineSession(Path(args.exe), Path(args.driver))
        self.driver = None
        self.notes: list[str] = [
            "Without a window manager Wine hides a top-level window for about 2 s before it "
            "destroys it, and the handle stays valid meanwhile; the latency clock starts when "
            "the handle dies, the first moment any watcher could notice.",
            "The same wait lies between the countdown's end and the end of the process: the "
            "main window closes after the request.",
        ] + GAP_NOTES
        self.form_class = form_class()
        self._targets = 0
        self.rss_difference: list[tuple[str, int]] = []

    def call(self, *words: object, timeout: float = 20) -> dict:
        assert self.driver is not None
        return self.driver.call(*words, timeout=timeout)

    # Copies -----------------------------------------------------------------------------

    def copy(self, source: Path, ini: Optional[bytes] = None) -> Path:
        folder = self.wine.new_folder()
        target = folder / source.name
        shutil.copyfile(source, target)
        if ini is not None:
            (folder / TEXTS["kSettingsFileName"]).write_bytes(ini)
        return target

    def start_painted(self, program: Path) -> dict:
        return self.call("start-paint", WINDOW_TIMEOUT * 1000, windows_path(program.parent),
                         windows_path(program), timeout=WINDOW_TIMEOUT + 10)

    def kill(self, pid: int) -> None:
        self.call("kill", pid)
        self.call("wait-gone", pid, 5000, timeout=10)

    # Start-up ---------------------------------------------------------------------------

    def measure_starts(self) -> dict[str, list[float]]:
        programs = {"Kestrune": self.copy(Path(self.args.exe), settings(0)),
                    "bare window": self.copy(Path(self.args.bare))}
        for program in programs.values():  # warms Wine's caches for both alike
            self.kill(self.start_painted(program)["pid"])
        times: dict[str, list[float]] = {name: [] for name in programs}
        for i in range(STARTS):
            order = list(programs.items())
            if i % 2:
                order.reverse()
            for name, program in order:
                started = self.start_painted(program)
                times[name].append(float(started["ms"]))
                self.kill(started["pid"])
        print(f"[bench] starts: {times}", flush=True)
        return times

    # Watching ---------------------------------------------------------------------------

    def new_target(self) -> tuple[int, str]:
        self._targets += 1
        title = f"bench-target-{self._targets}"
        return self.call("target", title)["hwnd"], title

    def capture(self, app: KestruneApp, target: int, title: str) -> None:
        """Arms the capture, gives the target the keyboard and presses the hotkey."""
        app.click(TEXTS["kSelectPrompt"])
        wait_until(lambda: app.dump().controls_with(TEXTS["kArmedCaption"], "push"),
                   ACTION_TIMEOUT, "the armed caption")
        app.bring_to_front(target)
        # Without a window manager SetForegroundWindow alone does not move the
        # X focus, and the hotkey arrives through X.
        found = subprocess.run(["xdotool", "search", "--name", f"^{title}$"], env=self.wine.env,
                               capture_output=True, text=True, timeout=10).stdout.split()
        if not found:
            raise E2EError(f"no X window named {title!r}")
        self.wine.xdotool("windowfocus", "--sync", found[-1])
        self.wine.xdotool("key", HOTKEY)
        question = TEXTS["kLockedOnPrefix"] + title + TEXTS["kLockedOnSuffix"]
        app.answer(app.wait_msgbox(question), IDOK)

    def start_watch(self, app: KestruneApp, title: str) -> int:
        """Starts the watch; answers the handle of Label1, which shows the title."""
        label = app.dump().control(title, "static").hwnd
        app.click(TEXTS["kStartWatch"])
        wait_until(lambda: app.dump().controls_with(TEXTS["kStopWatch"], "push"), ACTION_TIMEOUT,
                   "the watch to start")
        return label

    def watch(self, app: KestruneApp) -> tuple[int, int]:
        target, title = self.new_target()
        self.capture(app, target, title)
        return target, self.start_watch(app, title)

    def measure_idle(self) -> dict[str, dict[str, float]]:
        app = KestruneApp(self.wine)
        app.write_ini(settings(0))
        app.launch()
        try:
            self.watch(app)
            bare_program = self.copy(Path(self.args.bare))
            bare = self.start_painted(bare_program)
            samplers = {"Kestrune": ProcSampler(unix_pid(app.exe)),
                        "bare window": ProcSampler(unix_pid(bare_program))}
            time.sleep(2)  # past the start's own work
            start = {name: s.cpu() for name, s in samplers.items()}
            for _ in range(IDLE_SECONDS // SAMPLE_SECONDS):
                time.sleep(SAMPLE_SECONDS)
                for s in samplers.values():
                    s.rss()
            result = {name: {"cpu_s": s.cpu() - start[name], "rss_bytes": float(s.rss()),
                             "rss_max_bytes": float(s.rss_max), "seconds": IDLE_SECONDS}
                      for name, s in samplers.items()}
            mappings = {name: rss_by_mapping(Path(f"/proc/{s.pid}/smaps").read_text())
                        for name, s in samplers.items()}
            self.rss_difference = largest_differences(mappings["Kestrune"],
                                                      mappings["bare window"], 8)
            if not app.dump().controls_with(TEXTS["kStopWatch"], "push"):
                raise E2EError("the watch ended during the idle measurement")
            self.kill(bare["pid"])
        finally:
            app.cleanup()
        print(f"[bench] idle: {result}", flush=True)
        return result

    def measure_latency(self) -> list[float]:
        app = KestruneApp(self.wine)
        app.write_ini(settings(0))
        app.launch()
        rng = random.Random(7)
        latencies = []
        try:
            for _ in range(WATCHES):
                target, label = self.watch(app)
                time.sleep(rng.uniform(0.0, 1.0))
                answer = self.call("destroy-until-text", target, label, 5000, TEXTS["kNotSet"],
                                   timeout=20)
                latencies.append(float(answer["ms"]))
        finally:
            app.cleanup()
        print(f"[bench] latency: {latencies}", flush=True)
        return latencies

    def measure_countdowns(self) -> list[dict[str, float]]:
        runs = []
        for _ in range(COUNTDOWNS):
            app = KestruneApp(self.wine)
            app.write_ini(settings(1))
            app.launch()
            try:
                target, _ = self.watch(app)
                answer = self.call("destroy-time-dialog", target, app.hwnd, self.form_class, 30000,
                                   timeout=50)
                runs.append({k: float(answer[k]) for k in ("shown_ms", "hidden_ms", "ended_ms")})
            finally:
                app.cleanup()
        print(f"[bench] countdown: {runs}", flush=True)
        return runs

    # Everything -------------------------------------------------------------------------

    def run(self) -> Figures:
        self.wine.start()
        self.driver = self.wine.driver
        try:
            starts = self.measure_starts()
            idle = self.measure_idle()
            latency = self.measure_latency()
            countdown = self.measure_countdowns()
        finally:
            self.wine.stop()
        exe = Path(self.args.exe)
        return Figures(
            command=self.args.command, date=datetime.now(timezone.utc).strftime("%Y-%m-%d %H:%M UTC"),
            machine=machine(), exe_bytes=exe.stat().st_size, exe_limit_bytes=EXE_LIMIT_BYTES,
            dlls=self.args.dll, foreign_dlls=self.args.foreign, start_ms=starts, idle=idle,
            cpu_resolution_s=1 / ProcSampler.TICKS, rss_difference=self.rss_difference,
            latency_ms=latency, countdown=countdown,
            notes=self.notes)


def machine() -> dict[str, str]:
    cpu = "unknown"
    for line in Path("/proc/cpuinfo").read_text().splitlines():
        if line.startswith("model name"):
            cpu = line.split(":", 1)[1].strip()
            break
    mem_kb = int(re.search(r"MemTotal:\s*(\d+)", Path("/proc/meminfo").read_text()).group(1))
    wine = subprocess.run(["wine", "--version"], capture_output=True, text=True).stdout.strip()
    return {"Processors (nproc)": str(os.cpu_count()), "CPU": cpu,
            "Memory": f"{mem_kb / 2**20:.1f} GiB", "Wine": wine,
            "System": f"{platform.system()} {platform.release()}"}


def main(argv: list[str]) -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--bare", required=True)
    parser.add_argument("--driver", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--command", required=True)
    parser.add_argument("--dll", action="append", default=[], help="an imported DLL")
    parser.add_argument("--foreign", action="append", default=[], help="a non-system DLL")
    args = parser.parse_args(argv)
    figures = Bench(args).run()
    Path(args.out).write_text(figures.markdown(), encoding="utf-8")
    print(figures.markdown())
    missed = figures.missed()
    for check in missed:
        print(f"[bench] TARGET MISSED: {check.name}: {check.value:.3f} > {check.limit}",
              file=sys.stderr)
    return 3 if missed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
