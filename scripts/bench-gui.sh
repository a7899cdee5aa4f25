#!/usr/bin/env bash
# Window benchmark: the real main window with 24 cameras open, at a 1-second
# refresh, against tessaly-democam serving 1920x1080 pictures that change every
# second; the first camera (panel 0) is the selected one, as at every start.
#
#   scripts/bench-gui.sh [--seconds N] [--build DIR] [--no-build] [--perf FILE] [--wall]
#                        [--minimized] [--autosave on] [--slow-disk MS] [--detect on|off]
#
# In the normal view 16 panels are in sight on the 1920x1080 screen and 8 are
# scrolled out of it; those get no decode, nor does the viewer's camera beyond
# its own full one.
#
# --autosave on saves every new picture (24 a second) into the temporary cam/;
# --slow-disk MS (with it) makes every write of the saver's writer thread
# ("tessaly-saver") stall MS milliseconds, through strace's syscall delay
# injection on that one thread: a disk that slow, with nothing mocked. The
# files saved and the pictures the full save queue dropped are printed.
#
# --detect on switches change detection on (the default is off here, so the
# rows measure what the window decodes for the screen): every camera is then
# judged on a panel-size decode, in sight or not, and the CPU target becomes
# 1 x floor plus the 0.3 ms the detector may add per picture.
#
# --wall starts the window with the wall of all cameras (tessaly --wall): 24
# tiles of 5 x 5 on the 1920x1080 screen, each picture decoded at its tile's
# size; the floor then decodes at that size (364x205) instead of a panel's.
#
# --minimized minimises the window through a window manager (openbox, started
# on the X server for this run) as soon as it shows, as a user would, and
# measures it minimised: nothing is decoded for the screen, only checked.
# Tessaly runs under xvfb-run (a real X server paints what a desktop would;
# without xvfb-run it falls back to QT_QPA_PLATFORM=offscreen and says so) on a
# temporary program directory and settings directory, with --open-all and the
# event-loop lag probe on. After a warm-up it measures for N seconds (default
# 60) and prints the window process's CPU per picture (utime + stime from
# /proc/<pid>/stat over the pictures the window counted in the same span), its
# share of one core, its peak RSS (VmHWM), its RSS after the first minute (or
# half the run, when shorter) and at the end, and the event-loop lag p50, p99
# and max (from the moment the window shows, warm-up included). Beside them the floor, measured against the same demo camera before
# and after by tessaly-bench-floor: a socket read plus one panel-size decode.
# Targets: CPU per picture <= 0.85 x floor in the normal view, 0.15 x floor
# minimised, 1.3 x floor on the wall or with autosave on; lag p99 < 30 ms and max < 100 ms,
# peak RSS < 200 MB and RSS at the end no more than 10 MB above the first
# reading. Exits 1 when one is missed.
# --perf FILE records a perf profile of the window while it is measured (perf
# record options from BENCH_GUI_PERF_OPTIONS, default -g).
# Nothing outside a temporary directory is written (but FILE); everything
# started stops at exit.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=60
build="build"
do_build=1
perf_file=""
wall=0
minimized=0
autosave=off
detect=off
slow_disk_ms=""
while [ $# -gt 0 ]; do
    case "$1" in
    --seconds) seconds="$2"; shift 2 ;;
    --build) build="$2"; shift 2 ;;
    --no-build) do_build=0; shift ;;
    --perf) perf_file="$2"; shift 2 ;;
    --wall) wall=1; shift ;;
    --autosave) autosave="$2"; shift 2 ;;
    --detect) detect="$2"; shift 2 ;;
    --slow-disk) slow_disk_ms="$2"; shift 2 ;;
    --minimized) minimized=1; shift ;;
    -h | --help) sed -n '2,43p' "$0"; exit 0 ;;
    *) echo "bench-gui: unknown option $1" >&2; exit 2 ;;
    esac
done
bench_name=bench-gui
# shellcheck source=scripts/bench-lib.sh
source scripts/bench-lib.sh
# shellcheck source=scripts/democam-lib.sh
source scripts/democam-lib.sh
bench_prepare

cameras=24
warmup=10
window_args=(--open-all)
floor_what="panel-size decode"
view="panel 0 selected, 8 panels scrolled out of sight"
# CPU per picture allowed, as a multiple of the floor.
target=0.85
if [ "$wall" = 1 ]; then
    window_args+=(--wall)
    # The picture in one of 5 x 5 tiles of the window's client area at 1920x1080.
    floor_decode_size=364x205
    floor_what="tile-size ($floor_decode_size) decode"
    view="the wall of all 24 cameras"
    target=1.3
