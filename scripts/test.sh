#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test with ctest.
# Usage: scripts/test.sh [build-dir]   (ENABLE_SANITIZERS=ON in the environment
# builds with AddressSanitizer and UBSan; TESSALY_WERROR=ON makes warnings errors)
set -euo pipefail
cd "$(dirname "$0")/.."

build="${1:-build}"
bash scripts/install-deps.sh web

sanitizers="${ENABLE_SANITIZERS:-OFF}"
# Benchmarks are not tests: a sanitizer build has no use for them.
benchmarks=ON
if [ "$sanitizers" = ON ]; then
    benchmarks=OFF
fi
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DENABLE_SANITIZERS="$sanitizers" -DTESSALY_BUILD_BENCHMARKS="$benchmarks" \
    -DTESSALY_WERROR="${TESSALY_WERROR:-OFF}" >/dev/null
cmake --build "$build" -j"$(nproc)"
QT_QPA_PLATFORM=offscreen ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
