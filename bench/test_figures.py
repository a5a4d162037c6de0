"""What the report reads from the system and how it judges the figures."""

import unittest

from figures import (COUNTDOWNS, CYCLES, Check, Figures, cpu_seconds_from_stat,
                     dump_differences, largest_differences, per_round_ratios, ratio,
                     rss_by_mapping, rss_bytes_from_status, run_seconds_from_schedstat)

# /proc/<pid>/stat up to stime; the fields after it do not matter here.
STAT_TAIL = "S 1 2 3 0 -1 4194304 500 0 0 0 {utime} {stime} 0 0 20 0 4 0 100 0 0"


def snapshot(rss_mib: float = 30.0, fds: int = 40, windows: int = 2) -> dict:
    return {"rss_bytes": rss_mib * 2**20, "fds": fds, "windows": windows}


def figures(**changes) -> Figures:
    program = {"rss_bytes": 30e6, "cpu_s": 0.0}
    base = dict(
        command="bash scripts/bench.sh", date="2026-01-01", machine={"CPU": "x"},
        exe_bytes=90 * 1024, exe_limit_bytes=100 * 1024, dlls=["KERNEL32.dll"], foreign_dlls=[],
        same_differences=[], same_pixels=0, font_smaller=1,
        start_ms={"Kestrune": [110.0, 100.0, 130.0], "same window": [100.0, 95.0, 125.0],
                  "bare window": [60.0, 50.0, 70.0]},
        memory={phase: {"Kestrune": dict(program), "same window": dict(program),
                        "bare window": {"rss_bytes": 20e6, "cpu_s": 0.0}}
                for phase in ("idle", "watching")},
        seconds={"idle": 30, "watching": 60}, cpu_resolution_s=0.01, rss_difference=[], watch_added=[],
        leaks={CYCLES: [snapshot(), snapshot(30.2, 41)], COUNTDOWNS: [snapshot(), snapshot()]},
        leak_rounds=30, latency_ms=[500.0, 900.0, 100.0], countdown=[], notes=[])
    base.update(changes)
    return Figures(**base)


def control(hwnd: int, parent: int, text: str, **changes) -> dict:
    base = {"hwnd": hwnd, "parent": parent, "id": 1000, "class": "Button", "text": text,
            "visible": True, "enabled": True, "style": 0x50000000,
            "rect": {"left": 0, "top": 0, "right": 10, "bottom": 10}, "checked": 0}
    base.update(changes)
    return base


def window(controls: list, **changes) -> dict:
    base = {"hwnd": 1, "caption": "Kestrune", "class": "A", "visible": True, "enabled": True,
            "minimized": False, "style": 0x14ca0000, "has_menu": True, "dpi": 96, "pid": 8,
            "rect": {"left": 10, "top": 10, "right": 430, "bottom": 330},
            "client": {"left": 13, "top": 50, "right": 427, "bottom": 327}, "controls": controls}
    base.update(changes)
    return base


class ProcReadingTest(unittest.TestCase):

    def test_cpu_time_whatever_the_command_name_holds(self):
        # Guards against splitting the whole line: a name with spaces or a
        # parenthesis shifts every field after it.
        for name in ("Kestrune.exe", "Kestrune (2).exe", "a) b ) c"):
            with self.subTest(name):
                line = f"4242 ({name}) " + STAT_TAIL.format(utime=150, stime=50)
                self.assertAlmostEqual(cpu_seconds_from_stat(line, 100), 2.0)

    def test_run_time_of_every_thread_in_nanoseconds(self):
        lines = ["123456789 5000 12\n", "1000000000 0 3\n"]
        self.assertAlmostEqual(run_seconds_from_schedstat(lines), 1.123456789)

    def test_resident_set_in_bytes(self):
        self.assertEqual(rss_bytes_from_status("Name:\tx\nVmHWM:\t 900 kB\nVmRSS:\t  812 kB\n"),
                         812 * 1024)
        with self.assertRaises(ValueError):
            rss_bytes_from_status("Name:\tzombie\n")


    def test_working_set_by_mapping(self):
        smaps = ("7f00-7f10 r--p 00000000 08:01 42   /usr/lib/wine/comctl32.dll\n"
                 "Size:  64 kB\nRss:   40 kB\n"
                 "7f10-7f20 r-xp 00010000 08:01 42   /usr/lib/wine/comctl32.dll\n"
                 "Rss:   24 kB\n"
                 "7f20-7f30 rw-p 00000000 00:00 0 \n"
                 "Rss:    8 kB\n")
        self.assertEqual(rss_by_mapping(smaps), {"/usr/lib/wine/comctl32.dll": 64 * 1024,
                                                 "[anon]": 8 * 1024})

    def test_differences_name_what_is_larger_only(self):
        more = {"/a/x.dll": 300, "/b/x.dll": 100, "[heap]": 50, "y.dll": 10}
        less = {"[heap]": 80, "y.dll": 10}
        self.assertEqual(largest_differences(more, less, 5), [("x.dll", 400)])


