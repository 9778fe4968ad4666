// in_voskel's extended file information and extended read, through the real
// plugin library in the test host, with the example WAV decoder beside it
// in both widths: answers equal the decoder's own about the bare file, a
// kept member serves one archive's questions, and nothing stays behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "extended_support.h"
#include "extract_support.h"
#include "platform/platform.h"
#include "support/archive_writer.h"
#include "support/child_process.h"
#include "support/test_host.h"
#include "wav_bytes.h"

namespace voskel {
namespace {

using test::Exports;
using test::TestHost;
using test::entries_in;

class ExtendedExports : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        if (!test::library_available(test::zip_format())) GTEST_SKIP() << "unzip32.dll has not been built";
        host.install_example(GetParam());
        decoder_module = host.set_up_inner(GetParam());
        ASSERT_NE(decoder_module, nullptr);
        ASSERT_TRUE(host.start());
    }

    Exports ours() const { return Exports(host.plugin_library()); }
    Exports decoder() const { return Exports(decoder_module->hDllInstance); }

    std::string song_archive(const std::string& name, const std::string& member, const std::string& wav) const {
        const std::string path = archives.file(name);
        test::write_file(path, test::zip_archive({{.name = member, .data = wav}}));
        return path;
    }
    std::string bare(const std::string& name, const std::string& wav) const {
        const std::string path = archives.file(name);
        test::write_file(path, wav);
        return path;
    }
    std::vector<std::string> temp_entries() const { return entries_in(host.temp_folder().path()); }

    test::LibrarySearch search{test::host_path(VOSKEL_WINDOWS_LIBS_DIR)};
    test::ScratchFolder archives{"extended-archives"};
    TestHost host{"extended"};
    In_Module* decoder_module = nullptr;
};

INSTANTIATE_TEST_SUITE_P(Decoders, ExtendedExports, ::testing::Values("in_wave", "in_wave_unicode"));

const std::string tone = test::wav_file(2, 16, 8000, test::sample_bytes(2, 16, 4000));  // 500 ms
const std::string other_tone = test::wav_file(1, 8, 11025, test::sample_bytes(1, 8, 2205));  // 200 ms

TEST_P(ExtendedExports, ArchiveAnswersAsTheDecoderDoesForTheBareFileFromOneKeptMember) {
    const Exports plugin = ours();
    ASSERT_NE(plugin.info, nullptr);
    ASSERT_NE(plugin.info_wide, nullptr);
    const std::string archive = song_archive("song.mdz", "Tone.wav", tone);
    const std::string bare_file = bare("Tone.wav", tone);

    std::vector<std::string> kept;
    for (const char* key : {"title", "length", "type", "artist", "bitrate", "no such key"}) {
        EXPECT_EQ(plugin.answer(archive, key), decoder().answer(bare_file, key)) << key;
        // One member, extracted once, serves every key.
        const std::vector<std::string> now = temp_entries();
        EXPECT_EQ(now.size(), 1u) << key;
        if (kept.empty()) kept = now;
        EXPECT_EQ(now, kept) << key << ": extracted again";
    }
    EXPECT_EQ(plugin.answer(archive, "title"), "Tone");
    EXPECT_EQ(plugin.answer(archive, "length"), "500");
    EXPECT_EQ(plugin.answer(archive, "family"), "ZIP Compressed Song (*.MDZ)") << "the archive's, as for any MDZ";

    // The same through the UTF-16 form, into a buffer too small for all of it.
    wchar_t value[4] = L"";
    const std::wstring wide_name(archive.begin(), archive.end());
    ASSERT_EQ(plugin.info_wide(wide_name.c_str(), "title", value, 4), 1);
    EXPECT_EQ(std::wstring(value), L"Ton");
    EXPECT_EQ(temp_entries(), kept);

    // A member is not kept for a file that is no archive, nor asked about.
    EXPECT_EQ(plugin.answer(bare_file, "title"), "(no answer)");
    EXPECT_EQ(temp_entries(), kept);

    // A name without an ANSI form (日本.mdz on a western system) goes by its
    // short form, as the host hands such a name to an 8-bit plugin's Play.
    std::wstring japanese(archives.path().begin(), archives.path().end());
#if defined(_WIN32)
    japanese += L"\\\u65e5\u672c.mdz";
    std::filesystem::rename(archive, japanese);
#else
    japanese += L"/\u65e5\u672c.mdz";
    std::filesystem::rename(archive, archives.file("\xe6\x97\xa5\xe6\x9c\xac.mdz"));
#endif
    ASSERT_EQ(plugin.info_wide(japanese.c_str(), "title", value, 4), 1);
    EXPECT_EQ(std::wstring(value), L"Ton");
}

