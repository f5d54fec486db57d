#!/usr/bin/env bash
# Runs each fuzz target under libFuzzer (clang, -fsanitize=fuzzer,address,undefined) for a bounded
# time, one after another (each takes one processor): the option record files, the registry file,
# the AVI frame-rate patch and the AVI repair. Not part of scripts/test.sh: the tests only replay
# the seeds of tests/fuzz/<target>/ (the starting inputs and one for every fault found).
#
#   scripts/fuzz.sh [TARGET...]       (default: all)
#
# FUZZ_SECONDS: time per target (default 120). New inputs collect in build/fuzz/corpus/<target>/
# (the seeds stay as they are); a fault leaves its input in build/fuzz/findings/<target>/ and
# makes the script fail. Installs clang and libFuzzer (scripts/packages/fuzz/) when missing.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
seconds=${FUZZ_SECONDS:-120}
build=${VANTOREL_BUILD_DIR:-build}
all=(option_records registry avi_frame_rate avi_repair)
targets=("${@:-${all[@]}}")

mapfile -t wanted < <(sed 's/#.*//' scripts/packages/fuzz/*.txt | tr -s ' \t' '\n' | grep -v '^$' | sort -u)
missing=()
for pkg in "${wanted[@]}"; do
    [[ $(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null) == "install ok installed" ]] || missing+=("$pkg")
done
if ((${#missing[@]})); then
    echo "fuzz: installing ${missing[*]}"
    sudo=""
    [[ $(id -u) -eq 0 ]] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null || exit 1
fi

# Configure again so that the build finds clang, then build only the fuzzers.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null || exit 1
cmake --build "$build" --target fuzzers || exit 1

status=0
for target in "${targets[@]}"; do
    bin=$build/fuzz/fuzz_$target
    seeds=tests/fuzz/$target
    [[ -x $bin && -d $seeds ]] || { echo "fuzz: no target $target" >&2; status=2; continue; }
    corpus=$build/fuzz/corpus/$target findings=$build/fuzz/findings/$target
    mkdir -p "$corpus" "$findings"
    echo "fuzz: $target for ${seconds}s"
    # Inputs up to 64 KiB; an input that takes over 10 s or 2 GiB counts as a fault.
    if ! "$bin" -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="$findings/" -print_final_stats=1 "$corpus" "$seeds" 2>"$build/fuzz/$target.log"; then
        echo "fuzz: $target found a fault; its input is in $findings/ (log: $build/fuzz/$target.log)" >&2
        status=1
    fi
    grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb)' "$build/fuzz/$target.log" | sed "s/^/  /"
done
exit $status
