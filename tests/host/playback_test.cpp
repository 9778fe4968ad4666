// Archived songs played and queried through the real plugin library, loaded
// by the test host as the player loads it, with the real archive libraries
// and the recording inner plugins beside it.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "extended_support.h"
#include "extract_support.h"
#include "platform/platform.h"
#include "support/archive_writer.h"
#include "support/message_capture.h"
#include "support/test_host.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace voskel {
namespace {

using test::JournalEntry;
using test::PluginWidth;
using test::Recorder;
using test::TestHost;

std::uintptr_t number(const void* pointer) { return reinterpret_cast<std::uintptr_t>(pointer); }

std::vector<std::string> names(std::initializer_list<const char*> calls) { return {calls.begin(), calls.end()}; }

// The one call of this kind the recorder got; a failure if it got none or several.
JournalEntry only_call(const Recorder& recorder, const std::string& call) {
    const std::vector<JournalEntry> calls = recorder.calls(call);
    EXPECT_EQ(calls.size(), 1u) << call;
    return calls.empty() ? JournalEntry{} : calls.back();
}

std::string file_argument(const JournalEntry& entry) { return entry.fields.empty() ? "(no call)" : entry.fields[0]; }

// Whether the file the recorder was handed held exactly these bytes at the time.
::testing::AssertionResult held(const JournalEntry& entry, const std::string& bytes) {
    const std::string size = entry.value("size").value_or("(none)");
    if (size != std::to_string(bytes.size()) || entry.number("crc") != test::crc32(bytes)) {
        return ::testing::AssertionFailure() << entry.call << " saw " << file_argument(entry) << " with size " << size;
    }
    return ::testing::AssertionSuccess();
}

const TestHost::FileInfo untouched{"(untouched)", -2};

// The inner plugins in both widths: 8-bit modules and Unicode ones.
class PlaybackInHost : public ::testing::TestWithParam<PluginWidth> {
protected:
    void SetUp() override {
        if (!test::library_available(test::zip_format()) || !test::library_available(test::rar_format())) {
            GTEST_SKIP() << "unzip32.dll and unrar.dll have not been built";
        }
        host.install("in_alpha");
        host.install("in_text");
        ASSERT_TRUE(host.start());
    }

    // The path the plugin hands on for a member extracted into the host's temporary folder.
    std::string extracted(const std::string& member) const { return test::join(host.temp_folder().path(), member); }
    std::vector<std::string> temp_files() const { return host.temp_files(); }

    std::string zip(const std::string& file, const std::string& member, const std::string& bytes) const {
        const std::string path = archives.file(file);
        test::write_file(path, test::zip_archive({{.name = member, .data = bytes}}));
        return path;
    }
    std::string rar(const std::string& file, const std::string& member, const std::string& bytes) const {
        const std::string path = archives.file(file);
        test::write_file(path, test::rar4_archive({{.name = member, .data = bytes}}));
        return path;
    }

    // in_alpha set up by the host, so that its answers can be chosen before
    // the plugin's first lookup, and chosen again after each reset.
    Recorder alpha_set_up_by_host() {
        EXPECT_NE(host.set_up_inner("in_alpha"), nullptr);
        const Recorder alpha = host.recorder("in_alpha");
        answer(alpha);
        return alpha;
    }
    static void answer(const Recorder& recorder) {
        recorder.set_file_info("Alpha Title", 61000);
        recorder.set_result("InfoBox", 3);
    }

    // Our record's own entry points called directly, as a host of the first
    // interface may call them: with a null file for the playing one.
    TestHost::FileInfo file_info_of_null() {
        char title[GETFILEINFO_TITLE_LENGTH] = "(untouched)";
        int length_ms = untouched.length_ms;
        host.plugin().GetFileInfo(nullptr, title, &length_ms);
        return {title, length_ms};
    }
    int play_directly(const std::string& file) {
        std::string text = file;
        return host.plugin().Play(text.data());
    }