fi
if [ -n "$slow_disk_ms" ]; then
    [ "$autosave" = on ] || { say "--slow-disk needs --autosave on"; exit 2; }
    command -v strace >/dev/null 2>&1 || bash scripts/install-deps.sh bench
    view="$view, autosave on, every write stalled $slow_disk_ms ms"
elif [ "$autosave" = on ]; then
    view="$view, autosave on"
fi
[ "$autosave" = on ] && target=1.3
if [ "$minimized" = 1 ]; then
    command -v xvfb-run >/dev/null 2>&1 || { say "--minimized needs xvfb-run"; exit 2; }
    for tool in openbox xdotool xprop; do
        command -v "$tool" >/dev/null 2>&1 || { bash scripts/install-deps.sh look; break; }
    done
    view="$view, window minimised"
    target=0.15
fi
extra_ms=0
if [ "$detect" = on ]; then
    view="$view, change detection on"
    target="$(awk -v t="$target" 'BEGIN { print (t < 1) ? 1 : t }')"
    extra_ms=0.3
fi
work="$(mktemp -d "${TMPDIR:-/tmp}/tessaly-bench-gui.XXXXXX")"
# The picture index keeps its cache under XDG_CACHE_HOME: here, not in your home.
export XDG_CACHE_HOME="$work/cache"
strace_pid=""
democam_pid=""
runner_pid=""
window_pid=""
perf_pid=""
cleanup() {
    bench_stop "$strace_pid"
    bench_stop "$perf_pid"
    bench_stop "$window_pid"
    bench_stop "$runner_pid"
    bench_stop "$democam_pid"
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# The cameras, and a daytime clock so the window's time label stays on this machine.
"$democam" --port 0 --cameras "$cameras" --size 1920x1080 --change-every 1 --daytime-port 0 \
    >"$work/democam.out" 2>"$work/democam.log" &
democam_pid=$!
democam_wait_ports "$work/democam.out" "$democam_pid" 100 --daytime ||
    { say "the demo camera did not start"; cat "$work/democam.log" >&2; exit 1; }
say "demo camera: $cameras cameras, 1920x1080, new picture every second, port $port"

now() { date +%s.%N; }


say "measuring the floor against the same demo camera ..."
measure_floor

home="$work/home"
config="$work/config"
mkdir -p "$home" "$config/Northlight Camera Works" "$work/runtime"
chmod 700 "$work/runtime"
{
    printf '\r\n'
    for i in $(seq "$cameras"); do
        printf '[name]Demo %d\r\nhttp://127.0.0.1:%s/cam%d.jpg\r\n1\r\n\r\n' "$i" "$port" "$i"
    done
} >"$home/00camlist.txt"
# The help window stays closed, as for anyone who has unticked "Show at Startup".
printf '[Settings]\nshowHelp=0\n' >"$config/Northlight Camera Works/Tessaly.ini"
if [ "$autosave" = on ]; then
    TESSALY_HOME="$home" XDG_CONFIG_HOME="$config" QT_QPA_PLATFORM=offscreen \
        "$tessaly" --autosave on --min-free 0 >/dev/null 2>&1 ||
        { say "autosave could not be stored"; exit 1; }
fi
TESSALY_HOME="$home" XDG_CONFIG_HOME="$config" QT_QPA_PLATFORM=offscreen \
    "$tessaly" --detect "$detect" >/dev/null 2>&1 || { say "--detect could not be stored"; exit 1; }

report="$work/lag.txt"
run=()
if command -v xvfb-run >/dev/null 2>&1; then
    run=(xvfb-run -a -s "-screen 0 1920x1080x24")
    painter="xvfb-run"
else
    export QT_QPA_PLATFORM=offscreen
    painter="offscreen (no xvfb-run: painting is cheaper than on a real display)"
fi
say "window under $painter, ${window_args[*]}, warm-up $warmup s, then $seconds s"
# The shell in between tells the window's own process id before it becomes the
# window, and the display it is on; minimised, it starts the window manager first.
# shellcheck disable=SC2016 # expanded by that shell
inner='echo "$DISPLAY $XAUTHORITY" >"$0.display"
if [ "$BENCH_WM" = 1 ]; then
    openbox >/dev/null 2>&1 &
    for _ in $(seq 100); do
        xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
        sleep 0.1
    done
fi
echo $$ >"$0"
exec "$@"'
TESSALY_HOME="$home" XDG_CONFIG_HOME="$config" XDG_RUNTIME_DIR="$work/runtime" \
    TESSALY_TIME_SERVER="127.0.0.1:$daytime_port" TESSALY_LAG_PROBE="$report" BENCH_WM="$minimized" \
    "${run[@]}" sh -c "$inner" "$work/window.pid" "$tessaly" "${window_args[@]}" \
    >"$work/window.out" 2>"$work/window.err" &
runner_pid=$!
for _ in $(seq 100); do
    [ -s "$work/window.pid" ] && break
    sleep 0.1
done
window_pid="$(cat "$work/window.pid" 2>/dev/null || true)"
[ -n "$window_pid" ] || { say "the window did not start"; cat "$work/window.err" >&2; exit 1; }

alive() {
    kill -0 "$window_pid" 2>/dev/null && return 0
    say "the window died"
    cat "$work/window.err" >&2
    exit 1
}
if [ "$minimized" = 1 ]; then
    read -r display xauthority <"$work/window.pid.display"
    x() { DISPLAY="$display" XAUTHORITY="$xauthority" "$@"; }
    window_id="$(x timeout 30 xdotool search --sync --onlyvisible --pid "$window_pid" \
        --name '^Tessaly by ' 2>/dev/null | head -n 1 || true)"
    [ -n "$window_id" ] || { alive; say "the window never showed"; exit 1; }
    x timeout 10 xdotool windowminimize --sync "$window_id" || true
    x xprop -id "$window_id" WM_STATE | grep -q 'Iconic' ||
        { say "the window manager did not minimise the window"; exit 1; }
    say "window $window_id minimised by the window manager"
fi
tally() { sed -n "s/.* $1=\([0-9.]*\).*/\1/p" "$report" 2>/dev/null; }
# The probe rewrites its report once a second: wait for a fresh one and read
# the process's CPU at once, so the pictures and the CPU belong together.
snapshot() {
    local before
    before="$(stat -c %Y.%y "$report" 2>/dev/null || true)"
    for _ in $(seq 40); do
        [ "$(stat -c %Y.%y "$report" 2>/dev/null || true)" != "$before" ] && break
        sleep 0.05
    done
    printf '%s %s %s\n' "$(cpu_seconds "$window_pid")" "$(tally pictures)" "$(now)"
}

# Warm-up: the splash window, the first layout and the first picture of every
# camera come once per start, not once per picture.
for _ in $(seq 300); do
    alive
    [ "$(tally pictures)" ] && [ "$(tally pictures)" -gt 0 ] && break
    sleep 0.1
done
[ "$(tally pictures)" ] && [ "$(tally pictures)" -gt 0 ] ||
    { say "no pictures in the window after 30 s"; cat "$work/window.err" >&2; exit 1; }
if [ -n "$slow_disk_ms" ]; then
    saver_tid=""
    for _ in $(seq 100); do
        saver_tid="$(grep -l '^tessaly-saver$' /proc/"$window_pid"/task/*/comm 2>/dev/null |
            head -n 1 | cut -d/ -f5)"
        [ -n "$saver_tid" ] && break
        sleep 0.1
    done
    [ -n "$saver_tid" ] || { say "no writer thread found"; exit 1; }
    strace -qq -p "$saver_tid" -e trace=write,pwrite64,writev \
        -e inject=write,pwrite64,writev:delay_enter=$((slow_disk_ms * 1000)) \
        -o /dev/null 2>"$work/strace.log" &
    strace_pid=$!
    say "every write of the writer thread $saver_tid stalls $slow_disk_ms ms"
