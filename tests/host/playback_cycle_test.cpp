// The playback entry points linked into this test, so that what they take
// from the heap, the loader and the temporary folder can be counted.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "extended_support.h"
#include "extract/unzip32_member.h"
#include "extract_support.h"
#include "host/extended_info.h"
#include "host/extended_read.h"
#include "host/file_info.h"
#include "host/own_copy.h"
#include "host/playback.h"
#include "host/plugin_record.h"
#include "registry_fixture.h"
#include "support/archive_writer.h"
#include "support/block_ledger.h"
#include "support/message_capture.h"
#include "support/test_host.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace voskel {
namespace {

// Our record as the host sets it up, with in_alpha beside "our" library: the
// library whose handle the record carries is in_alpha itself, loaded from a
// folder of its own.
// The inner plugin in both widths: an 8-bit module and a Unicode one.
class InProcessPlayback : public ::testing::TestWithParam<test::PluginWidth> {
protected:
    void SetUp() override {
        if (!test::library_available(test::zip_format()) || !test::library_available(test::rar_format())) {
            GTEST_SKIP() << "unzip32.dll and unrar.dll have not been built";
        }
        alpha_path = plugins.file(test::library_file_name("in_alpha"));
        std::filesystem::copy_file(test::built_test_plugin("in_alpha", GetParam()), alpha_path);
        own_library = platform_system_calls().load_library(alpha_path.c_str());
        ASSERT_NE(own_library, nullptr) << alpha_path;
        plugin_record().hDllInstance = own_library;
        Init();
    }

    void TearDown() override {
        Stop();
        sandbox.reset();
        platform_system_calls().unload_library(own_library);
        if (own_library != nullptr) {
            EXPECT_FALSE(test::is_library_loaded(alpha_path)) << "a load of in_alpha is left";
        }
    }

    static int play(const std::string& file) {
        std::string text = file;
        return Play(text.data());
    }

    test::RegistrySandbox sandbox;
    test::LibrarySearch search{test::host_path(VOSKEL_WINDOWS_LIBS_DIR)};
    test::ScratchFolder plugins{"own-folder"};
    test::ScratchFolder archives{"archives"};
    test::TempFolder temp;
    std::string alpha_path;
    LibraryHandle own_library = nullptr;
};

INSTANTIATE_TEST_SUITE_P(Widths, InProcessPlayback,
                         ::testing::Values(test::PluginWidth::narrow, test::PluginWidth::unicode), test::width_name);

TEST_P(InProcessPlayback, ThousandPlayStopCyclesLeaveNoFileNoBlockAndNoLoad) {
    const std::string zip = archives.file("cycle.mdz");
    const std::string rar = archives.file("cycle.mdr");
    const std::string song(300, 'x');
    test::write_file(zip, test::zip_archive({{.name = "cycle.mod", .data = song}}));
    test::write_file(rar, test::rar4_archive({{.name = "cycle.mod", .data = song}}));
    const std::string copy = temp.joined("cycle.mod");
    // The first lookup scans the folder and registers in_alpha for good.
    ASSERT_EQ(play(zip), 0);
    Stop();

    // Held through the loop, so that the plugin's own loads and unloads only
    // move a count: what is measured is what the plugin keeps, not the loader.
    std::vector<LibraryHandle> held_libraries;
    for (const char* name : {unzip32_library_name, rar_library_name()}) {
        if (LibraryHandle library = platform_system_calls().load_library(name)) held_libraries.push_back(library);
    }

    const auto started = std::chrono::steady_clock::now();
    test::BlockLedger ledger;
    test::LibraryCalls libraries;
    int failed_plays = 0, copies_missing = 0, copies_left = 0;
    int held_by_globals = 0;
    constexpr int cycles = 1000;
    for (int cycle = 0; cycle < cycles; ++cycle) {
        if (play(cycle % 2 == 0 ? zip : rar) != 0) ++failed_plays;
        if (!test::file_exists(copy)) ++copies_missing;
        Stop();
        if (test::file_exists(copy)) ++copies_left;
        // What the globals hold after one song of each kind: the last name
        // played, and on the unzip32 build the member name the listing reported.
        if (cycle == 1) held_by_globals = ledger.live_blocks();
    }
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
    std::printf("%d Play/Stop cycles took %lld ms\n", cycles, static_cast<long long>(elapsed.count()));
    for (LibraryHandle library : held_libraries) platform_system_calls().unload_library(library);

    EXPECT_EQ(failed_plays, 0);
    EXPECT_EQ(copies_missing, 0);
    EXPECT_EQ(copies_left, 0);
    EXPECT_TRUE(temp.files().empty());
    EXPECT_GE(ledger.allocations(), cycles) << "the ledger did not see the cycles";
    EXPECT_EQ(ledger.live_blocks(), held_by_globals);
    EXPECT_LE(held_by_globals, 2);
    EXPECT_NE(ledger.block_size(playback_state().current_name), 0u);
    EXPECT_TRUE(playback_state().temp_path.empty());
    EXPECT_EQ(libraries.unloads(), libraries.loads());
    // Every RAR extraction loads its library, and so does every ZIP one on Windows.
    EXPECT_GE(libraries.loads(), cycles / 2);
    const test::Recorder alpha(alpha_path);
    EXPECT_EQ(alpha.count("Play"), cycles + 1);
    EXPECT_EQ(alpha.count("Stop"), cycles + 1);
#if defined(__SANITIZE_ADDRESS__)
    EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0);
#endif
}

