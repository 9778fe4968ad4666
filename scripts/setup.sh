#!/usr/bin/env bash
# Prepares a fresh Debian 12 machine for building and testing the plugin:
# packages (both tool chains, Wine, the archive tools and libraries), then
# the Windows archive libraries and libopenmpt built from Debian's sources, a
# Wine prefix, the RAR test archives and libopenmpt's test modules, all
# inside the build tree (libopenmpt's builds are also kept in
# /var/cache/in_voskel, for later set-ups); last the native build and the
# product (win32). Run as root, or through sudo, from
# anywhere; safe to run again. Under sudo the build tree ends up owned by the
# user who ran it, as Wine uses no prefix that another user owns.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
step() { printf '\n== %s\n' "$*"; }
. "$root/scripts/apt-sources.sh"

enable_apt_components() {
    # Debian's own sources get deb-src and non-free (the UnRAR library and its
    # source live there), and the backports suite, at its usual low priority,
    # for a newer QEMU (see enable_32bit_programs). Both source formats are
    # handled; the edits are idempotent.
    local f lines
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -e "$f" ] || continue
        grep -q 'debian-archive-keyring' "$f" || continue
        sed -i -E -e 's/^Types: deb$/Types: deb deb-src/' \
               -e 's/^Components: main$/Components: main contrib non-free/' \
               -e 's/^Suites: ([a-z]+) ([a-z]+)-updates$/Suites: \1 \1-updates \1-backports/' "$f"
    done
    if [ -f /etc/apt/sources.list ]; then
        sed -i -E -e '/^deb(-src)? /s/ main$/ main contrib non-free/' /etc/apt/sources.list
        lines=$(grep -E '^deb [^ ]+ [a-z]+ ' /etc/apt/sources.list || true)
        if ! grep -q '^deb-src ' /etc/apt/sources.list && [ -n "$lines" ]; then
            sed 's/^deb /deb-src /' <<<"$lines" >>/etc/apt/sources.list
        fi
        if ! grep -q -- '-backports ' /etc/apt/sources.list && [ -n "$lines" ]; then
            head -n 1 <<<"$lines" | sed -E 's/^(deb [^ ]+ )([a-z]+) .*/\1\2-backports main/' >>/etc/apt/sources.list
        fi
    fi
    dpkg --add-architecture i386
}

# apt's configuration for this run: the machine's own, with network errors
# retried, and without the suites whose indexes a mirror caught mid-sync
# cannot serve (see update_package_lists). It lives in a folder of its own,
# removed when the set-up ends; apt-get source in build-windows-libs.sh
# reads it too.
apt_run_dir=$(mktemp -d)
trap 'rm -rf "$apt_run_dir"' EXIT
printf 'Acquire::Retries "3";\n' >"$apt_run_dir/apt.conf"
export APT_CONFIG="$apt_run_dir/apt.conf"

# apt-get update, tried a few times. Where some suites' indexes still cannot
# be fetched, every later apt step goes on without those suites, for every
# architecture alike: Multi-Arch packages (wine32's i386 libraries beside
# their amd64 halves) must see the same versions on both. The main suite
# cannot be done without; backports can (QEMU then comes from the main suite).
update_package_lists() {
    local codename=$1 log="$apt_run_dir/update.log" failed="$apt_run_dir/failed" attempt
    for attempt in 1 2 3; do
        if apt-get update -q 2>&1 | tee "$log"; [ "${PIPESTATUS[0]}" -eq 0 ]; then return 0; fi
        [ "$attempt" -lt 3 ] && sleep 10
    done
    failed_suites <"$log" >"$failed"
    if [ ! -s "$failed" ]; then
        echo "setup: apt-get update failed, and named no suite whose indexes it could not fetch (see above)." >&2
        exit 1
    fi
    local uri suite
    while read -r uri suite; do
        if [ "$suite" = "$codename" ]; then
            echo "setup: the package index of Debian's main suite ($codename, $uri) could not be fetched; the mirror may be syncing: try again later." >&2
            exit 1
        fi
    done <"$failed"
    echo "setup: WARNING: going on without the suites whose indexes could not be fetched (the mirror may be syncing): $(awk '{ printf "%s%s (%s)", (NR > 1 ? ", " : ""), $2, $1 }' "$failed")" >&2
    write_sources_without "$failed" "$apt_run_dir"
    printf 'Dir::Etc::SourceList "%s/sources.list";\nDir::Etc::SourceParts "%s/sources.list.d";\n' \
        "$apt_run_dir" "$apt_run_dir" >>"$APT_CONFIG"
    if ! apt-get update -q; then
        echo "setup: apt-get update failed again without those suites (see above)." >&2
        exit 1
    fi
}

