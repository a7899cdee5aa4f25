#!/usr/bin/env bash
# End-to-end benchmark: tessaly --record with 24 cameras at a 1-second refresh
# against tessaly-democam serving 1920x1080 pictures that change every second.
#
#   scripts/bench-e2e.sh [--seconds N] [--autosave off|on|keep|detect|both|all] [--cameras N]
#                        [--build DIR] [--no-build]
#
# For each autosave mode it runs the recorder on a temporary program directory
# for N seconds (default 60) and prints pictures per second, the recorder's
# CPU seconds per picture (utime + stime from /proc/<pid>/stat, the recorder
# process only), its share of one core, its peak RSS (VmHWM) and its RSS after
# the first minute and at the end. Before and after each recording, against the
# same demo camera, the floor helper measures what a picture must cost at least:
# a socket read plus one panel-size scaled decode (autosave off), and one full
# decode plus one quality-90 encode (autosave on). "keep" is autosave with
# "Keep the camera's own pictures" on, held to 0.15 x the save floor; "detect"
# is autosave off with change detection on (the other rows run with it off),
# measured beside "off" in the same run: what detection adds is held to one
# panel-size decode of the floor. "both" is off and on, "all" is every row.
# Targets are checked and shown.
# Nothing outside a temporary directory is written; the demo camera stops at exit.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=60
modes="both"
cameras=24
build="build"
do_build=1
while [ $# -gt 0 ]; do
    case "$1" in
    --seconds) seconds="$2"; shift 2 ;;
    --autosave) modes="$2"; shift 2 ;;
    --cameras) cameras="$2"; shift 2 ;;
    --build) build="$2"; shift 2 ;;
    --no-build) do_build=0; shift ;;
    -h | --help) sed -n '2,19p' "$0"; exit 0 ;;
    *) echo "bench-e2e: unknown option $1" >&2; exit 2 ;;
    esac
done
case "$modes" in
off) modes="off" ;; on) modes="on" ;; keep) modes="keep" ;; both) modes="off on" ;;
detect) modes="off detect" ;; all) modes="off detect on keep" ;;
*) echo "bench-e2e: --autosave takes off, on, keep, detect, both or all" >&2; exit 2 ;;
esac
bench_name=bench-e2e
# shellcheck source=scripts/bench-lib.sh
source scripts/bench-lib.sh
# shellcheck source=scripts/democam-lib.sh
source scripts/democam-lib.sh
bench_prepare

