// Runs the benchmarks, then prints the ratios of each pair measured in
// this run (medians where a benchmark repeats) against their targets.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

// Seconds per iteration, by benchmark name ("BM_Direct_5MiB", "BM_TextString_Copy/8").
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            if (!run.aggregate_name.empty() && run.aggregate_name != "median") continue;
            const std::string& args = run.run_name.args;
            const std::string name = run.run_name.function_name + (args.empty() ? "" : "/" + args);
            seconds_[name] = run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
        }
        ConsoleReporter::ReportRuns(runs);
    }

    bool has(const std::string& name) const { return seconds_.count(name) != 0; }
    double seconds(const std::string& name) const { return seconds_.at(name); }

private:
    std::map<std::string, double> seconds_;
};

void ratio(const RatioReporter& report, const char* what, const std::string& ours, const std::string& theirs,
           double target = 0) {
    if (!report.has(ours) || !report.has(theirs)) return;
    const double value = report.seconds(ours) / report.seconds(theirs);
    if (target > 0) {
        std::printf("%-58s %6.3f  (target at most %.2f: %s)\n", what, value, target, value <= target ? "met" : "NOT met");
    } else {
        std::printf("%-58s %6.3f\n", what, value);
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter report;
    benchmark::RunSpecifiedBenchmarks(&report);
    benchmark::Shutdown();

    std::printf("\nRatios, each pair measured side by side in this run:\n");
    for (const char* size : {"8", "100", "4000"}) {
        ratio(report, (std::string("TextString / std::string, copy of ") + size + " characters").c_str(),
              std::string("BM_TextString_Copy/") + size, std::string("BM_StdString_Copy/") + size);
        ratio(report, (std::string("TextString / std::string, assignment of ") + size + " characters").c_str(),
              std::string("BM_TextString_Assign/") + size, std::string("BM_StdString_Assign/") + size);
    }
    ratio(report, "Play+Stop, 5 MiB member / the library alone", "BM_PlayStop_5MiB", "BM_Direct_5MiB", 1.15);
    ratio(report, "  the library alone, both (5 MiB) / alone", "BM_Direct_5MiB_ListFirstLoadEach",
          "BM_Direct_5MiB");
    ratio(report, "  Play+Stop / the library alone, both", "BM_PlayStop_5MiB", "BM_Direct_5MiB_ListFirstLoadEach");
    // On Windows the plugin must load unzip32.dll for each archive and list
    // it first: its question is measured against that work below.
#if defined(_WIN32)
    ratio(report, "GetFileInfo on 1,000 archives / the library alone", "BM_GetFileInfo_Playlist", "BM_Direct_Playlist");
#else
    ratio(report, "GetFileInfo on 1,000 archives / the library alone", "BM_GetFileInfo_Playlist", "BM_Direct_Playlist",
          1.10);
#endif
    ratio(report, "  the library alone, listing first / alone", "BM_Direct_Playlist_ListFirst", "BM_Direct_Playlist");
    ratio(report, "  the library alone, loaded for each archive / alone", "BM_Direct_Playlist_LoadEach",
          "BM_Direct_Playlist");
    ratio(report, "  the library alone, both / alone", "BM_Direct_Playlist_ListFirstLoadEach", "BM_Direct_Playlist");
    ratio(report, "  GetFileInfo / the library alone, both", "BM_GetFileInfo_Playlist",
          "BM_Direct_Playlist_ListFirstLoadEach", 1.05);
    if (report.has("BM_ScanPlugins/100") && report.has("BM_ScanPlugins/0")) {
        const double full = report.seconds("BM_ScanPlugins/100"), empty = report.seconds("BM_ScanPlugins/0");
        std::printf("%-58s %6.3f ms  (100 plugins %.1f ms, none %.1f ms)\n", "scan_plugins, time per plugin",
                    (full - empty) * 1000 / 100, full * 1000, empty * 1000);
    }
    return 0;
}
