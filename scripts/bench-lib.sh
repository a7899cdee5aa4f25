# Shared by scripts/bench-e2e.sh and scripts/bench-gui.sh: sourced, never run.
# The sourcing script sets bench_name (for messages), build and do_build first.

say() { echo "$bench_name: $*" >&2; }

# Checks --seconds, builds what the benchmarks run (unless --no-build) and sets
# tessaly, democam and floor to the executables.
bench_prepare() {
    if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -lt 10 ]; then
        say "--seconds must be a whole number of at least 10"
        exit 2
    fi
    if [ "$do_build" = 1 ]; then
        cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
        cmake --build "$build" -j"$(nproc)" --target tessaly tessaly-democam tessaly-bench-floor >&2
    fi
    tessaly="$build/src/app/tessaly"
    democam="$build/tools/democam/tessaly-democam"
    floor="$build/bench/tessaly-bench-floor"
    local exe
    for exe in "$tessaly" "$democam" "$floor"; do
        [ -x "$exe" ] || { say "$exe is missing; build it first"; exit 1; }
    done
}

# Ends a process: SIGTERM, up to 10 s to go, then SIGKILL.
bench_stop() {
    local pid="$1"
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
        kill -TERM "$pid" 2>/dev/null || true
        for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        kill -KILL "$pid" 2>/dev/null || true
    fi
    wait "$pid" 2>/dev/null || true
}

bench_ticks="$(getconf CLK_TCK)"
cpu_seconds() { # utime + stime of a process, in seconds
    local fields
    fields="$(sed 's/^.*) //' "/proc/$1/stat")"
    awk -v t="$bench_ticks" '{ printf "%.3f", ($12 + $13) / t }' <<<"$fields"
}
status_kb() { awk -v k="$2:" '$1 == k { print $2 }' "/proc/$1/status"; }

# The floor helper, against the demo camera on $port; its last line is
# key=value figures, kept in floor_runs. floor_decode_size (WxH), when set, is
# the size it decodes at instead of a panel's.
floor_runs=()
measure_floor() {
    local out
    # Not through tee /dev/stderr: that reopens standard error and truncates a
    # log file it was redirected to.
    out="$("$floor" --port "$port" --cameras "$cameras" --rounds 3 \
        ${floor_decode_size:+--decode-size "$floor_decode_size"})"
    printf '%s\n' "$out" >&2
    floor_runs+=("$(tail -n 1 <<<"$out")")
}
value() { # mean of one figure over every floor run so far
    printf '%s\n' "${floor_runs[@]}" | tr ' ' '\n' | sed -n "s/^$1=\([0-9.]*\)$/\1/p" |
        awk '{ s += $1; n++ } END { if (n) printf "%.3f", s / n }'
}

# A camera list of $cameras demo cameras on $port, refreshed every second, in
# the program directory $1.
write_camlist() {
    mkdir -p "$1"
    {
        printf '\r\n'
        for i in $(seq "$cameras"); do
            printf '[name]Demo %d\r\nhttp://127.0.0.1:%s/cam%d.jpg\r\n1\r\n\r\n' "$i" "$port" "$i"
        done
    } >"$1/00camlist.txt"
}

# tessaly --record from the program directory $1 for $seconds seconds, its
# output in $2.out and $2.err. Sets rec_cpu (CPU seconds), rec_hwm, rec_rss60,
# rec_rss_end (kB; rec_rss60 "-" under a minute), rec_rss_by_minute (MB),
# rec_summary (its closing "recorded ..." line) and rec_pictures.
recorder_pid=""
record_run() {
    local home="$1" out="$2" t rss
    TESSALY_HOME="$home" XDG_CONFIG_HOME="$home/config" "$tessaly" --record \
        >"$out.out" 2>"$out.err" &
    recorder_pid=$!
    rec_rss60="-"
    rec_rss_by_minute=""
    for ((t = 1; t <= seconds; t++)); do
        sleep 1
        kill -0 "$recorder_pid" 2>/dev/null || { say "the recorder died"; cat "$out.err" >&2; exit 1; }
        if ((t % 60 == 0)); then
            rss="$(status_kb "$recorder_pid" VmRSS)"
            [ "$t" = 60 ] && rec_rss60="$rss"
            rec_rss_by_minute+=" $((rss / 1024))"
        fi
    done
    rec_cpu="$(cpu_seconds "$recorder_pid")"
    rec_hwm="$(status_kb "$recorder_pid" VmHWM)"
    rec_rss_end="$(status_kb "$recorder_pid" VmRSS)"
    bench_stop "$recorder_pid"
    recorder_pid=""
    rec_summary="$(grep -o 'recorded [0-9]* pictures.*' "$out.err" || true)"
    [ -n "$rec_summary" ] || { say "no summary from the recorder"; cat "$out.err" >&2; exit 1; }
    rec_pictures="$(sed 's/recorded \([0-9]*\) pictures.*/\1/' <<<"$rec_summary")"
    [ "$rec_pictures" -gt 0 ] || { say "no pictures recorded"; exit 1; }
}
