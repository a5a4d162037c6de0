"""Measures Kestrune.exe against two yardsticks under Xvfb and Wine, all in one
run and one booted Wine prefix, and writes the report (bench/figures.py): the
same window (bench/same_window.cpp, Kestrune's main window built as plainly as
Win32 allows, checked in the run to show exactly what Kestrune shows) and the
bare window (bench/bare_window.cpp, the floor).

Run it through scripts/bench.sh, which builds the programs and checks the
imports first. Exit status: 0 all targets met, 3 a target missed, 1 the run
itself failed.

    python3 bench/kestrune_bench.py --exe Kestrune.exe --same same_window.exe \
        --bare bare_window.exe --driver kbench_driver.exe --out docs/performance.md \
        --command "..." [--dll X.dll ...] [--foreign X.dll ...]
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

from figures import (BARE, COUNTDOWNS, CYCLES, IDLE, KESTRUNE, SAME, SAME_BOX,  # noqa: E402
                     WATCHING,
                     Figures, cpu_seconds_from_stat, dump_differences, largest_differences,
                     median, rss_by_mapping, rss_bytes_from_status, run_seconds_from_schedstat)
# What the user sees, typed from the design once for the end-to-end tests.
from expected import TEXTS  # noqa: E402
from kestrune_e2e import KestruneApp  # noqa: E402
from window_dump import IDOK  # noqa: E402
from wine_session import (ACTION_TIMEOUT, OUT_DIR, WINDOW_TIMEOUT, E2EError,  # noqa: E402
                          WineSession, wait_until)

# KESTRUNE_BENCH_QUICK=1 shortens every part, to try the run itself out.
QUICK = os.environ.get("KESTRUNE_BENCH_QUICK") == "1"
ROUNDS = 3 if QUICK else 15  # measured starts of each program
LEAK_ROUNDS = 3 if QUICK else 30  # full cycles, and cancelled countdowns
COUNTDOWN_RUNS = 1 if QUICK else 3
IDLE_SECONDS = 10 if QUICK else 30
# Two minutes of a once-a-second poll: enough ticks for their spread to
# average out on the ns clock.
WATCH_SECONDS = 10 if QUICK else 120
SAMPLE_SECONDS = 5
EXE_LIMIT_BYTES = 100 * 1024
HOTKEY = "ctrl+alt+w"
FONT_STEPS = 4  # Kestrune shrinks the form's font to 75 % at most
SETTLE_SECONDS = 3  # Wine destroys a closed top-level window about 2 s later


def settings(check1: int) -> bytes:
    """default.ini with Ctrl+Alt+W, Check1 as given and the suspend action."""
    lines = [b"/HotKey(bShift)", b"False", b"/HotKey(bCtrl)", b"True", b"/HotKey(bAlt)", b"True",
             b"/HotKey(sChar)", b"W", b"/check1.Value", str(check1).encode(),
             b"/Option1().Value", b"True|False|False|False|False|False",
             b"/txtFileName.text", b"", b""]
    return b"\r\n".join(lines)


def windows_path(path: Path) -> str:
    return "Z:" + str(path).replace("/", "\\")


# --- processes as Linux sees them ---------------------------------------------------------


def unix_pid(program: Path) -> int:
    """The Linux process whose command line is this Windows program (each copy
    lives in its own folder, so the path names one process): the Windows path
    when the driver started it, the Linux path when `wine` did."""
    wanted = {windows_path(program).lower(), str(program).lower()}
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            argv0 = (entry / "cmdline").read_bytes().split(b"\0")[0].decode(errors="replace")
        except OSError:
            continue
        if argv0.lower() in wanted:
            return int(entry.name)
    raise E2EError(f"no Linux process for {program}")


class ProcSampler:
    """CPU time, resident set and open descriptors of one Wine process."""

    TICKS = os.sysconf("SC_CLK_TCK")

    def __init__(self, pid: int):
        self.pid = pid
        self.samples: list[int] = []

    def cpu(self) -> float:
        return cpu_seconds_from_stat(Path(f"/proc/{self.pid}/stat").read_text(), self.TICKS)

    def rss(self) -> int:
        return rss_bytes_from_status(Path(f"/proc/{self.pid}/status").read_text())

    def run_time(self) -> tuple[frozenset[str], Optional[float]]:
        """The threads, and their time on a processor by the ns clock (None
        where the kernel keeps none)."""
        try:
            threads = frozenset(os.listdir(f"/proc/{self.pid}/task"))
            lines = [Path(f"/proc/{self.pid}/task/{tid}/schedstat").read_text()
                     for tid in threads]
            return threads, run_seconds_from_schedstat(lines)
        except (OSError, ValueError, IndexError):
            return frozenset(), None

    def sample(self) -> None:
        self.samples.append(self.rss())

    def fds(self) -> int:
        return len(os.listdir(f"/proc/{self.pid}/fd"))

    def mappings(self) -> dict[str, int]:
        return rss_by_mapping(Path(f"/proc/{self.pid}/smaps").read_text())


# --- pictures -------------------------------------------------------------------------------


def window_picture(wine: WineSession, dump: dict, name: str) -> Path:
    """The window's pixels, cut from a picture of the whole virtual screen."""
    OUT_DIR.mkdir(parents=True, exist_ok=True)
    whole = OUT_DIR / f"bench-{name}-screen.png"
    picture = OUT_DIR / f"bench-{name}.png"
    subprocess.run(["import", "-display", wine.display, "-window", "root", str(whole)],
                   check=True, timeout=30, capture_output=True)
    r = dump["rect"]
    geometry = f"{r['right'] - r['left']}x{r['bottom'] - r['top']}+{r['left']}+{r['top']}"
    subprocess.run(["convert", str(whole), "-crop", geometry, "+repage", str(picture)], check=True,
                   timeout=30, capture_output=True)
    whole.unlink()
    return picture