// The host asks "type" of "" at load, "family" of Winamp.File.mdz when it
// registers the file type and "type" of test.mdr in its settings: none of
// them a file. They are answered from the name, and nothing is loaded,
// scanned or extracted for them; other kinds of names get no answer.
TEST(NamesAlone, TypeAndFamilyComeFromTheExtension) {
    TestHost host("names");
    host.install_example("in_wave");
    ASSERT_TRUE(host.start());
    const Exports plugin(host.plugin_library());
    struct Row {
        const char* name;
        const char* key;
        const char* answer;
    };
    const Row rows[] = {
        {"Winamp.File.mdz", "family", "ZIP Compressed Song (*.MDZ)"},
        {"Winamp.File.MDR", "family", "RAR Compressed Song (*.MDR)"},
        {"test.mdr", "type", "0"},
        {"test.mdz", "TYPE", "0"},
        {"", "type", "0"},
        {"Winamp.File.mp3", "family", "(no answer)"},
        {"test.wav", "type", "(no answer)"},
        {"test.mdz", "title", "(no answer)"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(plugin.answer(row.name, row.key), row.answer) << row.name << " " << row.key;
        wchar_t wide[64] = L"";
        const std::wstring name(row.name, row.name + std::strlen(row.name));
        const std::string wide_answer = plugin.info_wide(name.c_str(), row.key, wide, 64) != 0
                                            ? std::string(wide, wide + std::wcslen(wide))
                                            : "(no answer)";
        EXPECT_EQ(wide_answer, row.answer) << row.name << " " << row.key;
    }
    EXPECT_FALSE(test::is_library_loaded(host.path_of("in_wave"))) << "no plugin was loaded";
    EXPECT_TRUE(entries_in(host.temp_folder().path()).empty());
}

TEST_P(ExtendedExports, KeptMemberGoesWithAnotherArchiveAPlayQuitAndUnload) {
    const Exports plugin = ours();
    const std::string first = song_archive("first.mdz", "Tone.wav", tone);
    const std::string second = song_archive("second.mdz", "Other.wav", other_tone);

    ASSERT_EQ(plugin.answer(first, "length"), "500");
    const std::vector<std::string> kept_first = temp_entries();
    ASSERT_EQ(kept_first.size(), 1u);
    ASSERT_EQ(plugin.answer(second, "length"), "200");
    const std::vector<std::string> kept_second = temp_entries();
    ASSERT_EQ(kept_second.size(), 1u);
    EXPECT_NE(kept_second, kept_first) << "another archive, another member";

    // Changed on disk: not the archive the member was kept for.
    test::write_file(first, test::zip_archive({{.name = "Tone.wav", .data = other_tone}}));
    ASSERT_EQ(plugin.answer(first, "length"), "200");
    ASSERT_EQ(plugin.answer(second, "length"), "200");

    ASSERT_EQ(host.play(second), 0);
    EXPECT_EQ(temp_entries(), std::vector<std::string>{"Other.wav"}) << "the playing copy alone";
    host.stop();
    EXPECT_TRUE(temp_entries().empty());

    ASSERT_EQ(plugin.answer(first, "title"), "Tone");
    EXPECT_EQ(temp_entries().size(), 1u);
    host.quit();
    EXPECT_TRUE(test::all_entries_in(host.temp_folder().path()).empty())
        << "Quit drops the kept member, and the folders kept for the next copy";
}

TEST_P(ExtendedExports, KeptMemberGoesWhenTheLibraryUnloadsWithoutQuit) {
    ASSERT_EQ(ours().answer(song_archive("song.mdz", "Tone.wav", tone), "title"), "Tone");
    EXPECT_EQ(temp_entries().size(), 1u);
    host.unload_libraries(false);
    EXPECT_TRUE(temp_entries().empty());
}

TEST_P(ExtendedExports, UninstallButtonDropsTheKeptMemberAndLetsTheHostRemoveThePluginAtOnce) {
    ASSERT_EQ(ours().answer(song_archive("song.mdz", "Tone.wav", tone), "title"), "Tone");
    ASSERT_EQ(temp_entries().size(), 1u);
    const auto uninstall = Exports::find<UninstallPluginFunction>(host.plugin_library(), uninstall_plugin_export);
    ASSERT_NE(uninstall, nullptr);
    EXPECT_EQ(uninstall(host.plugin_library(), nullptr, 0), IN_PLUGIN_UNINSTALL_NOW);
    EXPECT_TRUE(test::all_entries_in(host.temp_folder().path()).empty()) << "nor a folder kept for the next copy";
}

TEST_P(ExtendedExports, ExtendedReadGivesTheSamplesOfTheBareFile) {
    const Exports plugin = ours();
    const std::string archive = song_archive("song.mdz", "Tone.wav", tone);
    int rate = 0, bare_rate = 0;
    const std::string through_archive = plugin.read_all(archive, rate);
    EXPECT_EQ(through_archive, decoder().read_all(bare("Tone.wav", tone), bare_rate));
    EXPECT_EQ(through_archive, test::sample_bytes(2, 16, 4000));
    EXPECT_EQ(rate, 8000);
    EXPECT_TRUE(temp_entries().empty()) << "close deletes what open extracted";
}

TEST_P(ExtendedExports, ReadsOpenAtOnceEachReadTheirOwnMemberWhileASongPlays) {
    const Exports plugin = ours();
    // Both members, and the playing song's, have one name.
    const std::string first = song_archive("first.mdz", "Song.wav", tone);
    const std::string second = song_archive("second.mdz", "Song.wav", other_tone);
    const std::string playing = song_archive("playing.mdz", "Song.wav", tone);
    ASSERT_EQ(host.play(playing), 0);

    int size = 0, bits = 0, channels = 0, rate = 0;
    const intptr_t a = plugin.open(first.c_str(), &size, &bits, &channels, &rate);
    ASSERT_NE(a, 0);
    EXPECT_EQ(size, 16000);
    EXPECT_EQ(bits, 16);
    EXPECT_EQ(channels, 2);
    const intptr_t b = plugin.open(second.c_str(), &size, &bits, &channels, &rate);
    ASSERT_NE(b, 0);
    EXPECT_EQ(rate, 11025);
    EXPECT_EQ(temp_entries().size(), 3u) << "the playing copy and a folder for each read";

    std::string from_a, from_b;
    char buffer[512];
    int kill = 0;
    for (bool more = true; more;) {
        const intptr_t got_a = plugin.get_data(a, buffer, sizeof buffer, &kill);
        from_a.append(buffer, static_cast<std::size_t>(got_a));
        const intptr_t got_b = plugin.get_data(b, buffer, sizeof buffer, &kill);
        from_b.append(buffer, static_cast<std::size_t>(got_b));
        more = got_a > 0 || got_b > 0;
    }
    EXPECT_EQ(from_a, test::sample_bytes(2, 16, 4000));
    EXPECT_EQ(from_b, test::sample_bytes(1, 8, 2205));

    // Seeking where the decoder can: to 250 ms, frame 2000.
    ASSERT_EQ(plugin.set_time(a, 250), 1);
    const intptr_t got = plugin.get_data(a, buffer, 8, &kill);
    EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(got)), test::sample_bytes(2, 16, 2002).substr(8000));

    plugin.close(a);
    plugin.close(b);
    EXPECT_EQ(temp_entries(), std::vector<std::string>{"Song.wav"}) << "the playing copy is untouched";
    host.stop();
    EXPECT_TRUE(temp_entries().empty());
}

