"""The pure half of the benchmark: reading what the system reports, judging the
figures against their targets and writing the report. Nothing here starts a
program, so all of it is tested on its own (bench/test_figures.py)."""

from __future__ import annotations

import re
import statistics
from dataclasses import dataclass
from typing import Optional, Sequence

# --- what Linux reports about a Wine process ----------------------------------------------


def cpu_seconds_from_stat(stat_line: str, ticks_per_second: int) -> float:
    """utime + stime of /proc/<pid>/stat. The command name in parentheses may
    itself hold spaces and parentheses, so fields count from the last ')'."""
    fields = stat_line[stat_line.rindex(")") + 2:].split()
    # After the name: state is field 3 of the line, utime 14 and stime 15.
    utime, stime = int(fields[11]), int(fields[12])
    return (utime + stime) / ticks_per_second


def run_seconds_from_schedstat(thread_lines: Sequence[str]) -> float:
    """The time on a processor of /proc/<pid>/task/<tid>/schedstat (its first
    field, in nanoseconds), summed over the threads: the same time as utime +
    stime, but not cut to whole clock ticks."""
    return sum(int(line.split()[0]) for line in thread_lines) / 1e9


def rss_bytes_from_status(status_text: str) -> int:
    """VmRSS of /proc/<pid>/status: what Wine itself reports as the working set."""
    match = re.search(r"^VmRSS:\s*(\d+)\s*kB", status_text, flags=re.MULTILINE)
    if not match:
        raise ValueError("no VmRSS line")
    return int(match.group(1)) * 1024


def rss_by_mapping(smaps_text: str) -> dict[str, int]:
    """Resident bytes per mapped file of /proc/<pid>/smaps ("[anon]" for
    mappings without a name), to show where two working sets differ."""
    sizes: dict[str, int] = {}
    name = "[anon]"
    for line in smaps_text.splitlines():
        if re.match(r"^[0-9a-f]+-[0-9a-f]+ ", line):
            parts = line.split(None, 5)
            name = parts[5].strip() if len(parts) > 5 else "[anon]"
        elif line.startswith("Rss:"):
            sizes[name] = sizes.get(name, 0) + int(line.split()[1]) * 1024
    return sizes


def largest_differences(more: dict[str, int], less: dict[str, int],
                        count: int) -> list[tuple[str, int]]:
    """The mappings that hold the most more in `more` than in `less`, with paths
    shortened to their file names."""
    merged: dict[str, int] = {}
    for name in set(more) | set(less):
        short = name.rsplit("/", 1)[-1]
        merged[short] = merged.get(short, 0) + more.get(name, 0) - less.get(name, 0)
    ranked = sorted(merged.items(), key=lambda item: -item[1])
    return [(name, size) for name, size in ranked[:count] if size > 0]


# --- judging -----------------------------------------------------------------------------


def median(values: Sequence[float]) -> float:
    if not values:
        raise ValueError("no values")
    return float(statistics.median(values))


@dataclass(frozen=True)
class Check:
    """One figure against its target: met when value <= limit."""
    name: str
    value: float
    limit: float
    unit: str = ""

    @property
    def met(self) -> bool:
        return self.value <= self.limit

    def line(self) -> str:
        mark = "met" if self.met else "**MISSED**"
        return f"| {self.name} | {_num(self.value)}{self.unit} | ≤ {_num(self.limit)}{self.unit} | {mark} |"


def ratio(value: float, baseline: float, resolution: float = 0.0) -> float:
    """value / baseline for figures known only to `resolution` (a clock tick):
    both are floored at one resolution, so that two idle processes that each
    used nothing measurable compare as equal instead of dividing by zero."""
    floor = max(baseline, resolution)
    if floor <= 0:
        return 1.0 if value <= 0 else float("inf")
    return max(value, resolution) / floor


