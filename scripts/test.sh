#!/usr/bin/env bash
# Builds both builds and runs every test: native (with AddressSanitizer and
# UndefinedBehaviorSanitizer), then win32 under Wine. Ends with a summary and
# a non-zero status if anything failed.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

export WINEPREFIX="${WINEPREFIX:-$root/build/wine-prefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

logs="$root/build/test-logs"
mkdir -p "$logs"
summary=()
status=0

run_build() {
    local preset=$1 log="$logs/$1.log"
    printf '\n== %s: configure, build, test\n' "$preset"
    if cmake --preset "$preset" >"$log" 2>&1 &&
       cmake --build --preset "$preset" >>"$log" 2>&1; then
        ctest --preset "$preset" 2>&1 | tee -a "$log"
        local ctest_status=${PIPESTATUS[0]}
        local counts
        counts=$(grep -E '^[0-9]+% tests passed' "$log" | tail -n 1)
        if [ "$ctest_status" -eq 0 ]; then
            summary+=("$preset: passed ($counts)")
        else
            summary+=("$preset: FAILED ($counts; see $log)")
            status=1
        fi
    else
        tail -n 40 "$log"
        summary+=("$preset: BUILD FAILED (see $log)")
        status=1
    fi
}

run_build native
run_build win32

printf '\n== Summary\n'
printf '%s\n' "${summary[@]}"
exit $status
