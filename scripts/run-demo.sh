#!/usr/bin/env bash
# Runs Tessaly against four demo cameras served on this machine.
#
#   scripts/run-demo.sh [arguments for tessaly]
#
# Installs what is missing, builds, starts tessaly-democam (the cameras and a
# daytime clock) on free ports of 127.0.0.1, prepares a demo program directory and a demo settings directory
# under build/demo/ and starts Tessaly on them with the four demo cameras open
# (--open-all comes before your own arguments). Your own camera list, pictures
# and settings are never read or written. The demo camera stops when Tessaly
# exits. Without a display, Tessaly runs under xvfb-run when it is installed.
#
# TESSALY_DEMO_VIEWER names another viewer executable (default build/src/app/tessaly).
set -euo pipefail
cd "$(dirname "$0")/.."

build="build"
demo="$build/demo"
democam="$build/tools/democam/tessaly-democam"
viewer="${TESSALY_DEMO_VIEWER:-$build/src/app/tessaly}"

say() { echo "run-demo: $*" >&2; }
# shellcheck source=scripts/democam-lib.sh
source scripts/democam-lib.sh

bash scripts/install-deps.sh
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
# Only what the demo runs, so the first start does not wait for every test.
targets=(--target tessaly-democam)
if [ -z "${TESSALY_DEMO_VIEWER:-}" ]; then
    targets+=(--target tessaly)
fi
if ! cmake --build "$build" -j"$(nproc)" "${targets[@]}"; then
    say "the build failed; see the messages above"
    exit 1
fi
if [ ! -x "$viewer" ]; then
    say "$viewer was not built; nothing to run"
    exit 1
fi

mkdir -p "$demo/home" "$demo/config/Northlight Camera Works"

# The help window reads Help.rtf from the program directory, which for the demo
# is build/demo/home: without a copy there, Help -> View Help would show nothing.
help_text="$(dirname "$viewer")/Help.rtf"
[ -f "$help_text" ] || help_text="src/app/Help.rtf"
cp "$help_text" "$demo/home/Help.rtf"

# The demo camera, in the background; its first line tells the port.
democam_pid=""
stop_democam() {
    if [ -n "$democam_pid" ] && kill -0 "$democam_pid" 2>/dev/null; then
        kill -TERM "$democam_pid" 2>/dev/null || true
        for _ in $(seq 50); do
            kill -0 "$democam_pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -KILL "$democam_pid" 2>/dev/null || true
        wait "$democam_pid" 2>/dev/null || true
    fi
}
trap stop_democam EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

: >"$demo/democam.out"
# It also tells the time for the clock under the viewer, so the demo needs no Internet.
"$democam" --port 0 --cameras 4 --change-every 2,3,4,5 --daytime-port 0 \
    >"$demo/democam.out" 2>"$demo/democam.log" &
democam_pid=$!

waited=0
democam_wait_ports "$demo/democam.out" "$democam_pid" 150 --daytime || waited=$?
if [ "$waited" = 1 ]; then
    say "tessaly-democam ended before it was listening:"
    cat "$demo/democam.log" >&2
    exit 1
elif [ "$waited" != 0 ]; then
    say "tessaly-democam did not say its ports within 15 s (see $demo/democam.log)"
    exit 1
fi
say "demo cameras on http://127.0.0.1:$port/cam1.jpg ... cam4.jpg"

# The camera list: a leading empty line, then per camera the name line, the URL,
# the refresh in seconds and an empty line, every line ended by CR LF. Written
# anew each run because the port is new each run.
{
    printf '\r\n'
    n=1
    for entry in "Demo Yard:2" "Demo Door:3" "Demo Shop:4" "Demo Weather:5"; do
        printf '[name]%s\r\nhttp://127.0.0.1:%s/cam%d.jpg\r\n%s\r\n\r\n' \
            "${entry%:*}" "$port" "$n" "${entry##*:}"
        n=$((n + 1))
    done
} >"$demo/home/00camlist.txt"

# Per-user settings of the demo: the help window stays closed at start. Other
# settings the demo run has stored are kept.
ini="$demo/config/Northlight Camera Works/Tessaly.ini"
if [ ! -f "$ini" ] || ! grep -q '^\[Settings\]' "$ini"; then
    printf '[Settings]\nshowHelp=0\n' >>"$ini"
elif grep -q '^showHelp=' "$ini"; then
    sed -i 's/^showHelp=.*/showHelp=0/' "$ini"
else
    sed -i 's/^\[Settings\]$/[Settings]\nshowHelp=0/' "$ini"
fi

run=()
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] \
    && [ "${QT_QPA_PLATFORM:-}" != "offscreen" ]; then
    if command -v xvfb-run >/dev/null 2>&1; then
        say "no display: running Tessaly under xvfb-run (nothing will be visible)"
        run=(xvfb-run -a)
    else
        say "no display and no xvfb-run: start a desktop session, or install the"
        say "package xvfb (scripts/install-deps.sh does) to run without one"
        exit 1
    fi
fi

# Not exec: the trap above must still stop the demo camera when Tessaly exits.
status=0
TESSALY_HOME="$PWD/$demo/home" XDG_CONFIG_HOME="$PWD/$demo/config" \
    TESSALY_TIME_SERVER="127.0.0.1:$daytime_port" "${run[@]}" "$viewer" --open-all "$@" || status=$?
exit "$status"