work="$(mktemp -d "${TMPDIR:-/tmp}/tessaly-bench.XXXXXX")"
# The picture index keeps its cache under XDG_CACHE_HOME: here, not in your home.
export XDG_CACHE_HOME="$work/cache"
democam_pid=""
cleanup() {
    bench_stop "$recorder_pid"
    bench_stop "$democam_pid"
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

"$democam" --port 0 --cameras "$cameras" --size 1920x1080 --change-every 1 \
    >"$work/democam.out" 2>"$work/democam.log" &
democam_pid=$!
democam_wait_ports "$work/democam.out" "$democam_pid" 100 ||
    { say "the demo camera did not start"; cat "$work/democam.log" >&2; exit 1; }
say "demo camera: $cameras cameras, 1920x1080, new picture every second, port $port"

declare -A result
for mode in $modes; do
    # Before and after every recording: the machine's load drifts, and the
    # ratio is only fair against a floor measured under the same load.
    say "measuring the floor against the same demo camera ..."
    measure_floor
    home="$work/home-$mode"
    write_camlist "$home"
    TESSALY_HOME="$home" "$floor" --set-autosave "$([ "$mode" = on ] || [ "$mode" = keep ] && echo 1 || echo 0)"
    # Detection is its own row: the others run without it, as before it came.
    TESSALY_HOME="$home" XDG_CONFIG_HOME="$home/config" "$tessaly" \
        --keep-original "$([ "$mode" = keep ] && echo on || echo off)" \
        --detect "$([ "$mode" = detect ] && echo on || echo off)" 2>/dev/null

    say "recording with autosave $mode for $seconds s ..."
    record_run "$home" "$work/record-$mode"
    summary="$rec_summary"
    newpics="$(sed 's/.*(\([0-9]*\) new.*/\1/' <<<"$summary")"
    saved="$(sed 's/.*new, \([0-9]*\) saved.*/\1/' <<<"$summary")"
    failed="$(sed 's/.*saved, \([0-9]*\) failed.*/\1/' <<<"$summary")"
    result[$mode]="$rec_pictures $newpics $saved $failed $rec_cpu $rec_hwm $rec_rss60 $rec_rss_end"
    rss_by_minute="$rec_rss_by_minute"
    echo "autosave $mode: $summary" >&2
    [ -z "$rss_by_minute" ] || echo "autosave $mode: RSS at the end of each minute (MB):$rss_by_minute" >&2
done
say "measuring the floor against the same demo camera ..."
measure_floor

floor_ms="$(value floor_ms)"
save_floor_ms="$(value save_floor_ms)"

echo
echo "End-to-end: $cameras cameras, refresh 1 s, 1920x1080 pictures changing every second, $seconds s per mode"
echo "floor (socket read + panel-size decode): $floor_ms ms CPU per picture (read $(value read_ms), decode $(value panel_decode_ms))"
echo "save floor (full decode + q90 encode):   $save_floor_ms ms CPU per picture (decode $(value full_decode_ms), encode $(value encode_ms))"
echo "(floors: mean of ${#floor_runs[@]} runs of the floor helper, before and after each recording)"
printf '%-9s %8s %8s %7s %6s %10s %8s %9s %8s %8s %8s\n' autosave pictures "pics/s" new saved "CPU ms/pic" "x floor" "core %" "peak MB" "RSS@60s" "RSS end"
verdict=0
off_ms=0
if [ -n "${result[off]:-}" ]; then
    read -r pictures _ _ _ cpu _ <<<"${result[off]}"
    off_ms="$(awk -v p="$pictures" -v c="$cpu" 'BEGIN { printf "%.3f", c * 1000 / p }')"
fi
for mode in $modes; do
    read -r pictures newpics saved failed cpu hwm rss60 rss_end <<<"${result[$mode]}"
    line="$(awk -v p="$pictures" -v c="$cpu" -v s="$seconds" -v f="$floor_ms" -v sf="$save_floor_ms" \
        -v m="$mode" -v n="$newpics" -v sv="$saved" -v h="$hwm" -v r60="$rss60" -v re="$rss_end" 'BEGIN {
        ms = c * 1000 / p; ref = (m == "off" || m == "detect") ? f : sf
        r60s = (r60 == "-") ? "-" : sprintf("%.1f", r60 / 1024)
        printf "%-9s %8d %8.1f %7d %6d %10.2f %8.2f %9.1f %8.1f %8s %8.1f\n", m, p, p / s, n, sv, ms, ms / ref, c * 100 / s, h / 1024, r60s, re / 1024
    }')"
    echo "$line"
    ok="$(awk -v p="$pictures" -v c="$cpu" -v s="$seconds" -v f="$floor_ms" -v sf="$save_floor_ms" \
        -v m="$mode" -v h="$hwm" -v offms="$off_ms" -v pd="$(value panel_decode_ms)" 'BEGIN {
        ms = c * 1000 / p
        good = (h / 1024 < 200)
        if (m == "off") good = good && (ms <= 1.5 * f) && (c * 100 / s < 25)
        else if (m == "detect") good = good && (ms - offms <= pd)
        else if (m == "keep") good = good && (ms <= 0.15 * sf)
        else good = good && (ms <= 1.2 * sf)
        print good ? "yes" : "no"
    }')"
    if [ "$ok" = yes ]; then
        echo "          targets met (off: <= 1.5 x floor and < 25% of a core; detect: adds <= one panel decode to off; on: <= 1.2 x save floor; keep: <= 0.15 x save floor; peak RSS < 200 MB)"
    else
        echo "          TARGET MISSED (off: <= 1.5 x floor and < 25% of a core; detect: adds <= one panel decode to off; on: <= 1.2 x save floor; keep: <= 0.15 x save floor; peak RSS < 200 MB)"
        verdict=1
    fi
done
exit "$verdict"
