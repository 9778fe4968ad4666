#!/usr/bin/env bash
# Builds and runs the benchmarks (bench/), then prints each pair's ratio,
# measured side by side in the one run, against its target.
#
#   scripts/bench.sh [--win64] [BENCHMARK-OPTIONS...]
#
# Native (the default): the bench preset, Release without sanitizers, ZIP
# through libarchive. --win64: the bench-win64 preset under 64-bit Wine,
# ZIP through the unzip32.dll the set-up script builds. The product is the
# 32-bit DLL; this machine's kernel cannot run 32-bit x86 code, so the
# Windows figures come from the 64-bit build of the same code. Google
# Benchmark for MinGW is built once from Debian's source package into
# build/windows-libs/benchmark-x86_64/.
# Options after these go to the benchmark program, e.g.
# --benchmark_filter=Play or --benchmark_repetitions=9.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

if [ "${1:-}" != --win64 ]; then
    cmake --preset bench >/dev/null
    cmake --build --preset bench >/dev/null
    exec "$root/build/bench/bin/voskel_bench" "$@"
fi
shift

gb_prefix="$root/build/windows-libs/benchmark-x86_64"
if [ ! -f "$gb_prefix/lib/cmake/benchmark/benchmarkConfig.cmake" ]; then
    sources="$root/build/sources"
    mkdir -p "$sources"
    gb_src=$(find "$sources" -maxdepth 1 -type d -name 'benchmark-[0-9]*' | sort -V | tail -n 1)
    if [ -z "$gb_src" ]; then
        (cd "$sources" && apt-get source -q benchmark >/dev/null)
        gb_src=$(find "$sources" -maxdepth 1 -type d -name 'benchmark-[0-9]*' | sort -V | tail -n 1)
    fi
    # Debian's patch drops the version taken from git; GIT_VERSION supplies it.
    cmake -S "$gb_src" -B "$root/build/windows-libs/obj/benchmark-x86_64" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw.cmake" -DVOSKEL_MINGW_ARCH=x86_64 \
        -DCMAKE_BUILD_TYPE=Release -DGIT_VERSION=0.0.0 -DBENCHMARK_ENABLE_TESTING=OFF \
        -DBENCHMARK_ENABLE_GTEST_TESTS=OFF -DBENCHMARK_ENABLE_WERROR=OFF \
        -DCMAKE_INSTALL_PREFIX="$gb_prefix" >/dev/null
    cmake --build "$root/build/windows-libs/obj/benchmark-x86_64" >/dev/null
    cmake --install "$root/build/windows-libs/obj/benchmark-x86_64" >/dev/null
fi

cmake --preset bench-win64 -Dbenchmark_DIR="$gb_prefix/lib/cmake/benchmark" >/dev/null
cmake --build --preset bench-win64 >/dev/null
libs=$(sed 's|/|\\|g' <<<"Z:$root/build/windows-libs/x64")
env -u DISPLAY -u WAYLAND_DISPLAY \
    WINEPREFIX="${WINEPREFIX:-$root/build/wine-prefix}" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
    WINEPATH="$libs" \
    /usr/lib/wine/wine64 "$root/build/bench-win64/bin/voskel_bench.exe" --benchmark_color=false "$@"