class JudgingTest(unittest.TestCase):

    def test_ratio_of_figures_known_to_a_resolution(self):
        cases = [  # value, baseline, resolution, expected
            (0.0, 0.0, 0.01, 1.0),    # nothing measurable on either side: equal
            (0.005, 0.0, 0.01, 1.0),  # both below one tick
            (0.05, 0.0, 0.01, 5.0),   # idle baseline, busy value: not hidden
            (0.0, 0.0, 0.0, 1.0),     # no resolution given: no division by zero
            (0.3, 0.2, 0.01, 1.5),
        ]
        for value, baseline, resolution, expected in cases:
            with self.subTest(value=value, baseline=baseline):
                self.assertAlmostEqual(ratio(value, baseline, resolution), expected)
        self.assertEqual(ratio(1.0, 0.0), float("inf"))

    def test_a_figure_at_its_limit_meets_it(self):
        self.assertTrue(Check("x", 1.1, 1.1).met)
        self.assertFalse(Check("x", 1.1001, 1.1).met)

    def test_checks_use_medians_and_the_maximum(self):
        checks = {c.name: c for c in figures().checks()}
        start = next(c for n, c in checks.items() if n.startswith("start"))
        # Median of the per-round ratios (1.1, 1.0526, 1.04), not the ratio of the medians.
        self.assertAlmostEqual(start.value, 100 / 95)
        self.assertAlmostEqual(checks["detection latency, median"].value, 0.5)
        self.assertAlmostEqual(checks["detection latency, maximum"].value, 0.9)
        self.assertEqual(figures().missed(), [])

    def test_rounds_pair_up(self):
        self.assertEqual(per_round_ratios([2.0, 3.0], [1.0, 2.0]), [2.0, 1.5])
        with self.assertRaises(ValueError):
            per_round_ratios([1.0], [1.0, 2.0])

    def test_working_set_above_one_percent_misses(self):
        memory = figures().memory
        memory["watching"]["Kestrune"]["rss_bytes"] = 30.4e6
        names = [c.name for c in figures(memory=memory).missed()]
        self.assertEqual(names, ["working set while watching, ratio to the same window"])

    def test_watching_is_measured_against_the_window_that_showed_the_box(self):
        memory = figures().memory
        memory["watching"]["same window after the capture's box, minimised, polling"] = {
            "rss_bytes": 30.3e6, "cpu_s": 0.0}
        memory["watching"]["Kestrune"]["rss_bytes"] = 30.4e6
        self.assertEqual(figures(memory=memory).missed(), [])
        memory["watching"]["Kestrune"]["rss_bytes"] = 30.7e6
        self.assertEqual([c.name for c in figures(memory=memory).missed()], [
            "working set while watching, ratio to the same window after the capture's box, "
            "minimised, polling"])

    def test_cpu_while_watching_against_the_polling_window(self):
        polling = "same window after the capture's box, minimised, polling"
        cases = [  # Kestrune, yardstick as (tick clock s, ns clock s or None), met
            ((0.02, 0.0150), (0.01, 0.0139), True),   # ns clock: 1.08, ticks would say 2
            ((0.02, 0.0170), (0.01, 0.0139), False),  # ns clock: 1.22
            ((0.03, None), (0.0, 0.0139), True),      # no ns figure: 30 ms, equal times' spread
            ((0.05, 0.0139), (0.01, None), False),    # no ns figure: 40 ms more
        ]
        for kestrune, yardstick, met in cases:
            with self.subTest(kestrune=kestrune, yardstick=yardstick):
                memory = figures().memory
                for name, (cpu, run) in (("Kestrune", kestrune), (polling, yardstick)):
                    memory["watching"][name] = {"rss_bytes": 30e6, "cpu_s": cpu, "run_s": run}
                missed = [c.name for c in figures(memory=memory).missed()]
                self.assertEqual(missed == [], met, missed)
                clock = "ns clock" if kestrune[1] and yardstick[1] else "tick clock"
                self.assertIn(clock, next(c.name for c in figures(memory=memory).checks()
                                          if c.name.startswith("CPU")))

    def test_leak_beyond_noise_misses(self):
        cases = [  # last snapshot, the figure that must miss
            (snapshot(windows=3), "top-level windows"),
            (snapshot(fds=43), "file descriptors"),
            (snapshot(rss_mib=30.6), "working set"),
        ]
        for last, unit in cases:
            with self.subTest(unit):
                report = figures(leaks={CYCLES: [snapshot(), last],
                                        COUNTDOWNS: [snapshot(), snapshot()]})
                missed = [c.name for c in report.missed()]
                self.assertEqual(len(missed), 1)
                self.assertIn(unit, missed[0])
                self.assertTrue(missed[0].startswith(CYCLES))


