#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Runs every fuzz target of a fuzzer build for SECONDS seconds (default 30) from its seed corpus,
# one after the other, and fails on the first crash, leak, timeout or oversized allocation. New
# inputs go to a scratch corpus that is removed afterwards; the input that failed is kept as
# BUILD_DIR/fuzz/artifacts/<target>-<kind>-<hash>.
#
# Usage: fuzz/run_smoke.sh BUILD_DIR [SECONDS]
set -eu

build=${1:?usage: $0 BUILD_DIR [SECONDS]}
seconds=${2:-30}
fuzz_dir=$build/fuzz
mkdir -p "$fuzz_dir/artifacts"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Signals of up to 4096 arbitrary samples need about 20 kB of input, batches a few kB. The targets
# that draw their values from the input are typical when it is short, so they get long inputs
# from the start (-len_control=0) instead of libFuzzer's slowly growing limit.
options_of() {
    case $1 in
    fuzz_signal) echo -max_len=32768 -len_control=0 ;;
    fuzz_session) echo -max_len=16384 -len_control=0 ;;
    fuzz_planner_geometry) echo -max_len=4096 -len_control=0 ;;
    *) echo -max_len=4096 ;;
    esac
}

for target in fuzz_lift fuzz_session fuzz_planner_geometry fuzz_signal; do
    mkdir "$scratch/$target"
    log=$scratch/$target.log
    # shellcheck disable=SC2046 # the options are separate words
    if ! "$fuzz_dir/$target" -max_total_time="$seconds" $(options_of $target) \
        -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=512 -print_final_stats=1 \
        -artifact_prefix="$fuzz_dir/artifacts/$target-" \
        "$scratch/$target" "$fuzz_dir/corpus/$target" >"$log" 2>&1; then
        tail -n 80 "$log"
        echo "$target failed; the input is in $fuzz_dir/artifacts/" >&2
        exit 1
    fi
    echo "$target: $(grep '^Done' "$log")"
done