fi
sleep "$warmup"
alive
read -r cpu0 pics0 t0 <<<"$(snapshot)"
saved0="$(tally saved)"
dropped0="$(tally dropped)"
lag_start="$(head -n 1 "$report")"
if [ -n "$perf_file" ]; then
    # shellcheck disable=SC2086 # the options are words
    perf record ${BENCH_GUI_PERF_OPTIONS:--g} -o "$perf_file" -p "$window_pid" 2>"$work/perf.log" &
    perf_pid=$!
fi

rss_mark=$((seconds < 120 ? seconds / 2 : 60))
rss_first=""
rss_by_minute=""
for ((t = 1; t <= seconds; t++)); do
    sleep 1
    alive
    if [ "$t" = "$rss_mark" ]; then rss_first="$(status_kb "$window_pid" VmRSS)"; fi
    if ((t % 60 == 0)); then rss_by_minute+=" $(($(status_kb "$window_pid" VmRSS) / 1024))"; fi
done
read -r cpu1 pics1 t1 <<<"$(snapshot)"
saved1="$(tally saved)"
dropped1="$(tally dropped)"
if [ -n "$perf_pid" ]; then
    kill -INT "$perf_pid" 2>/dev/null || true
    wait "$perf_pid" 2>/dev/null || true
    perf_pid=""
    say "perf profile of the window in $perf_file"
