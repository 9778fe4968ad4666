// The scan against real plugin libraries in a real folder, loaded by the
// platform's own loader. The system table only counts loads and unloads per
// handle, and tells where our own library would be.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "host/plugin_record.h"
#include "registry/plugin_registry.h"
#include "registry_fixture.h"
#include "support/scratch.h"
#include "support/test_host.h"

namespace voskel {
namespace {

struct LoaderLedger {
    std::string own_path;
    std::map<std::string, LibraryHandle> handles;  // by the path they were loaded from
    std::map<LibraryHandle, int> loads;
    std::map<LibraryHandle, int> unloads;
};

LoaderLedger* ledger = nullptr;

// Our own library's handle; the loader never hands it out.
char own_library_marker;

LibraryHandle counting_load(const char* path) {
    LibraryHandle library = platform_system_calls().load_library(path);
    if (library != nullptr) {
        ++ledger->loads[library];
        ledger->handles[path] = library;
    }
    return library;
}

void counting_unload(LibraryHandle library) {
    if (library != nullptr) ++ledger->unloads[library];
    platform_system_calls().unload_library(library);
}

uint32_t own_module_file_name(LibraryHandle library, char* buffer, uint32_t size) {
    if (library != &own_library_marker) return platform_system_calls().module_file_name(library, buffer, size);
    return test::copy_module_name(ledger->own_path, buffer, size);
}

// The recording plugins in both widths: 8-bit modules and Unicode ones.
class LibraryFolderTest : public ::testing::TestWithParam<test::PluginWidth> {
protected:
    LibraryFolderTest() {
        counts.own_path = path_of("in_voskel");
        ledger = &counts;
        SystemCalls& calls = sandbox.calls();
        calls.load_library = counting_load;
        calls.unload_library = counting_unload;
        calls.module_file_name = own_module_file_name;
        sandbox.own().hDllInstance = &own_library_marker;
    }

    ~LibraryFolderTest() override {
        sandbox.reset();
        ledger = nullptr;
    }

    std::string path_of(const std::string& base) const { return folder.file(test::library_file_name(base)); }

    void install(const std::string& base) {
        const std::string built = test::built_test_plugin(base, GetParam());
        std::error_code error;
        std::filesystem::copy_file(built, path_of(base), error);
        ASSERT_FALSE(error) << built << ": " << error.message();
    }

    LibraryHandle handle_of(const std::string& base) { return counts.handles[path_of(base)]; }

    // A load the test holds, so that a library's journal outlives the
    // registry's unload; released again by the caller.
    LibraryHandle hold(const std::string& base) {
        LibraryHandle library = platform_system_calls().load_library(path_of(base).c_str());
        EXPECT_NE(library, nullptr) << base;
        return library;
    }

    static TextString song(const std::string& name) {
        return TextString(test::join(test::host_path("/music"), name).c_str());
    }

