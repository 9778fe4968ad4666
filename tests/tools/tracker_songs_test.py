"""Tracker modules through the archive plugin, on every build.

The demo's MDZ and libopenmpt's own test modules, each zipped here into an
MDZ, are rendered by voskel-play through in_voskel into one tracker plugin
at a time, and compared with what libopenmpt makes of the bare module.

Run by ctest with voskel_play_test's environment and:
  VOSKEL_TRACKER_PLUGINS  the tracker plugins to play through, ":"-separated;
                          each is put alone beside in_voskel in a folder of its own
  VOSKEL_DEMO_DIR         demo.mod and demo.mdz, made by the build
  VOSKEL_TRACKER_MODULES  libopenmpt's test modules (test.mod, test.s3m, test.mptm)

libopenmpt's figures come from Debian's libopenmpt, the library the native
build links, through ctypes. The Windows builds link a static build of the
same source, so on them the same figures also say that they play each module
exactly as the native build does.

A song's length is libopenmpt's own rendering of the bare module, read in
blocks of FRAMES_PER_BLOCK frames: what plays must have exactly as many
frames (and the same samples). The duration libopenmpt reports is what the
plugins report to the host, and is checked through "info"; the rendering runs
longer by the fade libopenmpt adds at a song's end (100 ms), and over the
twenty minutes of test.s3m libopenmpt's own rendering falls short of that
figure by a fraction of a second.
"""

import ctypes
import os
import shutil
import sys
import unittest

import voskel_play_test as play

TRACKER_PLUGINS = os.environ["VOSKEL_TRACKER_PLUGINS"].split(":")
DEMO_DIR = os.environ["VOSKEL_DEMO_DIR"]
MODULES_DIR = os.environ["VOSKEL_TRACKER_MODULES"]

# How in_tracker asks libopenmpt for sound (examples/in_tracker/tracker_settings.h)
# and the block it reads at a time (frames_per_block, examples/common/decoder_plugin.h).
SAMPLE_RATE = 44100
CHANNELS = 2
BITS = 16
FRAME_BYTES = CHANNELS * BITS // 8
FRAMES_PER_BLOCK = 576

# The Wine server is kept up for the whole module, as in voskel_play_test.
setUpModule = play.setUpModule
tearDownModule = play.tearDownModule


class Reference:
    def __init__(self, duration, title, artist, samples):
        self.duration = duration  # in seconds
        self.title = title
        self.artist = artist
        self.samples = samples


class Libopenmpt:
    """The few calls of libopenmpt's C interface that the reference needs."""

    def __init__(self):
        lib = ctypes.CDLL("libopenmpt.so.0")
        handle = ctypes.c_void_p
        lib.openmpt_module_create_from_memory2.restype = handle
        lib.openmpt_module_create_from_memory2.argtypes = [ctypes.c_char_p, ctypes.c_size_t] + [ctypes.c_void_p] * 7
        lib.openmpt_module_destroy.argtypes = [handle]
        lib.openmpt_module_ctl_set_integer.restype = ctypes.c_int
        lib.openmpt_module_ctl_set_integer.argtypes = [handle, ctypes.c_char_p, ctypes.c_int64]
        lib.openmpt_module_get_duration_seconds.restype = ctypes.c_double
        lib.openmpt_module_get_duration_seconds.argtypes = [handle]
        lib.openmpt_module_read_interleaved_stereo.restype = ctypes.c_size_t
        lib.openmpt_module_read_interleaved_stereo.argtypes = [handle, ctypes.c_int32, ctypes.c_size_t, ctypes.c_void_p]
        lib.openmpt_module_get_metadata.restype = ctypes.c_void_p  # freed with openmpt_free_string
        lib.openmpt_module_get_metadata.argtypes = [handle, ctypes.c_char_p]
        lib.openmpt_free_string.argtypes = [ctypes.c_void_p]
        self.lib = lib
        # Quiet, as in_tracker is: test.mptm names a sample file of its own that is not there.
        self.silent = ctypes.cast(lib.openmpt_log_func_silent, ctypes.c_void_p)

    def render(self, module_bytes):
        """What libopenmpt says of a module and renders for it, read in blocks as in_tracker reads them."""
        lib = self.lib
        module = lib.openmpt_module_create_from_memory2(module_bytes, len(module_bytes), self.silent,
                                                        None, None, None, None, None, None)
        if not module:
            raise ValueError("libopenmpt does not read this module")
        try:
            # libopenmpt dithers with random noise by default; in_tracker does not.
            if lib.openmpt_module_ctl_set_integer(module, b"dither", 0) != 1:
                raise ValueError("libopenmpt refused dither=0")
            duration = lib.openmpt_module_get_duration_seconds(module)
            metadata = {}
            for key in ("title", "artist"):
                text = lib.openmpt_module_get_metadata(module, key.encode())
                metadata[key] = ctypes.string_at(text).decode("utf-8")
                lib.openmpt_free_string(text)
            block = (ctypes.c_int16 * (FRAMES_PER_BLOCK * CHANNELS))()
            samples = bytearray()
            while True:
                frames = lib.openmpt_module_read_interleaved_stereo(module, SAMPLE_RATE, FRAMES_PER_BLOCK, block)
                if frames == 0:
                    break
                samples += bytes(block)[:frames * FRAME_BYTES]
            return Reference(duration, metadata["title"], metadata["artist"], bytes(samples))
        finally:
            lib.openmpt_module_destroy(module)


