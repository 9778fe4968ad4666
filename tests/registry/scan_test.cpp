// The scan and the choice of a module, against a plugin folder the test makes
// up: the folder search, the loader and the libraries' records are fakes that
// count every load and unload per library.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "host/playback.h"
#include "host/plugin_record.h"
#include "registry/plugin_registry.h"
#include "registry_fixture.h"
#include "support/scratch.h"
#include "support/test_host.h"

namespace voskel {
namespace {

using namespace std::string_literals;

constexpr int max_entries = 12;

struct FakeModule {
    In_Module record{};
    std::string description;
    std::string extensions;  // with its NULs
    int inits = 0;
    int quits = 0;
};

struct FakeEntry {
    std::string name;
    bool is_directory = false;
    bool loads = true;
    bool exports = true;
    In_Module* module = nullptr;  // what the export returns
    int loads_made = 0;
    int unloads = 0;
};

// The made-up folder. Entries are handed out as library handles by address,
// so the vector is never grown past its reserve.
struct FakeFolder {
    std::string path;
    std::vector<FakeEntry> entries;
    FakeModule modules[max_entries];
    int module_count = 0;
    int searches = 0;
    std::vector<std::string> patterns;
    std::vector<std::string> load_requests;
    bool searching = false;
    bool loaded_while_searching = false;
};

FakeFolder* folder = nullptr;

// A handle the loader never hands out: our own library when the folder does
// not hold it.
char own_library_marker;

template <int I>
void fake_init() {
    ++folder->modules[I].inits;
}

template <int I>
void fake_quit() {
    ++folder->modules[I].quits;
}

template <int I>
In_Module* fake_get_module() {
    return folder->entries[I].module;
}

template <int... I>
constexpr auto make_table(std::integer_sequence<int, I...>) {
    struct Table {
        void (*init[max_entries])();
        void (*quit[max_entries])();
        GetInModuleFunction get[max_entries];
    };
    return Table{{fake_init<I>...}, {fake_quit<I>...}, {fake_get_module<I>...}};
}

constexpr auto fake_functions = make_table(std::make_integer_sequence<int, max_entries>());

FakeEntry* entry_of(LibraryHandle library) {
    for (FakeEntry& entry : folder->entries) {
        if (&entry == library) return &entry;
    }
    return nullptr;
}

std::string path_in_folder(const std::string& name) { return test::join(folder->path, name); }

LibraryHandle fake_load_library(const char* path) {
    folder->load_requests.push_back(path);
    if (folder->searching) folder->loaded_while_searching = true;
    for (FakeEntry& entry : folder->entries) {
        if (path_in_folder(entry.name) != path || entry.is_directory || !entry.loads) continue;
        ++entry.loads_made;
        return &entry;
    }
    return nullptr;
}

void* fake_find_symbol(LibraryHandle library, const char* name) {
    FakeEntry* entry = entry_of(library);
    if (entry == nullptr || !entry->exports || std::strcmp(name, get_in_module_export) != 0) return nullptr;
    return reinterpret_cast<void*>(fake_functions.get[entry - folder->entries.data()]);
}

void fake_unload_library(LibraryHandle library) {
    if (FakeEntry* entry = entry_of(library)) ++entry->unloads;
}

void fake_find_files(const char* pattern, FoundFileVisitor visit, void* context) {
    ++folder->searches;
    folder->patterns.push_back(pattern);
    folder->searching = true;
    for (const FakeEntry& entry : folder->entries) visit(entry.name.c_str(), entry.is_directory, context);
    folder->searching = false;
}

uint32_t fake_module_file_name(LibraryHandle library, char* buffer, uint32_t size) {
    std::string name;
    if (library == &own_library_marker) {
        name = path_in_folder(test::library_file_name("in_voskel"));
    } else if (FakeEntry* entry = entry_of(library)) {
        name = path_in_folder(entry->name);
    } else {
        return 0;
    }
    return test::copy_module_name(name, buffer, size);
}

class FakeFolderTest : public ::testing::Test {
protected:
    FakeFolderTest() {
        world.path = test::join(test::host_path("/plugins"), "winamp");
        world.entries.reserve(max_entries);
        folder = &world;
        SystemCalls& calls = sandbox.calls();
        calls.load_library = fake_load_library;
        calls.find_symbol = fake_find_symbol;
        calls.unload_library = fake_unload_library;
        calls.find_files = fake_find_files;
        calls.module_file_name = fake_module_file_name;
        sandbox.own().hDllInstance = &own_library_marker;
    }
    ~FakeFolderTest() override {
        // The registry's releases still go to the fakes.
        sandbox.reset();
        folder = nullptr;
    }

