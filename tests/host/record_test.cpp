// The plugin as the host first meets it: loaded from its file, asked for its
// record, its About box and which files it claims.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "winamp/input_plugin.h"
#include "platform/platform.h"
#include "support/message_capture.h"
#include "support/scratch.h"

namespace voskel {
namespace {

std::string plugin_file() {
    return test::join(test::host_path(VOSKEL_PLUGIN_DIR),
                      native_path_style() == PathStyle::windows ? "in_voskel.dll" : "in_voskel.so");
}

class LoadedPlugin : public ::testing::Test {
protected:
    void SetUp() override {
        library = system_calls().load_library(plugin_file().c_str());
        ASSERT_NE(library, nullptr) << plugin_file();
        auto get_module = reinterpret_cast<GetInModuleFunction>(system_calls().find_symbol(library, get_in_module_export));
        ASSERT_NE(get_module, nullptr);
        module = get_module();
        ASSERT_NE(module, nullptr);
    }
    void TearDown() override { system_calls().unload_library(library); }

    GetInModuleFunction export_function() const {
        return reinterpret_cast<GetInModuleFunction>(system_calls().find_symbol(library, get_in_module_export));
    }

    LibraryHandle library = nullptr;
    In_Module* module = nullptr;
};

// The extension list as a sequence of strings, up to the empty one that ends it.
std::vector<std::string> list_strings(const char* list) {
    std::vector<std::string> strings;
    for (const char* p = list; *p != '\0'; p += std::strlen(p) + 1) strings.emplace_back(p);
    return strings;
}

TEST_F(LoadedPlugin, RecordHoldsThePluginsValues) {
    EXPECT_EQ(module->version, 0x100);
    EXPECT_STREQ(module->description, "mek Voskel Plugin v0.9 (x86)");
    EXPECT_EQ(list_strings(module->FileExtensions),
              (std::vector<std::string>{"MDZ", "ZIP Compressed Song (*.MDZ)", "MDR", "RAR Compressed Song (*.MDR)"}));
    EXPECT_EQ(module->is_seekable, 1);
    EXPECT_EQ(module->UsesOutputPlug, 1);
    EXPECT_EQ(module->hMainWindow, nullptr);
    EXPECT_EQ(module->hDllInstance, nullptr);
    EXPECT_EQ(module->SAVSAInit, nullptr);
    EXPECT_EQ(module->dsp_dosamples, nullptr);
    EXPECT_EQ(module->SetInfo, nullptr);
    EXPECT_EQ(module->outMod, nullptr);
    for (auto entry : {reinterpret_cast<void*>(module->Config), reinterpret_cast<void*>(module->About),
                       reinterpret_cast<void*>(module->Init), reinterpret_cast<void*>(module->Quit),
                       reinterpret_cast<void*>(module->GetFileInfo), reinterpret_cast<void*>(module->InfoBox),
                       reinterpret_cast<void*>(module->IsOurFile), reinterpret_cast<void*>(module->Play),
                       reinterpret_cast<void*>(module->Pause), reinterpret_cast<void*>(module->UnPause),
                       reinterpret_cast<void*>(module->IsPaused), reinterpret_cast<void*>(module->Stop),
                       reinterpret_cast<void*>(module->GetLength), reinterpret_cast<void*>(module->GetOutputTime),
                       reinterpret_cast<void*>(module->SetOutputTime), reinterpret_cast<void*>(module->SetVolume),
                       reinterpret_cast<void*>(module->SetPan), reinterpret_cast<void*>(module->EQSet)}) {
        EXPECT_NE(entry, nullptr);
    }
}

TEST_F(LoadedPlugin, EveryCallReturnsTheSameRecordWithWhatTheHostWrote) {
    auto marker = reinterpret_cast<HostWindow>(static_cast<std::uintptr_t>(0x1234));
    module->hMainWindow = marker;
    In_Module* again = export_function()();
    EXPECT_EQ(again, module);
    EXPECT_EQ(again->hMainWindow, marker);
}

TEST_F(LoadedPlugin, ClaimsArchivesByExtension) {
    struct Row {
        const char* file;
        int claimed;
    };
    std::vector<Row> rows = {
        {"song.mdz", 1}, {"SONG.MDR", 1}, {"a.b.Mdz", 1}, {"song.mod", 0}, {"song", 0},
        {"song.mdz.bak", 0}, {"", 0}, {"song.zip", 0}, {"song.mdz ", 0}, {".mdr", 1},
    };
    if (native_path_style() == PathStyle::windows) {
        rows.push_back({"c:\\music\\a.b.Mdz", 1});
        rows.push_back({"c:\\x.mdz\\song", 0});
    } else {
        rows.push_back({"/music/a.b.Mdz", 1});
        rows.push_back({"/x.mdz/song", 0});
    }
    for (const Row& row : rows) {
        std::string name = row.file;
        EXPECT_EQ(module->IsOurFile(name.data()), row.claimed) << '"' << row.file << '"';
    }
    EXPECT_EQ(module->IsOurFile(nullptr), 0);
}

TEST_F(LoadedPlugin, AboutAndConfigShowTheAboutBox) {
    test::PluginMessageCapture capture(library, "Voskel Plugin");
    auto owner = reinterpret_cast<HostWindow>(static_cast<std::uintptr_t>(0x4242));
    module->About(owner);
    module->Config(owner);
    const std::vector<test::CapturedMessage> shown = capture.messages();
    ASSERT_EQ(shown.size(), 2u);

    const std::regex about_text(
        "Voskel Plugin v0\\.9 \\((Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [ 123][0-9] [0-9]{4}\\)\n\n"
        "Copyright \\(c\\) [0-9]{4} [^\n]+\n[^\n]*MIT[^\n]*");
    for (const test::CapturedMessage& message : shown) {
        EXPECT_TRUE(std::regex_match(message.text, about_text)) << message.text;
        EXPECT_EQ(message.caption, "Voskel Plugin");
        if (native_path_style() == PathStyle::windows) {
            EXPECT_EQ(message.owner, owner);
            EXPECT_EQ(message.style, 0u) << "MB_OK alone";
        }
    }
    EXPECT_EQ(shown[0].text, shown[1].text);
    // The date is the library's compile date, built from the same sources as this test.
    EXPECT_NE(shown[0].text.find(__DATE__), std::string::npos) << shown[0].text;
}

}  // namespace
}  // namespace voskel