    test::LibrarySearch search{test::host_path(VOSKEL_WINDOWS_LIBS_DIR)};
    test::ScratchFolder archives{"archives"};
    TestHost host{"play", GetParam()};
};

INSTANTIATE_TEST_SUITE_P(Widths, PlaybackInHost, ::testing::Values(PluginWidth::narrow, PluginWidth::unicode),
                         test::width_name);

TEST_P(PlaybackInHost, ArchivedSongPlaysFromAnExtractedCopyThatStopRemoves) {
    const std::string real4 = archives.file("real4.mdr");
    const std::string real5 = archives.file("real5.mdr");
    const std::string rar_fixtures = test::host_path(VOSKEL_RAR_FIXTURES_DIR);
    std::filesystem::copy_file(test::join(rar_fixtures, "test_read_format_rar.rar"), real4);
    std::filesystem::copy_file(test::join(rar_fixtures, "test_read_format_rar5_compressed.rar"), real5);
    struct Row {
        std::string archive;
        const char* member;
        const char* plugin;
        std::size_t size;
        uint32_t crc;
    };
    const std::string by_hand = "a RAR 4 archive written by hand";
    const Row rows[] = {
        {test::fixture("several.mdz"), "zeta.mod", "in_alpha", test::song("zeta").size(), test::crc32(test::song("zeta"))},
        {test::fixture("seven.mdz"), "alpha.mod", "in_alpha", test::song("alpha").size(), test::crc32(test::song("alpha"))},
        {rar("hand.mdr", "Song.S3M", by_hand), "Song.S3M", "in_alpha", by_hand.size(), test::crc32(by_hand)},
        {real4, "test.txt", "in_text", 20, 0xbec8a242},
        {real5, "test.bin", "in_text", 1200, 0x7cca70cd},
    };
    for (const Row& row : rows) {
        ASSERT_EQ(host.play(row.archive), 0) << row.archive;
        const Recorder plugin = host.recorder(row.plugin);
        const JournalEntry play = only_call(plugin, "Play");
        const std::string path = extracted(row.member);
        EXPECT_EQ(file_argument(play), path);
        EXPECT_EQ(play.value("size"), std::to_string(row.size)) << row.archive;
        EXPECT_EQ(play.number("crc"), row.crc) << row.archive;
        EXPECT_EQ(play.number("SetInfo"), number(host.set_info_address()));
        EXPECT_EQ(play.number("outMod"), number(host.output()));
        EXPECT_EQ(temp_files(), std::vector<std::string>{row.member});
        EXPECT_EQ(test::crc32(test::read_file(path)), row.crc) << "the copy must last while the song plays";

        host.stop();
        EXPECT_EQ(plugin.count("Stop"), 1) << row.archive;
        EXPECT_FALSE(test::file_exists(path));
        EXPECT_TRUE(temp_files().empty()) << row.archive;
        plugin.reset();
    }
}

TEST_P(PlaybackInHost, CallsReachThePlayingModuleUnchangedAndGetIdleAnswersOtherwise) {
    ASSERT_EQ(host.play(test::fixture("several.mdz")), 0);
    const Recorder alpha = host.recorder("in_alpha");
    alpha.reset();
    const auto choose_answers = [&] {
        alpha.set_result("IsPaused", 1);
        alpha.set_result("GetLength", 187000);
        alpha.set_result("GetOutputTime", -4321);
    };
    choose_answers();
    char bands[10] = {-32, -20, -1, 0, 1, 5, 12, 20, 31, 63};
    In_Module& plugin = host.plugin();

    plugin.Pause();
    plugin.UnPause();
    EXPECT_EQ(plugin.IsPaused(), 1);
    EXPECT_EQ(plugin.GetLength(), 187000);
    EXPECT_EQ(plugin.GetOutputTime(), -4321);
    plugin.SetOutputTime(98765);
    plugin.SetVolume(255);
    plugin.SetPan(-128);
    plugin.EQSet(1, bands, -7);
    EXPECT_EQ(alpha.call_names(), names({"Pause", "UnPause", "IsPaused", "GetLength", "GetOutputTime",
                                         "SetOutputTime", "SetVolume", "SetPan", "EQSet"}));
    EXPECT_EQ(only_call(alpha, "SetOutputTime").fields, std::vector<std::string>{"98765"});
    EXPECT_EQ(only_call(alpha, "SetVolume").fields, std::vector<std::string>{"255"});
    EXPECT_EQ(only_call(alpha, "SetPan").fields, std::vector<std::string>{"-128"});
    EXPECT_EQ(only_call(alpha, "EQSet").fields, (std::vector<std::string>{"1", "-32,-20,-1,0,1,5,12,20,31,63", "-7"}));

    host.stop();
    alpha.reset();
    choose_answers();
    EXPECT_EQ(plugin.IsPaused(), 0);
    EXPECT_EQ(plugin.GetLength(), -1);
    EXPECT_EQ(plugin.GetOutputTime(), -1);
    plugin.Pause();
    plugin.UnPause();
    plugin.SetOutputTime(1000);
    plugin.EQSet(0, bands, 3);
    plugin.Stop();
    EXPECT_EQ(alpha.journal(), "") << "a module was reached with none playing";
}

// The player gives its volume and pan before every Play, while we are idle:
// they must reach the module that plays, before its Play, whatever their sign.
TEST_P(PlaybackInHost, VolumeAndPanGivenWhileIdleReachTheNextModuleOnce) {
    const std::string song = test::fixture("several.mdz");
    host.set_volume(200);
    host.set_pan(-50);  // a balance left of centre
    ASSERT_EQ(host.play(song), 0);
    const Recorder alpha = host.recorder("in_alpha");
    EXPECT_EQ(alpha.call_names(), names({"winampGetInModule2", "Init", "SetVolume", "SetPan", "Play"}));
    EXPECT_EQ(only_call(alpha, "SetVolume").fields, std::vector<std::string>{"200"});
    EXPECT_EQ(only_call(alpha, "SetPan").fields, std::vector<std::string>{"-50"});

    // Set while playing: forwarded at once, and nothing left pending.
    alpha.reset();
    host.set_volume(77);
    host.set_pan(-127);
    EXPECT_EQ(alpha.call_names(), names({"SetVolume", "SetPan"}));
    host.stop();

    // Several settings while idle: only the last of each is delivered, and
    // only to the next Play. A negative volume means none.
    In_Module& plugin = host.plugin();
    alpha.reset();
    plugin.SetVolume(10);
    plugin.SetVolume(20);
    plugin.SetPan(-1);
    plugin.SetPan(-3);
    ASSERT_EQ(play_directly(song), 0);
    EXPECT_EQ(alpha.call_names(), names({"SetVolume", "SetPan", "Play"}));
    EXPECT_EQ(only_call(alpha, "SetVolume").fields, std::vector<std::string>{"20"});
    EXPECT_EQ(only_call(alpha, "SetPan").fields, std::vector<std::string>{"-3"});
    plugin.Stop();
    alpha.reset();
    plugin.SetVolume(-1);
    ASSERT_EQ(play_directly(song), 0);
    EXPECT_EQ(alpha.call_names(), names({"Play"})) << "what was pending is delivered once";
    plugin.Stop();
}

// The song is the first file member a plugin plays: zip -r writes the
// folder's own entry first, and module collections put a file_id.diz or
// an .nfo in front of the module. Play and the questions agree on it.
TEST_P(PlaybackInHost, SongAfterAFolderEntryOrAReadmePlaysAndIsDescribed) {
    const Recorder alpha = alpha_set_up_by_host();
    const std::vector<std::pair<std::string, std::string>> behind_a_readme = {
        {"file_id.diz", "about"}, {"INFO.NFO", "info"}, {"tune.xm", "the tune"}, {"other.mod", "other"}};
    const std::string archives_of[] = {test::fixture("folder_first.mdz"), archives.file("readme.mdz"),
                                       archives.file("readme.mdr")};
    test::write_file(archives_of[1], test::zip_format().write(behind_a_readme));
    test::write_file(archives_of[2], test::rar_format().write(behind_a_readme));
    const std::string songs[] = {"songs/deep/tune.mod", "tune.xm", "tune.xm"};
    for (std::size_t i = 0; i < std::size(songs); ++i) {
        alpha.reset();
        answer(alpha);
        ASSERT_EQ(host.play(archives_of[i]), 0) << archives_of[i];
        EXPECT_EQ(file_argument(only_call(alpha, "Play")), extracted(test::on_disk(songs[i])));
        host.stop();
        EXPECT_EQ(host.get_file_info(archives_of[i].c_str()).title, "Alpha Title");
        EXPECT_TRUE(file_argument(only_call(alpha, "GetFileInfo")).ends_with(test::on_disk(songs[i])));
        EXPECT_TRUE(temp_files().empty());
    }
}

// Nothing to play: a song no plugin names, and an archive inside an archive,
// which only our own record names (were it handed to ourselves, in_alpha
// would play the inner song). Play fails, a query writes nothing, and no
// file is left behind.
TEST_P(PlaybackInHost, ArchiveWithNothingToPlayFailsAndLeavesNothing) {
    const std::string inner = test::zip_archive({{.name = "song.mod", .data = "inner song"}});
    for (const std::string& archive : {zip("unknown.mdz", "song.xyz", "unknown"), rar("unknown.mdr", "song.xyz", "unknown"),
                                       zip("outer.mdz", "inner.mdz", inner), rar("outer.mdr", "inner.mdz", inner)}) {
        EXPECT_EQ(host.play(archive), 1) << archive;
        EXPECT_TRUE(temp_files().empty()) << archive;
        host.stop();
        const TestHost::FileInfo info = host.get_file_info(archive.c_str());
        EXPECT_EQ(info.title, untouched.title) << archive;
        EXPECT_EQ(info.length_ms, untouched.length_ms) << archive;
        EXPECT_EQ(host.info_box(archive.c_str()), 0) << archive;
        EXPECT_TRUE(temp_files().empty()) << archive;
    }
    for (const char* plugin : {"in_alpha", "in_text"}) {
        EXPECT_EQ(host.recorder(plugin).call_names(), names({"winampGetInModule2", "Init"})) << plugin;
    }
}

// The player calls no Stop after a failed Play: nothing of the song stays,
// neither its copy nor its module, which questions, the volume and a Stop
// would otherwise still reach.
TEST_P(PlaybackInHost, FailingInnerPlayLeavesNoCopyAndNoModuleCurrent) {
    const Recorder alpha = alpha_set_up_by_host();
    const std::string song = test::fixture("several.mdz");
    alpha.set_result("Play", 5);
    EXPECT_EQ(host.play(song), 5);
    EXPECT_TRUE(held(only_call(alpha, "Play"), test::song("zeta"))) << "the copy existed when the module was asked";
    EXPECT_TRUE(temp_files().empty());

    alpha.reset();
    answer(alpha);
    EXPECT_EQ(host.get_file_info(nullptr).title, untouched.title) << "no song plays";
    EXPECT_EQ(host.get_file_info(song.c_str()).title, "Alpha Title");
    EXPECT_TRUE(held(only_call(alpha, "GetFileInfo"), test::song("zeta"))) << "asked about a fresh copy";
    host.plugin().SetVolume(90);
    host.plugin().Stop();
    EXPECT_EQ(alpha.call_names(), names({"GetFileInfo"}));
    ASSERT_EQ(play_directly(song), 0);
    EXPECT_EQ(only_call(alpha, "SetVolume").fields, std::vector<std::string>{"90"}) << "kept for the next song";
    host.plugin().Stop();
}

// The Uninstall button frees the plugin at once when it answers NOW, with no
// Stop: only when nothing is in use may it. After Quit no call reaches an
// unloaded module, and Init after it finds the plugins again.
TEST_P(PlaybackInHost, UninstallQuitAndInitAtEveryPointOfTheLifecycle) {
    host.install("in_reader");
    const auto uninstall = host.plugin_export<UninstallPluginFunction>(uninstall_plugin_export);
    ASSERT_NE(uninstall, nullptr);
    In_Module& plugin = host.plugin();
    const test::Exports worker(host.plugin_library());
    std::string song = test::fixture("several.mdz");
    const std::string raw = zip("raw.mdz", "song.raw", "raw");

    ASSERT_EQ(host.play(song), 0);
    EXPECT_EQ(uninstall(nullptr, nullptr, 0), IN_PLUGIN_UNINSTALL_REBOOT) << "a song plays";
    EXPECT_EQ(plugin.GetOutputTime(), 0) << "and goes on playing";
    host.stop();
    int size = 0, bits = 0, channels = 0, rate = 0;
    const intptr_t read = worker.open(raw.c_str(), &size, &bits, &channels, &rate);
    ASSERT_NE(read, 0);
    EXPECT_EQ(uninstall(nullptr, nullptr, 0), IN_PLUGIN_UNINSTALL_REBOOT) << "a read is open";
    worker.close(read);

    host.recorder("in_alpha").set_result("Play", 5);
    EXPECT_EQ(host.play(song), 5);
    plugin.Quit();
    EXPECT_FALSE(test::is_library_loaded(host.path_of("in_alpha")));
    char title[GETFILEINFO_TITLE_LENGTH] = "(untouched)";
    int length_ms = -2;
    plugin.GetFileInfo(nullptr, title, &length_ms);
    plugin.GetFileInfo(song.data(), title, &length_ms);
    EXPECT_EQ(std::string(title) + " " + std::to_string(length_ms), "(untouched) -2");
    EXPECT_EQ(plugin.InfoBox(song.data(), nullptr), 0);
    EXPECT_EQ(plugin.GetLength(), -1);
    EXPECT_EQ(plugin.GetOutputTime(), -1);
    plugin.SetVolume(10);
    plugin.SetPan(10);
    EXPECT_EQ(worker.answer(song, "title"), "(no answer)");
    EXPECT_EQ(worker.read_all(raw, rate), "(no read)");

    plugin.Init();
    ASSERT_EQ(host.play(song), 0) << "the folder is scanned afresh";
    host.stop();
    EXPECT_EQ(uninstall(nullptr, nullptr, 0), IN_PLUGIN_UNINSTALL_NOW) << "nothing in use";
    EXPECT_NE(play_directly(song), 0) << "nothing starts once the host may free the plugin";
    EXPECT_TRUE(temp_files().empty());
}

// The player moves on after a failed Play without a Stop: the next song
// plays, and its copy is removed at its own Stop.
TEST_P(PlaybackInHost, NextSongAfterAFailedPlayNeedsNoStopBetween) {
    const Recorder alpha = alpha_set_up_by_host();
    alpha.set_result("Play", -1);
    EXPECT_EQ(host.play(test::fixture("several.mdz")), -1);
    alpha.set_result("Play", 0);
    ASSERT_EQ(host.play(test::fixture("seven.mdz")), 0);
    EXPECT_EQ(alpha.count("Stop"), 0);
    EXPECT_EQ(temp_files(), std::vector<std::string>{"alpha.mod"});
    host.stop();
    EXPECT_EQ(alpha.count("Stop"), 1);
    EXPECT_TRUE(temp_files().empty());
}

TEST_P(PlaybackInHost, QueriesAboutThePlayingSongAskItsModuleAboutTheCopy) {
    const Recorder alpha = alpha_set_up_by_host();
    const std::string song = test::fixture("several.mdz");
    ASSERT_EQ(host.play(song), 0);
    // Any extraction would put the song back over this.
    const std::string copy = extracted("zeta.mod");
    test::write_file(copy, "changed while playing");

    // The player names the playing file "" (null, which reaches us as "").
    for (const char* file : {static_cast<const char*>(nullptr), "", song.c_str()}) {
        const std::string label = file == nullptr ? "(null)" : '"' + std::string(file) + '"';
        alpha.reset();
        answer(alpha);
        const TestHost::FileInfo info = host.get_file_info(file);
        EXPECT_EQ(info.title, "Alpha Title") << label;
        EXPECT_EQ(info.length_ms, 61000) << label;
        EXPECT_EQ(host.info_box(file), 3) << label;
        for (const char* call : {"GetFileInfo", "InfoBox"}) {
            const JournalEntry entry = only_call(alpha, call);
            EXPECT_EQ(file_argument(entry), copy) << call << ' ' << label;
            EXPECT_TRUE(held(entry, "changed while playing")) << label;
        }
        EXPECT_EQ(only_call(alpha, "InfoBox").number("parent"), number(host.main_window())) << label;
        EXPECT_EQ(temp_files(), std::vector<std::string>{"zeta.mod"}) << label;
    }
    // A host of the first interface may pass null itself.
    alpha.reset();
    answer(alpha);
    EXPECT_EQ(file_info_of_null().title, "Alpha Title");
    EXPECT_EQ(file_argument(only_call(alpha, "GetFileInfo")), copy);
}

TEST_P(PlaybackInHost, IdleQueriesAskAboutAFreshCopyInAFolderOfItsOwnAndRemoveIt) {
    const Recorder alpha = alpha_set_up_by_host();
    const std::string by_hand = "the RAR song";
    struct Row {
        std::string archive;
        const char* member;
        std::string bytes;
    };
    const Row rows[] = {
        {test::fixture("several.mdz"), "zeta.mod", test::song("zeta")},
        {rar("song.mdr", "tune.xm", by_hand), "tune.xm", by_hand},
    };
    for (const Row& row : rows) {
        const TestHost::FileInfo info = host.get_file_info(row.archive.c_str());
        EXPECT_EQ(info.title, "Alpha Title") << row.archive;
        EXPECT_EQ(info.length_ms, 61000) << row.archive;
        EXPECT_TRUE(temp_files().empty()) << row.archive;
        EXPECT_EQ(host.info_box(row.archive.c_str()), 3) << row.archive;
        EXPECT_TRUE(temp_files().empty()) << row.archive;
        for (const char* call : {"GetFileInfo", "InfoBox"}) {
            const JournalEntry entry = only_call(alpha, call);
            EXPECT_TRUE(test::in_own_folder(file_argument(entry), host.temp_folder().path(), row.member)) << call;
            EXPECT_TRUE(held(entry, row.bytes));
        }
        alpha.reset();
        answer(alpha);
    }

    // With nothing playing, null and "" name no file at all.
    for (const char* file : {static_cast<const char*>(nullptr), ""}) {
        const TestHost::FileInfo info = host.get_file_info(file);
        EXPECT_EQ(info.title, untouched.title);
        EXPECT_EQ(info.length_ms, untouched.length_ms);
        EXPECT_EQ(host.info_box(file), 0);
    }
    EXPECT_EQ(file_info_of_null().title, untouched.title);
    EXPECT_EQ(host.plugin().InfoBox(nullptr, host.main_window()), 0);
    EXPECT_EQ(alpha.journal(), "");
}

// A query about another archive extracts into a folder of its own: a song
// of the playing one's name, in any letter case, is answered, and the
// playing copy is neither rewritten nor removed.
TEST_P(PlaybackInHost, QueryAboutASongOfThePlayingOnesNameLeavesThePlayingCopyAlone) {
    const Recorder alpha = alpha_set_up_by_host();
    ASSERT_EQ(host.play(zip("playing.mdz", "Tune.mod", "playing tune")), 0);
    const std::string copy = extracted("Tune.mod");
    const std::string temp = host.temp_folder().path();

    struct Row {
        std::string archive;
        const char* member;
    };
    const Row rows[] = {
        {zip("other.mdz", "Tune.mod", "other tune"), "Tune.mod"},
        {rar("other.mdr", "Tune.mod", "other tune"), "Tune.mod"},
        {zip("cased.mdz", "TUNE.MOD", "other tune"), "TUNE.MOD"},
    };
    for (const Row& row : rows) {
        alpha.reset();
        answer(alpha);
        const TestHost::FileInfo info = host.get_file_info(row.archive.c_str());
        EXPECT_EQ(info.title, "Alpha Title") << row.archive;
        EXPECT_EQ(info.length_ms, 61000) << row.archive;
        EXPECT_EQ(host.info_box(row.archive.c_str()), 3) << row.archive;
        for (const char* call : {"GetFileInfo", "InfoBox"}) {
            const JournalEntry entry = only_call(alpha, call);
            EXPECT_TRUE(test::in_own_folder(file_argument(entry), temp, row.member)) << call;
            EXPECT_TRUE(held(entry, "other tune")) << row.archive;
        }
        EXPECT_EQ(test::read_file(copy), "playing tune") << row.archive;
        EXPECT_EQ(test::entries_in(temp), std::vector<std::string>{"Tune.mod"}) << row.archive;
    }

    // The playing archive by another spelling is another file by name. Where
    // names are case-blind it is the same archive, and its song is answered
    // about from a copy of its own; elsewhere no such archive exists.
    alpha.reset();
    answer(alpha);
    const std::string spelled = archives.file("PLAYING.MDZ");
    const bool case_blind = native_path_style() == PathStyle::windows;
    EXPECT_EQ(host.get_file_info(spelled.c_str()).title, case_blind ? "Alpha Title" : untouched.title);
    EXPECT_EQ(alpha.count("GetFileInfo"), case_blind ? 1 : 0);
    EXPECT_EQ(test::read_file(copy), "playing tune");
    EXPECT_EQ(test::entries_in(temp), std::vector<std::string>{"Tune.mod"});

    host.stop();
    EXPECT_TRUE(temp_files().empty());
}

// A module that applied replay gain itself says so on its own record while
// it plays, and the host reads ours: it must see the same there, or it
// applies the gain again. The format the converter asks for reaches the
// module's extended read, and the format the module answers reaches it back.
TEST_P(PlaybackInHost, PlayingModulesFlagsShowOnOurRecordAndFormatRequestsReachItsRead) {
    host.install("in_reader");
    const Recorder alpha = alpha_set_up_by_host();
    alpha.set_result("PlayFlags", IN_MODULE_FLAG_REPLAYGAIN);
    In_Module& plugin = host.plugin();
    ASSERT_EQ(host.play(test::fixture("several.mdz")), 0);
    EXPECT_EQ(plugin.UsesOutputPlug, 9);
    plugin.GetOutputTime();
    EXPECT_EQ(plugin.UsesOutputPlug, 9);
    host.stop();
    EXPECT_EQ(plugin.UsesOutputPlug, 1);

    const test::Exports converter(host.plugin_library());
    int size = -5, bits = 24, channels = 6, rate = 48000;
    const intptr_t read = converter.open(zip("raw.mdz", "song.raw", "raw").c_str(), &size, &bits, &channels, &rate);
    ASSERT_NE(read, 0);
    const std::vector<std::string> asked = only_call(host.recorder("in_reader"), "ExtendedRead_open").fields;
    ASSERT_GE(asked.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(asked.end() - 3, asked.end()), (std::vector<std::string>{"24", "6", "48000"}));
    EXPECT_EQ((std::vector<int>{size, bits, channels, rate}), (std::vector<int>{0, 16, 2, 44100}));
    converter.close(read);
}

// Alt+3 and the float reads reach the inner plugin that has them, about
// the extracted song (named with '\\' alone on Windows): its pane keeps a
// copy that lasts while the dialog is open, which is marked so that the
// host writes nothing back. A plugin without them gets 0, and the host
// falls back to its InfoBox and to 16 bits.
TEST_P(PlaybackInHost, InformationDialogAndFloatReadsReachThePluginThatHasThem) {
    host.install("in_reader");
    const auto use = host.plugin_export<UseUnifiedFileInfoDlgFunction>(use_unified_file_info_dlg_export);
    const auto add = host.plugin_export<AddUnifiedFileInfoPaneFunction>(add_unified_file_info_pane_export);
    const auto open_float = host.plugin_export<ExtendedReadOpenFunction>(extended_read_open_float_export);
    ASSERT_TRUE(use != nullptr && add != nullptr && open_float != nullptr);
    const std::string raw = zip("raw.mdz", "sub/song.raw", "raw");
    const std::string mod = zip("song.mdz", "song.mod", "mod");
    const std::wstring wide_raw(raw.begin(), raw.end()), wide_mod(mod.begin(), mod.end());

    EXPECT_EQ(use(wide_mod.c_str()), 0) << "in_alpha has no such export";
    ASSERT_EQ(use(wide_raw.c_str()), 1);
    const Recorder reader = host.recorder("in_reader");
    const std::string copy = file_argument(only_call(reader, "UseUnifiedFileInfoDlg"));
    EXPECT_TRUE(test::in_own_folder(copy, host.temp_folder().path(), test::on_disk("sub/song.raw"))) << copy;
#if defined(_WIN32)
    // Message-only: the tests run without a desktop.
    const HWND dialog =
        CreateWindowExW(0, L"STATIC", L"dialog", 0, 0, 0, 10, 10, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(dialog, nullptr);
#else
    const HostWindow dialog = reinterpret_cast<HostWindow>(static_cast<std::uintptr_t>(0x2A2A0));
#endif
    wchar_t tab[16] = L"";
    EXPECT_EQ(number(add(0, wide_raw.c_str(), dialog, tab, 16)), 0x5a5a0u);
    EXPECT_EQ(std::wstring(tab), L"Raw");
    EXPECT_EQ(add(1, wide_raw.c_str(), dialog, tab, 16), nullptr);
    const JournalEntry pane = reader.calls("AddUnifiedFileInfoPane").front();
    EXPECT_EQ(pane.fields.at(1), copy);
    EXPECT_TRUE(held(pane, "raw"));
    EXPECT_EQ(pane.number("parent"), number(dialog));
#if defined(_WIN32)
    EXPECT_EQ(GetPropW(dialog, L"INBUILT_NOWRITEINFO"), reinterpret_cast<HANDLE>(1));
    DestroyWindow(dialog);
    for (int i = 0; i < 400 && test::file_exists(copy); ++i) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        Sleep(10);
    }
    EXPECT_FALSE(test::file_exists(copy)) << "gone with the dialog";
#else
    EXPECT_TRUE(test::file_exists(copy));
    EXPECT_EQ(use(wide_mod.c_str()), 0);
    EXPECT_FALSE(test::file_exists(copy)) << "gone when another archive is asked about";
#endif

    int size = 0, bits = 16, channels = 0, rate = 0;
    const intptr_t read = open_float(raw.c_str(), &size, &bits, &channels, &rate);
    ASSERT_NE(read, 0);
    EXPECT_EQ(bits, 32);
    EXPECT_EQ(reader.count("ExtendedRead_open_float"), 1);
    test::Exports(host.plugin_library()).close(read);
    EXPECT_EQ(open_float(mod.c_str(), &size, &bits, &channels, &rate), 0) << "in_alpha has no float read";
    EXPECT_TRUE(temp_files().empty());
}

// The user's own Play is told of a missing archive library every time;
// the questions, which the playlist asks of every entry, once while it
// stays missing, and again once an extraction has found it meanwhile.
// The worker threads' exports never show a box.
TEST_P(PlaybackInHost, MissingArchiveLibraryIsToldAtEveryPlayAndOnceToTheQuestions) {
    if (native_path_style() != PathStyle::windows) {
        GTEST_SKIP() << "the build's own ZIP reader needs no library; a missing RAR library is tested in-process";
    }
    const test::ScratchFolder empty("no-libraries");
    const test::Exports worker(host.plugin_library());
    for (const std::string& archive : {zip("song.mdz", "song.mod", "song"), rar("song.mdr", "song.mod", "song")}) {
        const std::string library = archive.back() == 'z' ? "unzip32.dll" : "unrar.dll";
        const test::PluginMessageCapture capture(host.plugin_library(), "Voskel Plugin");
        const auto missing = [&] {
            const test::LibrarySearch nowhere(empty.path());
            int rate = 0;
            EXPECT_EQ(worker.answer(archive, "title"), "(no answer)");
            EXPECT_EQ(worker.read_all(archive, rate), "(no read)");
            for (int i = 0; i < 3; ++i) EXPECT_EQ(host.get_file_info(archive.c_str()).title, untouched.title);
            EXPECT_EQ(host.info_box(archive.c_str()), 0);
        };
        missing();
        {
            const test::LibrarySearch nowhere(empty.path());
            EXPECT_NE(host.play(archive), 0);
            EXPECT_NE(host.play(archive), 0);
        }
        EXPECT_EQ(capture.messages().size(), 3u) << library << ": one for the questions, one for each Play";
        const test::LibrarySearch found(test::host_path(VOSKEL_WINDOWS_LIBS_DIR));
        host.get_file_info(archive.c_str());
        missing();

        const std::vector<test::CapturedMessage> shown = capture.messages();
        EXPECT_EQ(shown.size(), 4u) << library << ": once more for the questions, the library found between";
        for (const test::CapturedMessage& message : shown) {
            EXPECT_EQ(message.text, "Could not find " + library);
            EXPECT_EQ(message.owner, nullptr);
            EXPECT_EQ(message.style, 0u) << "MB_OK alone";
        }
        EXPECT_TRUE(temp_files().empty()) << library;
    }
    EXPECT_EQ(host.recorder("in_alpha").count("Play"), 0);
}

}  // namespace
}  // namespace voskel
