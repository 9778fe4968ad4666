#!/usr/bin/env bash
# Prepares a fresh Debian 12 machine for building and testing the plugin:
# packages (both tool chains, Wine, the archive tools and libraries), then
# the Windows archive libraries built from Debian's sources, a Wine prefix
# and the RAR test archives, all inside the build tree.
# Run as root from anywhere; safe to run again.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
step() { printf '\n== %s\n' "$*"; }

enable_apt_components() {
    # Debian's own sources get deb-src and non-free (the UnRAR library and its
    # source live there). Both source formats are handled; edits are idempotent.
    local f
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -e "$f" ] || continue
        grep -q 'debian-archive-keyring' "$f" || continue
        sed -i -e 's/^Types: deb$/Types: deb deb-src/' \
               -e 's/^Components: main$/Components: main contrib non-free/' "$f"
    done
    if [ -f /etc/apt/sources.list ]; then
        sed -i -E -e '/^deb(-src)? /s/ main$/ main contrib non-free/' /etc/apt/sources.list
        if ! grep -q '^deb-src ' /etc/apt/sources.list; then
            grep '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' >> /etc/apt/sources.list
        fi
    fi
    dpkg --add-architecture i386
}

install_packages() {
    apt-get update -q
    apt-get install -y -q --no-install-recommends \
        build-essential cmake ninja-build pkg-config git ca-certificates file \
        googletest libgtest-dev libgmock-dev libbenchmark-dev \
        g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 \
        g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 \
        wine wine32:i386 wine64 \
        zip unzip 7zip sharutils dpkg-dev libarchive-tools \
        libarchive-dev libunrar-dev libunrar5 libopenmpt-dev \
        clang-14 libclang-rt-14-dev llvm-14 valgrind python3
}

step "apt sources"; enable_apt_components
step "packages"; install_packages
step "Windows libraries, Wine prefix, RAR fixtures"; "$root/scripts/build-windows-libs.sh" "$build"