install_packages() {
    local codename backports
    codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
    update_package_lists "$codename"
    apt-get install -y -q --no-install-recommends \
        build-essential cmake ninja-build pkg-config git ca-certificates file \
        googletest libgtest-dev libgmock-dev libbenchmark-dev \
        g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 \
        g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 \
        wine wine32:i386 wine64 \
        zip unzip 7zip sharutils dpkg-dev libarchive-tools nsis \
        libarchive-dev libunrar-dev libunrar5 libopenmpt-dev \
        clang-14 libclang-rt-14-dev llvm-14 valgrind python3 locales
    # QEMU 10 runs Wine's 32-bit loader well; the QEMU of Debian 12 does not
    # honour the address-space reservations Wine makes, which costs close to
    # a minute per process and breaks some of them.
    backports="$codename-backports"
    if grep -q " $backports\$" "$apt_run_dir/failed" 2>/dev/null; then
        echo "setup: WARNING: QEMU comes from $codename itself: where this machine cannot run 32-bit programs, the win32 tests run slowly." >&2
        apt-get install -y -q --no-install-recommends qemu-user
    else
        apt-get install -y -q --no-install-recommends -t "$backports" qemu-user
    fi
}

# Whether this machine executes 32-bit x86 programs: a ten-byte one, made
# with the assembler, exits with 42.
runs_32bit_programs() {
    local dir status
    dir=$(mktemp -d)
    printf '.globl _start\n_start:\n movl $1, %%eax\n movl $42, %%ebx\n int $0x80\n' >"$dir/exit42.s"
    as --32 -o "$dir/exit42.o" "$dir/exit42.s" && ld -m elf_i386 -o "$dir/exit42" "$dir/exit42.o"
    "$dir/exit42" 2>/dev/null
    status=$?
    rm -rf "$dir"
    [ "$status" -eq 42 ]
}

# The win32 build's tests run the product under Wine's 32-bit loader. Some
# kernels (those of many virtual machines) refuse 32-bit x86 code; there the
# kernel is told to run such programs through QEMU's user-mode emulation,
# as Debian's qemu-user-binfmt package would tell it.
enable_32bit_programs() {
    local binfmt=/proc/sys/fs/binfmt_misc entry
    entry=/usr/share/qemu/binfmt.d/qemu-i386.conf
    # An older registration may name a slower emulator: start from none.
    [ -e "$binfmt/qemu-i386" ] && echo -1 >"$binfmt/qemu-i386"
    if runs_32bit_programs; then
        echo "32-bit programs run natively."
        return 0
    fi
    if ! mountpoint -q "$binfmt"; then
        mount -t binfmt_misc binfmt_misc "$binfmt" || true
    fi
    if [ -w "$binfmt/register" ] && [ -f "$entry" ]; then
        cat "$entry" >"$binfmt/register"
    fi
    if runs_32bit_programs; then
        echo "32-bit programs run through QEMU's user-mode emulation."
    else
        echo "32-bit programs cannot run here; the win32 tests will run directly under QEMU, with fewer tests." >&2
    fi
}

# Wine takes a process's code pages from the locale it starts in: the
# Windows tests run some programs under Japanese (Shift JIS, code page 932).
generate_locales() {
    local locale=ja_JP.UTF-8
    locale -a | grep -qix 'ja_JP.utf-\?8' && return 0
    sed -i "s/^# *$locale UTF-8\$/$locale UTF-8/" /etc/locale.gen 2>/dev/null || true
    grep -q "^$locale UTF-8\$" /etc/locale.gen 2>/dev/null || echo "$locale UTF-8" >>/etc/locale.gen
    locale-gen
}

# Under sudo the builds run as the calling user, who then owns the tree.
as_invoking_user() {
    if [ -n "${SUDO_USER:-}" ] && [ "$SUDO_USER" != root ]; then
        sudo -u "$SUDO_USER" -- "$@"
    else
        "$@"
    fi
}

build_the_plugin() {
    if [ -n "${SUDO_USER:-}" ] && [ "$SUDO_USER" != root ]; then
        chown -R "$SUDO_USER": "$build"
        # Debian's Wine notes in the prefix the private folder of its server,
        # which root made: the user's Wine makes its own once the note is gone.
        rm -f "$build/wine-prefix/wineserver"
    fi
    local preset
    for preset in native win32; do
        (cd "$root" && as_invoking_user cmake --preset "$preset" >/dev/null &&
            as_invoking_user cmake --build --preset "$preset")
    done
}

step "apt sources"; enable_apt_components
step "packages"; install_packages
step "32-bit programs"; enable_32bit_programs
step "locales"; generate_locales
step "Windows libraries, libopenmpt, Wine prefix, test files"; "$root/scripts/build-windows-libs.sh" "$build"
step "native build and the product"; build_the_plugin