    // Empties the folder and the registry, for the next row of a table.
    void start_over() {
        sandbox.reset();
        world.entries.clear();
        for (FakeModule& module : world.modules) module = FakeModule{};
        world.module_count = 0;
        world.searches = 0;
        world.patterns.clear();
        world.load_requests.clear();
        sandbox.own().hDllInstance = &own_library_marker;
    }

    FakeEntry& add_entry(FakeEntry entry) {
        EXPECT_LT(world.entries.size(), static_cast<std::size_t>(max_entries));
        world.entries.push_back(std::move(entry));
        return world.entries.back();
    }

    // A library "<base>.dll/.so" whose record has this description (null
    // allowed) and extension list (null for none, else with its NULs).
    FakeModule& add_module(const std::string& base, const char* description,
                           const std::string* extensions = nullptr) {
        const int index = static_cast<int>(world.entries.size());
        FakeModule& module = world.modules[index];
        module.description = description != nullptr ? description : "";
        if (extensions != nullptr) module.extensions = *extensions;
        module.record.version = 0x100;
        module.record.description = description != nullptr ? module.description.data() : nullptr;
        module.record.FileExtensions = extensions != nullptr ? module.extensions.data() : nullptr;
        module.record.Init = fake_functions.init[index];
        module.record.Quit = fake_functions.quit[index];
        add_entry({test::library_file_name(base), false, true, true, &module.record});
        return module;
    }

    FakeModule& add_module(const std::string& base, const char* description, const std::string& extensions) {
        return add_module(base, description, &extensions);
    }

    // Our own library, found in the folder like any other.
    FakeEntry& add_own_library() {
        FakeEntry& entry = add_entry({test::library_file_name("in_voskel"), false, true, true, &plugin_record()});
        sandbox.own().hDllInstance = &entry;
        return entry;
    }

    FakeEntry& entry(const std::string& base) {
        for (FakeEntry& found : world.entries) {
            if (found.name == test::library_file_name(base)) return found;
        }
        ADD_FAILURE() << "no entry " << base;
        return world.entries.front();
    }

    // The registry, as the bases of its modules' library names.
    std::vector<std::string> registry_names() const {
        std::vector<std::string> names;
        for (const PluginRecord& record : plugin_registry()) names.push_back(name_of(record.module));
        return names;
    }

    std::string name_of(const In_Module* module) const {
        if (module == nullptr) return "(none)";
        for (const FakeEntry& found : world.entries) {
            if (found.module == module) return found.name.substr(0, found.name.find('.'));
        }
        return "(unknown)";
    }

    // A path with the build's separators, in some music folder.
    static TextString song(const std::string& name) {
        return TextString(test::join(test::host_path("/music"), name).c_str());
    }

