# shellcheck shell=bash
# Shared by the scripts that start tessaly-democam in the background
# (scripts/run-demo.sh, scripts/bench-gui.sh, scripts/bench-e2e.sh): sourced,
# never run. Kept apart from scripts/bench-lib.sh so that the demo, which people
# run by hand, does not carry the benchmarks' helpers and their "say".

# democam_wait_ports OUT PID TRIES [--daytime]
#
# Waits for the demo camera to say where it listens. OUT is the file its
# standard output goes to: the first line names http://127.0.0.1:PORT/cam1.jpg,
# the second (with --daytime-port) "tessaly-democam daytime on 127.0.0.1:PORT".
# Looks every 0.1 s, at most TRIES times, and sets port (and daytime_port with
# --daytime). Returns 0 once they are said, 1 when process PID ended first, 2
# when TRIES ran out. Messages are the caller's.
democam_wait_ports() {
    local out="$1" pid="$2" tries="$3" want_daytime=0
    [ "${4:-}" = --daytime ] && want_daytime=1
    port=""
    daytime_port=""
    for _ in $(seq "$tries"); do
        port="$(sed -n '1s|.*http://127\.0\.0\.1:\([0-9][0-9]*\)/cam1\.jpg.*|\1|p' "$out")"
        if [ "$want_daytime" = 1 ]; then
            daytime_port="$(sed -n '2s|^tessaly-democam daytime on 127\.0\.0\.1:\([0-9][0-9]*\)$|\1|p' "$out")"
        fi
        [ -n "$port" ] && { [ "$want_daytime" = 0 ] || [ -n "$daytime_port" ]; } && return 0
        kill -0 "$pid" 2>/dev/null || return 1
        sleep 0.1
    done
    return 2
}