class SameWindowTest(unittest.TestCase):

    def test_same_window_despite_other_handles_and_place(self):
        a = window([control(2, 1, "x"), control(3, 2, "y")])
        b = window([control(20, 10, "x"), control(30, 20, "y")], hwnd=10, pid=9, **{"class": "B"},
                   rect={"left": 50, "top": 60, "right": 470, "bottom": 380},
                   client={"left": 53, "top": 100, "right": 467, "bottom": 377})
        self.assertEqual(dump_differences(a, b), [])

    def test_what_the_user_sees_differs(self):
        a = window([control(2, 1, "x"), control(3, 2, "y")])
        cases = {
            "enabled": window([control(2, 1, "x", enabled=False), control(3, 2, "y")]),
            "text": window([control(2, 1, "x"), control(3, 2, "y ")]),
            "parent": window([control(2, 1, "x"), control(3, 1, "y")]),
            "controls": window([control(2, 1, "x")]),
            "client size": window([control(2, 1, "x"), control(3, 2, "y")],
                                  client={"left": 13, "top": 50, "right": 427, "bottom": 320}),
        }
        for what, b in cases.items():
            with self.subTest(what):
                differences = dump_differences(a, b)
                self.assertTrue(any(what in d for d in differences), differences)

    def test_a_differing_yardstick_misses(self):
        self.assertTrue(figures(same_pixels=12).missed())
        self.assertTrue(figures(same_differences=["menu"]).missed())


class ReportTest(unittest.TestCase):

    def test_missed_targets_and_foreign_dlls_are_marked(self):
        report = figures(latency_ms=[1200.0, 1300.0], foreign_dlls=["VERSION.dll"])
        names = [c.name for c in report.missed()]
        self.assertIn("detection latency, maximum", names)
        self.assertIn("DLLs imported that are not Known DLLs", names)
        text = report.markdown()
        self.assertIn("**MISSED**", text)
        self.assertIn("VERSION.dll", text)

    def test_parts_not_measured_still_give_a_report(self):
        # Guards against a crash on the median of an empty list, which would
        # lose every figure that was measured.
        text = figures(latency_ms=[], countdown=[]).markdown()
        self.assertIn("Not measured in this run", text)

    def test_countdown_length_is_from_shown_to_hidden(self):
        run = {"shown_ms": 1000.0, "hidden_ms": 6250.0, "ended_ms": -1.0}
        text = figures(countdown=[run]).markdown()
        self.assertIn("5.25 s", text)
        self.assertIn("not in time", text)


if __name__ == "__main__":
    unittest.main()
