// A stand-in for unzip32.dll that records what it is given. Shared by the
// stand-in and the tests that read its records back.
//
// The "archive" it reads is a text file of lines "name<TAB>content", each
// optionally followed by "<TAB>size=N" (the size the listing reports) and
// "<TAB>listed=NAME" (the name the listing reports). It
// behaves as UnZip 5.x by default, or as 6.0 on request; on request, too, it
// asks its replace and password questions for every member it extracts.
#pragma once

namespace voskel::test {

constexpr int double_text_size = 512;
constexpr int double_max_includes = 4;
constexpr int double_max_calls = 64;

// One call of Wiz_SingleEntryUnzip: both records field by field (-1 for a
// field that the generation's layout lacks), the lists, and what the
// callbacks answered.
struct DoubleCall {
    int generation;

    int include_count;
    int include_list_given;
    char include[double_max_includes][double_text_size];
    int exclude_count;
    int exclude_list_given;

    int StructVersID;
    int ExtractOnlyNewer;
    int SpaceToUnderscore;
    int PromptToOverwrite;
    int fQuiet;
    int ncflag;
    int ntflag;
    int nvflag;
    int nfflag;
    int nzflag;
    int ndflag;
    int noflag;
    int naflag;
    int nZIflag;
    int B_flag;
    int C_flag;
    int D_flag;
    int U_flag;
    int fPrivilege;
    char lpszZipFN[double_text_size];
    int zip_name_given;
    char lpszExtractDir[double_text_size];
    int extract_dir_given;

    // Callback record: which pointers were set, and the other fields' values.
    int print_given;
    int sound_given;
    int replace_given;
    int password_given;
    int message_given;
    int service_given;
    int message_i32_given;
    int service_i32_given;
    unsigned long long TotalSizeComp;
    unsigned long long TotalSize;
    unsigned long long NumMembers;
    unsigned long long CompFactor;
    unsigned cchComment;

    int print_calls;
    int print_answers_wrong;  // print calls that did not answer the byte count
    int messages_sent;
    int replace_calls;
    int replace_answer;
    int password_calls;
    int password_answer;
    int password_buffer_touched;
    // Callback calls after which the stack pointer was not where it had been
    // (on 32-bit x86: a callback declared with the wrong arguments).
    int stack_faults;

    int result;
};

}  // namespace voskel::test

// The stand-in's own controls, resolved by name by the tests.
extern "C" {
using DoubleResetFunction = void (*)();
using DoubleSetGenerationFunction = void (*)(int generation);
// Results the passes return after doing their work; 0 is success.
using DoubleSetResultsFunction = void (*)(int listing, int extraction);
using DoubleSetProbeFunction = void (*)(int on);
using DoubleCallCountFunction = int (*)();
using DoubleCallFunction = const voskel::test::DoubleCall* (*)(int index);
}
