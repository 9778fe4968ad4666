#!/usr/bin/env bash
# Builds and runs the benchmarks (bench/), then prints each pair's ratio,
# measured side by side in the one run, against its target.
#
#   scripts/bench.sh [--win32 | --win64] [BENCHMARK-OPTIONS...]
#
# Native (the default): the bench preset, Release without sanitizers, ZIP
# through libarchive. --win32: the product itself, the bench-win32 preset
# (i686) under 32-bit Wine, ZIP through the 32-bit unzip32.dll the set-up
# script builds; only where the machine runs 32-bit x86 code. --win64: the
# bench-win64 preset under 64-bit Wine with the 64-bit unzip32.dll, for
# machines that do not. Google Benchmark for MinGW is built once from
# Debian's source package into build/windows-libs/benchmark-<arch>/.
# Options after these go to the benchmark program, e.g.
# --benchmark_filter=Play or --benchmark_repetitions=9.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

case "${1:-}" in
    --win32) arch=i686 preset=bench-win32 libs="$root/build/windows-libs" wine=/usr/lib/wine/wine ;;
    --win64) arch=x86_64 preset=bench-win64 libs="$root/build/windows-libs/x64" wine=/usr/lib/wine/wine64 ;;
    *)
        cmake --preset bench >/dev/null
        cmake --build --preset bench >/dev/null
        exec "$root/build/bench/bin/voskel_bench" "$@"
        ;;
esac
shift
if ! "$wine" --version >/dev/null 2>&1; then
    echo "bench.sh: this machine does not run $arch code under Wine" >&2
    exit 1
fi

gb_prefix="$root/build/windows-libs/benchmark-$arch"
if [ ! -f "$gb_prefix/lib/cmake/benchmark/benchmarkConfig.cmake" ]; then
    sources="$root/build/sources"
    mkdir -p "$sources"
    gb_src=$(find "$sources" -maxdepth 1 -type d -name 'benchmark-[0-9]*' | sort -V | tail -n 1)
    if [ -z "$gb_src" ]; then
        (cd "$sources" && apt-get source -q benchmark >/dev/null)
        gb_src=$(find "$sources" -maxdepth 1 -type d -name 'benchmark-[0-9]*' | sort -V | tail -n 1)
    fi
    # Debian's patch drops the version taken from git; GIT_VERSION supplies it.
    cmake -S "$gb_src" -B "$root/build/windows-libs/obj/benchmark-$arch" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw.cmake" -DVOSKEL_MINGW_ARCH=$arch \
        -DCMAKE_BUILD_TYPE=Release -DGIT_VERSION=0.0.0 -DBENCHMARK_ENABLE_TESTING=OFF \
        -DBENCHMARK_ENABLE_GTEST_TESTS=OFF -DBENCHMARK_ENABLE_WERROR=OFF \
        -DCMAKE_INSTALL_PREFIX="$gb_prefix" >/dev/null
    cmake --build "$root/build/windows-libs/obj/benchmark-$arch" >/dev/null
    cmake --install "$root/build/windows-libs/obj/benchmark-$arch" >/dev/null
fi

cmake --preset "$preset" -Dbenchmark_DIR="$gb_prefix/lib/cmake/benchmark" >/dev/null
cmake --build --preset "$preset" >/dev/null
# The installer puts the libraries beside winamp.exe, the first folder that
# Windows searches for a library named alone; beside the host program here.
cp "$libs/unzip32.dll" "$libs/unrar.dll" "$root/build/$preset/bin/"
env -u DISPLAY -u WAYLAND_DISPLAY \
    WINEPREFIX="${WINEPREFIX:-$root/build/wine-prefix}" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
    WINEPATH="$(sed 's|/|\\|g' <<<"Z:$libs")" \
    "$wine" "$root/build/$preset/bin/voskel_bench.exe" --benchmark_color=false "$@"
