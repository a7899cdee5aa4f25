#!/usr/bin/env bash
# The peer, side by side: motion (Debian package "motion", installed by
# "scripts/install-deps.sh peer") on the demo load, 24 cameras x 1920x1080 x a
# new picture every second, through its netcam snapshot input (one JPEG per
# HTTP request: its own "mjpeg://" netcam client, which takes a camera that
# answers each request with one image/jpeg; "http://" would hand the URL to
# ffmpeg, which reads the first picture only) with its default detection.
#
#   scripts/bench-peer.sh [--seconds N] [--cameras N] [--scene NAME] [--log FILE]
#                         [--build DIR] [--no-build]
#
# It runs motion on a temporary configuration for N seconds (default 60, after
# 15 s of warming up) and prints motion's CPU seconds per picture (utime +
# stime from /proc/<pid>/stat) over the pictures the demo camera made new in
# that time, then Tessaly's recorder on the same load for as long, with
# change detection on and off (target: with it on, at most 0.25 x motion's
# CPU per picture). motion fetches at its lowest frame rate (2 a second), so it sees
# each picture about twice; that is how it runs on such a camera. The scene
# (default walker) is any of tessaly-democam --scene; --log keeps motion's log.
# Nothing of motion is linked or copied; it is only run and measured. Nothing
# outside a temporary directory is written; both servers stop at exit.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=60
cameras=24
scene="walker"
log=""
build="build"
do_build=1
while [ $# -gt 0 ]; do
    case "$1" in
    --seconds) seconds="$2"; shift 2 ;;
    --cameras) cameras="$2"; shift 2 ;;
    --scene) scene="$2"; shift 2 ;;
    --log) log="$2"; shift 2 ;;
    --build) build="$2"; shift 2 ;;
    --no-build) do_build=0; shift ;;
    -h | --help) sed -n '2,19p' "$0"; exit 0 ;;
    *) echo "bench-peer: unknown option $1" >&2; exit 2 ;;
    esac
done
bench_name=bench-peer
# shellcheck source=scripts/bench-lib.sh
source scripts/bench-lib.sh
# shellcheck source=scripts/democam-lib.sh
source scripts/democam-lib.sh
bench_prepare

motion="$(command -v motion || true)"
[ -n "$motion" ] || { say "motion is not installed: scripts/install-deps.sh peer"; exit 1; }

work="$(mktemp -d "${TMPDIR:-/tmp}/tessaly-peer.XXXXXX")"
# The picture index keeps its cache under XDG_CACHE_HOME: here, not in your home.
export XDG_CACHE_HOME="$work/cache"
democam_pid=""
motion_pid=""
cleanup() {
    bench_stop "$motion_pid"
    bench_stop "$recorder_pid"
    bench_stop "$democam_pid"
    if [ -n "$log" ] && [ -f "$work/motion.log" ]; then cp "$work/motion.log" "$log"; fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

"$democam" --port 0 --cameras "$cameras" --size 1920x1080 --change-every 1 --scene "$scene" \
    >"$work/democam.out" 2>"$work/democam.log" &
democam_pid=$!
democam_wait_ports "$work/democam.out" "$democam_pid" 100 ||
    { say "the demo camera did not start"; cat "$work/democam.log" >&2; exit 1; }
say "demo camera: $cameras cameras, 1920x1080, scene $scene, new picture every second, port $port"

# motion's own defaults for detection; only where it writes and listens is set,
# so that it saves nothing and opens no port.
mkdir -p "$work/motion"
{
    echo "daemon off"
    echo "setup_mode off"
    echo "log_file $work/motion.log"
    echo "log_level 6"
    echo "target_dir $work/motion"
    echo "framerate 2"
    # The pictures' own size: motion would otherwise scale every one to 640x480.
    echo "width 1920"
    echo "height 1080"
    echo "picture_output off"
    echo "movie_output off"
    echo "stream_port 0"
    echo "webcontrol_port 0"
    for i in $(seq "$cameras"); do
        echo "camera $work/cam$i.conf"
    done
} >"$work/motion.conf"
for i in $(seq "$cameras"); do
    printf 'camera_id %d\ncamera_name cam%d\nnetcam_url mjpeg://127.0.0.1:%s/cam%d.jpg\n' \
        "$i" "$i" "$port" "$i" >"$work/cam$i.conf"
done

"$motion" -n -c "$work/motion.conf" >"$work/motion.out" 2>&1 &
motion_pid=$!
say "motion $("$motion" -h 2>&1 | sed -n 's/^motion Version \([^ ,]*\).*/\1/p' | head -n 1) warming up for 15 s ..."
sleep 15
kill -0 "$motion_pid" 2>/dev/null || { say "motion ended"; tail -n 20 "$work/motion.log" >&2; exit 1; }
cpu0="$(cpu_seconds "$motion_pid")"
start="$(date +%s.%N)"
sleep "$seconds"
cpu1="$(cpu_seconds "$motion_pid")"
end="$(date +%s.%N)"
kill -0 "$motion_pid" 2>/dev/null || { say "motion ended"; tail -n 20 "$work/motion.log" >&2; exit 1; }
events="$(grep -c -i 'motion detected\|event_new\|Event [0-9]' "$work/motion.log" || true)"

pictures="$(awk -v c="$cameras" -v a="$start" -v b="$end" 'BEGIN { printf "%d", c * (b - a) }')"
motion_ms="$(awk -v a="$cpu0" -v b="$cpu1" -v n="$pictures" 'BEGIN { printf "%.2f", (b - a) * 1000 / n }')"
motion_core="$(awk -v a="$cpu0" -v b="$cpu1" -v s="$start" -v e="$end" \
    'BEGIN { printf "%.0f", (b - a) * 100 / (e - s) }')"

bench_stop "$motion_pid"
motion_pid=""

# Tessaly on the same demo camera for the same time: the recorder with
# detection on and autosave off, then with detection off, so what detection
# costs is seen beside what motion costs.
declare -A tessaly_ms
for detect in on off; do
    home="$work/tessaly-$detect"
    write_camlist "$home"
    TESSALY_HOME="$home" XDG_CONFIG_HOME="$home/config" "$tessaly" --autosave off \
        --detect "$detect" 2>/dev/null
    say "tessaly --record, detection $detect, for $seconds s ..."
    record_run "$home" "$work/tessaly-$detect"
    tessaly_ms[$detect]="$(awk -v c="$rec_cpu" -v n="$rec_pictures" 'BEGIN { printf "%.2f", c * 1000 / n }')"
    [ "$detect" = on ] && changes="$(grep -c ' change started ' "$work/tessaly-on.out" || true)"
done

printf '%-34s %s\n' "load" "$cameras cameras x 1920x1080 x 1/s, scene $scene, $seconds s"
printf '%-34s %s\n' "pictures made new" "$pictures"
printf '%-34s %s ms (%s %% of one core)\n' "motion CPU per picture" "$motion_ms" "$motion_core"
printf '%-34s %s\n' "motion event lines in its log" "$events"
printf '%-34s %s ms (target <= 0.25 x motion: %s ms)\n' "tessaly CPU per picture, detection" \
    "${tessaly_ms[on]}" "$(awk -v m="$motion_ms" 'BEGIN { printf "%.2f", m / 4 }')"
printf '%-34s %s ms\n' "tessaly CPU per picture, no detection" "${tessaly_ms[off]}"
printf '%-34s %s\n' "tessaly changes started" "$changes"
printf '%-34s %s\n' "ratio tessaly / motion" \
    "$(awk -v t="${tessaly_ms[on]}" -v m="$motion_ms" 'BEGIN { printf "%.3f", t / m }')"
