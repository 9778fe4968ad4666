// Smoke check for the Windows archive libraries built by build-windows-libs.sh.
//
// It loads unzip32.dll and unrar.dll by name (as the plugin does), drives
// them the way the plugin will (list pass, then extraction of one member),
// and checks what lands on disk. It also prints the record layouts the
// libraries expect, so a wrong declaration on the calling side shows up as a
// difference in the printed numbers.
//
//   check layout
//   check zip  <flat.zip> <nested.zip> <locked.zip> <out-dir>
//   check rar  <archive> <out-dir>           (extract first file only)
//   check rar-all <archive> <out-dir>        (extract every member, report each)
//
// Paths are Windows paths. Exit status is the number of failed checks.
#include <windows.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>
#include <string>
#include <vector>

#include "structs.h" // UnZip's windll/structs.h: DCL, USERFUNCTIONS, callbacks
#include "dll.hpp"   // UnRAR's dll.hpp: RAROpenArchiveData, RARHeaderData

// UnZip's version record (unzip.h, not included because it drags in the
// whole private configuration); ulg is unsigned long.
struct UzpVersionPart {
    unsigned char major, minor, patchlevel, not_used;
};
struct UzpVerRecord {
    unsigned long structlen;
    unsigned long flag;
    const char *betalevel;
    const char *date;
    const char *zlib_version;
    UzpVersionPart unzip, zipinfo, os2dll, windll, dllapimin;
};

// The 32-bit plugin is built against these numbers; a header or compiler
// change that moves a field is caught here at build time.
#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(DCL) == 84, "DCL size");
static_assert(offsetof(DCL, ndflag) == 40, "DCL.ndflag");
static_assert(offsetof(DCL, lpszZipFN) == 76, "DCL.lpszZipFN");
static_assert(offsetof(DCL, lpszExtractDir) == 80, "DCL.lpszExtractDir");
static_assert(sizeof(USERFUNCTIONS) == 64, "USERFUNCTIONS size");
static_assert(offsetof(USERFUNCTIONS, TotalSizeComp) == 32, "USERFUNCTIONS.TotalSizeComp");
static_assert(offsetof(USERFUNCTIONS, CompFactor) == 56, "USERFUNCTIONS.CompFactor");
static_assert(offsetof(USERFUNCTIONS, cchComment) == 60, "USERFUNCTIONS.cchComment");
static_assert(offsetof(UzpVerRecord, unzip) == 20, "UzpVer.unzip");
static_assert(sizeof(RAROpenArchiveData) == 28, "RAROpenArchiveData size");
static_assert(sizeof(RARHeaderData) == 572, "RARHeaderData size");
static_assert(offsetof(RARHeaderData, Flags) == 520, "RARHeaderData.Flags");
static_assert(offsetof(RARHeaderData, CmtBuf) == 556, "RARHeaderData.CmtBuf");
#endif

typedef const UzpVerRecord *(WINAPI *UzpVersionFn)(void);
typedef int(WINAPI *SingleEntryUnzipFn)(int, char **, int, char **, LPDCL, LPUSERFUNCTIONS);
typedef HANDLE(WINAPI *RAROpenArchiveFn)(RAROpenArchiveData *);
typedef int(WINAPI *RARCloseArchiveFn)(HANDLE);
typedef int(WINAPI *RARReadHeaderFn)(HANDLE, RARHeaderData *);
typedef int(WINAPI *RARProcessFileFn)(HANDLE, int, char *, char *);
typedef int(WINAPI *RARGetDllVersionFn)(void);

static int failures = 0;

static void expect(bool ok, const char *what)
{
    printf("%s: %s\n", ok ? "ok" : "FAIL", what);
    if (!ok)
        ++failures;
}

static long long file_size(const std::string &path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return -2;
    return ((long long)data.nFileSizeHigh << 32) | data.nFileSizeLow;
}

static FARPROC need(HMODULE lib, const char *name)
{
    FARPROC p = GetProcAddress(lib, name);
    if (p == NULL) {
        printf("FAIL: %s not exported\n", name);
        ++failures;
    }
    return p;
}

