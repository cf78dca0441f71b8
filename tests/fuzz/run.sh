#!/usr/bin/env bash
# Builds the model-file fuzzer with clang (libFuzzer, address and undefined-behaviour sanitizers), replays
# the regression inputs, then fuzzes for a bounded time from the seed corpus. Each input that reads is
# also loaded and run for a few steps through the engine's C interface (see model_reader_fuzzer.cpp).
# A load or run the engine reports as successful is also checked for plausibility (run_checks.h): each
# violation fails the session like a crash, and its input is kept in the build's findings folder.
# Environment: FUZZ_BUILD (build folder), FUZZ_SECONDS (fuzzing time, default 60), FUZZ_JOBS (compile jobs).
# To replay one input for a given run length: FUZZ_RUN_STEPS=n FUZZ_BUILD/model_reader_fuzzer file.
set -euo pipefail

HERE="$(cd "$(dirname "$0")" && pwd)"
ROOT="$(cd "$HERE/../.." && pwd)"
ENGINE="$ROOT/vuzizi/src"
BUILD="${FUZZ_BUILD:-$ROOT/build-h5-fuzz}"
SECONDS_TO_FUZZ="${FUZZ_SECONDS:-60}"
JOBS="${FUZZ_JOBS:-2}"
CXX="${FUZZ_CXX:-clang++}"
# Slowest input accepted, and memory per run: a model file is small, so both are generous.
INPUT_TIMEOUT_SECONDS=10
RSS_LIMIT_MB=2048
MAX_INPUT_BYTES=65536

FLAGS=(-std=c++20 -g -O1 -fno-omit-frame-pointer -fsanitize=address,undefined -fno-sanitize-recover=all
       -I"$ROOT/engine" -I"$ENGINE" -I"$HERE" -isystem /usr/include/eigen3)

# The whole engine: the reader with every section it knows (the transient ones too), the network
# checks, the steady-state and transient solvers, and the C interface the target loads and runs through.
SOURCES=("$ENGINE"/*.cpp "$ENGINE"/input/*.cpp "$ENGINE"/hydraulics/*.cpp "$ENGINE"/transient/*.cpp)

mkdir -p "$BUILD/obj" "$BUILD/corpus" "$BUILD/crashes"
compile() {  # source object: rebuilt when the source, an engine header or a header beside it is newer
    local source="$1" object="$2"
    if [[ -f "$object" && "$object" -nt "$source" ]] && \
       [[ -z "$(find "$ENGINE" "$ROOT/engine" "$(dirname "$source")" -name '*.h' -newer "$object" -print -quit)" ]]; then
        return 0
    fi
    "$CXX" "${FLAGS[@]}" -fsanitize=fuzzer-no-link -c "$source" -o "$object"
}
export -f compile
export CXX ENGINE ROOT
export FLAGS_TEXT="${FLAGS[*]}"

inputs=("${SOURCES[@]}" "$HERE/model_reader_fuzzer.cpp" "$HERE/run_checks.cpp" "$HERE/model_mutator.cpp")
objects=()
for source in "${inputs[@]}"; do
    relative="${source#"$ROOT"/}"
    objects+=("$BUILD/obj/${relative//\//_}.o")
done
for i in "${!inputs[@]}"; do printf '%s\0%s\0' "${inputs[$i]}" "${objects[$i]}"; done |
    xargs -0 -n 2 -P "$JOBS" bash -c 'FLAGS=($FLAGS_TEXT); compile "$0" "$1"'
"$CXX" "${FLAGS[@]}" -fsanitize=fuzzer "${objects[@]}" -o "$BUILD/model_reader_fuzzer"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0"
export FUZZ_FINDINGS="$BUILD/findings"
rm -rf "$FUZZ_FINDINGS"
VIOLATIONS_FOUND="fuzz checks: violations found"  # the line the target prints after its summary
violations=0
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
FUZZER=("$BUILD/model_reader_fuzzer" -timeout="$INPUT_TIMEOUT_SECONDS" -rss_limit_mb="$RSS_LIMIT_MB")

# Inputs that must keep passing: edge cases written by hand, and every input that once failed.
shopt -s nullglob
regressions=("$HERE"/regressions/*)
if ((${#regressions[@]})); then
    "${FUZZER[@]}" "${regressions[@]}" 2> "$BUILD/regressions.log" || { cat "$BUILD/regressions.log" >&2; exit 1; }
    grep '^fuzz checks' "$BUILD/regressions.log" || true
    if grep -qF "$VIOLATIONS_FOUND" "$BUILD/regressions.log"; then
        violations=1
    else
        echo "fuzz regressions: ${#regressions[@]} inputs replayed clean"
    fi
fi

# Fuzz from the seeds; new inputs go to the build's corpus, never into the source tree.
set +e
"${FUZZER[@]}" -max_total_time="$SECONDS_TO_FUZZ" -max_len="$MAX_INPUT_BYTES" -dict="$HERE/model.dict" \
    -artifact_prefix="$BUILD/crashes/" -print_final_stats=1 "$BUILD/corpus" "$HERE/corpus" "$HERE/regressions" \
    > "$BUILD/fuzz.log" 2>&1
status=$?
set -e
grep -E '^(#[0-9]+[[:space:]]+(INITED|DONE)|stat::|fuzz checks)' "$BUILD/fuzz.log" || true
grep -qF "$VIOLATIONS_FOUND" "$BUILD/fuzz.log" && violations=1
echo "fuzz corpus: $(find "$BUILD/corpus" -type f | wc -l) inputs in the build corpus, $(find "$HERE/corpus" -type f | wc -l) seeds"
if [[ "$status" != 0 ]]; then
    tail -n 60 "$BUILD/fuzz.log" >&2
    echo "the fuzzer found a failing input (saved in $BUILD/crashes/): add it to $HERE/regressions once mended" >&2
    exit "$status"
fi
if ((violations)); then
    echo "a load or run reported as success failed a plausibility check (inputs kept in $FUZZ_FINDINGS)" >&2
    exit 1
fi
