"""What the report reads from the system and how it judges the figures."""

import unittest

from figures import (Check, Figures, cpu_seconds_from_stat, largest_differences, ratio,
                     rss_by_mapping, rss_bytes_from_status)

# /proc/<pid>/stat up to stime; the fields after it do not matter here.
STAT_TAIL = "S 1 2 3 0 -1 4194304 500 0 0 0 {utime} {stime} 0 0 20 0 4 0 100 0 0"


def figures(**changes) -> Figures:
    base = dict(
        command="bash scripts/bench.sh", date="2026-01-01", machine={"CPU": "x"},
        exe_bytes=200 * 1024, exe_limit_bytes=300 * 1024, dlls=["KERNEL32.dll"], foreign_dlls=[],
        start_ms={"Kestrune": [110.0, 100.0, 130.0], "bare window": [100.0, 90.0, 95.0]},
        idle={"Kestrune": {"cpu_s": 0.0, "rss_bytes": 11e6, "rss_max_bytes": 11e6},
              "bare window": {"cpu_s": 0.0, "rss_bytes": 10e6, "rss_max_bytes": 10e6}},
        cpu_resolution_s=0.01, rss_difference=[], latency_ms=[500.0, 900.0, 100.0], countdown=[], notes=[])
    base.update(changes)
    return Figures(**base)


class ProcReadingTest(unittest.TestCase):

    def test_cpu_time_whatever_the_command_name_holds(self):
        # Guards against splitting the whole line: a name with spaces or a
        # parenthesis shifts every field after it.
        for name in ("Kestrune.exe", "Kestrune (2).exe", "a) b ) c"):
            with self.subTest(name):
                line = f"4242 ({name}) " + STAT_TAIL.format(utime=150, stime=50)
                self.assertAlmostEqual(cpu_seconds_from_stat(line, 100), 2.0)

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
        self.assertAlmostEqual(start.value, 110 / 95)
        self.assertAlmostEqual(checks["detection latency, median"].value, 0.5)
        self.assertAlmostEqual(checks["detection latency, maximum"].value, 0.9)
        self.assertEqual(figures().missed(), [])


class ReportTest(unittest.TestCase):

    def test_missed_targets_and_foreign_dlls_are_marked(self):
        report = figures(latency_ms=[1200.0, 1300.0], foreign_dlls=["libstdc++-6.dll"])
        names = [c.name for c in report.missed()]
        self.assertIn("detection latency, maximum", names)
        self.assertIn("non-system DLLs imported", names)
        text = report.markdown()
        self.assertIn("**MISSED**", text)
        self.assertIn("libstdc++-6.dll", text)

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