#define SHOW_SIZE(T) printf("sizeof(%s) = %u\n", #T, (unsigned)sizeof(T))
#define SHOW_FIELD(T, F) printf("  %-28s offset %3u size %u\n", #F, (unsigned)offsetof(T, F), (unsigned)sizeof(((T *)0)->F))

static int run_layout()
{
    printf("target: %s\n", sizeof(void *) == 4 ? "i686" : "x86_64");
    SHOW_SIZE(DCL);
    SHOW_FIELD(DCL, StructVersID); SHOW_FIELD(DCL, ExtractOnlyNewer);
    SHOW_FIELD(DCL, SpaceToUnderscore); SHOW_FIELD(DCL, PromptToOverwrite);
    SHOW_FIELD(DCL, fQuiet); SHOW_FIELD(DCL, ncflag); SHOW_FIELD(DCL, ntflag);
    SHOW_FIELD(DCL, nvflag); SHOW_FIELD(DCL, nfflag); SHOW_FIELD(DCL, nzflag);
    SHOW_FIELD(DCL, ndflag); SHOW_FIELD(DCL, noflag); SHOW_FIELD(DCL, naflag);
    SHOW_FIELD(DCL, nZIflag); SHOW_FIELD(DCL, B_flag); SHOW_FIELD(DCL, C_flag);
    SHOW_FIELD(DCL, D_flag); SHOW_FIELD(DCL, U_flag); SHOW_FIELD(DCL, fPrivilege);
    SHOW_FIELD(DCL, lpszZipFN); SHOW_FIELD(DCL, lpszExtractDir);
    SHOW_SIZE(USERFUNCTIONS);
    SHOW_FIELD(USERFUNCTIONS, print); SHOW_FIELD(USERFUNCTIONS, sound);
    SHOW_FIELD(USERFUNCTIONS, replace); SHOW_FIELD(USERFUNCTIONS, password);
    SHOW_FIELD(USERFUNCTIONS, SendApplicationMessage);
    SHOW_FIELD(USERFUNCTIONS, ServCallBk);
    SHOW_FIELD(USERFUNCTIONS, SendApplicationMessage_i32);
    SHOW_FIELD(USERFUNCTIONS, ServCallBk_i32);
    SHOW_FIELD(USERFUNCTIONS, TotalSizeComp); SHOW_FIELD(USERFUNCTIONS, TotalSize);
    SHOW_FIELD(USERFUNCTIONS, NumMembers); SHOW_FIELD(USERFUNCTIONS, CompFactor);
    SHOW_FIELD(USERFUNCTIONS, cchComment);
    SHOW_SIZE(UzpVerRecord);
    SHOW_FIELD(UzpVerRecord, structlen); SHOW_FIELD(UzpVerRecord, flag);
    SHOW_FIELD(UzpVerRecord, betalevel); SHOW_FIELD(UzpVerRecord, date);
    SHOW_FIELD(UzpVerRecord, zlib_version); SHOW_FIELD(UzpVerRecord, unzip);
    SHOW_FIELD(UzpVerRecord, windll); SHOW_FIELD(UzpVerRecord, dllapimin);
    SHOW_SIZE(RAROpenArchiveData);
    SHOW_FIELD(RAROpenArchiveData, ArcName); SHOW_FIELD(RAROpenArchiveData, OpenMode);
    SHOW_FIELD(RAROpenArchiveData, OpenResult); SHOW_FIELD(RAROpenArchiveData, CmtBuf);
    SHOW_FIELD(RAROpenArchiveData, CmtBufSize); SHOW_FIELD(RAROpenArchiveData, CmtSize);
    SHOW_FIELD(RAROpenArchiveData, CmtState);
    SHOW_SIZE(RARHeaderData);
    SHOW_FIELD(RARHeaderData, ArcName); SHOW_FIELD(RARHeaderData, FileName);
    SHOW_FIELD(RARHeaderData, Flags); SHOW_FIELD(RARHeaderData, PackSize);
    SHOW_FIELD(RARHeaderData, UnpSize); SHOW_FIELD(RARHeaderData, HostOS);
    SHOW_FIELD(RARHeaderData, FileCRC); SHOW_FIELD(RARHeaderData, FileTime);
    SHOW_FIELD(RARHeaderData, UnpVer); SHOW_FIELD(RARHeaderData, Method);
    SHOW_FIELD(RARHeaderData, FileAttr); SHOW_FIELD(RARHeaderData, CmtBuf);
    SHOW_FIELD(RARHeaderData, CmtBufSize); SHOW_FIELD(RARHeaderData, CmtSize);
    SHOW_FIELD(RARHeaderData, CmtState);
    return 0;
}