def _num(value: float) -> str:
    if value == float("inf"):
        return "∞"
    if abs(value) >= 100 or float(value).is_integer():
        return f"{value:.0f}"
    # Three places: a ratio of 1.008 against a limit of 1.01 must not read 1.01.
    return f"{value:.3f}"


def per_round_ratios(values: Sequence[float], baselines: Sequence[float]) -> list[float]:
    """value / baseline of each round: programs started alternately in one
    round share the machine's state of the moment, so their ratio varies far
    less than either time does."""
    if len(values) != len(baselines):
        raise ValueError("rounds differ in number")
    return [v / b for v, b in zip(values, baselines)]


# The parts of a window's dump (kdriver's "dump") that say what the user sees;
# handles, process ids and the window's class name say nothing about that.
_WINDOW_KEYS = ("caption", "visible", "enabled", "minimized", "style", "has_menu", "dpi")
_CONTROL_KEYS = ("id", "class", "text", "visible", "enabled", "style", "rect", "checked",
                 "progress")


def _size(rect: dict) -> tuple[int, int]:
    return rect["right"] - rect["left"], rect["bottom"] - rect["top"]


def dump_differences(dump: dict, other: dict) -> list[str]:
    """Where two windows differ in what they show: the window's own state and
    size, and every control in creation order with its parent by position in
    that order. Empty when they show the same."""
    found = [f"window {key}: {dump.get(key)!r} != {other.get(key)!r}"
             for key in _WINDOW_KEYS if dump.get(key) != other.get(key)]
    for key in ("rect", "client"):
        if _size(dump[key]) != _size(other[key]):
            found.append(f"window {key} size: {_size(dump[key])} != {_size(other[key])}")
    controls, others = dump["controls"], other["controls"]
    if len(controls) != len(others):
        found.append(f"{len(controls)} controls != {len(others)}")

    def parents(window: dict) -> list[int]:
        order = {c["hwnd"]: i for i, c in enumerate(window["controls"])}
        return [order.get(c["parent"], -1) for c in window["controls"]]

    for i, (a, b, pa, pb) in enumerate(zip(controls, others, parents(dump), parents(other))):
        name = f"control {i} ({a.get('class')} {a.get('text')!r})"
        found += [f"{name} {key}: {a.get(key)!r} != {b.get(key)!r}"
                  for key in _CONTROL_KEYS if a.get(key) != b.get(key)]
        if pa != pb:
            found.append(f"{name} parent: control {pa} != control {pb}")
    return found


# --- the report --------------------------------------------------------------------------

KESTRUNE, SAME, BARE = "Kestrune", "same window", "bare window"
SAME_BOX = "same window after the capture's box, minimised, polling"
IDLE, WATCHING = "idle", "watching"
CYCLES, COUNTDOWNS = "capture and watch cycles", "cancelled countdowns"

# Two figures of the tick clock (utime + stime, each field cut to whole ticks
# at both ends of the phase) that stand for the same time read at most this
# many ticks apart.
TICK_CLOCK_SPREAD = 3

# Growth from the first to the last cycle that still counts as noise: Wine's
# own caches settle over the first cycles, and VmRSS moves by whole pages.
LEAK_NOISE = {"rss_bytes": 512 * 1024, "fds": 2, "windows": 0}
LEAK_UNITS = {"rss_bytes": "working set", "fds": "file descriptors", "windows": "top-level windows"}


