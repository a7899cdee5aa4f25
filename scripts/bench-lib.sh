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
