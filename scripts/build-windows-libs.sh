#!/usr/bin/env bash
# Builds the Windows side of the test set-up inside BUILD-DIR:
#
#   windows-libs/unzip32.dll, unrar.dll       32-bit (i686), what the plugin ships with,
#                                             marked in their version resources as built here
#   windows-libs/x64/unzip32.dll, unrar.dll   64-bit builds of the same sources
#   windows-libs/libopenmpt/, x64/libopenmpt/ libopenmpt as a static library
#                                             (include/, lib/), for in_tracker
#   wine-prefix/                              a 64-bit Wine prefix
#   fixtures/rar/*.rar                        real RAR 4 and RAR 5 archives
#   fixtures/libopenmpt/test.*                libopenmpt's own test modules
#
# The DLLs come from Debian's source packages (unzip: Info-ZIP UnZip 6.0,
# unrar-nonfree: UnRAR), cross-compiled with MinGW-w64 and linked so that
# they import system DLLs only. RAR archives cannot be made on Debian, so the
# fixtures are the ones libarchive's source package carries for its own tests.
#
# libopenmpt takes minutes to compile, so each build of it is kept outside
# the build tree, in VOSKEL_CACHE_DIR (/var/cache/in_voskel by default), in a
# folder named by its source version, target and recipe; a later set-up on
# this machine, from any clone, copies it from there instead of building it.
#
# Why 64-bit builds as well: some machines (this project's CI among them) run
# a kernel that refuses 32-bit x86 user code, so 32-bit Windows programs
# cannot run under Wine there at all. The 64-bit DLLs let the same calling
# code be exercised under wine64; the 32-bit ones are checked for their
# exports and imports, and run too where the machine allows it.
#
# Run as root (apt-get source). Work whose output exists is skipped; the
# verification at the end always runs. Usage:
#   build-windows-libs.sh BUILD-DIR
set -euo pipefail
shopt -s inherit_errexit

