// in_voskel against the archive library alone: Play and Stop of a song
// whose member is 5 MiB, GetFileInfo over a playlist of 1,000 archives, and
// the scan of a plugin folder. Each pair runs in the same program, one
// after the other, and main.cpp prints their ratios.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench_support.h"

namespace voskel::bench {
namespace {

constexpr int playlist_size = 1000;
constexpr int big_member_bytes = 5 << 20;

std::vector<std::string> playlist() {
    std::vector<std::string> files;
    for (int n = 0; n < playlist_size; ++n) {
        const std::string number = std::to_string(10000 + n).substr(1);
        files.push_back(data_file(join("playlist", number + ".mdz")));
    }
    return files;
}

void BM_PlayStop_5MiB(benchmark::State& state) {
    const std::string plugins = fresh_folder("plugins-play");
    fill_plugin_folder(plugins, 1);
    use_temp_folder(fresh_folder("temp"));
    Host host(plugins);
    const std::string archive = data_file("big.mdz");
    // The first Play scans the plugin folder, once in a host's life.
    if (!host.ok() || host.play(archive) != 0) {
        state.SkipWithError("in_voskel did not play big.mdz");
        return;
    }
    host.stop();
    for (auto _ : state) {
        if (host.play(archive) != 0) {
            state.SkipWithError("Play failed");
            break;
        }
        host.stop();
    }
    state.SetBytesProcessed(state.iterations() * big_member_bytes);
}

void direct_5MiB(benchmark::State& state, DirectExtractor::Extra extra) {
    const std::string temp = fresh_folder("temp");
    DirectExtractor direct(extra);
    const std::string archive = data_file("big.mdz");
    if (!direct.ok() || !direct.extract_and_delete(archive, "big.mod", temp)) {
        state.SkipWithError("the library did not extract big.mdz");
        return;
    }
    for (auto _ : state) {
        if (!direct.extract_and_delete(archive, "big.mod", temp)) {
            state.SkipWithError("extraction failed");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * big_member_bytes);
}

void BM_Direct_5MiB(benchmark::State& state) { direct_5MiB(state, {}); }

void BM_GetFileInfo_Playlist(benchmark::State& state) {
    const std::string plugins = fresh_folder("plugins-info");
    fill_plugin_folder(plugins, 1);
    use_temp_folder(fresh_folder("temp"));
    Host host(plugins);
    const std::vector<std::string> files = playlist();
    if (!host.ok() || host.file_info(files.front()) != 1000) {
        state.SkipWithError("in_voskel did not answer for the playlist");
        return;
    }
    for (auto _ : state) {
        for (const std::string& file : files) {
            if (host.file_info(file) != 1000) state.SkipWithError("GetFileInfo gave no length");
        }
    }
    state.SetItemsProcessed(state.iterations() * playlist_size);
}

void direct_playlist(benchmark::State& state, DirectExtractor::Extra extra) {
    const std::string temp = fresh_folder("temp");
    DirectExtractor direct(extra);
    const std::vector<std::string> files = playlist();
    if (!direct.ok() || !direct.extract_and_delete(files.front(), "song.mod", temp)) {
        state.SkipWithError("the library did not extract the playlist");
        return;
    }
    for (auto _ : state) {
        for (const std::string& file : files) {
            if (!direct.extract_and_delete(file, "song.mod", temp)) state.SkipWithError("extraction failed");
        }
    }
    state.SetItemsProcessed(state.iterations() * playlist_size);
}

void BM_Direct_Playlist(benchmark::State& state) { direct_playlist(state, {}); }

#if defined(_WIN32)
// Where the plugin's own way with unzip32.dll goes.
void BM_Direct_Playlist_ListFirst(benchmark::State& state) { direct_playlist(state, {.list_first = true}); }
void BM_Direct_Playlist_LoadEach(benchmark::State& state) { direct_playlist(state, {.load_each = true}); }
void BM_Direct_Playlist_ListFirstLoadEach(benchmark::State& state) {
    direct_playlist(state, {.list_first = true, .load_each = true});
}
void BM_Direct_5MiB_ListFirstLoadEach(benchmark::State& state) {
    direct_5MiB(state, {.list_first = true, .load_each = true});
}
#endif

// A host's start: in_voskel loaded, its first lookup scanning a folder of
// range(0) plugins besides itself, then Quit and unload. The difference to
// the empty folder, divided by the count, is the cost of one plugin.
void BM_ScanPlugins(benchmark::State& state) {
    const std::string plugins = fresh_folder("plugins-" + std::to_string(state.range(0)));
    fill_plugin_folder(plugins, static_cast<int>(state.range(0)));
    use_temp_folder(fresh_folder("temp"));
    for (auto _ : state) {
        Host host(plugins);
        // Nothing is extracted from a song.txt, and the lookup scans all the same.
        if (!host.ok() || host.play("song.txt") == 0) state.SkipWithError("unexpected Play");
    }
}

BENCHMARK(BM_PlayStop_5MiB)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_Direct_5MiB)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_GetFileInfo_Playlist)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_Direct_Playlist)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
#if defined(_WIN32)
BENCHMARK(BM_Direct_Playlist_ListFirst)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_Direct_Playlist_LoadEach)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_Direct_Playlist_ListFirstLoadEach)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_Direct_5MiB_ListFirstLoadEach)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
#endif
#if defined(_WIN32)
// On Windows each load of in_voskel.dll takes a thread-local storage index
// that its unload does not give back (the MinGW thread library's), and a
// process has 1,088 of them: the scans are counted out to stay below that.
BENCHMARK(BM_ScanPlugins)->Arg(0)->Iterations(50)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_ScanPlugins)->Arg(100)->Iterations(1)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
#else
BENCHMARK(BM_ScanPlugins)->Arg(0)->Arg(100)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
#endif

}  // namespace
}  // namespace voskel::bench
