// The registry inside the real plugin library, driven by the test host as
// the player drives it. The scan runs on the first lookup, which every Play
// makes: a name that is no archive extracts nothing, and the lookup is then
// made for the empty path, which only a list with an empty token names.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/test_host.h"

namespace voskel {
namespace {

using test::JournalEntry;
using test::PluginWidth;
using test::Recorder;
using test::TestHost;

// Every recording plugin in both widths: an 8-bit module and a Unicode one.
class RegistryInHost : public ::testing::TestWithParam<PluginWidth> {};
INSTANTIATE_TEST_SUITE_P(Widths, RegistryInHost, ::testing::Values(PluginWidth::narrow, PluginWidth::unicode),
                         test::width_name);

constexpr const char* not_an_archive = "song.txt";

std::uintptr_t number(const void* pointer) { return reinterpret_cast<std::uintptr_t>(pointer); }

std::vector<std::string> names(std::initializer_list<const char*> calls) { return {calls.begin(), calls.end()}; }

// The order in which the platform's search lists the libraries of a folder.
std::vector<std::string> search_order(const std::string& folder) {
    std::vector<std::string> found;
    const std::string pattern = test::join(folder, test::library_file_name("in_*"));
    platform_system_calls().find_files(
        pattern.c_str(),
        [](const char* name, bool, void* context) { static_cast<std::vector<std::string>*>(context)->push_back(name); },
        &found);
    return found;
}

// A load the test holds, so that a library's journal outlives the plugin's
// unload and the plugin's own loads can be told from it.
class HeldLoad {
public:
    explicit HeldLoad(const std::string& path) : library_(platform_system_calls().load_library(path.c_str())) {
        EXPECT_NE(library_, nullptr) << path;
    }
    ~HeldLoad() { release(); }
    HeldLoad(const HeldLoad&) = delete;
    HeldLoad& operator=(const HeldLoad&) = delete;
    void release() {
        platform_system_calls().unload_library(library_);
        library_ = nullptr;
    }

private:
    LibraryHandle library_;
};

TEST_P(RegistryInHost, FreshPluginsAreSetUpOnceAndReleasedOnceAtQuit) {
    TestHost host("fresh", GetParam());
    host.install("in_gap");
    host.install("in_alpha");
    ASSERT_TRUE(host.start());
    EXPECT_FALSE(test::is_library_loaded(host.path_of("in_gap"))) << "nothing is loaded before the first lookup";

    EXPECT_EQ(host.play(not_an_archive), 0);
    const Recorder gap = host.recorder("in_gap");
    const Recorder alpha = host.recorder("in_alpha");
    ASSERT_TRUE(gap.ok());
    ASSERT_TRUE(alpha.ok());
    // The host gives its volume and pan before every Play: idle, we keep
    // them for the module that plays.
    EXPECT_EQ(gap.call_names(), names({"winampGetInModule2", "Init", "SetVolume", "SetPan", "Play"}));
    EXPECT_EQ(alpha.call_names(), names({"winampGetInModule2", "Init"}));
    for (const Recorder* recorder : {&gap, &alpha}) {
        const std::vector<JournalEntry> init = recorder->calls("Init");
        ASSERT_EQ(init.size(), 1u);
        EXPECT_EQ(init[0].number("hDllInstance"), number(recorder->library()));
        EXPECT_EQ(init[0].number("hMainWindow"), number(host.main_window()));
        EXPECT_EQ(init[0].value("services"), "11111111111");
    }
    const std::vector<JournalEntry> play = gap.calls("Play");
    ASSERT_EQ(play.size(), 1u);
    ASSERT_FALSE(play[0].fields.empty());
    EXPECT_EQ(play[0].fields[0], "") << "nothing was extracted";
    EXPECT_EQ(play[0].number("hDllInstance"), number(gap.library()));
    EXPECT_EQ(play[0].number("SetInfo"), number(host.set_info_address()));
    EXPECT_EQ(play[0].number("outMod"), number(host.output()));

    HeldLoad held_gap(host.path_of("in_gap"));
    HeldLoad held_alpha(host.path_of("in_alpha"));
    host.quit();
    host.unload_libraries();
    EXPECT_FALSE(test::is_library_loaded(host.plugin_path()));
    EXPECT_EQ(gap.call_names(), names({"winampGetInModule2", "Init", "SetVolume", "SetPan", "Play", "Stop", "Quit"}));
    EXPECT_EQ(alpha.call_names(), names({"winampGetInModule2", "Init", "Quit"}));
    held_gap.release();
    held_alpha.release();
    EXPECT_FALSE(test::is_library_loaded(host.path_of("in_gap"))) << "a load of the plugin's is left";
    EXPECT_FALSE(test::is_library_loaded(host.path_of("in_alpha"))) << "a load of the plugin's is left";
}

TEST_P(RegistryInHost, PluginTheHostSetUpGetsNoSecondInitAndNoQuit) {
    TestHost host("hosted", GetParam());
    host.install("in_gap");
    In_Module* gap_module = host.set_up_inner("in_gap");
    ASSERT_NE(gap_module, nullptr);
    ASSERT_TRUE(host.start());
    const Recorder gap = host.recorder("in_gap");
    ASSERT_TRUE(gap.ok());
    gap.reset();

    EXPECT_EQ(host.play(not_an_archive), 0);
    EXPECT_EQ(gap.call_names(), names({"winampGetInModule2", "SetVolume", "SetPan", "Play"}));
    const std::vector<JournalEntry> play = gap.calls("Play");
    ASSERT_EQ(play.size(), 1u);
    EXPECT_EQ(play[0].number("hDllInstance"), number(gap.library())) << "the host's handle stays";

    // The player quits us (loaded last) first, then in_gap itself: one Quit,
    // the host's.
    host.quit();
    EXPECT_EQ(gap.call_names(), names({"winampGetInModule2", "SetVolume", "SetPan", "Play", "Stop", "Quit"}));
    host.unload_libraries();
    EXPECT_FALSE(test::is_library_loaded(host.path_of("in_gap"))) << "our extra load was not dropped";
}

TEST_P(RegistryInHost, OwnLibraryIsFoundButNeitherSetUpAgainNorUnloadedByQuit) {
    TestHost host("own", GetParam());
    host.install("in_gap");
    ASSERT_TRUE(host.start());
    EXPECT_EQ(host.play(not_an_archive), 0);
    EXPECT_EQ(host.recorder("in_gap").count("Play"), 1);

    HeldLoad held_self(host.plugin_path());
    host.quit();
    host.unload_libraries();
    // The host's unload and ours are gone; only the test's remains.
    EXPECT_TRUE(test::is_library_loaded(host.plugin_path())) << "Quit unloaded our own library";
    held_self.release();
    EXPECT_FALSE(test::is_library_loaded(host.plugin_path())) << "the scan's load of our own library is left";
}

TEST_P(RegistryInHost, FoldersAndLibrariesWithoutRecordsArePassedOver) {
    TestHost host("unusable", GetParam());
    // Both would be chosen for the empty path, were they registered.
    host.install("in_noexport");
    host.install("in_nullrecord");
    host.install("in_gap");
    std::filesystem::create_directory(host.path_of("in_dir"));
    ASSERT_TRUE(host.start());

    EXPECT_EQ(host.play(not_an_archive), 0);
    EXPECT_EQ(host.recorder("in_gap").count("Play"), 1);
    EXPECT_FALSE(test::is_library_loaded(host.path_of("in_noexport")));
    EXPECT_FALSE(test::is_library_loaded(host.path_of("in_nullrecord")));
}

TEST_P(RegistryInHost, OtherMakersWinTheLastFoundFirstTheHostMakersComeLast) {
    TestHost host("order", GetParam());
    host.install("in_gap");
    host.install("in_gap2");
    host.install("in_nsgap");
    ASSERT_TRUE(host.start());
    // Both other makers' plugins name the empty path; the one found last
    // stands first. The host maker's goes last wherever it was found.
    const std::vector<std::string> found = search_order(host.folder().path());
    std::vector<std::string> others;
    for (const std::string& name : found) {
        if (name == test::library_file_name("in_gap") || name == test::library_file_name("in_gap2")) others.push_back(name);
    }
    ASSERT_EQ(others.size(), 2u);
    const std::string expected = others.back().substr(0, others.back().find('.'));
    const std::string passed_over = others.front().substr(0, others.front().find('.'));

    EXPECT_EQ(host.play(not_an_archive), 0);
    EXPECT_EQ(host.recorder(expected).count("Play"), 1) << expected;
    EXPECT_EQ(host.recorder(passed_over).count("Play"), 0) << passed_over;
    EXPECT_EQ(host.recorder("in_nsgap").count("Play"), 0);
    for (const char* base : {"in_gap", "in_gap2", "in_nsgap"}) {
        EXPECT_EQ(host.recorder(base).count("Init"), 1) << base;
    }
}

TEST_P(RegistryInHost, HostMakersPluginIsChosenWhenNoOtherNamesTheFile) {
    TestHost host("nullsoft", GetParam());
    host.install("in_nsgap");
    host.install("in_alpha");
    ASSERT_TRUE(host.start());
    EXPECT_EQ(host.play(not_an_archive), 0);
    EXPECT_EQ(host.recorder("in_nsgap").count("Play"), 1);
}

TEST_P(RegistryInHost, WithoutOurSAVSAInitFreshPluginsAreStillSetUp) {
    TestHost host("no-savsainit", GetParam());
    host.install("in_gap");
    test::HostOptions options;
    options.leave_savsainit_null = true;
    ASSERT_TRUE(host.start(options));

    EXPECT_EQ(host.play(not_an_archive), 0);
    const Recorder gap = host.recorder("in_gap");
    EXPECT_EQ(gap.call_names(), names({"winampGetInModule2", "Init", "SetVolume", "SetPan", "Play"}));
    const std::vector<JournalEntry> init = gap.calls("Init");
    ASSERT_EQ(init.size(), 1u);
    EXPECT_EQ(init[0].value("services"), "01111111111");
    EXPECT_EQ(init[0].number("hDllInstance"), number(gap.library()));

    HeldLoad held_gap(host.path_of("in_gap"));
    HeldLoad held_self(host.plugin_path());
    host.quit();
    host.unload_libraries();
    EXPECT_EQ(gap.count("Quit"), 1);
    held_gap.release();
    held_self.release();
    EXPECT_FALSE(test::is_library_loaded(host.path_of("in_gap")));
    EXPECT_FALSE(test::is_library_loaded(host.plugin_path())) << "our own library was taken for a fresh one";
}

TEST_P(RegistryInHost, LibrariesAddedAfterTheFirstScanAreNotSeen) {
    TestHost host("late", GetParam());
    host.install("in_alpha");
    ASSERT_TRUE(host.start());
    EXPECT_EQ(host.play(not_an_archive), 1) << "no plugin names the empty path";
    EXPECT_TRUE(test::is_library_loaded(host.path_of("in_alpha")));

    host.install("in_gap");
    EXPECT_EQ(host.play(not_an_archive), 1);
    EXPECT_FALSE(test::is_library_loaded(host.path_of("in_gap")));
}

TEST_P(RegistryInHost, OurOwnRecordAloneEndsTheScanning) {
    // Our own library is always beside us, and its record counts: the folder
    // is not searched again, though nothing can be played.
    TestHost host("alone", GetParam());
    ASSERT_TRUE(host.start());
    EXPECT_EQ(host.play(not_an_archive), 1);
    host.install("in_gap");
    EXPECT_EQ(host.play(not_an_archive), 1);
    EXPECT_FALSE(test::is_library_loaded(host.path_of("in_gap")));
}

// Modules as today's player builds them. Each of these lists an empty token,
// so each would play the empty path that a name that is no archive gives.
TEST(InterfaceVersions, ModulesOfAnUnknownInterfaceAreLoadedAndPassedOver) {
    TestHost host("future");
    host.install("in_future");
    host.install("in_gap");
    ASSERT_TRUE(host.start());
    HeldLoad held_future(host.path_of("in_future"));
    const Recorder future = host.recorder("in_future");
    EXPECT_EQ(host.play(not_an_archive), 0);
    EXPECT_EQ(host.recorder("in_gap").count("Play"), 1);
    EXPECT_EQ(future.call_names(), names({"winampGetInModule2"})) << "neither set up nor played";
    host.quit();
    host.unload_libraries();
    EXPECT_EQ(future.call_names(), names({"winampGetInModule2"}));
    held_future.release();
    EXPECT_FALSE(test::is_library_loaded(host.path_of("in_future"))) << "our load of it is left";
    EXPECT_EQ(host.set_up_inner("in_future"), nullptr) << "the player refuses it as well";
}

TEST(InterfaceVersions, ModuleWhoseInitReportsFailureIsUnloadedAndNeverQuit) {
    TestHost host("init-result");
    host.install("in_initfails");
    host.install("in_initworks");
    ASSERT_TRUE(host.start());
    HeldLoad held_failing(host.path_of("in_initfails"));
    HeldLoad held_working(host.path_of("in_initworks"));
    const Recorder failing = host.recorder("in_initfails");
    const Recorder working = host.recorder("in_initworks");
    ASSERT_EQ(failing.version(), static_cast<int>(IN_VER_OLD | IN_INIT_RET));

    EXPECT_EQ(host.play(not_an_archive), 0);
    EXPECT_EQ(failing.call_names(), names({"winampGetInModule2", "Init"}));
    EXPECT_EQ(working.count("Play"), 1) << "a module reporting success is used";
    host.quit();
    host.unload_libraries();
    EXPECT_EQ(failing.count("Quit"), 0);
    EXPECT_EQ(working.count("Quit"), 1);
    held_failing.release();
    EXPECT_FALSE(test::is_library_loaded(host.path_of("in_initfails"))) << "our load of it is left";
}

TEST(InterfaceVersions, HostMakersWideDescriptionSortsLast) {
    TestHost host("wide-nullsoft");
    host.install("in_nswideunicode");  // 0x101 | IN_UNICODE: "nullSOFT Unicode Module Player"
    host.install("in_gap");
    ASSERT_TRUE(host.start());
    EXPECT_EQ(host.play(not_an_archive), 0);
    EXPECT_EQ(host.recorder("in_gap").count("Play"), 1);
    EXPECT_EQ(host.recorder("in_nswideunicode").count("Play"), 0);
}

TEST(InterfaceVersions, HostMakersWideModulePlaysWhenNoOtherNamesTheFile) {
    TestHost host("wide-alone");
    host.install("in_nswideunicode");
    host.install("in_alpha");
    ASSERT_TRUE(host.start());
    EXPECT_EQ(host.play(not_an_archive), 0);
    const std::vector<JournalEntry> play = host.recorder("in_nswideunicode").calls("Play");
    ASSERT_EQ(play.size(), 1u);
    EXPECT_EQ(play[0].value("units"), "") << "the empty path, as wide text";
}

TEST(InterfaceVersions, TestHostSetsModulesUpAndChoosesAsThePlayerDoes) {
    TestHost host("player-set-up");
    std::vector<In_Module*> modules;
    for (const char* base : {"in_wideunicode", "in_nswide", "in_alpha"}) {
        host.install(base);
        modules.push_back(host.set_up_inner(base));
        ASSERT_NE(modules.back(), nullptr) << base;
        const std::vector<JournalEntry> init = host.recorder(base).calls("Init");
        ASSERT_EQ(init.size(), 1u);
        EXPECT_EQ(init[0].number("SetInfo"), 0u) << base << ": SetInfo is filled only after Init";
        EXPECT_NE(modules.back()->SetInfo, nullptr) << base << ": and then it is";
    }
    ASSERT_TRUE(host.start());
    // Extensions decide in load order when no IsOurFile claims the file.
    EXPECT_EQ(host.claim("song.mod"), modules[0]);
    const std::vector<JournalEntry> asked = host.recorder("in_wideunicode").calls("IsOurFile");
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].value("units"), "0073,006F,006E,0067,002E,006D,006F,0064") << "asked in its own width";
    EXPECT_EQ(host.claim("song.mdz"), &host.plugin()) << "our IsOurFile claims archives";
    ASSERT_TRUE(host.recorder("in_alpha").set_result("IsOurFile", 1));
    EXPECT_EQ(host.claim("song.mod"), modules[2]) << "IsOurFile is asked before any extension";
}