    FakeFolder world;
    test::RegistrySandbox sandbox;
};

const std::string mod_list = "MOD\0Modules\0\0"s;

TEST_F(FakeFolderTest, OtherMakersGoFirstInReverseOrderTheHostMakersLastInOrder) {
    struct Row {
        std::vector<std::pair<std::string, const char*>> found;  // base, description
        std::vector<std::string> registered;
    };
    const Row rows[] = {
        {{{"in_a", "Alpha Decoder"}, {"in_b", "Beta Player"}}, {"in_b", "in_a"}},
        {{{"in_a", "Alpha"}, {"in_b", "Beta"}, {"in_c", "Gamma"}}, {"in_c", "in_b", "in_a"}},
        {{{"in_n", "Nullsoft Module Decoder"}, {"in_a", "Alpha"}}, {"in_a", "in_n"}},
        {{{"in_a", "Alpha"}, {"in_n", "nullsoft module decoder"}, {"in_b", "Beta"}}, {"in_b", "in_a", "in_n"}},
        {{{"in_n1", "Nullsoft One"}, {"in_n2", "NULLSOFT Two"}, {"in_n3", "nUlLsOfT"}}, {"in_n1", "in_n2", "in_n3"}},
        // Fewer than eight letters, or the letters elsewhere, is another maker.
        {{{"in_s", "Nullsof"}, {"in_a", "Alpha"}}, {"in_a", "in_s"}},
        {{{"in_s", " Nullsoft"}, {"in_t", "Not Nullsoft"}, {"in_n", "NullsoftX"}}, {"in_t", "in_s", "in_n"}},
        {{{"in_e", ""}, {"in_n", "Nullsoft"}}, {"in_e", "in_n"}},
        // No description at all is another maker.
        {{{"in_n", "Nullsoft DirectSound"}, {"in_x", nullptr}}, {"in_x", "in_n"}},
    };
    for (const Row& row : rows) {
        start_over();
        for (const auto& [base, description] : row.found) add_module(base, description, mod_list);
        find_module_for(TextString(), plugin_record());
        EXPECT_EQ(registry_names(), row.registered) << "first found: " << row.found.front().first;
    }
}

TEST_F(FakeFolderTest, FreshModuleIsSetUpAsTheHostWouldAndReleasedAtQuit) {
    FakeModule& fresh = add_module("in_alpha", "Alpha Decoder", mod_list);
    FakeEntry& library = entry("in_alpha");
    const In_Module& own = sandbox.own();

    EXPECT_EQ(find_module_for(song("a.mod"), plugin_record()), &fresh.record);
    EXPECT_EQ(fresh.inits, 1);
    EXPECT_EQ(fresh.record.hDllInstance, &library);
    EXPECT_EQ(fresh.record.hMainWindow, own.hMainWindow);
    EXPECT_EQ(fresh.record.SAVSAInit, own.SAVSAInit);
    EXPECT_EQ(fresh.record.SAVSADeInit, own.SAVSADeInit);
    EXPECT_EQ(fresh.record.SAAddPCMData, own.SAAddPCMData);
    EXPECT_EQ(fresh.record.SAGetMode, own.SAGetMode);
    EXPECT_EQ(fresh.record.SAAdd, own.SAAdd);
    EXPECT_EQ(fresh.record.VSAAddPCMData, own.VSAAddPCMData);
    EXPECT_EQ(fresh.record.VSAGetMode, own.VSAGetMode);
    EXPECT_EQ(fresh.record.VSAAdd, own.VSAAdd);
    EXPECT_EQ(fresh.record.VSASetInfo, own.VSASetInfo);
    EXPECT_EQ(fresh.record.dsp_isactive, own.dsp_isactive);
    EXPECT_EQ(fresh.record.dsp_dosamples, own.dsp_dosamples);
    // Play hands these over, not the set-up.
    EXPECT_EQ(fresh.record.SetInfo, nullptr);
    EXPECT_EQ(fresh.record.outMod, nullptr);
    ASSERT_EQ(plugin_registry().size(), 1u);
    EXPECT_EQ(plugin_registry()[0].library_handle(), &library);
    EXPECT_EQ(library.loads_made, 1);
    EXPECT_EQ(library.unloads, 0);

    EXPECT_EQ(find_module_for(song("b.mod"), plugin_record()), &fresh.record);
    EXPECT_EQ(fresh.inits, 1) << "set up once";

    unload_plugins();
    EXPECT_EQ(fresh.quits, 1);
    EXPECT_EQ(library.unloads, 1);
    // A worker thread may still ask after Quit: the unloaded module is not
    // reached, and nothing is loaded again.
    EXPECT_TRUE(plugin_registry().empty());
    EXPECT_EQ(find_module_for(song("c.mod"), plugin_record()), nullptr);
    EXPECT_EQ(library.loads_made, 1);
    unload_plugins();
    EXPECT_EQ(fresh.quits, 1) << "nothing is released twice";
    EXPECT_EQ(library.unloads, 1);
    EXPECT_EQ(fresh.inits, 1);
}

TEST_F(FakeFolderTest, ModuleTheHostSetUpIsLeftToTheHost) {
    FakeModule& hosted = add_module("in_alpha", "Alpha Decoder", mod_list);
    const auto host_instance = reinterpret_cast<HostInstance>(static_cast<std::uintptr_t>(0x7000));
    const auto host_window = reinterpret_cast<HostWindow>(static_cast<std::uintptr_t>(0x7100));
    hosted.record.SAVSAInit = sandbox.own().SAVSAInit;
    hosted.record.hDllInstance = host_instance;
    hosted.record.hMainWindow = host_window;
    FakeEntry& library = entry("in_alpha");

    // A record without a library of ours is still chosen.
    EXPECT_EQ(find_module_for(song("a.mod"), plugin_record()), &hosted.record);
    EXPECT_EQ(hosted.inits, 0);
    EXPECT_EQ(hosted.record.hDllInstance, host_instance);
    EXPECT_EQ(hosted.record.hMainWindow, host_window);
    EXPECT_EQ(library.loads_made, 1);
    EXPECT_EQ(library.unloads, 1) << "our extra load is dropped at once";
    ASSERT_EQ(plugin_registry().size(), 1u);
    EXPECT_EQ(plugin_registry()[0].library_handle(), nullptr);

    unload_plugins();
    EXPECT_EQ(hosted.quits, 0);
    EXPECT_EQ(library.unloads, 1);
}

TEST_F(FakeFolderTest, OwnRecordIsRegisteredWithoutLibraryAndNeverChosen) {
    const std::string archive_list = "MDZ;MOD\0Zipped songs\0\0"s;
    FakeModule& zipper = add_module("in_alpha", "Alpha Unzipper", archive_list);
    FakeEntry& own_library = add_own_library();
    // Our own Init clears the current module; it must not run again.
    playback_state().current_module = &zipper.record;

    EXPECT_EQ(find_module_for(song("inner.mdr"), plugin_record()), nullptr) << "only our own record lists MDR";
    EXPECT_EQ(registry_names(), (std::vector<std::string>{"in_voskel", "in_alpha"}));
    ASSERT_EQ(plugin_registry().size(), 2u);
    EXPECT_EQ(plugin_registry()[0].module, &plugin_record());
    EXPECT_EQ(plugin_registry()[0].library_handle(), nullptr);
    EXPECT_EQ(own_library.loads_made, 1);
    EXPECT_EQ(own_library.unloads, 1);
    EXPECT_EQ(sandbox.own().hDllInstance, &own_library);
    EXPECT_EQ(playback_state().current_module, &zipper.record) << "our own Init was called";

    // Nor is another module that lists MDZ: it could hand the archive back.
    EXPECT_EQ(find_module_for(song("inner.mdz"), plugin_record()), nullptr);
    EXPECT_EQ(find_module_for(song("inner.MdR"), plugin_record()), nullptr);
    EXPECT_EQ(find_module_for(song("inner.mod"), plugin_record()), &zipper.record);

    unload_plugins();
    EXPECT_EQ(own_library.unloads, 1) << "Quit does not unload our own library";
    EXPECT_EQ(zipper.quits, 1);
}

TEST_F(FakeFolderTest, WithoutOurSAVSAInitFreshModulesAreStillSetUp) {
    sandbox.own().SAVSAInit = nullptr;
    FakeModule& fresh = add_module("in_alpha", "Alpha Decoder", mod_list);
    FakeEntry& own_library = add_own_library();
    playback_state().current_module = &fresh.record;

    EXPECT_EQ(find_module_for(song("a.mod"), plugin_record()), &fresh.record);
    EXPECT_EQ(fresh.inits, 1);
    EXPECT_EQ(fresh.record.hDllInstance, &entry("in_alpha"));
    EXPECT_EQ(fresh.record.SAVSADeInit, sandbox.own().SAVSADeInit);
    EXPECT_EQ(own_library.unloads, 1) << "our own record is still recognised";
    EXPECT_EQ(playback_state().current_module, &fresh.record) << "our own Init was called";

    unload_plugins();
    EXPECT_EQ(fresh.quits, 1);
    EXPECT_EQ(entry("in_alpha").unloads, 1);
}

TEST_F(FakeFolderTest, PassesOverWhatIsNotAUsablePlugin) {
    add_entry({test::library_file_name("in_dir"), true});
    add_entry({test::library_file_name("in_broken"), false, false});
    add_entry({test::library_file_name("in_noexport"), false, true, false});
    add_entry({test::library_file_name("in_nullrecord"), false, true, true, nullptr});
    FakeModule& usable = add_module("in_zeta", "Zeta", ";MOD\0Anything\0\0"s);

    EXPECT_EQ(find_module_for(TextString(), plugin_record()), &usable.record);
    EXPECT_EQ(registry_names(), std::vector<std::string>{"in_zeta"});
    EXPECT_EQ(world.patterns,
              std::vector<std::string>{path_in_folder(native_path_style() == PathStyle::windows ? "in_*.dll" : "in_*.so")});
    EXPECT_FALSE(world.loaded_while_searching) << "every name is known before the first load";
    std::vector<std::string> expected_requests;
    for (const char* base : {"in_broken", "in_noexport", "in_nullrecord", "in_zeta"}) {
        expected_requests.push_back(path_in_folder(test::library_file_name(base)));
    }
    EXPECT_EQ(world.load_requests, expected_requests) << "the folder is not loaded";
    for (const char* base : {"in_noexport", "in_nullrecord"}) {
        EXPECT_EQ(entry(base).loads_made, 1) << base;
        EXPECT_EQ(entry(base).unloads, 1) << base;
    }
    EXPECT_EQ(entry("in_broken").unloads, 0);
}

TEST_F(FakeFolderTest, FolderWithoutUsablePluginIsScannedAtEveryLookup) {
    add_entry({test::library_file_name("in_dir"), true});
    add_entry({test::library_file_name("in_noexport"), false, true, false});

    EXPECT_EQ(find_module_for(TextString(), plugin_record()), nullptr);
    EXPECT_EQ(find_module_for(song("a.mod"), plugin_record()), nullptr);
    EXPECT_EQ(find_module_for(song("b.xm"), plugin_record()), nullptr);
    EXPECT_EQ(world.searches, 3);
    EXPECT_EQ(entry("in_noexport").loads_made, 3);
    EXPECT_EQ(entry("in_noexport").unloads, 3);
    EXPECT_TRUE(plugin_registry().empty());

    // Once a record is found, the folder is never searched again, even by
    // lookups that find nothing.
    FakeModule& late = add_module("in_late", "Late Arrival", mod_list);
    EXPECT_EQ(find_module_for(song("c.mod"), plugin_record()), &late.record);
    EXPECT_EQ(world.searches, 4);
    add_module("in_later", "Later Still", ";WAV\0All\0\0"s);
    EXPECT_EQ(find_module_for(song("d.wav"), plugin_record()), nullptr);
    EXPECT_EQ(find_module_for(TextString(), plugin_record()), nullptr);
    EXPECT_EQ(world.searches, 4);
    EXPECT_EQ(entry("in_later").loads_made, 0);
}

TEST_F(FakeFolderTest, FirstModuleInRegistryOrderWhoseListNamesTheExtensionIsChosen) {
    add_module("in_alpha", "Alpha Decoder", "MOD;S3M;XM\0Alpha modules\0\0"s);
    add_module("in_beta", "Beta Player", "mod;IT\0Beta modules\0WAV\0Beta waves\0\0"s);
    add_module("in_gap", "Gap Reader", ";WAV\0Gap files\0\0"s);
    add_module("in_nsfull", "Nullsoft Tracker", "MOD;MTM\0Tracker modules\0\0"s);
    add_module("in_zed", "Zed Without List");
    find_module_for(TextString(), plugin_record());
    ASSERT_EQ(registry_names(), (std::vector<std::string>{"in_zed", "in_gap", "in_beta", "in_alpha", "in_nsfull"}));

    struct Row {
        TextString path;
        const char* chosen;
    };
    const Row rows[] = {
        {song("song.xm"), "in_alpha"},
        {song("SONG.MOD"), "in_beta"},  // listed as "mod" by in_beta, which comes before in_alpha
        {song("song.It"), "in_beta"},
        {song("song.mtm"), "in_nsfull"},
        {song("song.wav"), "in_gap"},  // in_gap comes before in_beta's second group
        {song("song"), "in_gap"},      // no extension: only an empty token names it
        {TextString(), "in_gap"},
        {TextString(test::join(test::host_path("/my.mod"), "song").c_str()), "in_gap"},
        {song("song.mp3"), "(none)"},
        {song("song.mo"), "(none)"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(name_of(find_module_for(row.path, plugin_record())), row.chosen) << row.path.chars();
    }
}

TEST_F(FakeFolderTest, WithoutEmptyTokensAPathWithoutExtensionFindsNothing) {
    add_module("in_alpha", "Alpha Decoder", "MOD;S3M;XM\0Alpha modules\0\0"s);
    add_module("in_bare", "Bare List", "MOD;;XM\0\0"s);  // an empty token, but no description
    add_module("in_zed", "Zed Without List");
    EXPECT_EQ(name_of(find_module_for(song("song"), plugin_record())), "in_bare");

    start_over();
    add_module("in_alpha", "Alpha Decoder", "MOD;S3M;XM\0Alpha modules\0\0"s);
    add_module("in_trailing", "Trailing Semicolon", "WAV;\0Waves\0\0"s);
    EXPECT_EQ(find_module_for(song("song"), plugin_record()), nullptr);
    EXPECT_EQ(find_module_for(TextString(), plugin_record()), nullptr);
    EXPECT_EQ(world.searches, 1) << "records were found: no second search";
}

}  // namespace
}  // namespace voskel