[ $# -eq 1 ] || { echo "usage: $0 BUILD-DIR" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$1"
build=$(cd "$1" && pwd)
sources="$build/sources"
libs="$build/windows-libs"
objroot="$libs/obj"
prefix="$build/wine-prefix"
rar_fixtures="$build/fixtures/rar"
jobs=$(nproc 2>/dev/null || echo 2)
cache_root=${VOSKEL_CACHE_DIR:-/var/cache/in_voskel}
tracker_fixtures="$build/fixtures/libopenmpt"

wine64=/usr/lib/wine/wine64
wine32=/usr/lib/wine/wine
wineserver=/usr/lib/wine/wineserver

# The environment every Wine call here (and the test runner) uses: a prefix
# inside the build tree, no display, no Mono/Gecko installers, no debug noise.
wine_env() {
    env -u DISPLAY -u WAYLAND_DISPLAY \
        WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
        "$@"
}

stage_started=0
stage() {
    stage_started=$SECONDS
    printf -- '-- %s\n' "$*"
}
stage_done() {
    printf -- '   (%ss)\n' $((SECONDS - stage_started))
}

# ---- sources -------------------------------------------------------------

# Unpacks Debian source package $1 into $sources (patches applied, as
# apt-get source does) and prints the unpacked folder. When the newest
# version cannot be fetched (a mirror may list a .dsc it does not serve),
# older versions the apt configuration knows of are tried in turn.
fetch_source() {
    local pkg=$1 stamp="$sources/.$1.dir" dir version
    if [ -f "$stamp" ] && [ -d "$(cat "$stamp")" ]; then
        cat "$stamp"
        return
    fi
    mkdir -p "$sources"
    (
        cd "$sources"
        if apt-get source -q "$pkg" >"$sources/.$pkg.log" 2>&1; then
            exit 0
        fi
        for version in $(apt-cache showsrc "$pkg" | awk '/^Version:/ {print $2}' |
                         sort -u | sort -r -V); do
            echo "   apt-get source $pkg: retrying with version $version" >&2
            if apt-get source -q "$pkg=$version" >>"$sources/.$pkg.log" 2>&1; then
                exit 0
            fi
        done
        cat "$sources/.$pkg.log" >&2
        exit 1
    )
    dir=$(find "$sources" -mindepth 1 -maxdepth 1 -type d -name "$pkg-[0-9]*" | sort -V | tail -n 1)
    [ -n "$dir" ] || { echo "no unpacked source for $pkg in $sources" >&2; exit 1; }
    echo "$dir" >"$stamp"
    echo "$dir"
}

# ---- version resources ---------------------------------------------------

# The archive libraries are built here, not by their makers, and their
# version resources say so (windows-libs/*.rc). A DLL without that mark was
# built before it was added, and is built again.
marked_as_ours() {
    local dll=$1 triplet=$2
    "$triplet-windres" -i "$dll" -O rc 2>/dev/null | grep -q 'Built by the in_voskel project'
}

# version_resource RC-FILE SOURCE-DIR: the resource script with the Debian
# version of the sources filled in.
version_resource() {
    sed "s/@DEBIAN_VERSION@/$(dpkg-parsechangelog -l "$2/debian/changelog" -S Version)/g" "$here/windows-libs/$1"
}

# ---- UnZip ---------------------------------------------------------------

# Objects of the DLL flavour of win32/Makefile.gcc (its unzip32.dll target).
unzip_objects="windll.o windllrc.o api.o crc32l.o cryptl.o explodel.o extractl.o
    fileiol.o globalsl.o inflatel.o listl.o matchl.o processl.o ubz2errl.o
    unreducl.o unshrnkl.o zipinfol.o win32l.o win32i64l.o ntl.o"

# The recipe of the DLL: this function and the patch it applies. A DLL
# built by another recipe (an older set-up) is built again.
unzip_recipe() {
    { declare -f build_unzip; cat "$here/windows-libs/unzip-utf8-names.patch"; } | sha256sum | cut -c1-16
}

# build_unzip TRIPLET OUTPUT-DIR
build_unzip() {
    local triplet=$1 outdir=$2 work="$objroot/unzip-$1" def
    [ -f "$outdir/unzip32.dll" ] && marked_as_ours "$outdir/unzip32.dll" "$triplet" &&
        [ "$(cat "$outdir/unzip32.recipe" 2>/dev/null)" = "$(unzip_recipe)" ] && return 0
    rm -rf "$work" "$outdir/unzip32.dll"
    mkdir -p "$work" "$outdir"
    cp -a "$unzip_src/." "$work/"
    version_resource unzip32.rc "$unzip_src" >"$work/windll/windll.rc"
    # One of Debian's patches calls readbuf() without the globals argument
    # that the reentrant DLL build passes to every internal function.
    sed -i 's/readbuf((char \*)buf,/readbuf(__G__ (char *)buf,/' "$work/extract.c"
    # The Windows build converts names flagged as UTF-8 (UNICODE_SUPPORT is
    # its default) only for members that carry an extra field: the patch
    # converts them all.
    patch -s -d "$work" -p1 <"$here/windows-libs/unzip-utf8-names.patch"
    # The C CRC code rather than the i386 assembler version: the 32-bit DLL
    # then differs from the 64-bit one (the one that can be run in tests
    # everywhere) only in the target.
    def="$work/windll/windllgcc.def"
    if [ "$triplet" != i686-w64-mingw32 ]; then
        # The module definition maps names to their stdcall-decorated
        # symbols; x86_64 has no decoration, so it keeps the plain names.
        def="$work/windll/windll64gcc.def"
        sed 's/=.*@[0-9]*[[:space:]]*$//' "$work/windll/windllgcc.def" >"$def"
    fi
    # shellcheck disable=SC2086
    make -C "$work" -f win32/Makefile.gcc -j"$jobs" NOASM=1 \
        CC="$triplet-gcc-posix" AR="$triplet-ar" RC="$triplet-windres" \
        CC_CPU_OPT=-mtune=generic $unzip_objects >"$work/build.log" 2>&1 ||
        { tail -n 30 "$work/build.log" >&2; exit 1; }
    # The makefile links with dllwrap; a plain shared link does the same job.
    # shellcheck disable=SC2086
    (cd "$work" && "$triplet-gcc-posix" -shared -s -static -o "$outdir/unzip32.dll" \
        "$def" $unzip_objects -luser32 -ladvapi32)
    unzip_recipe >"$outdir/unzip32.recipe"
}

# ---- UnRAR ---------------------------------------------------------------

# build_unrar TRIPLET OUTPUT-DIR
build_unrar() {
    local triplet=$1 outdir=$2 work="$objroot/unrar-$1" cxx flags
    [ -f "$outdir/unrar.dll" ] && marked_as_ours "$outdir/unrar.dll" "$triplet" && return 0
    cxx="$triplet-g++-posix"
    rm -rf "$work"
    mkdir -p "$work/include" "$work/obj" "$outdir"
    # isnt.cpp and os.hpp name these headers with MSVC's capitals.
    echo '#include <powrprof.h>' >"$work/include/PowrProf.h"
    echo '#include <wbemidl.h>' >"$work/include/Wbemidl.h"
    # The defines of the DLL project (UnRARDll.vcxproj).
    flags="-O2 -DRARDLL -DUNRAR -DSILENT -I$work/include -I$unrar_src -w"
    # Every source but global.cpp starts with rar.hpp, so a precompiled copy
    # of it saves most of the compile time (the project does the same).
    # shellcheck disable=SC2086
    $cxx $flags -x c++-header "$unrar_src/rar.hpp" -o "$work/rar.hpp.gch"
    cp "$unrar_src/rar.hpp" "$work/rar.hpp"
    # The source list of the DLL project.
    grep -o 'ClCompile Include="[^"]*"' "$unrar_src/UnRARDll.vcxproj" |
        sed 's/.*="//; s/"$//' >"$work/sources.txt"
    [ -s "$work/sources.txt" ] || { echo "no sources listed in UnRARDll.vcxproj" >&2; exit 1; }
    export cxx flags work unrar_src
    # shellcheck disable=SC2016
    xargs -P "$jobs" -I{} sh -c '
        pch="-include $work/rar.hpp"
        [ "{}" = global.cpp ] && pch=""
        $cxx $flags $pch -c "$unrar_src/{}" -o "$work/obj/$(basename {} .cpp).o"
    ' <"$work/sources.txt"
    # shellcheck disable=SC2086
    $cxx $flags -c "$here/windows-libs/comutil_shim.cpp" -o "$work/obj/comutil_shim.o"
    version_resource unrar.rc "$unrar_src" >"$work/version.rc"
    "$triplet-windres" -I"$unrar_src" -o "$work/obj/version.o" "$work/version.rc"
    $cxx -shared -s -static -Wl,--enable-stdcall-fixup -o "$outdir/unrar.dll" \
        "$unrar_src/dll.def" "$work"/obj/*.o -lpowrprof -lole32 -loleaut32 -lwbemuuid
    rm -f "$work/rar.hpp.gch"           # over 100 MB, of no use once linked
}

# ---- libopenmpt ----------------------------------------------------------

# The library alone, static, with none of its optional codecs (the modules
# that need them are rare, and each would be one more library to build):
# no player, examples, tests or documentation.
libopenmpt_options="--disable-shared --enable-static --disable-openmpt123
    --disable-examples --disable-tests --disable-doxygen-doc
    --disable-dependency-tracking --without-zlib --without-mpg123 --without-ogg
    --without-vorbis --without-vorbisfile --without-pulseaudio
    --without-portaudio --without-portaudiocpp --without-sdl2 --without-sndfile
    --without-flac"
# Without debug information, which would only make the compiler slower and
# the archive larger. -O1 compiles about a quarter faster than -O2 (most of
# the time goes to instantiating the same templates in every source), and
# renders libopenmpt's test modules to the same samples, fast enough for an
# example plugin.
libopenmpt_flags="-O1"

# The cache folder's name for TRIPLET: the source version, the target, and a
# digest of how it is built (options, flags, compiler), so that a change to
# any of them builds afresh rather than reusing a library made otherwise.
libopenmpt_key() {
    local triplet=$1 version digest
    version=$(dpkg-parsechangelog -l "$libopenmpt_src/debian/changelog" -S Version)
    digest=$(printf '%s\n' "$libopenmpt_options" "$libopenmpt_flags" \
                 "$("$triplet-g++-posix" -dumpfullversion)" | sha256sum | cut -c1-8)
    echo "libopenmpt-$version-$triplet-$digest"
}

# build_libopenmpt TRIPLET OUTPUT-DIR: OUTPUT-DIR/libopenmpt/{include,lib}
# from the cache, built into it first when it is not there.
build_libopenmpt() {
    local triplet=$1 outdir=$2/libopenmpt key cached work staging started
    key=$(libopenmpt_key "$triplet")
    cached="$cache_root/$key"
    if [ -f "$outdir/built-from" ] && [ "$(cat "$outdir/built-from")" = "$key" ] &&
       [ -f "$outdir/lib/libopenmpt.a" ]; then
        echo "   $key: in the build tree"
        return 0
    fi
    if [ -f "$cached/lib/libopenmpt.a" ]; then
        echo "   $key: from $cache_root"
    else
        started=$SECONDS
        work="$objroot/libopenmpt-$triplet"
        rm -rf "$work"
        mkdir -p "$work" "$cache_root"
        # Installed beside the final folder and moved there in one step, so
        # that an interrupted build leaves nothing a later set-up would take.
        staging=$(mktemp -d "$cache_root/.$key.XXXXXX")
        # shellcheck disable=SC2086
        (cd "$work" && "$libopenmpt_src/configure" --host="$triplet" --prefix="$staging" \
            CC="$triplet-gcc-posix" CXX="$triplet-g++-posix" \
            AR="$triplet-ar" RANLIB="$triplet-ranlib" \
            CFLAGS="$libopenmpt_flags" CXXFLAGS="$libopenmpt_flags" \
            PKG_CONFIG=/bin/false $libopenmpt_options &&
            make -j"$jobs" && make install) >"$work.log" 2>&1 ||
            { tail -n 30 "$work.log" >&2; rm -rf "$staging"; exit 1; }
        chmod 755 "$staging"
        # Another set-up may have finished the same build meanwhile: either is good.
        mv -T "$staging" "$cached" 2>/dev/null || rm -rf "$staging"
        rm -rf "$work"
        echo "   $key: built in $((SECONDS - started))s, kept in $cache_root"
    fi
    rm -rf "$outdir"
    mkdir -p "$outdir"
    cp -a "$cached/include" "$cached/lib" "$outdir/"
    echo "$key" >"$outdir/built-from"
}

# libopenmpt's own test modules, the tracker songs the tests play.
tracker_fixture_names="test.mod test.s3m test.mptm"

copy_tracker_fixtures() {
    local name
    mkdir -p "$tracker_fixtures"
    for name in $tracker_fixture_names; do
        cp "$libopenmpt_src/test/$name" "$tracker_fixtures/$name"
    done
}

# ---- Wine ----------------------------------------------------------------

make_prefix() {
    [ -f "$prefix/system.reg" ] && return 0
    rm -rf "$prefix"
    # A 64-bit prefix: it runs 64-bit programs everywhere and 32-bit ones
    # wherever the machine can execute 32-bit code.
    wine_env WINEARCH=win64 "$wine64" wineboot --init >"$build/wine-prefix.log" 2>&1 || {
        cat "$build/wine-prefix.log" >&2
        exit 1
    }
    wine_env "$wineserver" -w
    [ -f "$prefix/system.reg" ] || { cat "$build/wine-prefix.log" >&2; exit 1; }
}

# wineboot fills syswow64, the 32-bit system folder of a 64-bit prefix, by
# running 32-bit code. Where that cannot run, the folder stays empty and a
# 32-bit program (started through emulation, see scripts/wine32) finds no
# kernel32.dll; Wine's 32-bit builtin libraries are what wineboot would have
# put there.
fill_syswow64() {
    local from=/usr/lib/i386-linux-gnu/wine/i386-windows to="$prefix/drive_c/windows/syswow64"
    [ -d "$from" ] || return 0
    mkdir -p "$to"
    cp -n "$from"/* "$to"/
}

can_run_32bit() {
    "$wine32" --version >/dev/null 2>&1
}

# ---- RAR fixtures --------------------------------------------------------

# Chosen from libarchive/test: RAR 4 and RAR 5, stored and compressed, one
# and several members, members in folders, solid, encrypted data and
# encrypted headers, Unicode names, and an archive with no end block.
rar_fixture_names="
    test_read_format_rar.rar
    test_read_format_rar_subblock.rar
    test_read_format_rar_noeof.rar
    test_read_format_rar_compress_normal.rar
    test_read_format_rar_compress_best.rar
    test_read_format_rar_windows.rar
    test_read_format_rar_unicode.rar
    test_read_format_rar_binary_data.rar
    test_read_format_rar_multi_lzss_blocks.rar
    test_read_format_rar_encryption_data.rar
    test_read_format_rar_encryption_partially.rar
    test_read_format_rar_encryption_header.rar
    test_read_format_rar_invalid1.rar
    test_read_format_rar5_stored.rar
    test_read_format_rar5_compressed.rar
    test_read_format_rar5_multiple_files.rar
    test_read_format_rar5_multiple_files_solid.rar
    test_read_format_rar5_solid.rar
    test_read_format_rar5_stored_manyfiles.rar
    test_read_format_rar5_win32.rar
    test_read_format_rar5_blake2.rar
    test_read_format_rar5_extra_field_version.rar
    test_read_format_rar5_symlink.rar
"

decode_rar_fixtures() {
    local name
    mkdir -p "$rar_fixtures"
    for name in $rar_fixture_names; do
        [ -f "$rar_fixtures/$name" ] && continue
        uudecode -o "$rar_fixtures/$name.tmp" "$libarchive_src/libarchive/test/$name.uu"
        mv "$rar_fixtures/$name.tmp" "$rar_fixtures/$name"
    done
}

# ---- verification --------------------------------------------------------

# Every DLL must load on a bare Windows: only system DLLs may be imported.
check_imports() {
    local dll=$1 triplet=$2 name bad=0 names
    names=$("$triplet-objdump" -p "$dll" | awk '/DLL Name:/ {print $3}')
    for name in $names; do
        case "${name,,}" in
            kernel32.dll|user32.dll|advapi32.dll|msvcrt.dll|ole32.dll|oleaut32.dll|\
            powrprof.dll|shell32.dll|shlwapi.dll|gdi32.dll|version.dll) ;;
            *) echo "FAIL: $dll imports $name" >&2; bad=1 ;;
        esac
    done
    return $bad
}

check_exports() {
    local dll=$1 triplet=$2 name missing=0 table
    shift 2
    table=$("$triplet-objdump" -p "$dll")
    for name in "$@"; do
        grep -qE "^[[:space:]]*\[[[:space:]]*[0-9]+\] $name\$" <<<"$table" ||
            { echo "FAIL: $dll does not export $name" >&2; missing=1; }
    done
    return $missing
}

winpath() {
    local p=$1
    echo "Z:${p//\//\\}"
}

# run_check LOADER LIB-DIR LOG EXE ARGS...: runs the check program with the
# DLL folder as working directory, so LoadLibraryA finds the DLLs by name.
# Its output goes to LOG, shown when it reports a failure.
run_check() {
    local loader=$1 dir=$2 log=$3
    shift 3
    if ! (cd "$dir" && wine_env "$loader" "$@") >"$log" 2>&1; then
        echo "FAIL: $*" >&2
        grep -v '^ok:' "$log" >&2 || true
        return 1
    fi
}

verify() {
    local check="$libs/check" work fail=0 triplet exe loader dir
    mkdir -p "$check"
    for triplet in i686-w64-mingw32 x86_64-w64-mingw32; do
        dir=$libs
        [ "$triplet" = x86_64-w64-mingw32 ] && dir="$libs/x64"
        check_imports "$dir/unzip32.dll" "$triplet" || fail=1
        check_imports "$dir/unrar.dll" "$triplet" || fail=1
        check_exports "$dir/unzip32.dll" "$triplet" UzpVersion Wiz_SingleEntryUnzip || fail=1
        check_exports "$dir/unrar.dll" "$triplet" RAROpenArchive RARReadHeader \
            RARProcessFile RARCloseArchive RAROpenArchiveEx RARReadHeaderEx RARProcessFileW || fail=1
        # The 32-bit build also pins the record layouts with static_asserts.
        "$triplet-g++-posix" -O1 -Wall -static -I"$unzip_src/windll" -I"$unrar_src" \
            -o "$check/check-${triplet%%-*}.exe" "$here/windows-libs/check.cpp" ||
            fail=1
    done
    [ $fail -eq 0 ] || { echo "library checks failed" >&2; exit 1; }

    # Archives made with zip: two members, one member in a folder, and one
    # encrypted member (password "opensesame").
    work="$check/work"
    rm -rf "$work"
    mkdir -p "$work/flat" "$work/nested/sub" "$work/locked" "$work/out"
    head -c 3000 /dev/zero | tr '\0' 'a' >"$work/flat/alpha.mod"
    echo "second member" >"$work/flat/beta.txt"
    head -c 5000 /dev/zero | tr '\0' 's' >"$work/nested/sub/song.mod"
    echo "top" >"$work/nested/top.txt"
    (cd "$work/flat" && zip -q -X ../flat.zip alpha.mod beta.txt)
    (cd "$work/nested" && zip -q -X ../nested.zip top.txt sub/song.mod)
    head -c 1000 /dev/zero | tr '\0' 'z' >"$work/locked/secret.mod"
    (cd "$work/locked" && zip -q -X -P opensesame ../locked.zip secret.mod)

    for exe in check-x86_64.exe check-i686.exe; do
        if [ $exe = check-i686.exe ]; then
            can_run_32bit || {
                echo "   32-bit programs cannot run on this machine; check-i686.exe was built only"
                continue
            }
            loader=$wine32 dir=$libs
        else
            loader=$wine64 dir="$libs/x64"
        fi
        echo "   $exe:"
        mkdir -p "$work/out/$exe/rar4" "$work/out/$exe/rar5"
        run_check "$loader" "$dir" "$work/out/$exe.layout.txt" "$check/$exe" layout || fail=1
        run_check "$loader" "$dir" "$work/out/$exe.zip.txt" "$check/$exe" zip \
            "$(winpath "$work/flat.zip")" "$(winpath "$work/nested.zip")" \
            "$(winpath "$work/locked.zip")" "$(winpath "$work/out/$exe")" || fail=1
        run_check "$loader" "$dir" "$work/out/$exe.rar4.txt" "$check/$exe" rar \
            "$(winpath "$rar_fixtures/test_read_format_rar.rar")" \
            "$(winpath "$work/out/$exe/rar4")" || fail=1
        run_check "$loader" "$dir" "$work/out/$exe.rar5.txt" "$check/$exe" rar \
            "$(winpath "$rar_fixtures/test_read_format_rar5_compressed.rar")" \
            "$(winpath "$work/out/$exe/rar5")" || fail=1
        # Written by Windows code, read back from Linux: the files are where
        # the paths say.
        cmp -s "$work/out/$exe/flat/alpha.mod" "$work/flat/alpha.mod" || fail=1
        cmp -s "$work/out/$exe/keep/sub/song.mod" "$work/nested/sub/song.mod" || fail=1
        [ -f "$work/out/$exe/rar4/test.txt" ] || fail=1
        [ -f "$work/out/$exe/rar5/test.bin" ] || fail=1
        echo "   $(cat "$work/out/$exe".*.txt | grep -c '^ok:') checks passed, output in $work/out"
    done
    wine_env "$wineserver" -w
    [ $fail -eq 0 ] || { echo "verification under Wine failed" >&2; exit 1; }
}

# ---- main ----------------------------------------------------------------

stage "sources (apt-get source unzip unrar-nonfree libarchive libopenmpt)"
unzip_src=$(fetch_source unzip)
unrar_src=$(fetch_source unrar-nonfree)
libarchive_src=$(fetch_source libarchive)
libopenmpt_src=$(fetch_source libopenmpt)
stage_done

stage "unzip32.dll (i686, x86_64)"
build_unzip i686-w64-mingw32 "$libs" &
unzip32_pid=$!
build_unzip x86_64-w64-mingw32 "$libs/x64"
wait $unzip32_pid
stage_done

stage "unrar.dll (i686, x86_64)"
build_unrar i686-w64-mingw32 "$libs"
build_unrar x86_64-w64-mingw32 "$libs/x64"
stage_done

stage "libopenmpt (i686, x86_64)"
build_libopenmpt i686-w64-mingw32 "$libs"
build_libopenmpt x86_64-w64-mingw32 "$libs/x64"
stage_done

stage "Wine prefix ($prefix)"
make_prefix
fill_syswow64
stage_done

stage "RAR fixtures ($rar_fixtures), tracker modules ($tracker_fixtures)"
decode_rar_fixtures
copy_tracker_fixtures
stage_done

stage "verification under Wine"
verify
stage_done
