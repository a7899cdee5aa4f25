#!/usr/bin/env bash
# Retakes docs/review-window.png: the review window over a day of demo
# pictures, on a fresh X server.
#
#   scripts/review-screenshot.sh [--build DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${2:-build}"
[ "${1:-}" = "--build" ] || build="build"
cmake --build "$build" -j2 --target tessaly-review-shot
xvfb-run -a -s "-screen 0 1280x900x24" "$build/tools/reviewshot/tessaly-review-shot" docs/review-window.png
