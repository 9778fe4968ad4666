// The unzip32.dll binding: against the stand-in of both generations, which
// records what it is given, and on Windows against the real UnZip 6.0.
#include <gtest/gtest.h>

#include <filesystem>

#include "doubles/unzip32_double.h"
#include "extract/unzip32_api.h"
#include "extract/unzip32_member.h"
#include "extract_support.h"

namespace voskel {
namespace {

std::string double_file(const char* name) {
    return test::join(test::host_path(VOSKEL_TEST_DOUBLES_DIR),
                      std::string(name) + (native_path_style() == PathStyle::windows ? ".dll" : ".so"));
}

// The stand-in, held loaded by the test so that its records outlive each
// extraction's own load and unload.
class Unzip32Double : public ::testing::Test {
protected:
    void SetUp() override {
        library = platform_system_calls().load_library(double_file("unzip32_double").c_str());
        ASSERT_NE(library, nullptr) << double_file("unzip32_double");
        auto control = [this](const char* name) { return platform_system_calls().find_symbol(library, name); };
        reinterpret_cast<DoubleResetFunction>(control("double_reset"))();
        set_generation = reinterpret_cast<DoubleSetGenerationFunction>(control("double_set_generation"));
        set_results = reinterpret_cast<DoubleSetResultsFunction>(control("double_set_results"));
        set_probe = reinterpret_cast<DoubleSetProbeFunction>(control("double_set_probe"));
        call_count = reinterpret_cast<DoubleCallCountFunction>(control("double_call_count"));
        call = reinterpret_cast<DoubleCallFunction>(control("double_call"));
        libraries.redirect(unzip32_library_name, double_file("unzip32_double"));
    }
    void TearDown() override { platform_system_calls().unload_library(library); }

    // Writes the stand-in's archive: one "name<TAB>content" line per member
    // (content may go on with "<TAB>size=N" or "<TAB>listed=NAME").
    std::string archive(const std::vector<std::pair<std::string, std::string>>& members) const {
        std::string text;
        for (const auto& [name, content] : members) text += name + "\t" + content + "\n";
        const std::string path = archives.file("members.mdz");
        test::write_file(path, text);
        return path;
    }

    static TextString extract(const std::string& archive) {
        return extract_zip_member_unzip32(TextString(archive.c_str())).file;
    }

    LibraryHandle library = nullptr;
    DoubleSetGenerationFunction set_generation = nullptr;
    DoubleSetResultsFunction set_results = nullptr;
    DoubleSetProbeFunction set_probe = nullptr;
    DoubleCallCountFunction call_count = nullptr;
    DoubleCallFunction call = nullptr;

