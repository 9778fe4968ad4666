"""The release under 32-bit Wine: built by scripts/package.sh, installed
silently into a made-up Winamp folder that the registry names and into a
second one, played there by voskel-play standing in for winamp.exe, and
uninstalled silently from each. Run by
scripts/test.sh with voskel_play_test's environment for the win32 build
(VOSKEL_PLAY_WINE: the 32-bit loader) and VOSKEL_DEMO_DIR.
"""

import os
import re
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
UNINSTALL = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"
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

    def entries(self):
        """Our entries in Windows' list of installed programs: {key name: {value: text, or number for a DWORD}}."""
        export = self.path("uninstall.reg")
        self.assertEqual(registry("export", UNINSTALL, play.program_path(export), "/y"), 0)
        keys = re.findall(r'\\(in_voskel(?:-[\w-]+)?)\]\n((?:".*\n)*)', Path(export).read_text(encoding="utf-16"))
        return {name: {value: int(number, 16) if number else text.replace("\\\\", "\\")
                       for value, text, number in re.findall(r'"(\w+)"=(?:"(.*)"|dword:(\w+))', body)}
                for name, body in keys}

    def forget_entries(self):
        for name in self.entries():
            registry("delete", UNINSTALL + "\\" + name, "/f")

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

    def test_silent_installs_into_two_folders_play_archives_and_each_silent_uninstall_removes_exactly_its_own(self):
        # Another Winamp, without archive libraries, beside the one the registry names.
        winamp, other = self.path("Winamp"), self.path("Other")
        for folder in (winamp, other):
            os.makedirs(os.path.join(folder, "Plugins"))
            shutil.copy(play.PROGRAM, os.path.join(folder, "winamp.exe"))
            shutil.copy(os.path.join(play.PLUGINS, "in_tracker.dll"), os.path.join(folder, "Plugins"))
        # Another program's unzip32.dll, told apart by a tail the loader ignores.
        theirs = self.unzip32 + b"another program's"
        Path(winamp, "unzip32.dll").write_bytes(theirs)
        before = {folder: files_below(folder) for folder in (winamp, other)}
        uninstall_string = '"%s"' % play.program_path(os.path.join(winamp, "UninstWA.exe"))
        self.assertEqual(registry("add", WINAMP_KEY, "/v", "UninstallString", "/d", uninstall_string, "/f"), 0)
        self.addCleanup(registry, "delete", WINAMP_KEY, "/f")
        self.addCleanup(self.forget_entries)

        # The other folder first, its entry then made the one key that earlier
        # builds of the installer wrote, which installing there again must take
        # for that folder's; Winamp's folder twice, the second install over the first.
        into_other = "/D=" + play.program_path(other)
        self.assertEqual(wine(self.setup, "/S", into_other)[0], 0)
        [name] = self.entries()
        self.assertEqual(registry("copy", UNINSTALL + "\\" + name, UNINSTALL + r"\in_voskel", "/f"), 0)
        self.assertEqual(registry("delete", UNINSTALL + "\\" + name, "/f"), 0)
        for arguments in ([], [], [into_other]):
            self.assertEqual(wine(self.setup, "/S", *arguments)[0], 0)
        installed = {winamp: sorted(before[winamp] + OUR_FILES),
                     other: sorted(before[other] + OUR_FILES + ["unzip32.dll"])}
        self.assertEqual({folder: files_below(folder) for folder in installed}, installed)
        self.assertEqual(Path(winamp, "unzip32.dll").read_bytes(), theirs)
        entries = self.entries()
        self.assertEqual(sorted(entry["InstallLocation"] for entry in entries.values()),
                         sorted(map(play.program_path, installed)), "one entry a folder")
        self.assertTrue(all(entry["InstallLocation"] in entry["DisplayName"] for entry in entries.values()))
        # Its icon and readme are files it installed; its size, in KB, that of the files it added.
        for folder in installed:
            [entry] = [entry for entry in entries.values() if entry["InstallLocation"] == play.program_path(folder)]
            for value in ("DisplayIcon", "Readme", "HelpLink"):
                self.assertTrue(os.path.isfile(entry[value][2:].replace("\\", "/")), entry[value])
            added = sum(os.path.getsize(os.path.join(folder, name))
                        for name in set(installed[folder]) - set(before[folder]))
            self.assertEqual(entry["EstimatedSize"], -(-added // 1024), folder)

        def uninstall(folder):
            """As Windows runs it: from a copy outside the folder it empties."""
            own_folder = os.path.join(folder, "Plugins", "in_voskel")
            shutil.copy(os.path.join(own_folder, "uninstall.exe"), self.path("uninstall.exe"))
            self.assertEqual(wine(self.path("uninstall.exe"), "/S", "_?=" + play.program_path(own_folder))[0], 0)
            self.assertFalse(os.path.exists(own_folder))
        uninstall(other)
        self.assertEqual({folder: files_below(folder) for folder in installed}, {**installed, other: before[other]})
        self.assertEqual(self.entries(), {name: entry for name, entry in entries.items()
                                          if entry["InstallLocation"] == play.program_path(winamp)})

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

        uninstall(winamp)
        self.assertEqual(files_below(winamp), before[winamp])
        self.assertEqual(Path(winamp, "unzip32.dll").read_bytes(), theirs)
        self.assertEqual(self.entries(), {})

    def test_a_silent_install_into_a_folder_without_winamp_fails_and_writes_nothing(self):
        folder = self.path("NoWinamp")
        os.makedirs(folder)
        self.addCleanup(self.forget_entries)
        self.assertNotEqual(wine(self.setup, "/S", "/D=" + play.program_path(folder))[0], 0)
        self.assertEqual(os.listdir(folder), [])
        self.assertEqual(self.entries(), {})


if __name__ == "__main__":
    unittest.main(verbosity=2)
