#!/usr/bin/env bash
# Builds every build and runs every test:
#   native  Linux x86-64 with AddressSanitizer and UndefinedBehaviorSanitizer
#   win32   the product (i686); its tests run under Wine where the machine can
#           execute 32-bit x86 code, and its static checks always run
#   win64   the same code for x86-64 Windows, whose tests run under 64-bit Wine
# Ends with a summary and a non-zero status if anything failed.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

export WINEPREFIX="${WINEPREFIX:-$root/build/wine-prefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

logs="$root/build/test-logs"
mkdir -p "$logs"
summary=()
status=0

configure_and_build() {
    local preset=$1 log=$2
    cmake --preset "$preset" >"$log" 2>&1 && cmake --build --preset "$preset" >>"$log" 2>&1 && return 0
    tail -n 40 "$log"
    summary+=("$preset: BUILD FAILED (see $log)")
    status=1
    return 1
}

# run_tests PRESET LOG [ctest options...]
run_tests() {
    local preset=$1 log=$2
    shift 2
    ctest --preset "$preset" "$@" 2>&1 | tee -a "$log"
    local ctest_status=${PIPESTATUS[0]} counts
    counts=$(grep -E '^[0-9]+% tests passed' "$log" | tail -n 1)
    if [ "$ctest_status" -eq 0 ]; then
        summary+=("$preset: passed ($counts)")
    else
        summary+=("$preset: FAILED ($counts; see $log)")
        status=1
    fi
}

# Some kernels refuse 32-bit x86 code altogether; Wine then cannot start a
# 32-bit program, whatever it is.
can_run_32bit_windows_programs() {
    timeout 120 wine "$root/build/win32/bin/text_tests.exe" --gtest_list_tests >/dev/null 2>&1
}

printf '\n== native\n'
if configure_and_build native "$logs/native.log"; then
    run_tests native "$logs/native.log"
fi

printf '\n== win32\n'
if configure_and_build win32 "$logs/win32.log"; then
    if can_run_32bit_windows_programs; then
        run_tests win32 "$logs/win32.log"
    else
        echo "This machine cannot run 32-bit x86 code: only the static checks of the win32 build run."
        run_tests win32 "$logs/win32.log" -L static
        summary[-1]="${summary[-1]} -- static checks only: this machine cannot run 32-bit code"
    fi
fi

printf '\n== win64\n'
if configure_and_build win64 "$logs/win64.log"; then
    run_tests win64 "$logs/win64.log"
fi

wineserver -k >/dev/null 2>&1 || true

printf '\n== Summary\n'
printf '%s\n' "${summary[@]}"
exit $status
