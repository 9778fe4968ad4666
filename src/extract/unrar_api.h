// The records and entry points of the UnRAR library (unrar.dll, and
// libunrar.so.5 on Linux) as its dll.hpp publishes them: byte-packed,
// with the callee-cleans convention on 32-bit Windows.
#pragma once

#include <cstdint>

#include "extract/unzip32_api.h"  // VOSKEL_WINAPI

namespace voskel::unrar {

constexpr unsigned RAR_OM_EXTRACT = 1;
constexpr int RAR_SKIP = 0;
constexpr int RAR_EXTRACT = 2;
constexpr unsigned RHDF_DIRECTORY = 0x20;

// RARHeaderDataEx::HostOS of an archive made on Unix, whose FileAttr is then
// a st_mode; elsewhere it holds Windows file attributes.
constexpr unsigned HOST_UNIX = 3;

#pragma pack(push, 1)

// The header record of RARReadHeaderEx. It gives sizes in full, where
// RARReadHeader's record holds only their low 32 bits. The library fills
// the fields its version knows of; the rest must start zeroed.
struct RARHeaderDataEx {
    char ArcName[1024];
    wchar_t ArcNameW[1024];
    char FileName[1024];
    wchar_t FileNameW[1024];
    unsigned int Flags;
    unsigned int PackSize;
    unsigned int PackSizeHigh;
    unsigned int UnpSize;
    unsigned int UnpSizeHigh;
    unsigned int HostOS;
    unsigned int FileCRC;
    unsigned int FileTime;
    unsigned int UnpVer;
    unsigned int Method;
    unsigned int FileAttr;
    char* CmtBuf;
    unsigned int CmtBufSize;
    unsigned int CmtSize;
    unsigned int CmtState;
    unsigned int DictSize;
    unsigned int HashType;
    char Hash[32];
    unsigned int RedirType;
    wchar_t* RedirName;
    unsigned int RedirNameSize;
    unsigned int DirTarget;
    unsigned int MtimeLow;
    unsigned int MtimeHigh;
    unsigned int CtimeLow;
    unsigned int CtimeHigh;
    unsigned int AtimeLow;
    unsigned int AtimeHigh;
    unsigned int Reserved[988];
};

using UNRARCALLBACK = int(VOSKEL_WINAPI*)(unsigned msg, intptr_t user_data, intptr_t p1, intptr_t p2);

// The open record of RAROpenArchiveEx, which takes the archive's name as
// wide text. The library reads the fields its version knows of; the rest
// must start zeroed.
struct RAROpenArchiveDataEx {
    char* ArcName;
    wchar_t* ArcNameW;
    unsigned int OpenMode;
    unsigned int OpenResult;
    char* CmtBuf;
    unsigned int CmtBufSize;
    unsigned int CmtSize;
    unsigned int CmtState;
    unsigned int Flags;
    UNRARCALLBACK Callback;
    intptr_t UserData;
    unsigned int OpFlags;
    wchar_t* CmtBufW;
    unsigned int Reserved[25];
};

#pragma pack(pop)

using ArchiveHandle = void*;
using RAROpenArchiveEx = ArchiveHandle(VOSKEL_WINAPI*)(RAROpenArchiveDataEx* archive_data);
using RARCloseArchive = int(VOSKEL_WINAPI*)(ArchiveHandle archive);
using RARReadHeaderEx = int(VOSKEL_WINAPI*)(ArchiveHandle archive, RARHeaderDataEx* header_data);
using RARProcessFileW = int(VOSKEL_WINAPI*)(ArchiveHandle archive, int operation, wchar_t* dest_path,
                                            wchar_t* dest_name);

#if defined(_WIN32) && defined(__i386__)
static_assert(__builtin_offsetof(RARHeaderDataEx, FileName) == 3072);
static_assert(__builtin_offsetof(RARHeaderDataEx, Flags) == 6144);
static_assert(__builtin_offsetof(RARHeaderDataEx, UnpSizeHigh) == 6160);
static_assert(__builtin_offsetof(RARHeaderDataEx, FileAttr) == 6184);
static_assert(__builtin_offsetof(RARHeaderDataEx, CmtBuf) == 6188);
static_assert(__builtin_offsetof(RARHeaderDataEx, FileNameW) == 4096);
static_assert(sizeof(RAROpenArchiveDataEx) == 152);
static_assert(__builtin_offsetof(RAROpenArchiveDataEx, OpenResult) == 12);
static_assert(__builtin_offsetof(RAROpenArchiveDataEx, CmtBufW) == 48);
#endif

}  // namespace voskel::unrar