    test::ScratchFolder archives{"archives"};
    test::TempFolder temp;
    test::LibraryCalls libraries;
};

// Every field of both records, for the listing (nvflag 1) or the extraction pass.
void expect_records(const test::DoubleCall& call, int generation, int nvflag, const std::string& archive,
                    const std::string& folder) {
    SCOPED_TRACE("generation " + std::to_string(generation) + ", nvflag " + std::to_string(nvflag));
    EXPECT_EQ(call.generation, generation);
    EXPECT_EQ(call.StructVersID, generation == 6 ? 0x600 : -1);
    EXPECT_EQ(call.ExtractOnlyNewer, 0);
    EXPECT_EQ(call.SpaceToUnderscore, 0);
    EXPECT_EQ(call.PromptToOverwrite, 0);
    EXPECT_EQ(call.fQuiet, 2);
    EXPECT_EQ(call.ncflag, 0);
    EXPECT_EQ(call.ntflag, 0);
    EXPECT_EQ(call.nvflag, nvflag);
    EXPECT_EQ(call.nfflag, 0);
    EXPECT_EQ(call.nzflag, 0);
    EXPECT_EQ(call.ndflag, 1);
    EXPECT_EQ(call.noflag, 1);
    EXPECT_EQ(call.naflag, 0);
    EXPECT_EQ(call.nZIflag, 0);
    EXPECT_EQ(call.B_flag, generation == 6 ? 0 : -1);
    EXPECT_EQ(call.C_flag, 0);
    EXPECT_EQ(call.D_flag, generation == 6 ? 0 : -1);
    EXPECT_EQ(call.U_flag, generation == 6 ? 0 : -1);
    EXPECT_EQ(call.fPrivilege, 0);
    EXPECT_EQ(call.lpszZipFN, archive);
    EXPECT_EQ(call.lpszExtractDir, test::join(folder, "")) << "with a separator, which the library drops";

    EXPECT_EQ(call.print_given, 1);
    EXPECT_EQ(call.sound_given, 0);
    EXPECT_EQ(call.replace_given, 1);
    EXPECT_EQ(call.password_given, 1);
    EXPECT_EQ(call.message_given, 1);
    EXPECT_EQ(call.service_given, 0);
    EXPECT_EQ(call.message_i32_given, generation == 6 ? 0 : -1);
    EXPECT_EQ(call.service_i32_given, generation == 6 ? 0 : -1);
    EXPECT_EQ(call.TotalSizeComp, 0u);
    EXPECT_EQ(call.TotalSize, 0u);
    EXPECT_EQ(call.NumMembers, 0u);
    EXPECT_EQ(call.CompFactor, 0u);
    EXPECT_EQ(call.cchComment, 0u);
    EXPECT_EQ(call.exclude_count, 0);
    EXPECT_EQ(call.exclude_list_given, 0);
    EXPECT_EQ(call.stack_faults, 0);
}

TEST_F(Unzip32Double, BothGenerationsGetTheSameValuesInTheirOwnLayout) {
    for (int generation : {5, 6}) {
        set_generation(generation);
        set_probe(1);
        const std::string zip = archive({{"first.mod", "one"}, {"second.mod", "two"}, {"sub/third.mod", "three"}});
        const int calls_before = call_count();

        EXPECT_EQ(extract(zip).chars(), temp.joined("first.mod"));
        EXPECT_EQ(temp.files(), std::vector<std::string>{"first.mod"});
        EXPECT_EQ(test::read_file(temp.joined("first.mod")), "one");

        ASSERT_EQ(call_count(), calls_before + 2);
        const test::DoubleCall& listing = *call(calls_before);
        expect_records(listing, generation, 1, zip, temp.path());
        EXPECT_EQ(listing.include_count, 0);
        EXPECT_EQ(listing.include_list_given, 0);
        EXPECT_EQ(listing.print_calls, 1);
        EXPECT_EQ(listing.print_answers_wrong, 0);
        EXPECT_EQ(listing.messages_sent, 3);

        const test::DoubleCall& extraction = *call(calls_before + 1);
        expect_records(extraction, generation, 0, zip, temp.path());
        EXPECT_EQ(extraction.include_count, 1);
        EXPECT_STREQ(extraction.include[0], "first.mod");
        EXPECT_EQ(extraction.replace_calls, 1);
        EXPECT_EQ(extraction.replace_answer, 1);
        EXPECT_EQ(extraction.password_calls, 1);
        EXPECT_EQ(extraction.password_answer, 1);
        EXPECT_EQ(extraction.password_buffer_touched, 0);

        EXPECT_EQ(libraries.loads(), libraries.unloads());
        std::filesystem::remove(temp.joined("first.mod"));
    }
}

TEST_F(Unzip32Double, IncludeListHoldsTheListedNameUnchangedWithItsFolder) {
    for (int generation : {5, 6}) {
        set_generation(generation);
        const std::string zip = archive({{"sub dir/Song (1).mod", "in a folder"}, {"other.mod", "other"}});
        EXPECT_EQ(extract(zip).chars(), temp.joined("sub dir/Song (1).mod")) << generation;
        EXPECT_STREQ(call(call_count() - 1)->include[0], "sub dir/Song (1).mod");
        EXPECT_EQ(temp.files(), std::vector<std::string>{"sub dir/Song (1).mod"}) << generation;
        EXPECT_EQ(test::read_file(temp.joined(test::on_disk("sub dir/Song (1).mod"))), "in a folder");
        std::filesystem::remove_all(temp.joined("sub dir"));
    }
}

TEST_F(Unzip32Double, NoExtractionPassWithoutAnAcceptableFirstName) {
    const std::string names[] = {"../up.mod", "/abs.mod", "C:drive.mod", "song[1].mod", "a*.mod", "a?.mod",
                                 "back\\slash.mod"};
    for (int generation : {5, 6}) {
        set_generation(generation);
        for (const std::string& name : names) {
            const int calls_before = call_count();
            EXPECT_TRUE(extract(archive({{name, "first"}, {"second.mod", "second"}})).empty()) << name;
            EXPECT_EQ(call_count(), calls_before + 1) << name;
            EXPECT_TRUE(temp.files().empty()) << name;
        }
        // An empty archive lists nothing.
        const int calls_before = call_count();
        EXPECT_TRUE(extract(archive({})).empty());
        EXPECT_EQ(call_count(), calls_before + 1);
    }
}

TEST_F(Unzip32Double, FailedPassesGiveEmptyAndLeaveNoFile) {
    for (int generation : {5, 6}) {
        set_generation(generation);
        const std::string zip = archive({{"song.mod", "song"}});

        set_results(1, 0);
        int calls_before = call_count();
        EXPECT_TRUE(extract(zip).empty());
        EXPECT_EQ(call_count(), calls_before + 1);

        // The file is written, then the pass reports an error.
        set_results(0, 2);
        calls_before = call_count();
        EXPECT_TRUE(extract(zip).empty());
        EXPECT_EQ(call_count(), calls_before + 2);
        EXPECT_TRUE(temp.files().empty());
        set_results(0, 0);
    }
    EXPECT_EQ(libraries.loads(), libraries.unloads());
}

// Above 1 GiB the listing ends the extraction: no second pass, nothing
// written, whatever the library would have made of the member.
TEST_F(Unzip32Double, MemberListedAboveTheBoundIsNotExtracted) {
    struct Row {
        const char* listed_size;
        int passes;
    };
    const Row rows[] = {{"1073741824", 2}, {"1073741825", 1}, {"3221225472", 1}};
    for (int generation : {5, 6}) {
        set_generation(generation);
        for (const Row& row : rows) {
            const int calls_before = call_count();
            EXPECT_TRUE(extract(archive({{"song.mod", std::string("small\tsize=") + row.listed_size}})).empty());
            EXPECT_EQ(call_count(), calls_before + row.passes) << generation << ": " << row.listed_size;
            // At the bound the pass runs and writes 5 bytes, not what was listed.
            EXPECT_TRUE(temp.files().empty()) << generation << ": " << row.listed_size;
        }
    }
    // 6.0 lists 64-bit sizes: the low half alone would be the 5 bytes held.
    set_generation(6);
    const int calls_before = call_count();
    EXPECT_TRUE(extract(archive({{"song.mod", "small\tsize=4294967301"}})).empty()) << "4 GiB and 5 bytes";
    EXPECT_EQ(call_count(), calls_before + 1);
}

// The file written must hold what was listed; one that does not is removed.
TEST_F(Unzip32Double, FileOfAnotherSizeThanListedIsRemoved) {
    for (int generation : {5, 6}) {
        set_generation(generation);
        for (const char* listed : {"3", "6", "0"}) {
            EXPECT_TRUE(extract(archive({{"song.mod", std::string("songs\tsize=") + listed}})).empty()) << listed;
            EXPECT_TRUE(temp.files().empty()) << listed;
        }
        EXPECT_EQ(extract(archive({{"song.mod", "songs\tsize=5"}})).chars(), temp.joined("song.mod"));
        std::filesystem::remove(temp.joined("song.mod"));
    }
}

// The include list names every member of that name, and the library writes
// each over the last: the file would hold a later member's data.
TEST_F(Unzip32Double, RepeatedFirstNameIsNotExtracted) {
    for (int generation : {5, 6}) {
        set_generation(generation);
        test::write_file(temp.joined("song.mod"), "there before");
        const int calls_before = call_count();
        EXPECT_TRUE(extract(archive({{"song.mod", "first"}, {"other.mod", "other"}, {"song.mod", "later"}})).empty());
        EXPECT_EQ(call_count(), calls_before + 1);
        EXPECT_EQ(test::read_file(temp.joined("song.mod")), "there before");
        std::filesystem::remove(temp.joined("song.mod"));

        // A name that only begins the same, or differs in letters, is another member.
        EXPECT_EQ(extract(archive({{"song.mod", "first"}, {"song.mod2", "x"}, {"Song.mod", "y"}})).chars(),
                  temp.joined("song.mod"));
        EXPECT_EQ(test::read_file(temp.joined("song.mod")), "first");
        std::filesystem::remove(temp.joined("song.mod"));
    }
}

// A failed pass removes the file only if it wrote it: the library may fail
// before touching a file of that name that was already there.
TEST_F(Unzip32Double, FailedPassRemovesOnlyWhatItWrote) {
    for (int generation : {5, 6}) {
        set_generation(generation);
        // The listed name matches no stored one: the pass finds nothing and writes nothing.
        test::write_file(temp.joined("Listed.mod"), "there before");
        EXPECT_TRUE(extract(archive({{"stored.mod", "song\tlisted=Listed.mod"}})).empty());
        EXPECT_EQ(test::read_file(temp.joined("Listed.mod")), "there before") << generation;
        EXPECT_EQ(temp.files(), std::vector<std::string>{"Listed.mod"});

        // The pass writes over it, then reports an error: what it wrote goes.
        test::write_file(temp.joined("song.mod"), "there before");
        set_results(0, 2);
        EXPECT_TRUE(extract(archive({{"song.mod", "half-written"}})).empty());
        set_results(0, 0);
        EXPECT_FALSE(test::file_exists(temp.joined("song.mod"))) << generation;
        std::filesystem::remove(temp.joined("Listed.mod"));
    }
}

TEST_F(Unzip32Double, UnknownGenerationIsNotCalled) {
    set_generation(7);
    EXPECT_TRUE(extract(archive({{"song.mod", "song"}})).empty());
    EXPECT_EQ(call_count(), 0);
    EXPECT_EQ(libraries.loads(), 1);
    EXPECT_EQ(libraries.unloads(), 1);
}

TEST_F(Unzip32Double, LibraryLackingAnExportIsUnloadedQuietly) {
    for (const char* stand_in : {"unzip32_double_no_entry", "unzip32_double_no_version"}) {
        test::LibraryCalls steered;
        steered.redirect(unzip32_library_name, double_file(stand_in));
        const Extraction extraction = extract_zip_member_unzip32(TextString(archive({{"song.mod", "song"}}).c_str()),
                                                                 TextString());
        EXPECT_TRUE(extraction.file.empty()) << stand_in;
        EXPECT_EQ(extraction.missing_library, nullptr) << stand_in;
        EXPECT_EQ(steered.loads(), 1) << stand_in;
        EXPECT_EQ(steered.unloads(), 1) << stand_in;
    }
    EXPECT_EQ(call_count(), 0);
}

TEST_F(Unzip32Double, MissingLibraryIsReportedEveryTimeOnlyWhenTheFolderIsKnown) {
    libraries.fail_loads();
    const TextString zip(archive({{"song.mod", "song"}}).c_str());

    for (int attempt = 0; attempt < 2; ++attempt) {
        const Extraction extraction = extract_zip_member_unzip32(zip);
        EXPECT_TRUE(extraction.file.empty());
        EXPECT_STREQ(extraction.missing_library, "unzip32.dll");
    }

    test::set_env("TMP", nullptr);
    EXPECT_EQ(extract_zip_member_unzip32(zip).missing_library, nullptr);
    // By name, then by full path beside the plugin, where users put it.
    const std::string beside = test::beside_the_program("unzip32.dll");
    EXPECT_EQ(libraries.attempts(), (std::vector<std::string>{"unzip32.dll", beside, "unzip32.dll", beside}));
}

#if defined(__i386__)
// The stand-in's stack check is what proves the callbacks' declarations on
// 32-bit x86: a callback that removes too few bytes must be noticed.
void VOSKEL_WINAPI listed_with_an_argument_missing(unsigned long, unsigned long, unsigned, unsigned, unsigned,
                                                    unsigned, unsigned, unsigned, char, char*, char*,
                                                    unsigned long) {}
int VOSKEL_WINAPI print_anything(char*, unsigned long size) { return static_cast<int>(size); }
int VOSKEL_WINAPI replace_anything(char*) { return 1; }

TEST_F(Unzip32Double, StackCheckNoticesAMisdeclaredCallback) {
    unzip5::USERFUNCTIONS callbacks{};
    callbacks.print = print_anything;
    callbacks.replace = replace_anything;
    callbacks.SendApplicationMessage = reinterpret_cast<unzip5::DLLMESSAGE>(
        reinterpret_cast<void*>(listed_with_an_argument_missing));
    const std::string zip = archive({{"song.mod", "song"}});
    unzip5::DCL options{};
    options.nvflag = 1;
    options.lpszZipFN = const_cast<char*>(zip.c_str());
    auto entry = reinterpret_cast<unzip5::SingleEntryUnzip>(
        platform_system_calls().find_symbol(library, "Wiz_SingleEntryUnzip"));

    EXPECT_EQ(entry(0, nullptr, 0, nullptr, &options, &callbacks), 0);
    ASSERT_EQ(call_count(), 1);
    EXPECT_EQ(call(0)->stack_faults, 1);
}
#endif

#if defined(_WIN32)
// The library users can obtain today, built by the set-up script.
class RealUnzip32 : public ::testing::Test {
protected:
    void SetUp() override {
        if (test::windows_library("unzip32.dll").empty()) GTEST_SKIP() << "unzip32.dll has not been built";
    }
    test::ScratchFolder empty_folder{"no-libraries"};
    test::TempFolder temp;
};

TEST_F(RealUnzip32, IsTheSixthGeneration) {
    test::LibrarySearch search(test::host_path(VOSKEL_WINDOWS_LIBS_DIR));
    LibraryHandle library = system_calls().load_library(unzip32_library_name);
    ASSERT_NE(library, nullptr);
    auto version = reinterpret_cast<UzpVersionFunction>(system_calls().find_symbol(library, "UzpVersion"));
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version()->unzip.major, 6);
    system_calls().unload_library(library);
}

TEST_F(RealUnzip32, MissingFromTheSearchPathIsReported) {
    test::LibrarySearch search(empty_folder.path());
    const Extraction extraction =
        extract_zip_member_unzip32(TextString(test::fixture("several.mdz").c_str()), TextString());
    EXPECT_TRUE(extraction.file.empty());
    EXPECT_STREQ(extraction.missing_library, "unzip32.dll");
    EXPECT_TRUE(temp.files().empty());
}
#endif

}  // namespace
}  // namespace voskel
