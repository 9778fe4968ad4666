"""The release under 32-bit Wine: built by scripts/package.sh, installed
silently into a made-up Winamp folder that the registry names, played there
by voskel-play standing in for winamp.exe, and uninstalled silently. Run by
scripts/test.sh with voskel_play_test's environment for the win32 build
(VOSKEL_PLAY_WINE: the 32-bit loader) and VOSKEL_DEMO_DIR.
"""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest
import zipfile
from pathlib import Path

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
import voskel_play_test as play  # noqa: E402

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
DIST = os.path.join(ROOT, "build", "dist")
DEMO_DIR = os.environ["VOSKEL_DEMO_DIR"]
WINAMP_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Winamp"
OUR_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\in_voskel"
OUR_FILES = ["Plugins/in_voskel.dll", "Plugins/in_voskel/LICENSE.txt", "Plugins/in_voskel/readme.txt",
             "Plugins/in_voskel/uninstall.exe", "Plugins/in_voskel/unrar-license.txt",
             "Plugins/in_voskel/unzip32-LICENSE.txt", "unrar.dll"]

setUpModule = play.setUpModule
tearDownModule = play.tearDownModule


def wine(*arguments, env=None):
    """(exit status, standard error) of a Windows program run to its end."""
    with tempfile.TemporaryFile() as err:
        result = subprocess.run([play.WINE, *arguments], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=err, env=env, timeout=600)
        err.seek(0)
        return result.returncode, err.read().decode(errors="replace")


def registry(*arguments):
    """reg.exe on the 32-bit view, where Winamp's installer and ours write."""
    return wine("reg", *arguments, "/reg:32")[0]


def files_below(folder):
    return sorted(os.path.relpath(os.path.join(d, f), folder).replace(os.sep, "/")
                  for d, _, names in os.walk(folder) for f in names)


class Release(play.ScratchCase):
    @classmethod
    def setUpClass(cls):
        subprocess.run([os.path.join(ROOT, "scripts", "package.sh")], check=True, stdout=subprocess.DEVNULL)
        cls.setup = os.path.join(DIST, "in_voskel-0.9-setup.exe")
        with zipfile.ZipFile(os.path.join(DIST, "in_voskel-0.9.zip")) as archive:
            cls.names = sorted(archive.namelist())
            cls.unzip32 = archive.read("unzip32.dll")

    def test_the_zip_holds_the_plugin_and_the_libraries_marked_as_ours_with_their_licences(self):
        self.assertEqual(self.names, ["LICENSE.txt", "in_voskel.dll", "readme.txt", "unrar-license.txt", "unrar.dll",
                                      "unzip32-LICENSE.txt", "unzip32.dll"])
        with zipfile.ZipFile(os.path.join(DIST, "in_voskel-0.9.zip")) as archive:
            archive.extractall(self.folder)

        def resource(name):
            return subprocess.run(["i686-w64-mingw32-windres", "-i", self.path(name), "-O", "rc"], check=True,
                                  capture_output=True, text=True).stdout
        self.assertIn('VALUE "FileVersion", "0.9"', resource("in_voskel.dll"))
        self.assertIn('"CompanyName", "Built by the in_voskel project"', resource("unrar.dll"))
        self.assertIn('"CompanyName", "Built by the in_voskel project"', resource("unzip32.dll"))
        self.assertNotIn("Info-ZIP's UnZip", resource("unzip32.dll"))

    def test_a_silent_install_plays_archives_and_a_silent_uninstall_removes_exactly_it(self):
        winamp = self.path("Winamp")
        os.makedirs(os.path.join(winamp, "Plugins"))
        shutil.copy(play.PROGRAM, os.path.join(winamp, "winamp.exe"))
        shutil.copy(os.path.join(play.PLUGINS, "in_tracker.dll"), os.path.join(winamp, "Plugins"))
        # Another program's unzip32.dll, told apart by a tail the loader ignores.
        theirs = self.unzip32 + b"another program's"
        Path(winamp, "unzip32.dll").write_bytes(theirs)
        before = files_below(winamp)
        uninstall_string = '"%s"' % play.program_path(os.path.join(winamp, "UninstWA.exe"))
        self.assertEqual(registry("add", WINAMP_KEY, "/v", "UninstallString", "/d", uninstall_string, "/f"), 0)
        self.addCleanup(registry, "delete", WINAMP_KEY, "/f")
        self.addCleanup(registry, "delete", OUR_KEY, "/f")

        self.assertEqual(wine(self.setup, "/S")[0], 0)
        self.assertEqual(files_below(winamp), sorted(before + OUR_FILES))
        self.assertEqual(Path(winamp, "unzip32.dll").read_bytes(), theirs)
        self.assertEqual(registry("query", OUR_KEY), 0, "listed among Windows' installed programs")

        # The host in Winamp's folder, its plugins in Plugins\, no other library search.
        mdr = self.path("demo.mdr")
        play.rar4_archive(mdr, "demo.mod", Path(DEMO_DIR, "demo.mod").read_bytes())
        environment = {name: value for name, value in os.environ.items() if name != "WINEPATH"}
        rendered = []
        for song in (os.path.join(DEMO_DIR, "demo.mdz"), mdr):
            output = self.path(os.path.basename(song) + ".wav")
            code, err = wine(os.path.join(winamp, "winamp.exe"), "render", play.program_path(song),
                             "-o", play.program_path(output), env=environment)
            self.assertEqual(code, 0, err)
            rendered.append(play.read_wav(output))
        self.assertEqual(rendered[0], rendered[1])
        self.assertEqual(rendered[0][:3], (2, 16, 44100))
        self.assertGreater(len(rendered[0][3]), 44100 * 4 * 10, "the demo lasts 15 s")

        # As Windows runs it: from a copy outside the folder it empties.
        own_folder = os.path.join(winamp, "Plugins", "in_voskel")
        uninstaller = self.path("uninstall.exe")
        shutil.copy(os.path.join(own_folder, "uninstall.exe"), uninstaller)
        self.assertEqual(wine(uninstaller, "/S", "_?=" + play.program_path(own_folder))[0], 0)
        self.assertEqual(files_below(winamp), before)
        self.assertFalse(os.path.exists(own_folder))
        self.assertEqual(Path(winamp, "unzip32.dll").read_bytes(), theirs)
        self.assertNotEqual(registry("query", OUR_KEY), 0)

    def test_a_silent_install_into_a_folder_without_winamp_fails_and_writes_nothing(self):
        folder = self.path("NoWinamp")
        os.makedirs(folder)
        self.addCleanup(registry, "delete", OUR_KEY, "/f")
        self.assertNotEqual(wine(self.setup, "/S", "/D=" + play.program_path(folder))[0], 0)
        self.assertEqual(os.listdir(folder), [])
        self.assertNotEqual(registry("query", OUR_KEY), 0)


if __name__ == "__main__":
    unittest.main(verbosity=2)
