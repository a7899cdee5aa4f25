#!/usr/bin/env bash
# Builds the Debian package from a fresh build directory and prints the .deb's
# path on the last line. Only the two programs are built (no tests, no
# benchmarks), as a Release build installed under /usr.
# Usage: scripts/package.sh [build-dir]   (default build-package; emptied first)
set -euo pipefail
cd "$(dirname "$0")/.."

build="${1:-build-package}"
bash scripts/install-deps.sh install

if [ -n "$(git status --porcelain --untracked-files=no 2>/dev/null)" ]; then
    echo "package: the work tree has uncommitted changes; they go into the package" >&2
fi

rm -rf "$build"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DTESSALY_BUILD_TESTS=OFF -DTESSALY_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null
(cd "$build" && cpack -G DEB >/dev/null)

debs=("$build"/tessaly_*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
    echo "package: cpack made no single tessaly_*.deb in $build" >&2
    exit 1
fi
realpath "${debs[0]}"
