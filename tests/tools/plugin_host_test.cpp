// voskel-play's plugin loading and choice of plugin, with the recording
// test plugins standing in for real ones.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "event_window.h"
#include "plugin_host.h"
#include "support/scratch.h"
#include "support/test_host.h"
#include "wav_output.h"

namespace voskel {
namespace {

class PluginFolder : public ::testing::Test {
protected:
    void install(const std::string& base) {
        const std::string built = test::join(test::host_path(VOSKEL_TEST_PLUGIN_DIR), test::library_file_name(base));
        std::filesystem::copy_file(built, path_of(base));
    }
    std::string path_of(const std::string& base) const { return folder.file(test::library_file_name(base)); }
    std::string name_of(const play::LoadedPlugin* plugin) const { return plugin != nullptr ? plugin->file_name : "none"; }

    test::ScratchFolder folder{"plugin-host"};
    play::EventWindow window;
    play::PluginHost host;
};

TEST_F(PluginFolder, LoadsEveryPluginInOrderAndNamesTheOnesThatFail) {
    for (const char* base : {"in_beta", "in_alpha", "in_noexport", "in_nullrecord"}) install(base);
    test::write_file(path_of("in_junk"), "not a library");
    test::write_file(folder.file("readme.txt"), "not a plugin by name");

    host.load_folder(folder.path(), window.handle());

    std::vector<std::string> loaded;
    for (const play::LoadedPlugin& plugin : host.plugins()) loaded.push_back(plugin.file_name);
    EXPECT_EQ(loaded, (std::vector<std::string>{test::library_file_name("in_alpha"), test::library_file_name("in_beta")}));

    ASSERT_EQ(host.failures().size(), 3u);
    EXPECT_EQ(host.failures()[0].file_name, test::library_file_name("in_junk"));
    EXPECT_EQ(host.failures()[0].reason.rfind("cannot be loaded: ", 0), 0u) << host.failures()[0].reason;
    EXPECT_EQ(host.failures()[1].file_name, test::library_file_name("in_noexport"));
    EXPECT_EQ(host.failures()[1].reason, "is not an input plugin: it has no winampGetInModule2");
    EXPECT_EQ(host.failures()[2].file_name, test::library_file_name("in_nullrecord"));
    EXPECT_EQ(host.failures()[2].reason, "winampGetInModule2 gave no module");
    EXPECT_FALSE(test::is_library_loaded(path_of("in_noexport"))) << "a library that is no plugin is let go";
}

TEST_F(PluginFolder, SetsUpEachPluginAsThePlayerDoes) {
    install("in_alpha");
    host.load_folder(folder.path(), window.handle());
    ASSERT_EQ(host.plugins().size(), 1u);
    const play::LoadedPlugin& plugin = host.plugins().front();
    const In_Module& module = *plugin.module;

    EXPECT_EQ(module.hMainWindow, window.handle());
    EXPECT_EQ(module.hDllInstance, plugin.library);
    EXPECT_EQ(module.outMod, nullptr) << "the output is given before each Play";
    for (const void* service :
         {reinterpret_cast<const void*>(module.SAVSAInit), reinterpret_cast<const void*>(module.SAVSADeInit),
          reinterpret_cast<const void*>(module.SAAddPCMData), reinterpret_cast<const void*>(module.SAGetMode),
          reinterpret_cast<const void*>(module.SAAdd), reinterpret_cast<const void*>(module.VSAAddPCMData),
          reinterpret_cast<const void*>(module.VSAGetMode), reinterpret_cast<const void*>(module.VSAAdd),
          reinterpret_cast<const void*>(module.VSASetInfo), reinterpret_cast<const void*>(module.dsp_isactive),
          reinterpret_cast<const void*>(module.dsp_dosamples), reinterpret_cast<const void*>(module.SetInfo)}) {
        EXPECT_NE(service, nullptr);
    }
    // No effects: the samples pass through untouched, all of them.
    short samples[4] = {1, -2, 3, -4};
    EXPECT_EQ(module.dsp_isactive(), 0);
    EXPECT_EQ(module.dsp_dosamples(samples, 2, 16, 2, 44100), 2);
    EXPECT_EQ(samples[1], -2);
    play::reset_reported_info();
    module.SetInfo(320, 44, 2, 1);
    module.SetInfo(-1, 48, -1, 1);  // -1 keeps a value
    EXPECT_EQ(play::reported_info().bitrate_kbps, 320);
    EXPECT_EQ(play::reported_info().sample_rate_khz, 48);
    EXPECT_EQ(play::reported_info().channels, 2);

    const test::Recorder recorder(path_of("in_alpha"));
    ASSERT_TRUE(recorder.ok());
    const std::vector<test::JournalEntry> init = recorder.calls("Init");
    ASSERT_EQ(init.size(), 1u);
    EXPECT_EQ(init[0].number("SetInfo"), 0u) << "SetInfo is filled only after Init";
    host.release();
    EXPECT_FALSE(test::is_library_loaded(path_of("in_alpha"))) << "Quit, then unloaded";
}

// Modules of both interface versions, in either width, load; others are
// named, as is a module whose Init reports failure, and let go.
TEST_F(PluginFolder, TakesEveryInterfaceThePlayerTakes) {
    for (const char* base : {"in_alpha_unicode", "in_nswide", "in_narrowunicode", "in_future", "in_initfails",
                             "in_initworks"}) {
        install(base);
    }
    host.load_folder(folder.path(), window.handle());
    std::vector<std::string> loaded;
    for (const play::LoadedPlugin& plugin : host.plugins()) loaded.push_back(plugin.file_name);
    EXPECT_EQ(loaded, (std::vector<std::string>{test::library_file_name("in_alpha_unicode"),
                                                test::library_file_name("in_initworks"),
                                                test::library_file_name("in_narrowunicode"),
                                                test::library_file_name("in_nswide")}));
    ASSERT_EQ(host.failures().size(), 2u);
    EXPECT_EQ(host.failures()[0].reason, "is an input plugin of another version (0xff000102, not 0x100 or 0x101)");
    EXPECT_EQ(host.failures()[1].file_name, test::library_file_name("in_initfails"));
    EXPECT_EQ(host.failures()[1].reason, "reported failure from its Init");
    EXPECT_FALSE(test::is_library_loaded(path_of("in_initfails")));

    // A Unicode module is asked in its own width.
    EXPECT_EQ(name_of(host.claim(folder.file("song.s3m"))), test::library_file_name("in_alpha_unicode"));
    const std::vector<test::JournalEntry> asked = test::Recorder(path_of("in_alpha_unicode")).calls("IsOurFile");
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].fields.at(0), folder.file("song.s3m"));
    EXPECT_TRUE(asked[0].value("units").has_value());
}