TEST_P(ExtendedExports, NothingStaysBehindWhenThereIsNothingToAnswer) {
    const Exports plugin = ours();
    host.install("in_alpha");  // plays MOD, and has neither export
    // A member whose module cannot answer, an archive that is none, and a
    // missing one: nothing extracted stays.
    for (const std::string& archive : {song_archive("tracker.mdz", "song.mod", "not read"),
                                       bare("garbage.mdz", "not a ZIP archive"), archives.file("missing.mdz")}) {
        int rate = 0;
        EXPECT_EQ(plugin.read_all(archive, rate), "(no read)") << archive;
        EXPECT_EQ(plugin.answer(archive, "title"), "(no answer)") << archive;
        EXPECT_TRUE(temp_entries().empty()) << archive;
    }
    // A member the decoder cannot read: no read, no answer; the member is
    // kept for the next key all the same, and goes at Quit.
    const std::string broken = song_archive("broken.mdz", "Song.wav", "RIFF");
    int rate = 0;
    EXPECT_EQ(plugin.read_all(broken, rate), "(no read)");
    EXPECT_TRUE(temp_entries().empty());
    EXPECT_EQ(plugin.answer(broken, "title"), "(no answer)");
    EXPECT_EQ(temp_entries().size(), 1u);
    host.quit();
    EXPECT_TRUE(temp_entries().empty());
}