def differing_pixels(a: Path, b: Path) -> int:
    """Pixels that differ between two pictures of one size (ImageMagick's
    absolute-error count); every pixel when the sizes differ."""
    result = subprocess.run(["compare", "-metric", "AE", str(a), str(b),
                             str(OUT_DIR / "bench-difference.png")],
                            capture_output=True, text=True, timeout=60)
    match = re.match(r"\s*([0-9.e+]+)", result.stderr)
    if result.returncode > 1 or not match:
        return 10**9
    return int(float(match.group(1)))


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
            "While watching, Kestrune has shown the capture's confirmation box, which the plain "
            "same window never does. Under Wine a message box leaves about 0.3 MiB behind in any "
            "program (the dialog code of `user32.dll`, the box's X shared-memory surface, which "
            "Wine keeps, and the glyphs of its text): the same window after the capture's box, "
            "the yardstick of the watching target, pays it too, and the table of what the capture "
            "added shows it in Kestrune. It does not grow with further boxes (see the leak "
            "counts).",
            "Fitting the captions: the form's font is measured at one size only, the size the "
            "characters promise (a Japanese UI face draws nothing wider than an em), which is "
            "the size drawn at wherever the captions are full-width; hidden captions are not "
            "measured. Measuring at the system font's size first and then at the answer, as "
            "before, cost about 0.2 MiB (a second realised size with its glyph cache).",
            "One tick of the watch, as `WINEDEBUG=+relay` shows it: `GetMessageW` returns the "
            "`WM_TIMER`, which passes the hotkey's window procedure (`CallWindowProcW`) on its "
            "way to the form's; then one `PeekMessageW` that finds nothing and one `IsWindow`. "
            "The polling same window makes the same calls but the hotkey's procedure. Asking "
            "for the active window for each message, to give the active form its dialog keys, "
            "cost one more round trip to the Wine server a tick, about a fifth of the tick "
            "(ratio 1.22 to the yardstick); only keys ask now.",
        ]
        self.form_class = ""  # Kestrune's window class, read from its main window
        self.font_smaller = 0  # pixels Kestrune took off the message font to fit the captions
        self._targets = 0

    def call(self, *words: object, timeout: float = 20) -> dict:
        assert self.driver is not None
        return self.driver.call(*words, timeout=timeout)

    # Copies and starts -----------------------------------------------------------------

    def copy(self, source: Path, ini: Optional[bytes] = None) -> Path:
        folder = self.wine.new_folder()
        target = folder / source.name
        shutil.copyfile(source, target)
        if ini is not None:
            (folder / TEXTS["kSettingsFileName"]).write_bytes(ini)
        return target

    def start_painted(self, program: Path, box: bool = False, poll: int = 0) -> dict:
        """With `box` the same window shows the capture's box and minimises; with
        `poll` it then polls that window as Kestrune does while watching."""
        command = windows_path(program)
        if program.name == Path(self.args.same).name:
            command += f" -- {self.font_smaller}" + (" box" if box else "")
            command += f" poll {poll}" if poll else ""
        return self.call("start-paint", WINDOW_TIMEOUT * 1000, windows_path(program.parent),
                         command, timeout=WINDOW_TIMEOUT + 10)

    def kill(self, pid: int) -> None:
        self.call("kill", pid)
        self.call("wait-gone", pid, 5000, timeout=10)

    # The same window --------------------------------------------------------------------

    def look(self, program: Path, name: str) -> tuple[dict, Optional[list], Path]:
        started = self.start_painted(program)
        time.sleep(SETTLE_SECONDS)  # the focus settles, nothing is left to paint
        dump = self.call("dump", started["hwnd"])
        # Wine cannot read another process's menu; the picture shows the bar.
        menu = self.driver.call("menu", started["hwnd"], check=False).get("items")
        picture = window_picture(self.wine, dump, name)
        self.kill(started["pid"])
        time.sleep(SETTLE_SECONDS)
        return dump, menu, picture

    def check_same_window(self) -> tuple[list[str], int]:
        """Kestrune's first start and the same window, dumped and pictured.
        Wine cannot tell another process's font, so the same window is tried
        with the system's message font and then a pixel smaller each time,
        as Kestrune may have made it to fit the captions; the first that
        looks the same is the one measured."""
        dump, menu, picture = self.look(self.copy(Path(self.args.exe)), "kestrune")
        self.form_class = dump["class"]
        same = self.copy(Path(self.args.same))
        best: Optional[tuple[int, int, list[str]]] = None
        for smaller in range(FONT_STEPS + 1):
            self.font_smaller = smaller
            same_dump, same_menu, same_picture = self.look(same, f"same-{smaller}")
            differences = dump_differences(dump, same_dump)
            if menu != same_menu:
                differences.append(f"menu: {menu} != {same_menu}")
            pixels = differing_pixels(picture, same_picture)
            if best is None or pixels < best[1]:
                best = (smaller, pixels, differences)
            if pixels == 0:
                break
        self.font_smaller, pixels, differences = best
        print(f"[bench] same window: {len(differences)} differences, {pixels} pixels, "
              f"font {self.font_smaller} px smaller than the message font", flush=True)
        for difference in differences:
            print(f"[bench]   {difference}", flush=True)
        return differences, pixels

    # Start-up ---------------------------------------------------------------------------

    def measure_starts(self) -> dict[str, list[float]]:
        programs = {KESTRUNE: self.copy(Path(self.args.exe)),  # no settings: a first start
                    SAME: self.copy(Path(self.args.same)),
                    BARE: self.copy(Path(self.args.bare))}
        for program in programs.values():  # warms Wine's caches for all alike
            self.kill(self.start_painted(program)["pid"])
        times: dict[str, list[float]] = {name: [] for name in programs}
        names = list(programs)
        for i in range(ROUNDS):
            for name in names[i % 3:] + names[:i % 3]:
                started = self.start_painted(programs[name])
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
        wait_until(lambda: app.dump().controls_with(TEXTS["kArmedCaption"], "push"), ACTION_TIMEOUT,
                   "the armed caption")
        app.bring_to_front(target)
        # Without a window manager SetForegroundWindow alone does not move the
        # X focus, and the hotkey arrives through X.
        found = subprocess.run(["xdotool", "search", "--name", f"^{title}$"], env=self.wine.env,
                               capture_output=True, text=True, timeout=10).stdout.split()
        if not found:
            raise E2EError(f"no X window named {title!r}")
        self.wine.xdotool("windowfocus", "--sync", found[-1])
        self.wine.xdotool("key", HOTKEY)
        locked_on = TEXTS["kLockedOnPrefix"] + title + TEXTS["kLockedOnSuffix"]
        app.answer(app.wait_msgbox(locked_on), IDOK)

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

    def launch(self, ini: bytes) -> KestruneApp:
        app = KestruneApp(self.wine)
        app.write_ini(ini)
        return app.launch()

    # Working set and CPU time ------------------------------------------------------------

    def sample_phase(self, samplers: dict[str, ProcSampler], seconds: int) -> dict:
        start = {name: (s.cpu(), s.run_time()) for name, s in samplers.items()}
        for s in samplers.values():
            s.samples.clear()
        for _ in range(seconds // SAMPLE_SECONDS):
            time.sleep(SAMPLE_SECONDS)
            for s in samplers.values():
                s.sample()
        phase = {}
        for name, s in samplers.items():
            (cpu, (threads, run)), (end_threads, end_run) = start[name], s.run_time()
            # A thread that ended took its time with it: only the tick clock keeps that.
            counted = run is not None and end_run is not None and threads == end_threads
            phase[name] = {"rss_bytes": median(s.samples), "cpu_s": s.cpu() - cpu,
                           "run_s": end_run - run if counted else None}
        return phase

    def measure_memory(self) -> tuple[dict, list[tuple[str, int]], list[tuple[str, int]]]:
        app = self.launch(settings(1))
        others = []
        try:
            samplers = {KESTRUNE: ProcSampler(unix_pid(app.exe))}
            for name, source in ((SAME, self.args.same), (SAME_BOX, self.args.same),
                                 (BARE, self.args.bare)):
                program = self.copy(Path(source))
                # The watching yardstick polls a window of the driver, as Kestrune will.
                poll = self.new_target()[0] if name == SAME_BOX else 0
                others.append(self.start_painted(program, name == SAME_BOX, poll)["pid"])
                samplers[name] = ProcSampler(unix_pid(program))
            app.answer(app.wait_msgbox(pid=others[1]), IDOK)  # the reference's box
            time.sleep(SETTLE_SECONDS)  # past the starts' own work
            memory = {IDLE: self.sample_phase(samplers, IDLE_SECONDS)}
            idle_mappings = samplers[KESTRUNE].mappings()
            self.watch(app)
            time.sleep(SETTLE_SECONDS)
            memory[WATCHING] = self.sample_phase(samplers, WATCH_SECONDS)
            watching_mappings = samplers[KESTRUNE].mappings()
            difference = largest_differences(watching_mappings, samplers[SAME_BOX].mappings(), 8)
            added = largest_differences(watching_mappings, idle_mappings, 8)
            if not app.dump().controls_with(TEXTS["kStopWatch"], "push"):
                raise E2EError("the watch ended during the measurement")
        finally:
            for pid in others:
                self.kill(pid)
            app.cleanup()
        print(f"[bench] memory: {memory}", flush=True)
        return memory, difference, added

    # Leaks ------------------------------------------------------------------------------

    def snapshot(self, app: KestruneApp, sampler: ProcSampler) -> dict[str, float]:
        time.sleep(SETTLE_SECONDS)  # closed boxes and dialogs are destroyed by now
        windows = self.call("windows", app.pid)["windows"]
        return {"rss_bytes": float(sampler.rss()), "fds": float(sampler.fds()),
                "windows": float(len(windows))}

    def measure_cycles(self) -> tuple[list[dict[str, float]], list[float]]:
        """Full capture and watch cycles; answers the leak snapshots and the
        detection latency of each cycle."""
        app = self.launch(settings(0))
        rng = random.Random(7)
        latencies, snapshots = [], []
        try:
            sampler = ProcSampler(unix_pid(app.exe))
            for i in range(LEAK_ROUNDS):
                target, label = self.watch(app)
                time.sleep(rng.uniform(0.0, 1.0))
                answer = self.call("destroy-until-text", target, label, 5000, TEXTS["kNotSet"],
                                   timeout=20)
                latencies.append(float(answer["ms"]))
                if i in (0, LEAK_ROUNDS - 1):
                    snapshots.append(self.snapshot(app, sampler))
        finally:
            app.cleanup()
        print(f"[bench] cycles: {snapshots}; latency: {latencies}", flush=True)
        return snapshots, latencies

    def countdown_window(self, app: KestruneApp) -> Optional[dict]:
        for window in self.call("windows", app.pid)["windows"]:
            if window["hwnd"] != app.hwnd and window["visible"] and \
                    window["class"] == self.form_class:
                return window
        return None

    def cancel_countdown(self, app: KestruneApp) -> None:
        window = wait_until(lambda: self.countdown_window(app), ACTION_TIMEOUT,
                            "the countdown dialog")
        dump = app.dump(window["hwnd"])
        self.call("click", dump.control(TEXTS["kCancelCountdown"], "push").hwnd)
        wait_until(lambda: self.countdown_window(app) is None, ACTION_TIMEOUT,
                   "the countdown dialog to close")
        if not app.is_running() or not app.dump().controls_with(TEXTS["kStartWatch"], "push"):
            raise E2EError("the cancelled countdown did not leave the main window ready")

    def measure_cancelled_countdowns(self) -> list[dict[str, float]]:
        app = self.launch(settings(1))
        snapshots = []
        try:
            sampler = ProcSampler(unix_pid(app.exe))
            for i in range(LEAK_ROUNDS):
                target, label = self.watch(app)
                self.call("destroy-until-text", target, label, 5000, TEXTS["kNotSet"], timeout=20)
                self.cancel_countdown(app)
                if i in (0, LEAK_ROUNDS - 1):
                    snapshots.append(self.snapshot(app, sampler))
        finally:
            app.cleanup()
        print(f"[bench] cancelled countdowns: {snapshots}", flush=True)
        return snapshots

    def measure_countdowns(self) -> list[dict[str, float]]:
        runs = []
        for _ in range(COUNTDOWN_RUNS):
            app = self.launch(settings(1))
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
            # Nothing may hover over the windows: buttons light up under the pointer.
            self.wine.xdotool("mousemove", "1270", "1010")
            differences, pixels = self.check_same_window()
            starts = self.measure_starts()
            memory, rss_difference, watch_added = self.measure_memory()
            cycles, latency = self.measure_cycles()
            cancelled = self.measure_cancelled_countdowns()
            countdown = self.measure_countdowns()
        finally:
            self.wine.stop()
        exe = Path(self.args.exe)
        return Figures(
            command=self.args.command, date=datetime.now(timezone.utc).strftime("%Y-%m-%d %H:%M UTC"),
            machine=machine(), exe_bytes=exe.stat().st_size, exe_limit_bytes=EXE_LIMIT_BYTES,
            dlls=self.args.dll, foreign_dlls=self.args.foreign, same_differences=differences,
            same_pixels=pixels, font_smaller=self.font_smaller, start_ms=starts, memory=memory,
            seconds={IDLE: IDLE_SECONDS, WATCHING: WATCH_SECONDS},
            cpu_resolution_s=1 / ProcSampler.TICKS, rss_difference=rss_difference,
            watch_added=watch_added,
            leaks={CYCLES: cycles, COUNTDOWNS: cancelled}, leak_rounds=LEAK_ROUNDS,
            latency_ms=latency, countdown=countdown, notes=self.notes)


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
    parser.add_argument("--same", required=True)
    parser.add_argument("--bare", required=True)
    parser.add_argument("--driver", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--command", required=True)
    parser.add_argument("--dll", action="append", default=[], help="an imported DLL")
    parser.add_argument("--foreign", action="append", default=[], help="not a Known DLL")
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
