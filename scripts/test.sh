#!/usr/bin/env bash
# Builds every build and runs every test:
#   native  Linux x86-64 with AddressSanitizer and UndefinedBehaviorSanitizer
#   tsan    the worker-thread tests again, with ThreadSanitizer
#   win32   the product (i686); its tests run under 32-bit Wine
#   release scripts/package.sh's zip and installer, installed and played under
#           32-bit Wine (where the machine starts 32-bit Windows programs)
#   win64   the same code for x86-64 Windows, whose tests run under 64-bit Wine
#   fuzz    the libFuzzer targets (clang), each run for a few seconds after
#           its regression cases and seeds; long runs are scripts/fuzz.sh
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

# Wine's 32-bit loader starts where the machine runs 32-bit x86 programs,
# natively or through the emulator the set-up script registers.
wine_runs_32bit_programs() {
    /usr/lib/wine/wine --version >/dev/null 2>&1
}

printf '\n== native\n'
if configure_and_build native "$logs/native.log"; then
    run_tests native "$logs/native.log"
fi

printf '\n== tsan\n'
if configure_and_build tsan "$logs/tsan.log"; then
    run_tests tsan "$logs/tsan.log"
fi

# Every fuzz target for a few seconds; a finding fails the stage.
run_fuzz_smoke() {
    local log=$1 figures
    scripts/fuzz.sh --no-build --smoke --time 5 >>"$log" 2>&1
    local fuzz_status=$?
    figures=$(sed -n '/^== Fuzz figures/,$p' "$log" | tail -n +2)
    printf '%s\n' "$figures"
    if [ "$fuzz_status" -eq 0 ]; then
        summary+=("fuzz: passed (smoke, 5 s per target: $(grep -c '^fuzz_' <<<"$figures") targets, no findings)")
    else
        grep -E '^(FINDING|SUMMARY)' "$log" | head -n 5
        summary+=("fuzz: FAILED (see $log)")
        status=1
    fi
}

printf '\n== fuzz\n'
if configure_and_build fuzz "$logs/fuzz.log"; then
    run_fuzz_smoke "$logs/fuzz.log"
fi

# Wine starts its server and system programs (services.exe, winedevice.exe
# and the like) from the first program that needs them, and they keep that
# program's standard output and error open: a test's, which ctest or the
# test waits on until they end, and one test may keep them up for another.
# A holder started here, its output elsewhere, brings them up first and
# keeps them up while the Windows tests run.
wine_holder= wine_holder_input=
start_wine_holder() {
    local wine=/usr/lib/wine/wine64 fifo
    fifo=$(mktemp -u "$logs/wine-holder.XXXXXX")
    mkfifo "$fifo" || return 0
    # "more" waits for input until the writer, a sleep, is stopped.
    "$wine" cmd.exe /c more <"$fifo" >/dev/null 2>&1 &
    wine_holder=$!
    sleep infinity >"$fifo" 2>/dev/null </dev/null &
    wine_holder_input=$!
    rm -f "$fifo"
    # A program that makes a window brings up the desktop process as well.
    # On a user's first run in a prefix another made, Wine may bring the
    # prefix up to date meanwhile and take the desktop down with it: a test
    # would then start it again and lend it its output. So it is asked for
    # until it stays.
    local attempt
    for attempt in 1 2 3 4 5; do
        "$wine" rundll32.exe user32.dll,GetDesktopWindow </dev/null >/dev/null 2>&1
        sleep 2
        pgrep -u "$(id -u)" -f 'explorer.exe /desktop' >/dev/null && break
    done
}
stop_wine_holder() {
    [ -n "$wine_holder" ] || return 0
    kill "$wine_holder_input" 2>/dev/null
    wait "$wine_holder" 2>/dev/null
}

start_wine_holder
trap stop_wine_holder EXIT

printf '\n== win32\n'
if configure_and_build win32 "$logs/win32.log"; then
    if wine_runs_32bit_programs; then
        run_tests win32 "$logs/win32.log"
    elif command -v qemu-i386 >/dev/null 2>&1; then
        # scripts/wine32 runs each test program under QEMU directly; programs
        # that start other 32-bit programs cannot run that way.
        echo "32-bit programs start only under QEMU here: the command-line tests are left out."
        run_tests win32 "$logs/win32.log" -LE spawns-programs
        summary[-1]="${summary[-1]} -- without the command-line tests: run scripts/setup.sh as root to let this machine start 32-bit programs"
    else
        echo "This machine cannot run 32-bit x86 code: only the static checks of the win32 build run."
        run_tests win32 "$logs/win32.log" -L static
        summary[-1]="${summary[-1]} -- static checks only: this machine cannot run 32-bit code"
    fi
fi

# The release, built by scripts/package.sh, installed, played and
# uninstalled under 32-bit Wine. Its installer is a 32-bit program that the
# test starts among others, as the command-line tests do.
run_release_test() {
    local log=$1 counts
    env VOSKEL_PLAY="$root/build/win32/bin/voskel-play.exe" VOSKEL_PLAY_PLUGINS="$root/build/win32/bin/plugins" \
        VOSKEL_PLAY_SCRATCH="$root/build/win32/test-scratch/release" VOSKEL_PLAY_WINE=/usr/lib/wine/wine \
        VOSKEL_DEMO_DIR="$root/build/win32/demo" \
        python3 tests/release/release_test.py >"$log" 2>&1
    local release_status=$?
    counts=$(grep -E '^Ran [0-9]+ tests?' "$log" | tail -n 1)
    if [ "$release_status" -eq 0 ]; then
        summary+=("release: passed ($counts)")
    else
        tail -n 40 "$log"
        summary+=("release: FAILED ($counts; see $log)")
        status=1
    fi
}

printf '\n== release\n'
if wine_runs_32bit_programs; then
    run_release_test "$logs/release.log"
else
    echo "32-bit Windows programs do not start here: the release test is left out."
    summary+=("release: left out -- this machine cannot start 32-bit Windows programs")
fi

printf '\n== win64\n'
if configure_and_build win64 "$logs/win64.log"; then
    run_tests win64 "$logs/win64.log"
fi

stop_wine_holder
wineserver -k >/dev/null 2>&1 || true

printf '\n== Summary\n'
printf '%s\n' "${summary[@]}"
exit $status