fi
hwm="$(status_kb "$window_pid" VmHWM)"
rss_end="$(status_kb "$window_pid" VmRSS)"
lag_end="$(head -n 1 "$report")"
bench_stop "$window_pid"
window_pid=""
bench_stop "$runner_pid"
runner_pid=""

say "measuring the floor against the same demo camera ..."
measure_floor
floor_ms="$(value floor_ms)"

lag_value() { sed -n "s/.* $1=\([0-9.]*\).*/\1/p" <<<"$lag_end"; }
p50="$(lag_value p50)"
p99="$(lag_value p99)"
lag_max="$(lag_value max)"
pictures=$((pics1 - pics0))
[ "$pictures" -gt 0 ] || { say "no pictures counted while measuring"; exit 1; }

echo
echo "Window: $cameras cameras open, refresh 1 s, 1920x1080 pictures changing every second, $view, $painter"
echo "floor (socket read + $floor_what): $floor_ms ms CPU per picture (read $(value read_ms), decode $(value panel_decode_ms); mean of ${#floor_runs[@]} runs, before and after)"
awk -v c0="$cpu0" -v c1="$cpu1" -v t0="$t0" -v t1="$t1" -v p="$pictures" -v f="$floor_ms" \
    -v h="$hwm" -v r1="$rss_first" -v re="$rss_end" -v mark="$rss_mark" 'BEGIN {
    cpu = c1 - c0; span = t1 - t0; ms = cpu * 1000 / p
    printf "measured %.1f s after warm-up: %d pictures (%.1f per s)\n", span, p, p / span
    printf "CPU per picture %.2f ms = %.2f x floor; %.1f%% of a core\n", ms, ms / f, cpu * 100 / span
    printf "peak RSS %.1f MB; RSS %.1f MB at %d s, %.1f MB at the end\n", h / 1024, r1 / 1024, mark, re / 1024
}'
echo "event-loop lag (from the window showing on, its first paint and first pictures included): p50 $p50 ms, p99 $p99 ms, max $lag_max ms ($(sed -n 's/.*samples=\([0-9]*\).*/\1/p' <<<"$lag_end") samples)"
echo "  at the end of the warm-up: $lag_start"
[ -z "$rss_by_minute" ] || echo "RSS at the end of each minute (MB):$rss_by_minute"
if [ "$autosave" = on ]; then
    echo "autosave: $((${saved1:-0} - ${saved0:-0})) pictures saved and $((${dropped1:-0} - ${dropped0:-0})) dropped by the full save queue while measuring ($(ls "$home/cam" 2>/dev/null | wc -l) files in cam/ in all)"
fi

verdict=0
check() { # name, awk condition over the figures
    local ok
    ok="$(awk -v c0="$cpu0" -v c1="$cpu1" -v p="$pictures" -v f="$floor_ms" -v h="$hwm" \
        -v r1="$rss_first" -v re="$rss_end" -v p99="$p99" -v mx="$lag_max" \
        "BEGIN { ms = (c1 - c0) * 1000 / p; print ($2) ? \"yes\" : \"no\" }")"
    if [ "$ok" = yes ]; then
        echo "  met:    $1"
    else
        echo "  MISSED: $1"
        verdict=1
    fi
}
echo "targets:"
if [ "$extra_ms" = 0 ]; then
    check "CPU per picture <= $target x floor" "ms <= $target * f"
else
    check "CPU per picture <= $target x floor + $extra_ms ms" "ms <= $target * f + $extra_ms"
fi
check "event-loop lag p99 < 30 ms" "p99 < 30"
check "event-loop lag max < 100 ms" "mx < 100"
check "peak RSS < 200 MB" "h / 1024 < 200"
check "RSS flat (end <= first reading + 10 MB)" "re <= r1 + 10240"
exit "$verdict"
