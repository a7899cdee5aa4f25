#!/usr/bin/env bash
# The web view's cost: two recorders side by side in the same run, against
# one demo camera serving 24 cameras x 1920x1080 pictures that change every
# second, one with the web view off and one with it on and three simulated
# phones (scripts/bench-web-clients.py) each polling /api/cameras once a
# second and fetching every changed grid picture. Both recorders' CPU time
# (utime + stime from /proc) is taken over the same window; the difference is
# the web view's share of one core. Target: at most 10 %.
#
#   scripts/bench-web.sh [--seconds N] [--cameras N] [--clients N] [--build DIR] [--no-build]
#
# Nothing outside a temporary directory is written; everything stops at exit.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=60
cameras=24
clients=3
build="build"
do_build=1
while [ $# -gt 0 ]; do
    case "$1" in
    --seconds) seconds="$2"; shift 2 ;;
    --cameras) cameras="$2"; shift 2 ;;
    --clients) clients="$2"; shift 2 ;;
    --build) build="$2"; shift 2 ;;
    --no-build) do_build=0; shift ;;
    -h | --help) sed -n '2,13p' "$0"; exit 0 ;;
    *) echo "bench-web: unknown option $1" >&2; exit 2 ;;
    esac
done
bench_name=bench-web
# shellcheck source=scripts/bench-lib.sh
source scripts/bench-lib.sh
# shellcheck source=scripts/democam-lib.sh
source scripts/democam-lib.sh
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -lt 10 ]; then
    say "--seconds must be a whole number of at least 10"
    exit 2
fi
if [ "$do_build" = 1 ]; then
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$build" -j"$(nproc)" --target tessaly tessaly-democam >&2
fi
tessaly="$build/src/app/tessaly"
democam="$build/tools/democam/tessaly-democam"

work="$(mktemp -d "${TMPDIR:-/tmp}/tessaly-bench-web.XXXXXX")"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do bench_stop "$pid"; done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

"$democam" --port 0 --cameras "$cameras" --size 1920x1080 --change-every 1 \
    >"$work/democam.out" 2>"$work/democam.log" &
pids+=($!)
democam_wait_ports "$work/democam.out" "${pids[0]}" 100 ||
    { say "the demo camera did not start"; cat "$work/democam.log" >&2; exit 1; }
say "demo camera: $cameras cameras, 1920x1080, a new picture every second, port $port"

web_port="$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
head -c 18 /dev/urandom | base64 | tr -d '+/=' >"$work/password"
for side in off on; do
    mkdir -p "$work/$side/home" "$work/$side/config" "$work/$side/data"
    {
        printf '\r\n'
        for i in $(seq "$cameras"); do
            printf '[name]Demo %d\r\nhttp://127.0.0.1:%s/cam%d.jpg\r\n1\r\n\r\n' "$i" "$port" "$i"
        done
    } >"$work/$side/home/00camlist.txt"
done
run() { # run SIDE ARGS...: tessaly with SIDE's own directories
    local side="$1"
    shift
    HOME="$work/$side" TESSALY_HOME="$work/$side/home" XDG_CONFIG_HOME="$work/$side/config" \
        XDG_DATA_HOME="$work/$side/data" "$tessaly" "$@"
}
# The same in the background: exec, so that $! is the recorder itself and
# /proc/$!/stat counts its CPU time, not a subshell's.
record() {
    local side="$1"
    shift
    HOME="$work/$side" TESSALY_HOME="$work/$side/home" XDG_CONFIG_HOME="$work/$side/config" \
        XDG_DATA_HOME="$work/$side/data" exec "$tessaly" --record "$@"
}
run on --web "127.0.0.1:$web_port" 2>/dev/null
run on --web-password <"$work/password" 2>/dev/null

record off >/dev/null 2>"$work/off.err" &
pids+=($!)
off_pid=$!
record on >/dev/null 2>"$work/on.err" &
pids+=($!)
on_pid=$!
for _ in $(seq 100); do
    grep -q 'web view certificate SHA-256' "$work/on.err" && break
    kill -0 "$on_pid" 2>/dev/null || break
    sleep 0.1
done
grep -q 'web view certificate SHA-256' "$work/on.err" ||
    { say "the web view did not start"; cat "$work/on.err" >&2; exit 1; }
sleep 3 # both recorders past their first pictures

say "three simulated phones on the web view for $seconds s; both recorders measured meanwhile ..."
python3 scripts/bench-web-clients.py --port "$web_port" --password-file "$work/password" \
    --clients "$clients" --seconds "$seconds" >"$work/clients.out" &
clients_pid=$!
pids+=("$clients_pid")
off_start="$(cpu_seconds "$off_pid")"
on_start="$(cpu_seconds "$on_pid")"
wall_start="$(date +%s.%N)"
wait "$clients_pid"
off_end="$(cpu_seconds "$off_pid")"
on_end="$(cpu_seconds "$on_pid")"
wall_end="$(date +%s.%N)"
for pid in "$on_pid" "$off_pid"; do bench_stop "$pid"; done

read -r polls pics bytes errors < <(sed 's/[a-z]*=//g' "$work/clients.out")
off_sum="$(grep -o 'recorded [0-9]* pictures.*' "$work/off.err" || true)"
on_sum="$(grep -o 'recorded [0-9]* pictures.*' "$work/on.err" || true)"
echo
echo "Web view: $cameras cameras x 1920x1080, a new picture every second, $clients phones polling once a second"
echo "recorder, web view off: $off_sum"
echo "recorder, web view on:  $on_sum"
echo "phones: $polls status polls, $pics grid pictures ($((bytes / 1024)) KiB), $errors errors"
awk -v a0="$off_start" -v a1="$off_end" -v b0="$on_start" -v b1="$on_end" \
    -v w0="$wall_start" -v w1="$wall_end" 'BEGIN {
    w = w1 - w0; off = (a1 - a0) * 100 / w; on = (b1 - b0) * 100 / w
    printf "CPU over the same %.1f s: recorder alone %.1f %% of a core, with the web view %.1f %%: the web view costs %.1f %% of a core\n", w, off, on, on - off
}'
verdict="$(awk -v a0="$off_start" -v a1="$off_end" -v b0="$on_start" -v b1="$on_end" \
    -v w0="$wall_start" -v w1="$wall_end" -v e="$errors" -v p="$pics" 'BEGIN {
    w = w1 - w0; print ((b1 - b0 - (a1 - a0)) * 100 / w <= 10 && e == 0 && p > 0) ? "met" : "missed"
}')"
if [ "$verdict" = met ]; then
    echo "target met (the web view at most 10 % of one core, no client errors)"
else
    echo "TARGET MISSED (the web view at most 10 % of one core, no client errors)"
    exit 1
fi