// ---- UnZip -------------------------------------------------------------

struct Member {
    std::string name;
    unsigned long long size, csize;
    unsigned long crc;
    char method[16];
    char encrypted;
};
static std::vector<Member> listed;
static int print_calls, replace_calls, password_calls, service_calls;

static int WINAPI on_print(LPSTR, unsigned long len)
{
    ++print_calls;
    return (int)len;
}
static int replace_answer = 1;           // what on_replace answers
static const char *password_answer = NULL; // NULL: refuse (answer 1)

static int WINAPI on_replace(LPSTR, unsigned)
{
    ++replace_calls;
    return replace_answer;
}
static int WINAPI on_password(LPSTR buf, int size, LPCSTR, LPCSTR)
{
    ++password_calls;
    if (password_answer == NULL)
        return 1;
    snprintf(buf, (size_t)size, "%s", password_answer);
    return 0;
}
static int WINAPI on_service(LPCSTR, z_uint8)
{
    ++service_calls;
    return 0;
}
static void WINAPI on_message(z_uint8 ucsize, z_uint8 csize, unsigned, unsigned,
                              unsigned, unsigned, unsigned, unsigned, char,
                              LPCSTR filename, LPCSTR methbuf, unsigned long crc,
                              char crypt)
{
    Member m;
    m.name = filename ? filename : "";
    m.size = ucsize;
    m.csize = csize;
    m.crc = crc;
    snprintf(m.method, sizeof m.method, "%s", methbuf ? methbuf : "");
    m.encrypted = crypt;
    listed.push_back(m);
}

static void init_callbacks(USERFUNCTIONS &uf)
{
    memset(&uf, 0, sizeof uf);
    uf.print = on_print;
    uf.replace = on_replace;
    uf.password = on_password;
    uf.SendApplicationMessage = on_message;
    uf.ServCallBk = on_service;
}

static void init_options(DCL &dcl, char *zip)
{
    memset(&dcl, 0, sizeof dcl);
    dcl.StructVersID = UZ_DCL_STRUCTVER;
    dcl.fQuiet = 2;
    dcl.noflag = 1;
    dcl.lpszZipFN = zip;
}

static int list_zip(SingleEntryUnzipFn unzip, char *zip)
{
    DCL dcl;
    USERFUNCTIONS uf;
    init_options(dcl, zip);
    dcl.nvflag = 1;
    init_callbacks(uf);
    listed.clear();
    print_calls = replace_calls = password_calls = service_calls = 0;
    int rc = unzip(0, NULL, 0, NULL, &dcl, &uf);
    printf("list %s -> %d, %u member(s), print called %d times, service %d\n", zip, rc,
           (unsigned)listed.size(), print_calls, service_calls);
    for (size_t i = 0; i < listed.size(); ++i)
        printf("  [%u] %s size %llu csize %llu crc %08lx method %s crypt '%c'\n", (unsigned)i,
               listed[i].name.c_str(), listed[i].size, listed[i].csize, listed[i].crc,
               listed[i].method, listed[i].encrypted);
    printf("  totals: NumMembers %llu TotalSize %llu TotalSizeComp %llu\n",
           (unsigned long long)uf.NumMembers, (unsigned long long)uf.TotalSize,
           (unsigned long long)uf.TotalSizeComp);
    return rc;
}