// The Media Library asks many keys of one archive in a row: an archive whose
// module cannot answer (in_alpha has no such export) is extracted once.
TEST_P(InProcessPlayback, ANoIsRememberedForTheNextKeyAsAnAnswerIs) {
    const std::string archive = archives.file("tracker.mdr");
    test::write_file(archive, test::rar4_archive({{.name = "song.mod", .data = "the song"}}));
    char value[16];
    EXPECT_EQ(get_extended_file_info(archive.c_str(), "title", value, sizeof value), 0);
    test::LibraryCalls libraries;
    for (const char* key : {"artist", "length", "title"}) {
        EXPECT_EQ(get_extended_file_info(archive.c_str(), key, value, sizeof value), 0) << key;
    }
    EXPECT_EQ(libraries.load_attempts(), 0) << "extracted again";
    EXPECT_TRUE(test::entries_in(temp.path()).empty());
    drop_kept_member();
}

// The host-level test reaches a missing library only on Windows, where the
// library search can be steered; here the loader is steered instead. Each
// Play tells, the questions once while the library stays missing.
TEST_P(InProcessPlayback, MissingArchiveLibraryIsReportedToPlaysAndOnceToQuestionsAndLeavesNothing) {
    if (native_path_style() == PathStyle::windows) GTEST_SKIP() << "tested through the host on Windows";
    for (const test::ArchiveFormat* format : {&test::zip_format(), &test::rar_format()}) {
        if (!format->run_time_library) continue;
        const std::string library = format == &test::zip_format() ? unzip32_library_name : rar_library_name();
        const std::string archive = archives.file(std::string("song") + format->extension);
        test::write_file(archive, format->write({{"song.mod", "the song"}}));
        library_found(library.c_str());  // by an earlier test, as far as this one knows
        test::LibraryCalls libraries;
        libraries.redirect(library, plugins.file("missing-" + library));
        test::MessageCapture messages;
        // The host's message loop calls in while the box is up: nothing of
        // ours may be locked then.
        messages.while_shown([] {
            ASSERT_TRUE(state_mutex.try_lock()) << "a box is shown under the lock";
            state_mutex.unlock();
            char playing_title[16] = "";
            GetFileInfo(nullptr, playing_title, nullptr);
        });
        // Worker threads' questions: a no, and no box.
        char value[16];
        int size = 0, bits = 0, channels = 0, rate = 0;
        EXPECT_EQ(get_extended_file_info(archive.c_str(), "title", value, sizeof value), 0);
        EXPECT_EQ(open_extended_read(archive.c_str(), &size, &bits, &channels, &rate), 0);
        EXPECT_TRUE(messages.messages().empty());

        char title[64] = "(untouched)";
        int length_ms = -2;
        EXPECT_EQ(play(archive), 1);
        GetFileInfo(const_cast<char*>(archive.c_str()), title, &length_ms);
        EXPECT_EQ(InfoBox(const_cast<char*>(archive.c_str()), nullptr), 0);
        EXPECT_EQ(play(archive), 1);
        Stop();

        EXPECT_STREQ(title, "(untouched)");
        EXPECT_EQ(length_ms, -2);
        ASSERT_EQ(messages.messages().size(), 3u) << library;
        for (const test::CapturedMessage& message : messages.messages()) {
            EXPECT_EQ(message.text, "Could not find " + library);
            EXPECT_EQ(message.caption, "Voskel Plugin");
            EXPECT_EQ(message.owner, nullptr);
        }
        EXPECT_TRUE(temp.files().empty());
    }
    EXPECT_EQ(test::Recorder(alpha_path).count("Play"), 0);
}

}  // namespace
}  // namespace voskel