    test::ScratchFolder folder{"registry-libraries"};
    LoaderLedger counts;
    test::RegistrySandbox sandbox;
};

INSTANTIATE_TEST_SUITE_P(Widths, LibraryFolderTest,
                         ::testing::Values(test::PluginWidth::narrow, test::PluginWidth::unicode), test::width_name);

TEST_P(LibraryFolderTest, FreshLibrariesAreSetUpOnceAndReleasedOnceAtQuit) {
    for (const char* base : {"in_alpha", "in_beta", "in_nsmod", "in_noexport", "in_nullrecord"}) install(base);
    std::filesystem::create_directory(path_of("in_dir"));

    const In_Module* chosen = find_module_for(song("song.MOD"), plugin_record());
    const LibraryHandle alpha = handle_of("in_alpha");
    const LibraryHandle beta = handle_of("in_beta");
    const LibraryHandle nsmod = handle_of("in_nsmod");
    ASSERT_EQ(plugin_registry().size(), 3u);
    EXPECT_EQ(plugin_registry()[0].library_handle(), beta);
    EXPECT_EQ(plugin_registry()[1].library_handle(), alpha);
    EXPECT_EQ(plugin_registry()[2].library_handle(), nsmod);
    EXPECT_EQ(chosen, plugin_registry()[0].module) << "in_beta lists mod and comes first";
    EXPECT_EQ(find_module_for(song("song.xm"), plugin_record()), plugin_registry()[1].module);
    EXPECT_EQ(find_module_for(song("song.mtm"), plugin_record()), nullptr);
    EXPECT_EQ(counts.handles.count(path_of("in_dir")), 0u);

    for (const char* base : {"in_noexport", "in_nullrecord"}) {
        const LibraryHandle library = handle_of(base);
        EXPECT_EQ(counts.loads[library], 1) << base;
        EXPECT_EQ(counts.unloads[library], 1) << base;
        EXPECT_FALSE(test::is_library_loaded(path_of(base))) << base;
    }
    for (const char* base : {"in_alpha", "in_beta", "in_nsmod"}) {
        const LibraryHandle library = handle_of(base);
        EXPECT_EQ(counts.loads[library], 1) << base;
        EXPECT_EQ(counts.unloads[library], 0) << base;
        const test::Recorder recorder(path_of(base));
        ASSERT_TRUE(recorder.ok()) << base;
        EXPECT_EQ(recorder.call_names(), (std::vector<std::string>{"winampGetInModule2", "Init"})) << base;
        const std::vector<test::JournalEntry> init = recorder.calls("Init");
        ASSERT_EQ(init.size(), 1u);
        EXPECT_EQ(init[0].number("hDllInstance"), reinterpret_cast<std::uintptr_t>(library)) << base;
        EXPECT_EQ(init[0].number("hMainWindow"), reinterpret_cast<std::uintptr_t>(test::sandbox_main_window()));
        EXPECT_EQ(init[0].value("services"), "11111111111") << base;
        EXPECT_EQ(init[0].value("UsesOutputPlug"), "1") << base << ": the flags it sets itself are cleared first";
    }

    const LibraryHandle held[] = {hold("in_alpha"), hold("in_beta"), hold("in_nsmod")};
    unload_plugins();
    for (const char* base : {"in_alpha", "in_beta", "in_nsmod"}) {
        EXPECT_EQ(counts.unloads[handle_of(base)], 1) << base;
        const test::Recorder recorder(path_of(base));
        ASSERT_TRUE(recorder.ok()) << base;
        EXPECT_EQ(recorder.call_names(), (std::vector<std::string>{"winampGetInModule2", "Init", "Quit"})) << base;
    }
    for (LibraryHandle library : held) platform_system_calls().unload_library(library);
    for (const char* base : {"in_alpha", "in_beta", "in_nsmod"}) {
        EXPECT_FALSE(test::is_library_loaded(path_of(base))) << base << " is still loaded";
    }
}

TEST_P(LibraryFolderTest, LibraryTheHostSetUpKeepsItsOneInitAndGetsNoQuit) {
    install("in_alpha");
    // The host's own set-up, with the services it gave us.
    const SystemCalls& system = platform_system_calls();
    LibraryHandle host_load = system.load_library(path_of("in_alpha").c_str());
    ASSERT_NE(host_load, nullptr);
    auto get_module = reinterpret_cast<GetInModuleFunction>(system.find_symbol(host_load, get_in_module_export));
    ASSERT_NE(get_module, nullptr);
    In_Module* module = get_module();
    ASSERT_NE(module, nullptr);
    module->hDllInstance = host_load;
    module->hMainWindow = test::sandbox_main_window();
    module->SAVSAInit = sandbox.own().SAVSAInit;
    module->Init();

    EXPECT_EQ(find_module_for(song("song.s3m"), plugin_record()), module);
    ASSERT_EQ(plugin_registry().size(), 1u);
    EXPECT_EQ(plugin_registry()[0].library_handle(), nullptr);
    EXPECT_EQ(handle_of("in_alpha"), host_load);
    EXPECT_EQ(counts.loads[host_load], 1);
    EXPECT_EQ(counts.unloads[host_load], 1) << "our extra load is dropped at once";
    EXPECT_EQ(module->hDllInstance, host_load);

    unload_plugins();
    const test::Recorder recorder(path_of("in_alpha"));
    ASSERT_TRUE(recorder.ok()) << "the host's load must still hold it";
    EXPECT_EQ(recorder.call_names(),
              (std::vector<std::string>{"winampGetInModule2", "Init", "winampGetInModule2"}));
    EXPECT_EQ(counts.unloads[host_load], 1);

    module->Quit();
    system.unload_library(host_load);
    EXPECT_FALSE(test::is_library_loaded(path_of("in_alpha")));
}

TEST_P(LibraryFolderTest, RecordsThatBendTheRulesAreRegisteredAndReadSafely) {
    // No extension list, a group without description, no description.
    for (const char* base : {"in_nolist", "in_nodesc", "in_noname", "in_nsfull"}) install(base);

    const In_Module* for_mtm = find_module_for(song("song.mtm"), plugin_record());
    ASSERT_EQ(plugin_registry().size(), 4u);
    EXPECT_EQ(for_mtm, plugin_registry().back().module);
    EXPECT_EQ(plugin_registry().back().library_handle(), handle_of("in_nsfull")) << "the host maker's goes last";
    std::vector<LibraryHandle> others;
    for (std::size_t i = 0; i < 3; ++i) others.push_back(plugin_registry()[i].library_handle());
    std::sort(others.begin(), others.end());
    std::vector<LibraryHandle> expected = {handle_of("in_nolist"), handle_of("in_nodesc"), handle_of("in_noname")};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(others, expected) << "a null description is another maker's";

    auto module_of = [&](const std::string& base) {
        for (const PluginRecord& record : plugin_registry()) {
            if (record.library_handle() == handle_of(base)) return record.module;
        }
        return static_cast<In_Module*>(nullptr);
    };
    EXPECT_EQ(find_module_for(song("song.xm"), plugin_record()), module_of("in_nodesc"));
    EXPECT_EQ(find_module_for(song("song.wav"), plugin_record()), nullptr);
    EXPECT_EQ(find_module_for(song("song"), plugin_record()), nullptr);
    EXPECT_EQ(find_module_for(TextString(), plugin_record()), nullptr);
    const In_Module* for_mod = find_module_for(song("song.mod"), plugin_record());
    EXPECT_TRUE(for_mod == module_of("in_nodesc") || for_mod == module_of("in_noname"));
    EXPECT_NE(for_mod, module_of("in_nsfull"));
}

}  // namespace
}  // namespace voskel
