#!/usr/bin/env bash
# Fails when a C++ file of the repository differs from what clang-format makes
# of it (the repository's .clang-format), and names the files.
#   scripts/check-format.sh          check every tracked .cpp and .h
#   scripts/check-format.sh --fix    reformat them instead
set -euo pipefail
cd "$(dirname "$0")/.."

if ! command -v clang-format >/dev/null 2>&1; then
    echo "check-format: clang-format is missing; run: bash scripts/install-deps.sh format" >&2
    exit 1
fi
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = "--fix" ]; then
    clang-format -i "${files[@]}"
    exit 0
fi
drifted=()
for f in "${files[@]}"; do
    if ! clang-format --dry-run --Werror "$f" >/dev/null 2>&1; then
        drifted+=("$f")
    fi
done
if [ ${#drifted[@]} -gt 0 ]; then
    echo "check-format: ${#drifted[@]} file(s) differ from clang-format's layout:" >&2
    printf '  %s\n' "${drifted[@]}" >&2
    echo "check-format: run scripts/check-format.sh --fix and commit the result" >&2
    exit 1
fi
echo "check-format: ${#files[@]} files formatted"