static int extract_zip(SingleEntryUnzipFn unzip, char *zip, const char *member, char *dir,
                       int ndflag, int noflag = 1)
{
    DCL dcl;
    USERFUNCTIONS uf;
    init_options(dcl, zip);
    dcl.ndflag = ndflag;
    dcl.noflag = noflag;
    dcl.PromptToOverwrite = !noflag;
    dcl.lpszExtractDir = dir;
    init_callbacks(uf);
    print_calls = replace_calls = password_calls = service_calls = 0;
    char *names[1] = {const_cast<char *>(member)};
    int rc = unzip(1, names, 0, NULL, &dcl, &uf);
    printf("extract %s from %s into %s (ndflag %d, noflag %d) -> %d, service called %d times, "
           "replace %d, password %d\n",
           member, zip, dir, ndflag, noflag, rc, service_calls, replace_calls, password_calls);
    return rc;
}

static void write_file(const std::string &path, size_t size)
{
    FILE *f = fopen(path.c_str(), "wb");
    if (f == NULL)
        return;
    for (size_t i = 0; i < size; ++i)
        fputc('x', f);
    fclose(f);
}

static int run_zip(char *flat, char *nested, char *locked, const char *out)
{
    HMODULE lib = LoadLibraryA("unzip32.dll");
    expect(lib != NULL, "LoadLibraryA(\"unzip32.dll\")");
    if (lib == NULL)
        return failures;
    UzpVersionFn version = (UzpVersionFn)need(lib, "UzpVersion");
    SingleEntryUnzipFn unzip = (SingleEntryUnzipFn)need(lib, "Wiz_SingleEntryUnzip");
    if (version == NULL || unzip == NULL)
        return failures;

    const UzpVerRecord *v = version();
    const unsigned char *raw = (const unsigned char *)v;
    printf("UzpVersion: structlen %lu flag %lu date \"%s\" unzip %u.%u%u windll %u.%u%u "
           "dllapimin %u.%u%u; byte at offset %u = %u\n",
           v->structlen, v->flag, v->date ? v->date : "", v->unzip.major, v->unzip.minor,
           v->unzip.patchlevel, v->windll.major, v->windll.minor, v->windll.patchlevel,
           v->dllapimin.major, v->dllapimin.minor, v->dllapimin.patchlevel,
           (unsigned)offsetof(UzpVerRecord, unzip), raw[offsetof(UzpVerRecord, unzip)]);
    expect(v->unzip.major == 6 && v->unzip.minor == 0, "UnZip version is 6.0");

    // Pass 1 on the flat archive: list, remember the first member.
    expect(list_zip(unzip, flat) == 0, "listing flat.zip returns 0");
    expect(listed.size() == 2, "listing reports both members of flat.zip");
    std::string first = listed.empty() ? "" : listed[0].name;
    expect(first == "alpha.mod", "first member reported first");

    // Pass 2: extract exactly that member.
    std::string dir = std::string(out) + "\\flat";
    CreateDirectoryA(dir.c_str(), NULL);
    expect(extract_zip(unzip, flat, first.c_str(), &dir[0], 0) == 0, "extraction returns 0");
    expect(file_size(dir + "\\alpha.mod") == 3000, "alpha.mod extracted with its size");
    expect(file_size(dir + "\\beta.txt") == -1, "member outside the include list left alone");
    // Again over the existing file: noflag=1 overwrites without asking.
    expect(extract_zip(unzip, flat, first.c_str(), &dir[0], 0) == 0, "re-extraction returns 0");
    expect(replace_calls == 0, "replace callback not asked when noflag=1");

    // With noflag=0 and PromptToOverwrite=1 an existing file is put to the
    // replace callback; its answers are the IDM_REPLACE_* codes.
    std::string target = dir + "\\alpha.mod";
    write_file(target, 7);
    replace_answer = IDM_REPLACE_NO;
    expect(extract_zip(unzip, flat, first.c_str(), &dir[0], 0, 0) == 0 && replace_calls == 1 &&
               file_size(target) == 7,
           "IDM_REPLACE_NO keeps the existing file");
    replace_answer = IDM_REPLACE_YES;
    expect(extract_zip(unzip, flat, first.c_str(), &dir[0], 0, 0) == 0 && replace_calls == 1 &&
               file_size(target) == 3000,
           "IDM_REPLACE_YES overwrites it");
    write_file(target, 7);
    replace_answer = 1;
    expect(extract_zip(unzip, flat, first.c_str(), &dir[0], 0, 0) == 0 && replace_calls == 1 &&
               file_size(target) == 3000,
           "an unknown answer (1) overwrites as well");

    // An encrypted member: refusing the password skips it, giving it works.
    expect(list_zip(unzip, locked) == 0 && listed.size() == 1 && listed[0].encrypted == 'E',
           "listing marks the encrypted member with 'E'");
    std::string secret = std::string(out) + "\\locked";
    CreateDirectoryA(secret.c_str(), NULL);
    password_answer = NULL;
    int rc = extract_zip(unzip, locked, "secret.mod", &secret[0], 0);
    expect(rc == 82 && password_calls == 1 && file_size(secret + "\\secret.mod") == -1,
           "refused password: asked once, member skipped, result 82 (IZ_BADPWD)");
    password_answer = "wrong";
    rc = extract_zip(unzip, locked, "secret.mod", &secret[0], 0);
    expect(rc == 82 && password_calls == 3 && file_size(secret + "\\secret.mod") == -1,
           "wrong password: asked three times, member not written, result 82");
    password_answer = "opensesame";
    rc = extract_zip(unzip, locked, "secret.mod", &secret[0], 0);
    expect(rc == 0 && password_calls == 1 && file_size(secret + "\\secret.mod") == 1000,
           "right password: member extracted");
    password_answer = NULL;

    // A member stored in a folder, with and without paths kept.
    expect(list_zip(unzip, nested) == 0, "listing nested.zip returns 0");
    std::string keep = std::string(out) + "\\keep";
    std::string junk = std::string(out) + "\\junk";
    CreateDirectoryA(keep.c_str(), NULL);
    CreateDirectoryA(junk.c_str(), NULL);
    expect(extract_zip(unzip, nested, "sub/song.mod", &keep[0], 1) == 0, "ndflag=1 returns 0");
    expect(file_size(keep + "\\sub\\song.mod") == 5000, "ndflag=1 keeps the folder");
    expect(extract_zip(unzip, nested, "sub/song.mod", &junk[0], 0) == 0, "ndflag=0 returns 0");
    expect(file_size(junk + "\\song.mod") == 5000, "ndflag=0 drops the folder");
    // Names are matched against the stored name, folder and '/' included.
    expect(extract_zip(unzip, nested, "song.mod", &junk[0], 0) == 11, "bare name is not found (11)");
    expect(extract_zip(unzip, nested, "sub\\song.mod", &junk[0], 1) == 11,
           "a backslash does not stand for the stored '/' (11)");

    // A missing archive.
    char missing[] = "Z:\\nonexistent\\none.zip";
    expect(list_zip(unzip, missing) == 9, "missing archive returns 9");
    FreeLibrary(lib);
    return failures;
}

