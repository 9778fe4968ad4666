// The records and entry points of the UnRAR library (unrar.dll, and
// libunrar.so.5 on Linux) as its dll.hpp publishes them: byte-packed,
// with the callee-cleans convention on 32-bit Windows.
#pragma once

#include "extract/unzip32_api.h"  // VOSKEL_WINAPI

namespace voskel::unrar {

constexpr unsigned RAR_OM_EXTRACT = 1;
constexpr int RAR_EXTRACT = 2;
constexpr unsigned RHDF_DIRECTORY = 0x20;

// RARHeaderData::HostOS of an archive made on Unix, whose FileAttr is then
// a st_mode; elsewhere it holds Windows file attributes.
constexpr unsigned HOST_UNIX = 3;

#pragma pack(push, 1)

struct RARHeaderData {
    char ArcName[260];
    char FileName[260];
    unsigned int Flags;
    unsigned int PackSize;
    unsigned int UnpSize;
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
};

struct RAROpenArchiveData {
    char* ArcName;
    unsigned int OpenMode;
    unsigned int OpenResult;
    char* CmtBuf;
    unsigned int CmtBufSize;
    unsigned int CmtSize;
    unsigned int CmtState;
};

#pragma pack(pop)

using ArchiveHandle = void*;
using RAROpenArchive = ArchiveHandle(VOSKEL_WINAPI*)(RAROpenArchiveData* archive_data);
using RARCloseArchive = int(VOSKEL_WINAPI*)(ArchiveHandle archive);
using RARReadHeader = int(VOSKEL_WINAPI*)(ArchiveHandle archive, RARHeaderData* header_data);
using RARProcessFile = int(VOSKEL_WINAPI*)(ArchiveHandle archive, int operation, char* dest_path, char* dest_name);

#if defined(_WIN32) && defined(__i386__)
static_assert(sizeof(RARHeaderData) == 572);
static_assert(__builtin_offsetof(RARHeaderData, FileName) == 260);
static_assert(__builtin_offsetof(RARHeaderData, Flags) == 520);
static_assert(__builtin_offsetof(RARHeaderData, CmtBuf) == 556);
static_assert(sizeof(RAROpenArchiveData) == 28);
static_assert(__builtin_offsetof(RAROpenArchiveData, CmtBuf) == 12);
#endif

}  // namespace voskel::unrar