// The player may quit while its converter still reads, and its worker
// threads may ask after Quit. The decoder here is one the plugin loaded
// itself, so that Quit unloads it: an open read keeps its own load and reads
// to its end, its close removes its folder, a question after Quit gets no
// answer, and a read nobody closes goes when the plugin is unloaded.
TEST(ExtendedExportsAtQuit, OpenReadOutlivesQuitAndQuestionsAfterItAreRefused) {
    if (!test::library_available(test::zip_format())) GTEST_SKIP() << "unzip32.dll has not been built";
    const test::LibrarySearch search(test::host_path(VOSKEL_WINDOWS_LIBS_DIR));
    const test::ScratchFolder archives("quit-archives");
    const std::string archive = archives.file("song.mdz");
    test::write_file(archive, test::zip_archive({{.name = "Tone.wav", .data = tone}}));
    TestHost host("quit");
    host.install_example("in_wave");
    ASSERT_TRUE(host.start());
    const Exports plugin(host.plugin_library());

    int size = 0, bits = 0, channels = 0, rate = 0;
    const intptr_t read = plugin.open(archive.c_str(), &size, &bits, &channels, &rate);
    const intptr_t abandoned = plugin.open(archive.c_str(), &size, &bits, &channels, &rate);
    ASSERT_NE(read, 0);
    ASSERT_NE(abandoned, 0);
    host.quit();

    EXPECT_EQ(plugin.read_to_end(read), test::sample_bytes(2, 16, 4000));
    plugin.close(read);
    EXPECT_EQ(entries_in(host.temp_folder().path()).size(), 1u) << "the read nobody closed";

    EXPECT_EQ(plugin.answer(archive, "title"), "(no answer)");
    EXPECT_EQ(plugin.read_all(archive, rate), "(no read)");
    EXPECT_EQ(host.get_file_info(archive.c_str()).title, "(untouched)");
    host.unload_libraries();
    EXPECT_TRUE(entries_in(host.temp_folder().path()).empty());
}

// A process that ends abruptly with a read open leaves its private folder
// behind. The next process to start the plugin removes it, and no process
// removes the folder of a read that a live one has open. The processes are
// this program again, running the disabled test below alone.
constexpr const char* child_test = "PrivateFolders.DISABLED_ReadInAProcessOfItsOwn";