// ---- UnRAR -------------------------------------------------------------

struct RarLib {
    RAROpenArchiveFn open;
    RARCloseArchiveFn close;
    RARReadHeaderFn read;
    RARProcessFileFn process;
};

static bool load_rar(RarLib &r)
{
    HMODULE lib = LoadLibraryA("unrar.dll");
    expect(lib != NULL, "LoadLibraryA(\"unrar.dll\")");
    if (lib == NULL)
        return false;
    r.open = (RAROpenArchiveFn)need(lib, "RAROpenArchive");
    r.close = (RARCloseArchiveFn)need(lib, "RARCloseArchive");
    r.read = (RARReadHeaderFn)need(lib, "RARReadHeader");
    r.process = (RARProcessFileFn)need(lib, "RARProcessFile");
    RARGetDllVersionFn ver = (RARGetDllVersionFn)need(lib, "RARGetDllVersion");
    if (ver != NULL)
        printf("RARGetDllVersion: %d\n", ver());
    return r.open && r.close && r.read && r.process;
}

static const char *method_name(unsigned m)
{
    static const char *names[] = {"stored", "fastest", "fast", "normal", "good", "best"};
    return m >= 0x30 && m <= 0x35 ? names[m - 0x30] : "?";
}

// Extracts the first file (everything when all is set) into out, printing
// every header; returns the number of files written with the expected size.
static int run_rar(char *archive, const char *out, bool all)
{
    RarLib r;
    if (!load_rar(r))
        return failures;
    static char comment[16384];
    RAROpenArchiveData od;
    memset(&od, 0, sizeof od);
    od.ArcName = archive;
    od.OpenMode = RAR_OM_EXTRACT;
    od.CmtBuf = comment;
    od.CmtBufSize = sizeof comment;
    HANDLE h = r.open(&od);
    printf("RAROpenArchive %s -> handle %s, OpenResult %u, CmtState %u, CmtSize %u\n", archive,
           h ? "set" : "NULL", od.OpenResult, od.CmtState, od.CmtSize);
    expect(h != NULL && od.OpenResult == 0, "archive opens");
    if (h == NULL)
        return failures;

    std::string dest = out;
    int index = 0, written = 0, rc;
    bool done_one = false;
    RARHeaderData hd;
    for (;;) {
        memset(&hd, 0, sizeof hd);
        rc = r.read(h, &hd);
        if (rc != 0)
            break;
        bool dir = (hd.Flags & RHDF_DIRECTORY) != 0;
        bool extract = all || (!done_one && !dir);
        int prc = r.process(h, extract ? RAR_EXTRACT : RAR_SKIP, &dest[0], NULL);
        long long got = -1;
        if (extract && !dir) {
            std::string path = dest + "\\" + hd.FileName;
            got = file_size(path);
            if (prc == 0 && got == (long long)hd.UnpSize)
                ++written;
        }
        printf("  [%d] \"%s\" flags 0x%02x%s%s%s pack %u unp %u host %u crc %08x unpver %u "
               "method 0x%x (%s) attr 0x%x -> %s rc %d%s\n",
               index, hd.FileName, hd.Flags, dir ? " dir" : "",
               (hd.Flags & RHDF_ENCRYPTED) ? " encrypted" : "",
               (hd.Flags & RHDF_SOLID) ? " solid" : "", hd.PackSize, hd.UnpSize, hd.HostOS,
               hd.FileCRC, hd.UnpVer, hd.Method, method_name(hd.Method), hd.FileAttr,
               extract ? "extract" : "skip", prc,
               (extract && !dir) ? (got == (long long)hd.UnpSize ? ", size ok" : ", size WRONG")
                                 : "");
        if (extract && !dir)
            done_one = true;
        ++index;
    }
    printf("  end of headers: rc %d (%s)\n", rc, rc == ERAR_END_ARCHIVE ? "ERAR_END_ARCHIVE" : "error");
    expect(r.close(h) == 0, "RARCloseArchive returns 0");
    if (!all)
        expect(written == 1, "first file written under the destination with its size");
    return failures;
}

int main(int argc, char **argv)
{
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "layout")
        return run_layout();
    if (mode == "zip" && argc == 6)
        return run_zip(argv[2], argv[3], argv[4], argv[5]);
    if ((mode == "rar" || mode == "rar-all") && argc == 4)
        return run_rar(argv[2], argv[3], mode == "rar-all");
    fprintf(stderr, "usage: check layout | zip FLAT NESTED LOCKED OUT | rar ARCHIVE OUT | rar-all ARCHIVE OUT\n");
    return 100;
}
