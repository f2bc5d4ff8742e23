#!/usr/bin/env bash
# Builds the libFuzzer targets with clang++ in build-fuzz/ (FUZZ_BUILD_DIR overrides) and runs
# them one after the other from fresh seeds plus the corpus kept from earlier runs.
#
#   fuzz.sh [--smoke] [--seconds N] [TARGET...]
#
#   --smoke       10 seconds per target; without clang++ and its libFuzzer runtime it says so
#                 and succeeds, so that CI can call it everywhere
#   --seconds N   time per target (default 240: twenty-four minutes for the six targets)
#   TARGET        local_conversion, body_decoder, masters, xml_to_cii, cii_to_xml, mail_message
#                 (default: all)
#
# Every run uses -timeout=10 (an input that takes longer is a finding) and leak detection. The
# exit status is 1 when a target found a crash, a hang or a leak; the input that caused it is
# in build-fuzz/artifacts/. Each target's summary (executions, coverage, corpus) is printed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}
seconds=240
smoke=0
targets=()
while [[ $# -gt 0 ]]; do
    case $1 in
        --smoke) smoke=1; seconds=10; shift ;;
        --seconds) seconds=$2; shift 2 ;;
        local_conversion|body_decoder|masters|xml_to_cii|cii_to_xml|mail_message) targets+=("$1"); shift ;;
        *) echo "fuzz.sh: unknown argument $1" >&2; exit 2 ;;
    esac
done
[[ ${#targets[@]} -gt 0 ]] || targets=(local_conversion body_decoder masters xml_to_cii cii_to_xml mail_message)

# clang++ and its libFuzzer runtime: a program with an empty target must link.
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }' > "$probe/probe.cpp"
if ! command -v clang++ >/dev/null \
   || ! clang++ -fsanitize=fuzzer,address,undefined "$probe/probe.cpp" -o "$probe/probe" >/dev/null 2>&1; then
    if [[ $smoke -eq 1 ]]; then
        echo "fuzz.sh: clang++ with libFuzzer is not installed; the fuzz smoke run is skipped"
        exit 0
    fi
    echo "fuzz.sh: clang++ with libFuzzer is needed (Debian: apt-get install clang libclang-rt-14-dev)" >&2
    exit 2
fi

cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DEDI_BUILD_FUZZ=ON -DEDI_BUILD_TESTS=OFF -DEDI_BUILD_BENCH=OFF >/dev/null
if ! cmake --build "$build" -j "$(nproc)" --target edi-fuzz-seeds "${targets[@]/#/fuzz_}" >"$build/build.log" 2>&1; then
    tail -30 "$build/build.log" >&2
    exit 2
fi

rm -rf "$build/seeds"
"$build/fuzz/edi-fuzz-seeds" "$build/seeds"
mkdir -p "$build/artifacts"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
status=0
for target in "${targets[@]}"; do
    corpus=$build/corpus/$target
    mkdir -p "$corpus"
    options=(-timeout=10 -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=1
             -artifact_prefix="$build/artifacts/$target-")
    # Storage mode S needs inputs above one 32001-byte block to reach its continuation blocks.
    [[ $target == local_conversion || $target == cii_to_xml ]] && options+=(-max_len=70000)
    [[ $target == xml_to_cii ]] && options+=(-dict="$root/fuzz/xml.dict")
    log=$build/artifacts/$target.log
    echo "== $target: $seconds s"
    if "$build/fuzz/fuzz_$target" "${options[@]}" "$corpus" "$build/seeds/$target" >"$log" 2>&1; then
        grep -E '^#[0-9]+[[:space:]]+DONE|^stat::(number_of_executed_units|peak_rss_mb)' "$log" || true
    else
        status=1
        echo "fuzz.sh: $target found a problem; see $log" >&2
        grep -E 'ERROR|SUMMARY|Test unit written' "$log" >&2 || tail -20 "$log" >&2
    fi
done
exit $status