// The harness the playback tests build on: answers chosen through a
// recorder come back through the plugin, and the host's connections that the
// plugin hands over reach the host.
TEST_P(RegistryInHost, HarnessPassesAnswersAndConnectionsBothWays) {
    TestHost host("harness", GetParam());
    host.install("in_gap");
    // Set up by the host, so that its answers can be chosen before the scan.
    ASSERT_NE(host.set_up_inner("in_gap"), nullptr);
    ASSERT_TRUE(host.start());
    const Recorder gap = host.recorder("in_gap");
    EXPECT_FALSE(gap.set_result("Seek", 1));

    ASSERT_TRUE(gap.set_result("Play", 7));
    EXPECT_EQ(host.play(not_an_archive), 7);
    EXPECT_FALSE(host.playing());

    ASSERT_TRUE(gap.set_result("Play", 0));
    ASSERT_TRUE(gap.set_result("InfoBox", 3));
    gap.set_file_info("Gap Song", 61000);
    gap.set_output(true);
    host.clear_journal();
    EXPECT_EQ(host.play(not_an_archive), 0);
    EXPECT_TRUE(host.playing());
    const TestHost::FileInfo info = host.get_file_info(nullptr);
    EXPECT_EQ(info.title, "Gap Song");
    EXPECT_EQ(info.length_ms, 61000);
    EXPECT_EQ(host.info_box(""), 3);
    host.stop();
    EXPECT_EQ(host.journal(), (std::vector<std::string>{"SetInfo 128 44 1 1", "Open 44100 2 16 -1 -1",
                                                        "SAVSAInit 100 44100", "VSASetInfo 44100 2", "Write 16",
                                                        "Close", "SAVSADeInit"}));
    const std::vector<JournalEntry> info_box = gap.calls("InfoBox");
    ASSERT_EQ(info_box.size(), 1u);
    EXPECT_EQ(info_box[0].number("parent"), number(host.main_window()));
}

}  // namespace
}  // namespace voskel
