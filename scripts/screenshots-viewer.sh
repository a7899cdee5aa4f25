#!/usr/bin/env bash
# Takes the pictures of the viewer in Fit and of the wall from the real
# program, against tessaly-democam serving 1920x1080 pictures.
#
#   scripts/screenshots-viewer.sh [--build DIR] [--out DIR] [--scale 2]
#
#   --build DIR  the build whose tessaly and tessaly-democam are used (default build)
#   --out DIR    where the PNG files go (default docs)
#   --scale 2    a high-density screen instead: 3840x2160 with QT_SCALE_FACTOR=2,
#                the pictures named *-hidpi.png
#
# Each picture is a fresh X server under xvfb-run with openbox, 1920x1080
# (3840x2160 with --scale 2): viewer-fit.png is the main window with one
# camera in the viewer at start (Fit), wall.png the window started with
# --wall and 24 cameras. Programs, camera list and settings live in a
# temporary directory; everything started stops at exit.
set -euo pipefail
cd "$(dirname "$0")/.."

build="build"
out="docs"
scale=1
inside=""
while [ $# -gt 0 ]; do
    case "$1" in
        --build) build="${2:?}"; shift 2 ;;
        --out) out="${2:?}"; shift 2 ;;
        --scale) scale="${2:?}"; shift 2 ;;
        --inside) inside="${2:?}"; shift 2 ;; # used by the script itself
        -h | --help) sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$0"; exit 0 ;;
        *) echo "screenshots-viewer: unknown option '$1'" >&2; exit 2 ;;
    esac
done
say() { echo "screenshots-viewer: $*" >&2; }

tessaly="$(realpath -m "$build/src/app/tessaly")"
democam="$(realpath -m "$build/tools/democam/tessaly-democam")"
screen=1920x1080
suffix=""
if [ "$scale" = 2 ]; then
    screen=3840x2160
    suffix="-hidpi"
fi

if [ -z "$inside" ]; then
    bash scripts/install-deps.sh look
    for exe in "$tessaly" "$democam"; do
        [ -x "$exe" ] || { say "$exe is missing; build it first"; exit 1; }
    done
    mkdir -p "$out"
    out="$(realpath "$out")"
    for what in viewer-fit wall; do
        say "taking $what$suffix.png at $screen"
        xvfb-run -a -s "-screen 0 ${screen}x24" \
            bash "$0" --inside "$what" --out "$out" --build "$build" --scale "$scale"
    done
    exit 0
fi

# ---- inside one X server ------------------------------------------------------

what="$inside"
work="$(mktemp -d)"
pids=()
finish() {
    for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap finish EXIT

openbox >"$work/openbox.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.1
done

cameras=24
[ "$what" = viewer-fit ] && cameras=1
"$democam" --port 0 --cameras "$cameras" --size 1920x1080 --change-every 1 --daytime-port 0 \
    >"$work/democam.out" 2>"$work/democam.log" &
pids+=($!)
# shellcheck source=scripts/democam-lib.sh
source scripts/democam-lib.sh
democam_wait_ports "$work/democam.out" "${pids[-1]}" 100 --daytime ||
    { say "the demo camera did not start"; exit 1; }

home="$work/home"
config="$work/config"
mkdir -p "$home" "$config/Northlight Camera Works" "$work/runtime"
chmod 700 "$work/runtime"
{
    printf '\r\n'
    for i in $(seq "$cameras"); do
        printf '[name]Camera %d\r\nhttp://127.0.0.1:%s/cam%d.jpg\r\n1\r\n\r\n' "$i" "$port" "$i"
    done
} >"$home/00camlist.txt"
printf '[Settings]\nshowHelp=0\n' >"$config/Northlight Camera Works/Tessaly.ini"

args=(--open-all)
[ "$what" = wall ] && args+=(--wall)
[ "$scale" = 2 ] && export QT_SCALE_FACTOR=2
TESSALY_HOME="$home" XDG_CONFIG_HOME="$config" XDG_RUNTIME_DIR="$work/runtime" \
    TESSALY_TIME_SERVER="127.0.0.1:$daytime_port" "$tessaly" "${args[@]}" \
    >"$work/tessaly.out" 2>"$work/tessaly.err" &
pids+=($!)

for _ in $(seq 200); do
    xdotool search --onlyvisible --name '^Tessaly by ' >/dev/null 2>&1 && break
    sleep 0.1
done
# A few pictures from every camera.
sleep 8
xdotool mousemove "$(( ${screen%x*} - 40 ))" "$(( ${screen#*x} - 3 ))"
sleep 1
import -window root "$out/$what$suffix.png"
say "took $what$suffix.png"
