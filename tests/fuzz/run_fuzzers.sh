#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for FUZZ_SECONDS (default 60) each, one
# after the other, and prints one summary line per target. New inputs go to a
# working corpus in the build folder (seeded from tests/fuzz/corpus, which is never
# written); crashes, leaks and time-outs go to <build>/artifacts/<target>/.
# Exit status: 0 when no target found a fault.
#
#   tests/fuzz/run_fuzzers.sh BUILD_DIR [TARGET...]   (default: every target built)
set -uo pipefail

build=${1:?usage: run_fuzzers.sh BUILD_DIR [TARGET...]}
shift
seconds=${FUZZ_SECONDS:-60}
source_dir=$(cd "$(dirname "$0")" && pwd)
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for program in "$build"/tests/fuzz/*_fuzzer; do
        [ -x "$program" ] && targets+=("$(basename "$program" _fuzzer)")
    done
fi
if [ ${#targets[@]} -eq 0 ]; then
    echo "no fuzz targets built in $build/tests/fuzz"
    exit 1
fi

# The first stat line libFuzzer prints for a key, from the final statistics.
final_stat() {
    grep -m1 "^stat::$2:" "$1" | awk '{print $2}'
}

# Options of single targets. The SIP target keeps calls from one input to the next,
# so most inputs end with more memory held than they started with; checking for
# leaks after each such input halves its speed, so its leaks are found when the run
# ends instead (LeakSanitizer then fails the run). A wave file is read in 3-second
# chunks, so its inputs may be longer.
options_of() {
    case "$1" in
    sip_datagram) echo "-detect_leaks=0" ;;
    wave_file) echo "-max_len=70000" ;;
    esac
}

# cov: and ft: of the last status line.
last_status() {
    grep -E "^#[0-9]+" "$1" | tail -1 | sed -nE "s/.* $2: ([0-9]+).*/\1/p"
}

faults=0
for target in "${targets[@]}"; do
    program="$build/tests/fuzz/${target}_fuzzer"
    work="$build/corpus/$target"
    artifacts="$build/artifacts/$target"
    log="$build/logs/$target.log"
    mkdir -p "$work" "$artifacts" "$(dirname "$log")"
    if [ ! -x "$program" ]; then
        echo "$target: not built ($program)"
        faults=$((faults + 1))
        continue
    fi
    before=$(find "$artifacts" -type f | wc -l)
    # shellcheck disable=SC2046
    "$program" -max_total_time="$seconds" -print_final_stats=1 -timeout=20 -rss_limit_mb=2048 -max_len=16384 \
        -artifact_prefix="$artifacts/" $(options_of "$target") "$work" "$source_dir/corpus/$target" >"$log" 2>&1
    status=$?
    found=$(( $(find "$artifacts" -type f | wc -l) - before ))
    [ $status -eq 0 ] || [ $found -gt 0 ] || found=1
    faults=$((faults + found))
    printf '%s: %s execs, %s exec/s, cov %s, ft %s, corpus %s, crashes %s, exit %s (log %s)\n' "$target" \
        "$(final_stat "$log" number_of_executed_units)" "$(final_stat "$log" average_exec_per_sec)" \
        "$(last_status "$log" cov)" "$(last_status "$log" ft)" "$(find "$work" -type f | wc -l)" "$found" "$status" "$log"
done
[ $faults -eq 0 ]
