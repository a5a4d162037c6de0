"""The pure half of the benchmark: reading what the system reports, judging the
figures against their targets and writing the report. Nothing here starts a
program, so all of it is tested on its own (bench/test_figures.py)."""

from __future__ import annotations

import re
import statistics
from dataclasses import dataclass
from typing import Sequence

# --- what Linux reports about a Wine process ----------------------------------------------


def cpu_seconds_from_stat(stat_line: str, ticks_per_second: int) -> float:
    """utime + stime of /proc/<pid>/stat. The command name in parentheses may
    itself hold spaces and parentheses, so fields count from the last ')'."""
    fields = stat_line[stat_line.rindex(")") + 2:].split()
    # After the name: state is field 3 of the line, utime 14 and stime 15.
    utime, stime = int(fields[11]), int(fields[12])
    return (utime + stime) / ticks_per_second


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
    if abs(value) >= 100:
        return f"{value:.0f}"
    return f"{value:.2f}"


# --- the report --------------------------------------------------------------------------


@dataclass
class Figures:
    command: str
    date: str
    machine: dict[str, str]
    exe_bytes: int
    exe_limit_bytes: int
    dlls: list[str]
    foreign_dlls: list[str]
    start_ms: dict[str, list[float]]  # "Kestrune" / "bare window" -> each start
    idle: dict[str, dict[str, float]]  # name -> cpu_s, rss_bytes, rss_max_bytes, seconds
    cpu_resolution_s: float
    rss_difference: list[tuple[str, int]]  # mapping -> bytes more in Kestrune
    latency_ms: list[float]
    countdown: list[dict[str, float]]  # shown_ms, hidden_ms, ended_ms per run
    notes: list[str]

    def checks(self) -> list[Check]:
        kes, bare = self.idle["Kestrune"], self.idle["bare window"]
        start = median(self.start_ms["Kestrune"]) / median(self.start_ms["bare window"])
        checks = [
            Check("Kestrune.exe size", self.exe_bytes / 1024, self.exe_limit_bytes / 1024, " KB"),
            Check("non-system DLLs imported", len(self.foreign_dlls), 0),
            Check("start to first paint, ratio to the bare window (medians)", start, 1.2),
            Check("CPU time while watching 60 s, ratio to the bare window idling",
                  ratio(kes["cpu_s"], bare["cpu_s"], self.cpu_resolution_s), 1.1),
            Check("working set while watching, ratio to the bare window idling",
                  kes["rss_bytes"] / bare["rss_bytes"], 1.2),
        ]
        if self.latency_ms:
            checks += [Check("detection latency, median", median(self.latency_ms) / 1000, 1.0, " s"),
                       Check("detection latency, maximum", max(self.latency_ms) / 1000, 1.1, " s")]
        return checks

    def missed(self) -> list[Check]:
        return [c for c in self.checks() if not c.met]

    def markdown(self) -> str:
        out = ["# Kestrune: size, start-up, idle cost and detection latency", "",
               "Produced by one run of the command below; nothing here is typed by hand.", "",
               "```", self.command, "```", "",
               f"- Date: {self.date}"]
        out += [f"- {key}: {value}" for key, value in self.machine.items()]
        out += ["", "## Targets", "", "| Figure | Measured | Target | |", "|---|---|---|---|"]
        out += [c.line() for c in self.checks()]
        out += ["", "## Size", "",
                f"`Kestrune.exe`: {self.exe_bytes} bytes ({self.exe_bytes / 1024:.1f} KB).", "",
                "Imported DLLs: " + ", ".join(f"`{d}`" for d in self.dlls) + "."]
        if self.foreign_dlls:
            out += ["", "**Not system DLLs: " + ", ".join(self.foreign_dlls) + "**"]
        out += self._start_section() + self._idle_section() + self._latency_section()
        out += self._countdown_section()
        if self.notes:
            out += ["", "## Notes", ""] + [f"- {n}" for n in self.notes]
        return "\n".join(out) + "\n"

    def _start_section(self) -> list[str]:
        out = ["", "## Start to first paint", "",
               "The driver starts the program with `CreateProcessW` and polls every millisecond "
               "until a visible top-level window of that process, and every visible window inside "
               "it, has no update region left (`GetUpdateRect`). Starts alternate between the two "
               "programs in one booted Wine prefix, after one unmeasured start of each.", "",
               "| Program | Median | Minimum | Maximum | Starts |", "|---|---|---|---|---|"]
        for name, values in self.start_ms.items():
            out.append(f"| {name} | {median(values):.0f} ms | {min(values):.0f} ms | "
                       f"{max(values):.0f} ms | {len(values)} |")
        ratio_ = median(self.start_ms["Kestrune"]) / median(self.start_ms["bare window"])
        out += ["", f"Ratio of the medians: {ratio_:.2f}."]
        return out

    def _idle_section(self) -> list[str]:
        out = ["", "## Idle cost over 60 s", "",
               "Kestrune watches a window of the driver (minimised, polling once a second) while "
               "the bare window idles, both at the same time. CPU time is utime + stime of the Wine "
               "process (`/proc/<pid>/stat`, resolution "
               f"{self.cpu_resolution_s * 1000:.0f} ms) over the interval; the working set is "
               "VmRSS (`/proc/<pid>/status`), which is also what Wine answers to "
               "`GetProcessMemoryInfo`, at the end and the largest of the samples.", "",
               "| Program | CPU time | Working set (end) | Working set (max) |", "|---|---|---|---|"]
        for name, v in self.idle.items():
            out.append(f"| {name} | {v['cpu_s'] * 1000:.0f} ms | {v['rss_bytes'] / 2**20:.1f} MiB | "
                       f"{v['rss_max_bytes'] / 2**20:.1f} MiB |")
        if self.rss_difference:
            out += ["", "Where Kestrune's working set is larger, by mapping (`/proc/<pid>/smaps`, "
                    "at the end of the interval):", "", "| Mapping | More than the bare window |",
                    "|---|---|"]
            out += [f"| `{name}` | {size / 2**20:.2f} MiB |" for name, size in self.rss_difference]
        return out

    def _latency_section(self) -> list[str]:
        out = ["", "## Detection latency", ""]
        if not self.latency_ms:
            return out + ["Not measured in this run (see the notes)."]
        values = ", ".join(f"{v:.0f}" for v in self.latency_ms)
        return out + [
            "From the watched window's destruction (the driver closes its own window and takes "
            "the time once `IsWindow` fails) to the moment Label1 shows the not-set text again, "
            f"over {len(self.latency_ms)} watches with Check1 unticked. Each watch waits a random "
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