@dataclass
class Figures:
    command: str
    date: str
    machine: dict[str, str]
    exe_bytes: int
    exe_limit_bytes: int
    dlls: list[str]
    foreign_dlls: list[str]
    same_differences: list[str]  # what the same-window yardstick shows otherwise
    same_pixels: int  # pixels that differ between the two screenshots
    font_smaller: int  # pixels off the message font, the same window's argument
    start_ms: dict[str, list[float]]  # program -> one start per round, rounds aligned
    # phase -> program -> rss_bytes, cpu_s (tick clock), run_s (ns clock; None
    # where the kernel does not keep it, or a thread ended during the phase)
    memory: dict[str, dict[str, dict[str, Optional[float]]]]
    seconds: dict[str, int]  # phase -> length
    cpu_resolution_s: float
    rss_difference: list[tuple[str, int]]  # mapping -> bytes more in Kestrune watching
    watch_added: list[tuple[str, int]]  # mapping -> bytes Kestrune's capture and watch added
    leaks: dict[str, list[dict[str, float]]]  # kind -> [after the first, after the last]
    leak_rounds: int
    latency_ms: list[float]
    countdown: list[dict[str, float]]  # shown_ms, hidden_ms, ended_ms per run
    notes: list[str]

    def start_ratio(self, baseline: str) -> float:
        return median(per_round_ratios(self.start_ms[KESTRUNE], self.start_ms[baseline]))

    def rss_ratio(self, phase: str, baseline: str) -> float:
        values = self.memory[phase]
        return values[KESTRUNE]["rss_bytes"] / values[baseline]["rss_bytes"]

    def watching_baseline(self) -> str:
        """Kestrune can only watch after its capture's confirmation box, which
        leaves Wine's box code and glyphs in any program, and it must poll: the
        plain window's equal has shown that box too and polls as a watch must."""
        return SAME_BOX if SAME_BOX in self.memory[WATCHING] else SAME

    def cpu_check(self) -> Check:
        """Kestrune's CPU time while watching against the polling yardstick's.
        The ns clock resolves a second's poll, so the ratio is judged; the tick
        clock cannot, so without the ns clock only an excess beyond what the
        tick clock may show for equal times counts."""
        watching, baseline = self.memory[WATCHING], self.watching_baseline()
        kestrune, yardstick = watching[KESTRUNE].get("run_s"), watching[baseline].get("run_s")
        if kestrune is not None and yardstick is not None:
            return Check(f"CPU time while watching, ratio to the {baseline} (ns clock)",
                         ratio(kestrune, yardstick, 1e-6), 1.1)
        excess = watching[KESTRUNE]["cpu_s"] - watching[baseline]["cpu_s"]
        return Check(f"CPU time while watching, more than the {baseline} (tick clock)",
                     excess * 1000, TICK_CLOCK_SPREAD * self.cpu_resolution_s * 1000, " ms")

    def checks(self) -> list[Check]:
        checks = [
            Check("Kestrune.exe size", self.exe_bytes / 1024, self.exe_limit_bytes / 1024, " KB"),
            Check("DLLs imported that are not Known DLLs", len(self.foreign_dlls), 0),
            Check("same-window yardstick: differences from Kestrune's window (dump, pixels)",
                  len(self.same_differences) + self.same_pixels, 0),
            Check("start to first paint, ratio to the same window (median of the rounds)",
                  self.start_ratio(SAME), 1.1),
            Check("working set idle, ratio to the same window", self.rss_ratio(IDLE, SAME), 1.01),
            Check(f"working set while watching, ratio to the {self.watching_baseline()}",
                  self.rss_ratio(WATCHING, self.watching_baseline()), 1.01),
            self.cpu_check(),
        ]
        for kind, (first, last) in self.leaks.items():
            for key, noise in LEAK_NOISE.items():
                unit = " MiB" if key == "rss_bytes" else ""
                scale = 2**20 if key == "rss_bytes" else 1
                checks.append(Check(f"{kind}: growth of the {LEAK_UNITS[key]}, first to last",
                                    (last[key] - first[key]) / scale, noise / scale, unit))
        if self.latency_ms:
            checks += [Check("detection latency, median", median(self.latency_ms) / 1000, 1.0, " s"),
                       Check("detection latency, maximum", max(self.latency_ms) / 1000, 1.1, " s")]
        return checks

    def missed(self) -> list[Check]:
        return [c for c in self.checks() if not c.met]

    def markdown(self) -> str:
        out = ["# Kestrune: size, start-up, working set, leaks and detection latency", "",
               "Produced by one run of the command below; nothing here is typed by hand.", "",
               "```", self.command, "```", "",
               f"- Date: {self.date}"]
        out += [f"- {key}: {value}" for key, value in self.machine.items()]
        out += ["", "## Targets", "",
                "Kestrune is measured against two yardsticks built with the same compiler flags: "
                "the *same window* (`bench/same_window.cpp`), Kestrune's main window on a first "
                "start created as plainly as Win32 allows, one `CreateWindowExW` per control in its "
                "final state, same manifest, icon, menu and font; and the *bare window* "
                "(`bench/bare_window.cpp`), one empty window of the same client size, the floor "
                "for reference. The targets are against the same window: what Kestrune costs beyond "
                "it is its own overhead. While watching, the same window has also shown the "
                "capture's box and polls a window once a second as a watch must (see the working "
                "set and CPU time).", "",
                "| Figure | Measured | Target | |", "|---|---|---|---|"]
        out += [c.line() for c in self.checks()]
        out += ["", "## Size", "",
                f"`Kestrune.exe`: {self.exe_bytes} bytes ({self.exe_bytes / 1024:.1f} KB).", "",
                "Imported DLLs: " + ", ".join(f"`{d}`" for d in self.dlls) + "."]
        if self.foreign_dlls:
            out += ["", "**Not Known DLLs: " + ", ".join(self.foreign_dlls) + "**"]
        out += self._same_section() + self._start_section() + self._memory_section()
        out += self._leak_section() + self._latency_section() + self._countdown_section()
        if self.notes:
            out += ["", "## Notes", ""] + [f"- {n}" for n in self.notes]
        return "\n".join(out) + "\n"

    def _same_section(self) -> list[str]:
        out = ["", "## The same window", "",
               "Checked in this run: Kestrune on a first start (no `default.ini`) and the same "
               "window are dumped by the driver (window state and size, and every control's "
               "class, id, text, style, state and position in creation order) and photographed "
               "on the virtual display; the dumps are compared field by field and the two window "
               "images pixel by pixel. Wine reads neither another process's menu nor its fonts, "
               "so those are compared by the pictures: the same window is started with the "
               "system's message font and then a pixel smaller each time, as Kestrune may shrink "
               "it to fit the captions, until the pictures match; here the message font "
               f"{self.font_smaller} px smaller.", ""]
        if not self.same_differences and self.same_pixels == 0:
            return out + ["Result: the same dump and identical pixels."]
        out += [f"Result: **{len(self.same_differences)} differences in the dump, "
                f"{self.same_pixels} pixels differ.**", ""]
        return out + [f"- {d}" for d in self.same_differences[:40]]

    def _start_section(self) -> list[str]:
        rounds = len(self.start_ms[KESTRUNE])
        out = ["", "## Start to first paint", "",
               "The driver starts the program with `CreateProcessW` and polls every millisecond "
               "until a visible top-level window of that process, and every visible window inside "
               f"it, has no update region left (`GetUpdateRect`). {rounds} rounds in one booted "
               "Wine prefix, after one unmeasured start of each program; each round starts the "
               "three programs once, in an order that rotates from round to round. Kestrune "
               "starts without `default.ini`, as on a first start.", "",
               "| Program | Median | Minimum | Maximum | Starts |", "|---|---|---|---|---|"]
        for name, values in self.start_ms.items():
            out.append(f"| {name} | {median(values):.0f} ms | {min(values):.0f} ms | "
                       f"{max(values):.0f} ms | {len(values)} |")
        ratios = per_round_ratios(self.start_ms[KESTRUNE], self.start_ms[SAME])
        out += ["", f"Kestrune / same window, per round: median {median(ratios):.2f}, "
                f"minimum {min(ratios):.2f}, maximum {max(ratios):.2f}. Kestrune / bare window "
                f"(reference): median {self.start_ratio(BARE):.2f}."]
        return out

    def _memory_section(self) -> list[str]:
        out = ["", "## Working set and CPU time", "",
               "The programs run at the same time. Idle: Kestrune just started, with a "
               "`default.ini` that sets the hotkey (Ctrl+Alt+W) and ticks `Check1`, so that the "
               "window shows as on a first start. Watching: then Kestrune captures a window of the "
               "driver with the hotkey and watches it, minimised: once a second a timer, one "
               "message-pump step and one `IsWindow` on that window. A second same window shows "
               "the capture's confirmation box (same text length, answered by the bench), then "
               "minimises and polls another window of the driver the same way (a timer at "
               "1000 ms; in its tick one `PeekMessageW` loop until the queue is empty and one "
               "`IsWindow`), from then on, through the idle phase too. The watching targets are "
               "against it: no program can show this window's watching state without that box, "
               "nor watch without that poll, and under Wine a box leaves about 0.3 MiB (its "
               "user32 code, a surface, its glyphs) in any process. The working set is VmRSS of "
               "the Wine process (`/proc/<pid>/status`, also what Wine answers to "
               "`GetProcessMemoryInfo`), the median of samples taken every 5 s.", "",
               "CPU time is read at the start and the end of each phase on two clocks of the "
               "same time. The tick clock is utime + stime (`/proc/<pid>/stat`), each cut to "
               f"whole ticks of {self.cpu_resolution_s * 1000:.0f} ms at each reading: a "
               "figure may be up to two ticks off, and two equal times may read "
               f"{TICK_CLOCK_SPREAD} ticks apart, more than a poll once a second costs in "
               "minutes, so it cannot tell Kestrune from its yardstick and is shown for "
               "reference. The ns clock is the time on a processor in nanoseconds "
               "(`/proc/<pid>/task/<tid>/schedstat`, summed over the threads): it resolves a "
               "single tick's poll, so the target is judged on it, a ratio of at most 1.1 to "
               "the polling yardstick, the margin the start-up has too; what is left is the "
               "spread of the ticks themselves. Where the kernel keeps no such clock, or a "
               "thread ended during the phase, the target falls back to the tick clock: at most "
               f"{TICK_CLOCK_SPREAD} ticks above the yardstick.", "",
               "| Phase | Program | Working set | Working set, ratio to the same window | "
               "CPU time, ns clock | CPU time, tick clock |",
               "|---|---|---|---|---|---|"]
        for phase, programs in self.memory.items():
            for name, v in programs.items():
                run = "–" if v.get("run_s") is None else f"{v['run_s'] * 1000:.1f} ms"
                out.append(f"| {phase} ({self.seconds[phase]} s) | {name} | "
                           f"{v['rss_bytes'] / 2**20:.2f} MiB | "
                           f"{v['rss_bytes'] / programs[SAME]['rss_bytes']:.3f} | {run} | "
                           f"{v['cpu_s'] * 1000:.0f} ms |")
        out += self._poll_cost()
        if SAME_BOX in self.memory[WATCHING]:
            out += ["", "Kestrune while watching against the same window that never showed the "
                    f"box (reference, no target): {self.rss_ratio(WATCHING, SAME):.3f}."]
        if self.rss_difference:
            out += ["", "Where Kestrune's working set while watching is larger than its "
                    f"yardstick's ({self.watching_baseline()}), by mapping (`/proc/<pid>/smaps`):",
                    "",
                    "| Mapping | More |", "|---|---|"]
            out += [f"| `{name}` | {size / 2**20:.3f} MiB |" for name, size in self.rss_difference]
        if self.watch_added:
            out += ["", "What the capture and the watch added to Kestrune's own working set, from "
                    "the end of the idle phase to the end of the watching phase, by mapping:", "",
                    "| Mapping | Added |", "|---|---|"]
            out += [f"| `{name}` | {size / 2**20:.3f} MiB |" for name, size in self.watch_added]
        return out

    def _poll_cost(self) -> list[str]:
        """What one tick of the watch costs, per second of the watching phase."""
        watching, baseline = self.memory[WATCHING], self.watching_baseline()
        kestrune, yardstick = watching[KESTRUNE].get("run_s"), watching[baseline].get("run_s")
        if kestrune is None or yardstick is None:
            return []
        seconds = self.seconds[WATCHING]
        return ["", f"While watching, a second (one tick) took Kestrune "
                f"{kestrune / seconds * 1e6:.0f} µs and the {baseline} "
                f"{yardstick / seconds * 1e6:.0f} µs of processor time (ns clock)."]

    def _leak_section(self) -> list[str]:
        out = ["", "## Leaks", "",
               f"{self.leak_rounds} full cycles (capture a fresh window of the driver with the "
               "hotkey, confirm, watch, the window closes, the controls reset; `Check1` unticked) "
               f"and then {self.leak_rounds} countdowns (the same with `Check1` ticked and the "
               "suspend action; the countdown dialog's \"中　止\" is clicked), in one process. "
               "Counted after the first and after the last of each: the working set (VmRSS), the "
               "Wine process's open file descriptors (`/proc/<pid>/fd`) and Kestrune's top-level "
               "windows (`EnumWindows`). Wine 8 answers 0 to `GetGuiResources` and "
               "`GetProcessHandleCount`, so GDI, USER and kernel handle counts cannot be read; a "
               "kernel handle Wine gives a file or a mapping shows as a descriptor.", "",
               "| Run | After | Working set | File descriptors | Top-level windows |",
               "|---|---|---|---|---|"]
        for kind, snapshots in self.leaks.items():
            for label, snap in zip(("the first", "the last"), snapshots):
                out.append(f"| {kind} | {label} | {snap['rss_bytes'] / 2**20:.2f} MiB | "
                           f"{snap['fds']:.0f} | {snap['windows']:.0f} |")
        out += ["", "Counted as noise: growth up to "
                f"{LEAK_NOISE['rss_bytes'] // 1024} KiB of working set, {LEAK_NOISE['fds']} "
                f"descriptors and {LEAK_NOISE['windows']} windows."]
        return out

    def _latency_section(self) -> list[str]:
        out = ["", "## Detection latency", ""]
        if not self.latency_ms:
            return out + ["Not measured in this run (see the notes)."]
        values = ", ".join(f"{v:.0f}" for v in self.latency_ms)
        return out + [
            "From the watched window's destruction (the driver closes its own window and takes "
            "the time once `IsWindow` fails) to the moment Label1 shows the not-set text again, "
            f"over the {len(self.latency_ms)} full cycles above. Each watch waits a random "
            "0-1 s after its start, so the destruction falls anywhere in the poll's period.", "",
            f"Median {median(self.latency_ms):.0f} ms, maximum {max(self.latency_ms):.0f} ms, "
            f"minimum {min(self.latency_ms):.0f} ms.", "", f"All (ms): {values}."]

    def _countdown_section(self) -> list[str]:
        out = ["", "## Countdown under Wine", ""]
        if not self.countdown:
            return out + ["Not measured in this run (see the notes)."]
        out += ["Check1 ticked with the suspend action (a harmless request under Wine). Times from "
                "the watched window's destruction: the countdown dialog shown, hidden, and the "
                "process ended.", "",
                "| Run | Shown | Hidden | Countdown length | Process ended |", "|---|---|---|---|---|"]
        for i, run in enumerate(self.countdown, 1):
            length = run["hidden_ms"] - run["shown_ms"]
            ended = f"{run['ended_ms']:.0f} ms" if run["ended_ms"] >= 0 else "not in time"
            out.append(f"| {i} | {run['shown_ms']:.0f} ms | {run['hidden_ms']:.0f} ms | "
                       f"{length / 1000:.2f} s | {ended} |")
        lengths = [r["hidden_ms"] - r["shown_ms"] for r in self.countdown]
        out += ["", f"Median length {median(lengths) / 1000:.2f} s against the nominal 5.00 s "
                "(500 ticks of 10 ms)."]
        return out