void wait_for(const std::string& signal) {
    for (int i = 0; i < 6000 && !test::file_exists(signal); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

TEST(PrivateFolders, WhatAnEndedProcessLeftIsSweptAndALiveProcesssReadSurvives) {
    if (std::getenv("VOSKEL_SPAWN_TESTS") == nullptr) GTEST_SKIP() << "runs as private_folder_sweep";
    if (!test::library_available(test::zip_format())) GTEST_SKIP() << "unzip32.dll has not been built";
    const test::LibrarySearch search(test::host_path(VOSKEL_WINDOWS_LIBS_DIR));
    const test::ScratchFolder archives("sweep-archives");
    const test::ScratchFolder signals("sweep-signals");
    TestHost host("sweep");
    host.install_example("in_wave");
    const std::string temp = host.temp_folder().path();
    const auto read_by_a_child = [&](const std::string& member, bool abruptly) {
        const std::string archive = archives.file(member + ".mdz");
        test::write_file(archive, test::zip_archive({{.name = member, .data = tone}}));
        test::set_env("VOSKEL_CHILD_PLUGIN", host.plugin_path().c_str());
        test::set_env("VOSKEL_CHILD_ARCHIVE", archive.c_str());
        test::set_env("VOSKEL_CHILD_SIGNALS", signals.path().c_str());
        test::set_env("VOSKEL_CHILD_ABRUPTLY", abruptly ? "1" : nullptr);
        std::filesystem::remove(signals.file("open"));
        return std::make_unique<test::ChildProcess>(child_test);
    };
    // How many private folders hold the member.
    const auto folders_holding = [&](const std::string& member) {
        const std::vector<std::string> entries = entries_in(temp);
        return std::count_if(entries.begin(), entries.end(), [&](const std::string& entry) {
            return entry.starts_with("in_voskel-") && test::file_exists(test::join(test::join(temp, entry), member));
        });
    };

    {
        const std::unique_ptr<test::ChildProcess> ended = read_by_a_child("Ended.wav", true);
        ASSERT_TRUE(ended->started());
        EXPECT_NE(ended->wait(), 0);
    }
    ASSERT_EQ(folders_holding("Ended.wav"), 1) << "the process ended with its read open";
    const std::unique_ptr<test::ChildProcess> live = read_by_a_child("Live.wav", false);
    ASSERT_TRUE(live->started());
    wait_for(signals.file("open"));
    EXPECT_EQ(folders_holding("Ended.wav"), 0) << "the next process to start swept it";
    EXPECT_EQ(folders_holding("Live.wav"), 1);
    ASSERT_TRUE(host.start());
    EXPECT_EQ(folders_holding("Live.wav"), 1) << "a live process's read survives the sweep";
    test::write_file(signals.file("go"), "");
    EXPECT_EQ(live->wait(), 0) << "its read gave every sample";
    EXPECT_TRUE(entries_in(temp).empty());
}

// In the child: a host of its own loads the plugin from the parent's host
// folder and opens a read, which it reads once the parent says so, or
// leaves open as it ends abruptly.
TEST(PrivateFolders, DISABLED_ReadInAProcessOfItsOwn) {
    const char* plugin_path = std::getenv("VOSKEL_CHILD_PLUGIN");
    const char* archive = std::getenv("VOSKEL_CHILD_ARCHIVE");
    const char* signals = std::getenv("VOSKEL_CHILD_SIGNALS");
    ASSERT_TRUE(plugin_path != nullptr && archive != nullptr && signals != nullptr);
    const test::LibrarySearch search(test::host_path(VOSKEL_WINDOWS_LIBS_DIR));
    LibraryHandle library = platform_system_calls().load_library(plugin_path);
    ASSERT_NE(library, nullptr);
    In_Module* record = Exports::find<GetInModuleFunction>(library, get_in_module_export)();
    record->hDllInstance = library;
    record->Init();
    const Exports plugin(library);
    int size = 0, bits = 0, channels = 0, rate = 0;
    const intptr_t read = plugin.open(archive, &size, &bits, &channels, &rate);
    ASSERT_NE(read, 0);
    test::write_file(test::join(signals, "open"), "");
    if (std::getenv("VOSKEL_CHILD_ABRUPTLY") != nullptr) test::end_abruptly();
    wait_for(test::join(signals, "go"));
    EXPECT_EQ(plugin.read_to_end(read), test::sample_bytes(2, 16, 4000));
    plugin.close(read);
    record->Quit();
    platform_system_calls().unload_library(library);
}

}  // namespace
}  // namespace voskel
