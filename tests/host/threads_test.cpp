// The extended exports from the host's worker threads (Media Library scan,
// ReplayGain, converter) while its main thread plays, stops and fills the
// playlist: every answer and every decoded sample still right, and nothing
// left in the temporary folder. Built with ThreadSanitizer as well (the
// "tsan" preset), where a race fails the test.
#include <gtest/gtest.h>

#include <atomic>
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
    const std::string playing = archive("playing.mdz", "Song.wav", test::wav_file(2, 16, 8000, tone_samples));
    // The playlist's next entry, asked about by the main thread as the song
    // plays; its member goes into the temporary folder itself, so it may not
    // be named as the playing one.
    const std::string listed = archive("listed.mdz", "Listed.wav", test::wav_file(1, 8, 11025, other_samples));

    test::TestHost host("threads");
    host.install_example("in_wave");
    ASSERT_TRUE(host.start());
    const test::Exports plugin(host.plugin_library());

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
                    if (plugin.answer(song.archive, "family") != "PCM Wave") ++wrong;
                } else {
                    // The converter: a whole song decoded.
                    int rate = 0;
                    if (plugin.read_all(song.archive, rate) != *song.samples) ++wrong;
                }
            }
        });
    }
    for (int round = 0; round < rounds; ++round) {
        if (host.play(playing) != 0) ++wrong;
        host.plugin().GetOutputTime();
        if (host.get_file_info(listed.c_str()).title != "Listed") ++wrong;
        host.stop();
    }
    for (std::thread& worker : workers) worker.join();

    EXPECT_EQ(wrong.load(), 0);
    host.quit();
    EXPECT_TRUE(test::entries_in(host.temp_folder().path()).empty());
}

}  // namespace
}  // namespace voskel
