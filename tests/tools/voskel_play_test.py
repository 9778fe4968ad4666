"""voskel-play from the command line, on either build.

Run by ctest with the environment naming what to test:
  VOSKEL_PLAY          the program
  VOSKEL_PLAY_PLUGINS  its plugin folder (in_voskel and in_wave at least)
  VOSKEL_PLAY_SCRATCH  a folder the tests may fill
  VOSKEL_PLAY_WINE     the wine command, when the program is a Windows one
Every run of the program is a process of its own, and under Wine a slow one:
each test does its work in as few runs as it can.
"""

import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import wave
import zlib

PROGRAM = os.environ["VOSKEL_PLAY"]
PLUGINS = os.environ["VOSKEL_PLAY_PLUGINS"]
SCRATCH = os.environ["VOSKEL_PLAY_SCRATCH"]
WINE = os.environ.get("VOSKEL_PLAY_WINE", "")
ON_WINDOWS = bool(WINE)
LIBRARY_SUFFIX = ".dll" if ON_WINDOWS else ".so"


_wine_holder = None


def setUpModule():
    """Under Wine, one long-lived process keeps the Wine server up between the
    program's runs: otherwise each run starts the server afresh, at seconds a time."""
    global _wine_holder
    if ON_WINDOWS:
        _wine_holder = subprocess.Popen([WINE, "cmd.exe", "/c", "more"], stdin=subprocess.PIPE,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # Bring up the server, its system programs and the desktop process
        # now: whichever program starts them lends them its standard output
        # and error, which they keep while the holder runs.
        subprocess.run([WINE, "rundll32.exe", "user32.dll,GetDesktopWindow"], stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)


def tearDownModule():
    if _wine_holder is not None:
        _wine_holder.stdin.close()  # "more" ends at the end of its input
        try:
            _wine_holder.wait(timeout=60)
        except subprocess.TimeoutExpired:
            _wine_holder.kill()
            _wine_holder.wait()


def program_path(path):
    """A path as the program sees it: Wine reaches the file system through drive Z:."""
    return "Z:" + path.replace("/", "\\") if ON_WINDOWS else path


def voskel_play(*arguments, plugins=PLUGINS, env=None, encoding="utf-8"):
    """(exit status, output, errors); "latin-1" keeps every byte of the output as one character."""
    command = [PROGRAM, "--plugins", program_path(plugins), *arguments]
    if ON_WINDOWS:
        command.insert(0, WINE)
    # Output goes to files, not pipes: a pipe is at its end only once every
    # process holding it has ended, Wine's long-lived ones included.
    with tempfile.TemporaryFile() as out_file, tempfile.TemporaryFile() as err_file:
        result = subprocess.run(command, stdin=subprocess.DEVNULL, stdout=out_file, stderr=err_file, env=env,
                                timeout=600)
        out_file.seek(0)
        err_file.seek(0)
        out = out_file.read().decode(encoding, errors="replace").replace("\r\n", "\n")
        err = err_file.read().decode(encoding, errors="replace").replace("\r\n", "\n")
    if ON_WINDOWS:
        # Wine's own remarks (such as that a Unix folder has no volume label) are not the program's.
        err = "".join(line for line in err.splitlines(keepends=True) if not line.startswith("wine: "))
    return result.returncode, out, err


def sample_bytes(channels, bits, frames):
    """Samples that differ from frame to frame and channel to channel."""
    out = bytearray()
    for frame in range(frames):
        for channel in range(channels):
            value = (frame * 97 + channel * 5003) & 0xFFFF
            out += bytes([value & 0xFF]) if bits == 8 else struct.pack("<H", value)
    return bytes(out)


def wav_file(path, channels, bits, rate, frames):
    samples = sample_bytes(channels, bits, frames)
    with wave.open(path, "wb") as w:
        w.setnchannels(channels)
        w.setsampwidth(bits // 8)
        w.setframerate(rate)
        w.writeframes(samples)
    return samples


def raw_wav_file(path, channels, bits, rate, frames):
    """A WAV header that Python's wave module will not write, e.g. 24 bit."""
    align = channels * bits // 8
    data = bytes(frames * align)
    fmt = struct.pack("<HHIIHH", 1, channels, rate, rate * align, align, bits)
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt + b"data" + struct.pack("<I", len(data)) + data
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", len(body)) + body)


def read_wav(path):
    with wave.open(path, "rb") as w:
        return w.getnchannels(), w.getsampwidth() * 8, w.getframerate(), w.readframes(w.getnframes())


def zip_archive(archive, member):
    """An *.MDZ made by the zip program, holding one file under its bare name."""
    subprocess.run(["zip", "-q", "-j", archive, member], check=True)


def rar4_archive(archive, name, data):
    """An *.MDR: a RAR 4 archive with one stored entry, as the RAR programs write it."""

    def block(head_type, flags, fields):
        rest = struct.pack("<BHH", head_type, flags, 7 + len(fields)) + fields
        return struct.pack("<H", zlib.crc32(rest) & 0xFFFF) + rest

    encoded = name.encode()
    dos_time = (44 << 25) | (1 << 21) | (1 << 16)  # 2024-01-01 00:00
    file_fields = struct.pack("<IIBIIBBHI", len(data), len(data), 2, zlib.crc32(data), dos_time,
                              20, 0x30, len(encoded), 0x20) + encoded
    with open(archive, "wb") as f:
        f.write(b"Rar!\x1a\x07\x00")
        f.write(block(0x73, 0, bytes(6)))            # archive header
        f.write(block(0x74, 0x8000, file_fields))    # file header; the data follows it
        f.write(data)
        f.write(block(0x7B, 0x4000, b""))            # end of archive


def zip_archive_named(archive, member_name, data):
    """An *.MDZ holding data, stored, under member_name. For Windows the name
    is in the DOS code page, as Windows' own ZIP tools write it and as
    unzip32.dll turns it into the ANSI one; elsewhere in UTF-8, flagged so."""
    if ON_WINDOWS:
        name, flags, made_by = member_name.encode("cp437"), 0, 20        # MS-DOS
    else:
        name, flags, made_by = member_name.encode(), 0x800, (3 << 8) | 20  # Unix
    crc = zlib.crc32(data)
    common = struct.pack("<HHHHHIII", 20, flags, 0, 0, 0x21, crc, len(data), len(data))
    local = b"PK\x03\x04" + common + struct.pack("<HH", len(name), 0) + name
    central = (b"PK\x01\x02" + struct.pack("<H", made_by) + common
               + struct.pack("<HHHHHII", len(name), 0, 0, 0, 0, 0, 0) + name)
    end = b"PK\x05\x06" + struct.pack("<HHHHIIH", 0, 0, 1, 1, len(central), len(local) + len(data), 0)
    with open(archive, "wb") as f:
        f.write(local + data + central + end)


def printed(text):
    """Text as the program prints it: in the ANSI code page under Wine
    (Windows-1252 in the test prefix), in UTF-8 natively."""
    if not ON_WINDOWS:
        return text
    return text.encode("cp1252").decode(errors="replace")


def length_text(ms):
    return "%d:%02d.%03d (%d ms)" % (ms // 60000, ms // 1000 % 60, ms % 1000, ms)


class ScratchCase(unittest.TestCase):
    def setUp(self):
        self.folder = os.path.join(SCRATCH, self.id().rsplit(".", 2)[-2] + "." + self._testMethodName)
        shutil.rmtree(self.folder, ignore_errors=True)
        os.makedirs(self.folder)
        self.addCleanup(shutil.rmtree, self.folder, ignore_errors=True)

    def path(self, name):
        return os.path.join(self.folder, name)

    def song(self, name, channels, bits, rate, frames):
        """A WAV file in its own folder, so that it can be archived under its bare name."""
        source = os.path.join(self.folder, "sources", name)
        os.makedirs(os.path.dirname(source), exist_ok=True)
        return source, wav_file(source, channels, bits, rate, frames)

    def native_environment(self):
        """Natively the extracted songs go to a folder of the test's own, to be checked afterwards."""
        if ON_WINDOWS:
            return None, None
        temp = self.path("temp")
        os.makedirs(temp, exist_ok=True)
        return temp, dict(os.environ, TEMP=temp, TMP=temp)


class ArchivedSongs(ScratchCase):
    def test_a_wav_in_an_mdz_and_in_an_mdr_renders_to_its_own_samples(self):
        cases = [
            ("stereo.wav", 2, 16, 22050, 11025, "mdz"),
            ("mono8.wav", 1, 8, 8000, 6000, "mdr"),
        ]
        for name, channels, bits, rate, frames, kind in cases:
            with self.subTest(kind=kind, channels=channels, bits=bits):
                source, samples = self.song(name, channels, bits, rate, frames)
                archive = self.path("song." + kind)
                if kind == "mdz":
                    zip_archive(archive, source)
                else:
                    with open(source, "rb") as f:
                        rar4_archive(archive, name, f.read())
                output = self.path(kind + ".wav")
                temp, env = self.native_environment()

                code, out, err = voskel_play("render", program_path(archive), "-o", program_path(output), env=env)

                self.assertEqual(code, 0, err)
                self.assertEqual(err, "")
                self.assertIn("%d Hz" % rate, out)
                self.assertEqual(read_wav(output), (channels, bits, rate, samples))
                if temp is not None:
                    self.assertEqual(os.listdir(temp), [], "the extracted song is deleted")


    def test_an_extended_read_renders_the_same_wav_as_playing(self):
        # As the format converter decodes: through in_voskel's extended read,
        # forwarded to in_wave's, from a copy of the member of its own.
        source, samples = self.song("tone.wav", 2, 16, 22050, 11025)
        archive = self.path("tone.mdz")
        zip_archive(archive, source)
        played, read = self.path("played.wav"), self.path("read.wav")
        temp, env = self.native_environment()

        code, out, err = voskel_play("render", program_path(archive), "-o", program_path(played), env=env)
        self.assertEqual(code, 0, err)
        code, out, err = voskel_play("render", "--extended-read", program_path(archive), "-o", program_path(read),
                                     env=env)
        self.assertEqual(code, 0, err)
        self.assertEqual(read_wav(read), (2, 16, 22050, samples))
        with open(played, "rb") as a, open(read, "rb") as b:
            self.assertEqual(a.read(), b.read())
        if temp is not None:
            self.assertEqual(os.listdir(temp), [], "the copy and its folder are deleted")

    @unittest.skipUnless(ON_WINDOWS, "natively ZIP is read without a library")
    def test_an_mdz_plays_with_unzip32_only_beside_the_plugin(self):
        # Where users put it, though the host never searches its plugin folder.
        plugins = self.path("plugins")
        os.makedirs(plugins)
        for base in ("in_voskel", "in_wave"):
            shutil.copy(os.path.join(PLUGINS, base + LIBRARY_SUFFIX), plugins)
        shutil.copy(os.path.join(os.environ["WINEPATH"][2:].replace("\\", "/"), "unzip32.dll"), plugins)
        source, samples = self.song("tone.wav", 2, 16, 22050, 4410)
        archive = self.path("tone.mdz")
        zip_archive(archive, source)
        output = self.path("out.wav")
        without_search_path = {name: value for name, value in os.environ.items() if name != "WINEPATH"}

        code, out, err = voskel_play("render", program_path(archive), "-o", program_path(output),
                                     plugins=plugins, env=without_search_path)
        self.assertEqual((code, err), (0, ""))
        self.assertEqual(read_wav(output), (2, 16, 22050, samples))

    def test_a_song_named_beyond_ascii_plays_through_a_unicode_decoder(self):
        # in_voskel beside the Unicode build of in_wave alone: the song plays
        # only if the extracted file's name reaches it as wide text.
        plugins = self.path("unicode-plugins")
        os.makedirs(plugins)
        for base in ("in_voskel", "in_wave_unicode"):
            shutil.copy(os.path.join(PLUGINS, base + LIBRARY_SUFFIX), plugins)
        source, samples = self.song("plain.wav", 2, 16, 22050, 4410)
        archive = self.path("S\u00fc\u00df.mdz")
        with open(source, "rb") as f:
            zip_archive_named(archive, "S\u00fc\u00df.wav", f.read())
        output = self.path("out.wav")
        temp, env = self.native_environment()

        code, out, err = voskel_play("render", program_path(archive), "-o", program_path(output),
                                     plugins=plugins, env=env)
        self.assertEqual(code, 0, err)
        self.assertEqual(read_wav(output), (2, 16, 22050, samples))

        code, out, err = voskel_play("info", program_path(archive), plugins=plugins, env=env)
        self.assertEqual((code, err), (0, ""))
        self.assertIn("  title:  %s\n  length: %s\n" % (printed("S\u00fc\u00df"), length_text(200)), out)
        if temp is not None:
            self.assertEqual(os.listdir(temp), [], "the extracted song is deleted")


class Information(ScratchCase):
    def test_info_gives_each_files_plugin_title_and_length_and_reasons_for_the_rest(self):
        source, _ = self.song("Morning Tone.wav", 2, 16, 44100, 66150)
        archive = self.path("archived.mdz")
        zip_archive(archive, source)
        rar = self.path("archived.mdr")
        with open(source, "rb") as f:
            rar4_archive(rar, "Evening Tone.wav", f.read())
        unclaimed = self.path("notes.txt")
        with open(unclaimed, "w") as f:
            f.write("no song\n")
        missing = self.path("missing.mdz")

        code, out, err = voskel_play("info", program_path(archive), program_path(rar), program_path(source),
                                     program_path(missing), program_path(unclaimed))

        self.assertEqual(code, 1, "some files failed")
        # The metadata comes from in_wave's extended information, through
        # in_voskel's for the archives, whose family is their own.
        self.assertEqual(out, "".join([
            "%s\n  plugin: in_voskel%s\n  title:  Morning Tone\n  length: %s\n"
            '  metadata: title "Morning Tone", length "1500", family "ZIP Compressed Song (*.MDZ)"\n'
            % (program_path(archive), LIBRARY_SUFFIX, length_text(1500)),
            "%s\n  plugin: in_voskel%s\n  title:  Evening Tone\n  length: %s\n"
            '  metadata: title "Evening Tone", length "1500", family "RAR Compressed Song (*.MDR)"\n'
            % (program_path(rar), LIBRARY_SUFFIX, length_text(1500)),
            "%s\n  plugin: in_wave%s\n  title:  Morning Tone\n  length: %s\n"
            '  metadata: title "Morning Tone", length "1500", family "PCM Wave"\n'
            % (program_path(source), LIBRARY_SUFFIX, length_text(1500)),
        ]))
        self.assertEqual(err.splitlines(), [
            "voskel-play: %s: no such file" % program_path(missing),
            "voskel-play: %s: no plugin claims this file" % program_path(unclaimed),
        ])

    def test_plugins_lists_every_plugin_with_its_extension_groups(self):
        code, out, err = voskel_play("plugins")
        self.assertEqual((code, err), (0, ""))
        self.assertIn("in_voskel%s: mek Voskel Plugin v0.9 (x86)\n" % LIBRARY_SUFFIX, out)
        self.assertRegex(out, r"\n    MDZ +ZIP Compressed Song \(\*\.MDZ\)\n    MDR +RAR Compressed Song \(\*\.MDR\)\n")
        self.assertRegex(out, r"in_wave%s: .*\n    WAV +PCM Wave Files \(\*\.WAV\)\n" % LIBRARY_SUFFIX)
        # The Unicode build's description is wide text.
        self.assertIn("in_wave_unicode%s: Voskel example WAV decoder v1.0\n" % LIBRARY_SUFFIX, out)


class Failures(ScratchCase):
    def assert_one_line(self, err, expected_end):
        lines = err.splitlines()
        self.assertEqual(len(lines), 1, err)
        self.assertTrue(lines[0].startswith("voskel-play: "), err)
        self.assertTrue(lines[0].endswith(expected_end), err)

    def test_a_song_its_plugin_cannot_play_fails_and_leaves_no_output(self):
        source = self.path("deep.wav")
        raw_wav_file(source, 2, 24, 44100, 100)
        archive = self.path("deep.mdz")
        zip_archive(archive, source)
        output = self.path("out.wav")
        temp, env = self.native_environment()

        code, out, err = voskel_play("render", program_path(archive), "-o", program_path(output), env=env)

        self.assertEqual(code, 1)
        self.assert_one_line(err, "%s: in_voskel%s could not play it (Play returned 1)"
                             % (program_path(archive), LIBRARY_SUFFIX))
        self.assertFalse(os.path.exists(output))
        if temp is not None:
            self.assertEqual(os.listdir(temp), [])

    def test_a_song_that_plays_past_the_limit_fails(self):
        source, _ = self.song("long.wav", 1, 8, 8000, 8000 * 3)
        output = self.path("out.wav")
        code, out, err = voskel_play("render", program_path(source), "-o", program_path(output), "--limit", "1.5")
        self.assertEqual(code, 1)
        self.assert_one_line(err, "the song did not end within 1.5 s of audio")
        self.assertFalse(os.path.exists(output))

    def test_an_output_that_cannot_be_written_fails_before_playing(self):
        source, samples = self.song("short.wav", 1, 8, 8000, 800)
        output = self.path("no-such-folder/out.wav")
        code, out, err = voskel_play("render", program_path(source), "-o", program_path(output))
        self.assertEqual(code, 1)
        self.assertEqual(len(err.splitlines()), 1, err)
        self.assertIn("%s: cannot write" % program_path(output), err)

        code, out, err = voskel_play("render", program_path(source), "-o", program_path(source))
        self.assertEqual(code, 1)
        self.assert_one_line(err, "%s: would overwrite the song itself" % program_path(source))
        self.assertEqual(read_wav(source)[3], samples)

    def test_a_plugin_folder_that_cannot_be_read(self):
        for folder, reason in [(self.path("nowhere"), "no such folder"), (__file__, "not a folder")]:
            with self.subTest(reason=reason):
                code, out, err = voskel_play("plugins", plugins=folder)
                self.assertEqual((code, out), (3, ""))
                self.assert_one_line(err, "%s: cannot read the plugin folder: %s" % (program_path(folder), reason))

    def test_a_plugin_that_fails_to_load_is_named_and_the_others_still_load(self):
        folder = self.path("plugins")
        shutil.copytree(PLUGINS, folder)
        broken = os.path.join(folder, "in_broken" + LIBRARY_SUFFIX)
        with open(broken, "wb") as f:
            f.write(b"not a library")
        code, out, err = voskel_play("plugins", plugins=folder)
        self.assertEqual(code, 3)
        self.assertEqual(len(err.splitlines()), 1, err)
        self.assertIn("voskel-play: %s: cannot be loaded: " % program_path(broken), err)
        self.assertIn("in_wave%s: " % LIBRARY_SUFFIX, out)

    def test_a_wrong_command_line_is_refused_with_help_at_hand(self):
        for arguments, reason in [((), "no command given"),
                                  (("render", "song.wav"), "render needs -o OUT.wav"),
                                  (("play", "song.wav"), "unknown command play")]:
            with self.subTest(arguments=arguments):
                code, out, err = voskel_play(*arguments)
                self.assertEqual((code, out), (2, ""))
                self.assertEqual(err, "voskel-play: %s\nTry 'voskel-play --help'.\n" % reason)

    def test_help_names_the_commands_and_exit_codes(self):
        code, out, err = voskel_play("--help")
        self.assertEqual((code, err), (0, ""))
        for text in ("plugins", "info FILE...", "render FILE -o OUT.wav", "Exit status:", "  0  success",
                     "  1  a song failed", "  2  the command line is wrong", "  3  the host could not be set up"):
            self.assertIn(text, out)


if __name__ == "__main__":
    unittest.main(verbosity=2, argv=[sys.argv[0], *sys.argv[1:]])
