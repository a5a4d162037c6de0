"""The portable release: the zip that scripts/release.sh packs, its checksum,
and the packed Kestrune.exe started from a fresh folder."""

import re
import shutil
import subprocess
import tempfile
import unittest
import zipfile
from pathlib import Path

from expected import TEXTS
from kestrune_e2e import KestruneApp, KestruneTestCase
from window_dump import IDYES
from wine_session import REPO

RELEASE = REPO / "scripts" / "release.sh"
PACKAGE_TIMEOUT = 300  # may install zip first
IMAGE_LINK = re.compile(r"!\[[^\]]*\]\(([^)\s]+)\)")


def project_version() -> str:
    source = (REPO / "CMakeLists.txt").read_text(encoding="utf-8")
    match = re.search(r"project\(Kestrune\s+VERSION\s+(\d+\.\d+\.\d+)", source)
    assert match, "no project version in CMakeLists.txt"
    return match.group(1)


def package(exe: Path, out: Path) -> subprocess.CompletedProcess:
    return subprocess.run(["bash", str(RELEASE), "--exe", str(exe), "--out", str(out)],
                          capture_output=True, text=True, timeout=PACKAGE_TIMEOUT)


class ReleaseTest(KestruneTestCase):

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.out = Path(tempfile.mkdtemp(prefix="kestrune-release-"))
        cls.addClassCleanup(shutil.rmtree, cls.out, True)
        result = package(cls.wine.exe, cls.out)
        if result.returncode != 0:
            raise AssertionError(f"release.sh failed:\n{result.stdout}{result.stderr}")
        cls.top = f"Kestrune-{project_version()}"
        cls.zip = cls.out / f"{cls.top}-win64.zip"

    def test_zip_holds_the_exe_the_guides_their_pictures_and_the_licence(self):
        with zipfile.ZipFile(self.zip) as archive:
            names = set(archive.namelist())
            self.assertEqual(archive.read(f"{self.top}/Kestrune.exe"), self.wine.exe.read_bytes())
            self.assertEqual(archive.read(f"{self.top}/LICENSE.txt"),
                             (REPO / "LICENSE").read_bytes())
            for guide in ("guide.ja.md", "guide.en.md"):
                with self.subTest(guide):
                    text = archive.read(f"{self.top}/{guide}").decode("utf-8")
                    links = IMAGE_LINK.findall(text)
                    self.assertTrue(links, "the guide shows no pictures")
                    # A picture the guide links must travel with it.
                    for link in links:
                        self.assertIn(f"{self.top}/{link}", names)

    def test_checksum_file_verifies_and_packing_again_gives_the_same_zip(self):
        checksum = self.zip.with_name(self.zip.name + ".sha256")
        self.assertRegex(checksum.read_text(), rf"^[0-9a-f]{{64}}  {re.escape(self.zip.name)}\n$")
        verify = subprocess.run(["sha256sum", "-c", checksum.name], cwd=self.out,
                                capture_output=True, text=True, timeout=60)
        self.assertEqual(verify.returncode, 0, verify.stdout + verify.stderr)
        # Guards a zip whose bytes (and so its published checksum) change with
        # the time of packing.
        again = Path(tempfile.mkdtemp(prefix="kestrune-release-"))
        self.addCleanup(shutil.rmtree, again, True)
        self.assertEqual(package(self.wine.exe, again).returncode, 0)
        self.assertEqual(checksum.read_text(), (again / checksum.name).read_text())

    def test_unpacked_program_starts_and_saves_its_settings_beside_itself(self):
        app = KestruneApp(self.wine)
        self.addCleanup(app.cleanup)
        with zipfile.ZipFile(self.zip) as archive:
            archive.extractall(app.folder)
        app.folder = app.folder / self.top
        app.exe = app.folder / "Kestrune.exe"
        self.assertIsNone(app.read_ini())

        app.launch()
        self.assertTrue(app.dump().visible)
        app.close()
        app.answer(app.wait_msgbox(TEXTS["kQuitQuestion"]), IDYES)
        self.assertEqual(app.wait_exit(), 0)
        self.assertTrue((app.read_ini() or b"").startswith(b"/HotKey(bShift)\r\n"))


class ImportCheckTest(unittest.TestCase):
    """Needs no Wine: only the MinGW compiler that builds the program."""

    # Guards shipping an exe that cannot start on a clean Windows because it
    # needs the compiler's runtime DLLs beside it.
    def test_exe_needing_a_non_system_dll_is_refused(self):
        compiler = shutil.which("x86_64-w64-mingw32-g++")
        if compiler is None:
            self.skipTest("no MinGW compiler")
        work = Path(tempfile.mkdtemp(prefix="kestrune-release-"))
        self.addCleanup(shutil.rmtree, work, True)
        source = work / "dynamic.cpp"
        source.write_text("#include <string>\nint main() { return int(std::string(\"x\").size()); }\n")
        exe = work / "dynamic.exe"
        subprocess.run([compiler, "-o", str(exe), str(source)], check=True, timeout=120)

        result = package(exe, work / "dist")
        self.assertNotEqual(result.returncode, 0)
        self.assertIn("libstdc++", result.stderr)
        self.assertFalse(list((work / "dist").glob("*.zip")))


if __name__ == "__main__":
    unittest.main()