TEST_F(PluginFolder, ChoosesByIsOurFileFirstThenByExtensionInLoadOrder) {
    install("in_alpha");  // MOD;S3M;XM
    install("in_beta");   // mod;it and WAV
    host.load_folder(folder.path(), window.handle());
    ASSERT_EQ(host.plugins().size(), 2u);
    const std::string alpha = test::library_file_name("in_alpha"), beta = test::library_file_name("in_beta");

    EXPECT_EQ(name_of(host.claim(folder.file("song.mod"))), alpha) << "both list MOD: the first loaded wins";
    EXPECT_EQ(name_of(host.claim(folder.file("song.It"))), beta);
    EXPECT_EQ(name_of(host.claim(folder.file("song.wav"))), beta) << "from the list's second group";
    EXPECT_EQ(name_of(host.claim(folder.file("song.txt"))), "none");
    EXPECT_EQ(name_of(host.claim(folder.file("song"))), "none");
    EXPECT_EQ(name_of(host.claim(folder.file("mod"))), "none") << "a name is no extension";

    const test::Recorder beta_recorder(path_of("in_beta"));
    ASSERT_TRUE(beta_recorder.set_result("IsOurFile", 1));
    EXPECT_EQ(name_of(host.claim(folder.file("song.mod"))), beta) << "IsOurFile comes before every extension list";
    EXPECT_EQ(name_of(host.claim(folder.file("song.txt"))), beta);
    ASSERT_FALSE(beta_recorder.calls("IsOurFile").empty());
    EXPECT_EQ(beta_recorder.calls("IsOurFile").back().fields.at(0), folder.file("song.txt"));
}

}  // namespace
}  // namespace voskel