def read_file(path):
    with open(path, "rb") as f:
        return f.read()


def with_title(module, title):
    """A MOD with its 20-byte title replaced; blank, the plugin names the song after its file."""
    return title.ljust(20, b"\0") + module[20:]


def host_text(text):
    """Text as an 8-bit plugin reports it (the ANSI code page of western
    Windows, or UTF-8), one character per byte as voskel_play reads it."""
    return text.encode("cp1252" if play.ON_WINDOWS else "utf-8").decode("latin-1")


class Song:
    def __init__(self, label, module, archive, untitled=None):
        self.label = label
        self.module = module      # the bare module's bytes
        self.archive = archive
        self.untitled = untitled  # the title from the file's name, when the module has none


class TrackerSongs(play.ScratchCase):
    """Every song through every tracker plugin: as many program runs as songs
    times plugins for the renders, and one per plugin for the information."""

    reference = {}

    @classmethod
    def setUpClass(cls):
        cls.libopenmpt = Libopenmpt()

    def songs(self):
        songs = [Song("demo", read_file(os.path.join(DEMO_DIR, "demo.mod")), os.path.join(DEMO_DIR, "demo.mdz"))]
        sources = os.path.join(self.folder, "sources")
        os.makedirs(sources)
        for name in ["test.mod", "test.s3m", "test.mptm"]:
            shutil.copy(os.path.join(MODULES_DIR, name), sources)
            song = Song(name, read_file(os.path.join(sources, name)), self.path(name + ".mdz"))
            play.zip_archive(song.archive, os.path.join(sources, name))
            songs.append(song)
        # A name beyond ASCII that the ANSI code page of western Windows holds,
        # on a module without a title, so that the title shows the name the
        # song was extracted under. It is stored as each platform's archives
        # store it: in the DOS code page for Windows (UnZip turns it into the
        # ANSI one), in flagged UTF-8 elsewhere.
        name = "S\u00fc\u00df"
        song = Song(name + ".mod", with_title(read_file(os.path.join(MODULES_DIR, "test.mod")), b""),
                    self.path("umlaut.mdz"), host_text(name))
        play.zip_archive_named(song.archive, name + ".mod", song.module)
        songs.append(song)
        return songs

    def figures(self, song):
        if song.label not in self.reference:
            self.reference[song.label] = self.libopenmpt.render(song.module)
        return self.reference[song.label]

    def title(self, song):
        title = self.figures(song).title
        return song.untitled if song.untitled is not None else host_text(title)

    def plugin_folder(self, plugin):
        """in_voskel and this one tracker plugin, so that nothing else can claim the extracted module."""
        folder = self.path("plugins-" + os.path.basename(plugin))
        os.makedirs(folder)
        shutil.copy(os.path.join(play.PLUGINS, "in_voskel" + play.LIBRARY_SUFFIX), folder)
        shutil.copy(plugin, folder)
        return folder

    def test_each_song_plays_through_each_tracker_plugin_as_libopenmpt_renders_it(self):
        songs = self.songs()
        for plugin in TRACKER_PLUGINS:
            folder = self.plugin_folder(plugin)
            for song in songs:
                with self.subTest(plugin=os.path.basename(plugin), song=song.label):
                    reference = self.figures(song)
                    output = self.path("out.wav")
                    temp, env = self.native_environment()

                    code, out, err = play.voskel_play("render", play.program_path(song.archive),
                                                      "-o", play.program_path(output), plugins=folder, env=env)

                    self.assertEqual((code, err), (0, ""), out)
                    channels, bits, rate, played = play.read_wav(output)
                    os.remove(output)
                    self.assertEqual((channels, bits, rate), (CHANNELS, BITS, SAMPLE_RATE))
                    # The song's length, in frames: exactly libopenmpt's own rendering of the bare module.
                    self.assertEqual(len(played) // FRAME_BYTES, len(reference.samples) // FRAME_BYTES,
                                     "libopenmpt reports %.3f s" % reference.duration)
                    self.assertTrue(played == reference.samples, "the same samples as libopenmpt renders")
                    if temp is not None:
                        self.assertEqual(os.listdir(temp), [], "the extracted song is deleted")

    def test_an_extended_read_decodes_what_playing_renders(self):
        # As the format converter decodes, through in_voskel's extended read
        # into the tracker plugin's, for the songs that are short to decode.
        songs = [song for song in self.songs() if song.label in ("demo", "test.mod", "test.mptm")]
        for plugin in TRACKER_PLUGINS:
            folder = self.plugin_folder(plugin)
            for song in songs:
                with self.subTest(plugin=os.path.basename(plugin), song=song.label):
                    output = self.path("read.wav")
                    temp, env = self.native_environment()

                    code, out, err = play.voskel_play("render", "--extended-read", play.program_path(song.archive),
                                                      "-o", play.program_path(output), plugins=folder, env=env)

                    self.assertEqual((code, err), (0, ""), out)
                    self.assertEqual(play.read_wav(output), (CHANNELS, BITS, SAMPLE_RATE, self.figures(song).samples))
                    os.remove(output)
                    if temp is not None:
                        self.assertEqual(os.listdir(temp), [], "the copy and its folder are deleted")

    def test_info_gives_each_songs_title_and_the_length_libopenmpt_reports(self):
        songs = self.songs()
        # A title beyond ASCII: libopenmpt reads a MOD's title as Latin-1 and
        # gives it as UTF-8, which a Windows host would show as "CafÃ©".
        song = Song("titled.mod", with_title(read_file(os.path.join(MODULES_DIR, "test.mod")),
                                             "Caf\u00e9 \u00fcber".encode("latin-1")), self.path("titled.mdz"))
        play.zip_archive_named(song.archive, "titled.mod", song.module)
        songs.append(song)
        for plugin in TRACKER_PLUGINS:
            with self.subTest(plugin=os.path.basename(plugin)):
                folder = self.plugin_folder(plugin)

                code, out, err = play.voskel_play("info", *[play.program_path(song.archive) for song in songs],
                                                  plugins=folder, encoding="latin-1")

                self.assertEqual((code, err), (0, ""))
                expected = ""
                for song in songs:
                    length_ms = int(self.figures(song).duration * 1000.0)
                    expected += "%s\n  plugin: in_voskel%s\n  title:  %s\n  length: %s\n" % (
                        play.program_path(song.archive), play.LIBRARY_SUFFIX, self.title(song),
                        play.length_text(length_ms))
                    # The same from the tracker plugin's extended information,
                    # which in_voskel forwards.
                    artist = self.figures(song).artist
                    expected += '  metadata: title "%s", %slength "%d", family "%s"\n' % (
                        self.title(song), 'artist "%s", ' % host_text(artist) if artist else "", length_ms,
                        "RAR Compressed Song (*.MDR)" if song.archive.endswith(".mdr") else "ZIP Compressed Song (*.MDZ)")
                self.assertEqual(out, expected)


if __name__ == "__main__":
    unittest.main(verbosity=2, argv=[sys.argv[0], *sys.argv[1:]])
