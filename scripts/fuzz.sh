#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz/ and runs each one for
# a bounded time on its seed corpus (tests/data/fuzz/<target>/).
# Usage: scripts/fuzz.sh [target...]     FUZZ_SECONDS=N (default 45) per target.
# New inputs go to build-fuzz/corpus/<target>/, never into the committed seeds;
# a crash leaves its input in build-fuzz/findings/ and fails the script.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${FUZZ_SECONDS:-45}"
build="${FUZZ_BUILD_DIR:-build-fuzz}"
bash scripts/install-deps.sh fuzz

CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTESSALY_FUZZ=ON -DTESSALY_BUILD_TESTS=OFF -DTESSALY_BUILD_BENCHMARKS=OFF >/dev/null
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    # Targets whose library is not built yet are not listed.
    mapfile -t targets < <(grep -v '^$' "$build/fuzz-targets.txt")
fi
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"

mkdir -p "$build/findings"
failed=0
for t in "${targets[@]}"; do
    seeds="tests/data/fuzz/${t#fuzz_}"
    corpus="$build/corpus/${t#fuzz_}"
    mkdir -p "$corpus" "$seeds"
    echo "fuzz: $t for ${seconds}s"
    # Leak checking stays on for every input: libFuzzer checks each one that
    # mallocs more than it frees, and a leaking input is a finding. The check
    # LeakSanitizer adds at exit is off: it only sees what Qt's globals hold
    # while they are torn down, and its tracer once crashed there after the
    # fuzzing was over, failing a clean run at random.
    # A single allocation over 512 MB is a finding of its own, long before the
    # RSS limit: no picture within the pixel limit needs one.
    if ! ASAN_OPTIONS="detect_leaks=1:leak_check_at_exit=0:abort_on_error=1" \
        QT_QPA_PLATFORM=offscreen \
        "$build/fuzz/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
            -malloc_limit_mb=512 \
            -artifact_prefix="$build/findings/${t}-" -print_final_stats=1 \
            "$corpus" "$seeds" >"$build/findings/$t.log" 2>&1; then
        echo "fuzz: $t FAILED, see $build/findings/$t.log"
        tail -n 40 "$build/findings/$t.log"
        failed=1
    else
        grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb' "$build/findings/$t.log" |
            tr '\n' ' '
        echo
    fi
done
exit "$failed"
