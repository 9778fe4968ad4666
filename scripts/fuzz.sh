#!/usr/bin/env bash
# Runs the libFuzzer targets of the fuzz preset (clang-14, ASan, UBSan) and
# prints a figure for each: executions, coverage, corpus, findings.
#
#   scripts/fuzz.sh [--time SECONDS] [--smoke] [--no-build] [TARGET...]
#
# TARGET is text_string, extension_list or extract (default: all three, one
# after another). Each run first executes every input of the target's
# regression folder (fuzz/regressions/TARGET: earlier findings, kept) and its
# seeds (build/fuzz/seeds/TARGET), then fuzzes for SECONDS (default 600).
# The corpus grows in build/fuzz/corpus/TARGET and is kept for the next
# run; --smoke uses a throwaway corpus instead (what scripts/test.sh runs).
# Findings land in build/fuzz/findings/TARGET/; move each into the
# regression folder once it is fixed. Exit status 1 if anything was found.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

seconds=600 smoke=0 build=1 targets=()
while [ $# -gt 0 ]; do
    case $1 in
        --time) seconds=$2; shift 2 ;;
        --smoke) smoke=1; shift ;;
        --no-build) build=0; shift ;;
        -h|--help) sed -n '2,15p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        text_string|extension_list|extract) targets+=("$1"); shift ;;
        *) echo "fuzz.sh: unknown argument $1" >&2; exit 2 ;;
    esac
done
[ ${#targets[@]} -gt 0 ] || targets=(text_string extension_list extract)

out="$root/build/fuzz"
if [ $build -eq 1 ]; then
    cmake --preset fuzz >/dev/null && cmake --build --preset fuzz >/dev/null || {
        echo "fuzz.sh: the fuzz build failed (cmake --build --preset fuzz)" >&2
        exit 2
    }
fi

# The extraction target writes a file or two per input: a memory-backed
# folder keeps that cheap.
scratch=${VOSKEL_FUZZ_TMPDIR:-/dev/shm}
[ -d "$scratch" ] && [ -w "$scratch" ] || scratch=${TMPDIR:-/tmp}

status=0
figures=()
for target in "${targets[@]}"; do
    findings="$out/findings/$target"
    mkdir -p "$findings"
    if [ $smoke -eq 1 ]; then
        corpus=$(mktemp -d)
    else
        corpus="$out/corpus/$target"
        mkdir -p "$corpus"
    fi
    max_len=4096
    [ "$target" = extract ] && max_len=65536
    log="$out/fuzz-$target.log"
    # A copy runs, so that the build may be redone meanwhile.
    mkdir -p "$out/running"
    program=$(mktemp "$out/running/fuzz_$target.XXXXXX")
    cp "$out/bin/fuzz_$target" "$program" && chmod +x "$program"
    before=$(find "$findings" -type f | wc -l)
    inputs=("$corpus")
    for folder in "$root/fuzz/regressions/$target" "$out/seeds/$target"; do
        [ -d "$folder" ] && inputs+=("$folder")
    done

    printf '\n== fuzz_%s for %ss\n' "$target" "$seconds"
    TMPDIR=$scratch "$program" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=4096 -max_len=$max_len \
        -print_final_stats=1 -artifact_prefix="$findings/" \
        "${inputs[@]}" >"$log" 2>&1
    run_status=$?
    rm -f "$program"
    [ $smoke -eq 1 ] && rm -rf "$corpus"

    found=$(( $(find "$findings" -type f | wc -l) - before ))
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    status_line=$(grep -E '^#[0-9]+.*cov: ' "$log" | tail -n 1)
    coverage=$(sed -n 's/.*cov: \([0-9]*\) ft: \([0-9]*\) corp: \([0-9]*\)\/.*/\1 edges, \2 features, corpus of \3/p' <<<"$status_line")
    rate=$(sed -n 's/.*exec\/s: \([0-9]*\).*/\1/p' <<<"$status_line")
    grep -E '^(FINDING|SUMMARY)' "$log" | head -n 5
    if [ $run_status -ne 0 ] || [ "$found" -gt 0 ]; then
        status=1
        tail -n 30 "$log"
    fi
    figure="fuzz_$target: ${executions:-?} executions (${rate:-?}/s), ${coverage:-no coverage line}, findings: $found"
    [ $run_status -ne 0 ] && [ "$found" -eq 0 ] && figure="$figure, stopped with status $run_status"
    echo "$figure"
    figures+=("$figure")
done

printf '\n== Fuzz figures (%ss per target%s)\n' "$seconds" "$([ $smoke -eq 1 ] && echo ', smoke')"
printf '%s\n' "${figures[@]}"
exit $status
