// The records and entry points of the Info-ZIP UnZip library for Windows
// (unzip32.dll), as its two generations publish them in windll/structs.h,
// windll/decs.h and unzip.h. Both generations export the same two entry
// points; the records differ, and the version record tells which applies.
//
// Field names and types are the published ones (LPSTR is char*, WORD is
// unsigned short, z_uint8 is unsigned long long), so that the layout is
// right wherever the types have their Windows sizes.
#pragma once

#if defined(__i386__)
// The library's WINAPI: the callee removes the arguments. Elsewhere there is
// only one convention.
#define VOSKEL_WINAPI __attribute__((stdcall))
#else
#define VOSKEL_WINAPI
#endif

namespace voskel {

// UnZip 5.x (up to 5.52).
namespace unzip5 {

using DLLPRNT = int(VOSKEL_WINAPI*)(char* text, unsigned long size);
using DLLSND = void(VOSKEL_WINAPI*)();
using DLLREPLACE = int(VOSKEL_WINAPI*)(char* filename);
using DLLPASSWORD = int(VOSKEL_WINAPI*)(char* buffer, int size, const char* prompt, const char* entry_name);
using DLLMESSAGE = void(VOSKEL_WINAPI*)(unsigned long ucsize, unsigned long csize, unsigned cfactor,
                                        unsigned mo, unsigned dy, unsigned yr, unsigned hh, unsigned mm,
                                        char c, char* filename, char* methbuf, unsigned long crc,
                                        char fCrypt);
using DLLSERVICE = int(VOSKEL_WINAPI*)(const char* entry_name, unsigned long size);

struct USERFUNCTIONS {
    DLLPRNT print;
    DLLSND sound;
    DLLREPLACE replace;
    DLLPASSWORD password;
    DLLMESSAGE SendApplicationMessage;
    DLLSERVICE ServCallBk;
    unsigned long TotalSizeComp;
    unsigned long TotalSize;
    unsigned long CompFactor;
    unsigned long NumMembers;
    unsigned short cchComment;
};

struct DCL {
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
    int C_flag;
    int fPrivilege;
    char* lpszZipFN;
    char* lpszExtractDir;
};

using SingleEntryUnzip = int(VOSKEL_WINAPI*)(int include_count, char** include, int exclude_count,
                                             char** exclude, DCL* options, USERFUNCTIONS* callbacks);

}  // namespace unzip5

// UnZip 6.0.
namespace unzip6 {

constexpr unsigned UZ_DCL_STRUCTVER = 0x600;

using DLLPRNT = int(VOSKEL_WINAPI*)(char* text, unsigned long size);
using DLLSND = void(VOSKEL_WINAPI*)();
using DLLREPLACE = int(VOSKEL_WINAPI*)(char* filename, unsigned buffer_size);
using DLLPASSWORD = int(VOSKEL_WINAPI*)(char* buffer, int size, const char* prompt, const char* entry_name);
using DLLMESSAGE = void(VOSKEL_WINAPI*)(unsigned long long ucsize, unsigned long long csize, unsigned cfactor,
                                        unsigned mo, unsigned dy, unsigned yr, unsigned hh, unsigned mm,
                                        char c, const char* filename, const char* methbuf,
                                        unsigned long crc, char fCrypt);
using DLLSERVICE = int(VOSKEL_WINAPI*)(const char* entry_name, unsigned long long size);
using DLLMESSAGE_I32 = void(VOSKEL_WINAPI*)(unsigned long ucsiz_l, unsigned long ucsiz_h, unsigned long csiz_l,
                                            unsigned long csiz_h, unsigned cfactor, unsigned mo,
                                            unsigned dy, unsigned yr, unsigned hh, unsigned mm, char c,
                                            const char* filename, const char* methbuf, unsigned long crc,
                                            char fCrypt);
using DLLSERVICE_I32 = int(VOSKEL_WINAPI*)(const char* entry_name, unsigned long size_low,
                                           unsigned long size_high);

struct USERFUNCTIONS {
    DLLPRNT print;
    DLLSND sound;
    DLLREPLACE replace;
    DLLPASSWORD password;
    DLLMESSAGE SendApplicationMessage;
    DLLSERVICE ServCallBk;
    DLLMESSAGE_I32 SendApplicationMessage_i32;
    DLLSERVICE_I32 ServCallBk_i32;
    unsigned long long TotalSizeComp;
    unsigned long long TotalSize;
    unsigned long long NumMembers;
    unsigned CompFactor;
    unsigned short cchComment;
};

struct DCL {
    unsigned StructVersID;
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
    char* lpszZipFN;
    char* lpszExtractDir;
};

using SingleEntryUnzip = int(VOSKEL_WINAPI*)(int include_count, char** include, int exclude_count,
                                             char** exclude, DCL* options, USERFUNCTIONS* callbacks);

}  // namespace unzip6

// The version record of both generations (5.x ends after windll).
struct _version_type {
    unsigned char major;
    unsigned char minor;
    unsigned char patchlevel;
    unsigned char not_used;
};

struct UzpVer {
    unsigned long structlen;
    unsigned long flag;
    const char* betalevel;
    const char* date;
    const char* zlib_version;
    _version_type unzip;
    _version_type zipinfo;
    _version_type os2dll;
    _version_type windll;
    _version_type dllapimin;
};

using UzpVersionFunction = const UzpVer*(VOSKEL_WINAPI*)();

#if defined(_WIN32) && defined(__i386__)
// The library reads the records by offset.
static_assert(sizeof(unzip5::DCL) == 68);
static_assert(__builtin_offsetof(unzip5::DCL, fQuiet) == 12);
static_assert(__builtin_offsetof(unzip5::DCL, nvflag) == 24);
static_assert(__builtin_offsetof(unzip5::DCL, ndflag) == 36);
static_assert(__builtin_offsetof(unzip5::DCL, noflag) == 40);
static_assert(__builtin_offsetof(unzip5::DCL, lpszZipFN) == 60);
static_assert(__builtin_offsetof(unzip5::DCL, lpszExtractDir) == 64);
static_assert(sizeof(unzip5::USERFUNCTIONS) == 44);
static_assert(__builtin_offsetof(unzip5::USERFUNCTIONS, SendApplicationMessage) == 16);
static_assert(__builtin_offsetof(unzip5::USERFUNCTIONS, cchComment) == 40);

static_assert(sizeof(unzip6::DCL) == 84);
static_assert(__builtin_offsetof(unzip6::DCL, fQuiet) == 16);
static_assert(__builtin_offsetof(unzip6::DCL, nvflag) == 28);
static_assert(__builtin_offsetof(unzip6::DCL, ndflag) == 40);
static_assert(__builtin_offsetof(unzip6::DCL, noflag) == 44);
static_assert(__builtin_offsetof(unzip6::DCL, B_flag) == 56);
static_assert(__builtin_offsetof(unzip6::DCL, U_flag) == 68);
static_assert(__builtin_offsetof(unzip6::DCL, lpszZipFN) == 76);
static_assert(__builtin_offsetof(unzip6::DCL, lpszExtractDir) == 80);
static_assert(sizeof(unzip6::USERFUNCTIONS) == 64);
static_assert(__builtin_offsetof(unzip6::USERFUNCTIONS, ServCallBk_i32) == 28);
static_assert(__builtin_offsetof(unzip6::USERFUNCTIONS, TotalSizeComp) == 32);
static_assert(__builtin_offsetof(unzip6::USERFUNCTIONS, NumMembers) == 48);
static_assert(__builtin_offsetof(unzip6::USERFUNCTIONS, CompFactor) == 56);
static_assert(__builtin_offsetof(unzip6::USERFUNCTIONS, cchComment) == 60);

static_assert(__builtin_offsetof(UzpVer, unzip) == 20);
#endif

}  // namespace voskel
