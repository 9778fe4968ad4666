// The extended exports from the host's worker threads (Media Library scan,
// ReplayGain, converter), and the CD burner's GetFileInfo, while its main
// thread plays, stops and fills the playlist: every answer and every decoded
// sample still right, the playing file never touched, and nothing left in
// the temporary folder. Built with ThreadSanitizer as well (the "tsan"
// preset), where a race fails the test.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "extended_support.h"
#include "extract_support.h"
#include "support/archive_writer.h"
#include "support/test_host.h"
#include "wav_bytes.h"

namespace voskel {
namespace {

const std::string tone_samples = test::sample_bytes(2, 16, 4000);
const std::string other_samples = test::sample_bytes(1, 8, 2205);

struct Song {
    std::string archive;
    std::string title;
    std::string length;
    const std::string* samples;
};

TEST(WorkerThreads, ExtendedCallsWhileTheMainThreadPlaysGetTheirOwnAnswersAndLeaveNothing) {
    if (!test::library_available(test::zip_format())) GTEST_SKIP() << "unzip32.dll has not been built";
    const test::LibrarySearch search(test::host_path(VOSKEL_WINDOWS_LIBS_DIR));
    const test::ScratchFolder archives("thread-archives");
    const auto archive = [&](const std::string& file, const std::string& member, const std::string& wav) {
        const std::string path = archives.file(file);
        test::write_file(path, test::zip_archive({{.name = member, .data = wav}}));
        return path;
    };
    // The members share the playing song's name.
    const std::vector<Song> songs = {
        {archive("tone.mdz", "Song.wav", test::wav_file(2, 16, 8000, tone_samples)), "Song", "500", &tone_samples},
        {archive("other.mdz", "Song.wav", test::wav_file(1, 8, 11025, other_samples)), "Song", "200",
         &other_samples},
    };
    const std::string playing_wav = test::wav_file(2, 16, 8000, tone_samples);
    const std::string playing = archive("playing.mdz", "Song.wav", playing_wav);
    // The playlist's next entry, asked about by the main thread as the song plays.
    const std::string listed = archive("listed.mdz", "Song.wav", test::wav_file(1, 8, 11025, other_samples));

    test::TestHost host("threads");
    host.install_example("in_wave");
    ASSERT_TRUE(host.start());
    const test::Exports plugin(host.plugin_library());
    In_Module& record = host.plugin();
    const std::string playing_copy = test::join(host.temp_folder().path(), "Song.wav");

    constexpr int rounds = 40;
    std::atomic<int> wrong{0};
    std::vector<std::thread> workers;
    for (int worker = 0; worker < 4; ++worker) {
        workers.emplace_back([&, worker] {
            for (int round = 0; round < rounds; ++round) {
                const Song& song = songs[static_cast<std::size_t>((worker + round) % 2)];
                if (worker % 2 == 0) {
                    // The Media Library: several keys of one file in a row.
                    if (plugin.answer(song.archive, "title") != song.title) ++wrong;
                    if (plugin.answer(song.archive, "length") != song.length) ++wrong;
                    if (plugin.answer(song.archive, "type") != "0") ++wrong;
                    // The burner: a title, and the playing file's, if any.
                    std::string name = song.archive;
                    char title[GETFILEINFO_TITLE_LENGTH] = "";
                    int length_ms = 0;
                    record.GetFileInfo(name.data(), title, &length_ms);
                    if (title != song.title) ++wrong;
                    record.GetFileInfo(nullptr, title, &length_ms);
                } else {
                    // The converter: a whole song decoded.
                    int rate = 0;
                    if (plugin.read_all(song.archive, rate) != *song.samples) ++wrong;
                }
            }
        });
    }
    int playing_file_touched = 0;
    for (int round = 0; round < rounds; ++round) {
        if (host.play(playing) != 0) ++wrong;
        record.GetOutputTime();
        if (host.get_file_info(listed.c_str()).title != "Song") ++wrong;
        if (test::read_file(playing_copy) != playing_wav) ++playing_file_touched;
        host.stop();
    }
    for (std::thread& worker : workers) worker.join();

    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(playing_file_touched, 0);
    host.quit();
    EXPECT_TRUE(test::entries_in(host.temp_folder().path()).empty());
}

// The host reads our record's flags as the song's samples pass, while its
// visualisation threads poll GetOutputTime beside Play and Stop: the
// playing module's replay-gain flag shows while its song plays, and never
// once Stop has returned, or the next song plays without the host's gain.
TEST(WorkerThreads, PlayingModulesFlagsNeverOutliveItsStop) {
    if (!test::library_available(test::zip_format())) GTEST_SKIP() << "unzip32.dll has not been built";
    const test::LibrarySearch search(test::host_path(VOSKEL_WINDOWS_LIBS_DIR));
    const test::ScratchFolder archives("flag-archives");
    const std::string song = archives.file("song.mdz");
    test::write_file(song, test::zip_archive({{.name = "song.mod", .data = "the song"}}));
    test::TestHost host("flags");
    host.install("in_alpha");
    ASSERT_TRUE(host.start());
    ASSERT_EQ(host.play(song), 0);
    const test::Recorder alpha = host.recorder("in_alpha");
    alpha.set_result("PlayFlags", IN_MODULE_FLAG_REPLAYGAIN);
    alpha.set_result("QuietPolls", 1);
    host.stop();

    const std::atomic_ref<int> flags(host.plugin().UsesOutputPlug);
    std::atomic<bool> done{false};
    std::vector<std::thread> pollers;
    for (int i = 0; i < 3; ++i) {
        pollers.emplace_back([&] {
            while (!done) {
                host.plugin().GetOutputTime();
                std::this_thread::yield();  // three pollers on two cores would starve the main thread
            }
        });
    }
    int not_shown = 0, outlived = 0;
    for (int round = 0; round < 5000; ++round) {
        if (host.play(song) != 0) {
            ADD_FAILURE() << "round " << round << " did not play";
            break;
        }
        if (flags.load() != 9) ++not_shown;
        host.stop();
        if (flags.load() != 1) ++outlived;
    }
    done = true;
    for (std::thread& poller : pollers) poller.join();
    EXPECT_EQ(not_shown, 0);
    EXPECT_EQ(outlived, 0);
}

// A module whose Init calls back into the plugin from another thread, and
// waits for it, while the first lookup's scan sets it up: nothing of a
// module may run under the plugin's lock, or this would never end.
TEST(WorkerThreads, ModuleCallingBackDuringItsInitDoesNotDeadlockTheScan) {
    if (!test::library_available(test::zip_format())) GTEST_SKIP() << "unzip32.dll has not been built";
    const test::LibrarySearch search(test::host_path(VOSKEL_WINDOWS_LIBS_DIR));
    const test::ScratchFolder archives("calls-back");
    const std::string song = archives.file("song.mdz");
    test::write_file(song, test::zip_archive({{.name = "song.mod", .data = "the song"}}));
    test::TestHost host("calls-back");
    host.install("in_alpha");
    ASSERT_TRUE(host.start());
    // A load of the test's own reaches the recorder before the scan sets it up.
    const LibraryHandle alpha = platform_system_calls().load_library(host.path_of("in_alpha").c_str());
    ASSERT_NE(alpha, nullptr);
    using SetInitCall = void (*)(void (*)(void*), void*);
    const auto set_init_call =
        reinterpret_cast<SetInitCall>(platform_system_calls().find_symbol(alpha, "recorder_set_init_call"));
    ASSERT_NE(set_init_call, nullptr);
    set_init_call(
        [](void* plugin) {
            static_cast<In_Module*>(plugin)->SetVolume(77);  // takes the lock while no song plays
            char title[GETFILEINFO_TITLE_LENGTH] = "";
            static_cast<In_Module*>(plugin)->GetFileInfo(nullptr, title, nullptr);
        },
        &host.plugin());
    std::atomic<bool> done{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 600 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (!done) {
            std::fprintf(stderr, "the scan deadlocked with the module's Init\n");
            std::abort();
        }
    });
    EXPECT_EQ(host.play(song), 0);
    done = true;
    watchdog.join();
    const test::Recorder recorder = host.recorder("in_alpha");
    EXPECT_EQ(recorder.count("Init"), 1);
    EXPECT_EQ(recorder.calls("SetVolume").front().fields, std::vector<std::string>{"77"}) << "the call came back";
    host.stop();
    set_init_call(nullptr, nullptr);
    platform_system_calls().unload_library(alpha);
}

// The CD burner plays from a thread of its own, also while the user's song
// plays: one playback state cannot serve both, so its Play is refused and
// the user's song keeps its file until its own Stop.
TEST(WorkerThreads, AnotherThreadsPlayIsRefusedWhileASongPlays) {
    if (!test::library_available(test::zip_format())) GTEST_SKIP() << "unzip32.dll has not been built";
    const test::LibrarySearch search(test::host_path(VOSKEL_WINDOWS_LIBS_DIR));
    const test::ScratchFolder archives("burner-archives");
    const std::string users_wav = test::wav_file(2, 16, 8000, tone_samples);
    const std::string users = archives.file("users.mdz");
    const std::string burners = archives.file("burners.mdz");
    test::write_file(users, test::zip_archive({{.name = "Song.wav", .data = users_wav}}));
    test::write_file(burners, test::zip_archive({{.name = "Song.wav", .data = test::wav_file(1, 8, 11025, other_samples)}}));
    test::TestHost host("burner");
    host.install_example("in_wave");
    ASSERT_TRUE(host.start());
    const auto play_elsewhere = [&] {
        int result = -100;
        std::thread([&] {
            std::string name = burners;
            result = host.plugin().Play(name.data());
            if (result == 0) host.plugin().Stop();
        }).join();
        return result;
    };

    ASSERT_EQ(host.play(users), 0);
    EXPECT_NE(play_elsewhere(), 0);
    EXPECT_TRUE(test::read_file(test::join(host.temp_folder().path(), "Song.wav")) == users_wav)
        << "the user's song was overwritten";
    host.stop();
    EXPECT_TRUE(test::entries_in(host.temp_folder().path()).empty());
    EXPECT_EQ(play_elsewhere(), 0) << "once the song has stopped, any thread may play";
}

}  // namespace
}  // namespace voskel
