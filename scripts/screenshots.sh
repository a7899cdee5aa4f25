#!/usr/bin/env bash
# Retakes the pictures in docs/ from the real program with the four demo cameras.
#
#   scripts/screenshots.sh [--build DIR] [--out DIR]
#
#   --build DIR  the build whose src/app/tessaly is photographed (default build)
#   --out DIR    where the PNG files go (default docs)
#
# Each screen is a fresh X server under xvfb-run with openbox (the title bars
# in docs/ are openbox's): 1920 x 1080 for every picture but two, 1280 x 720
# for main-window-1280.png and for picture-window.png, which covers the screen.
# The program, the demo cameras and their program and settings directories
# come from scripts/run-demo.sh (which builds the demo camera in build/);
# the demo's stored settings are put aside for the run and back afterwards, so
# every run starts from the same settings. Menus and buttons are driven with
# xdotool, pictures taken with imagemagick's import.
#
# The clicks go to places in the window's client area: the columns at the left
# keep their places whatever the window's size, and the viewer's controls keep
# theirs from its bottom edge. A picture that shows the wrong thing after a
# layout change is the script telling you something moved.
set -euo pipefail
cd "$(dirname "$0")/.."

build="build"
out="docs"
inside=""
while [ $# -gt 0 ]; do
    case "$1" in
        --build) build="${2:?--build needs a directory}"; shift 2 ;;
        --out) out="${2:?--out needs a directory}"; shift 2 ;;
        --inside) inside="${2:?}"; shift 2 ;; # used by the script itself
        -h | --help) sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$0"; exit 0 ;;
        *) echo "screenshots: unknown option '$1' (see --help)" >&2; exit 2 ;;
    esac
done

say() { echo "screenshots: $*" >&2; }

if [ -z "$inside" ]; then
    bash scripts/install-deps.sh look
    viewer="$(realpath -m "$build/src/app/tessaly")"
    if [ ! -x "$viewer" ]; then
        cmake -S . -B "$build" >/dev/null
        cmake --build "$build" -j2 --target tessaly
    fi
    mkdir -p "$out"
    out="$(realpath "$out")"

    # The demo's settings directory of run-demo.sh, put aside while the
    # pictures are taken.
    demo_config="build/demo/config"
    saved=""
    if [ -e "$demo_config" ]; then
        saved="$(mktemp -d)"
        mv "$demo_config" "$saved/config"
    fi
    # shellcheck disable=SC2317 # run by the EXIT trap
    restore() {
        rm -rf "$demo_config"
        if [ -n "$saved" ]; then
            mv "$saved/config" "$demo_config"
            rmdir "$saved"
        fi
    }
    trap restore EXIT

    status=0
    for screen in 1920x1080 1280x720; do
        rm -rf "$demo_config"
        say "taking the pictures at $screen"
        TESSALY_DEMO_VIEWER="$viewer" xvfb-run -a -s "-screen 0 ${screen}x24" \
            bash "$0" --inside "$screen" --out "$out" || status=$?
        [ "$status" = 0 ] || break
    done
    [ "$status" = 0 ] && say "pictures in $out"
    exit "$status"
fi

# ---- inside one X server ------------------------------------------------------

screen="$inside"
work="$(mktemp -d)"
demo_pid=""
wm_pid=""
finish() {
    if [ -n "$demo_pid" ] && kill -0 "$demo_pid" 2>/dev/null; then
        # Its children (the program and the demo camera) first: run-demo.sh
        # waits for the program before it acts on a signal.
        for child in $(pgrep -P "$demo_pid"); do kill -TERM "$child" 2>/dev/null || true; done
        for _ in $(seq 100); do kill -0 "$demo_pid" 2>/dev/null || break; sleep 0.1; done
        kill -TERM "$demo_pid" 2>/dev/null || true
        wait "$demo_pid" 2>/dev/null || true
    fi
    if [ -n "$wm_pid" ]; then kill -TERM "$wm_pid" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap finish EXIT

openbox >"$work/openbox.log" 2>&1 &
wm_pid=$!
for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.1
done

# The first visible window matching a name pattern, waited for up to 20 s.
window_named() {
    local id=""
    for _ in $(seq 200); do
        id="$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1)" || true
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.1
    done
    say "no window named '$1' showed"
    return 1
}

# Waits until no visible window matches the pattern.
gone() {
    for _ in $(seq 100); do
        xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 || return 0
        sleep 0.1
    done
    say "the window '$1' did not close"
    return 1
}

# A window with its openbox frame: the frame's place on the root window.
shoot_window() {
    local id="$1" file="$2" x y w h extents left right top bottom
    # xwininfo's absolute place of the client window; xdotool's is off by the
    # frame for a reparented window.
    read -r x y w h < <(xwininfo -id "$id" | awk -F: '
        /Absolute upper-left X/ { x = $2 } /Absolute upper-left Y/ { y = $2 }
        /^ *Width/ { w = $2 } /^ *Height/ { h = $2 } END { print x, y, w, h }')
    extents="$(xprop -id "$id" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.*= *//p' | tr -d ' ')"
    IFS=, read -r left right top bottom <<<"${extents:-0,0,0,0}"
    import -window root -crop "$((w + left + right))x$((h + top + bottom))+$((x - left))+$((y - top))" \
        +repage "$file"
    say "took $(basename "$file")"
}

shoot_screen() {
    # The pointer rests in a corner of the status bar, so no tooltip or hover
    # shows in the picture.
    park_pointer
    sleep "${2:-1}"
    import -window root "$1"
    say "took $(basename "$1")"
}

park_pointer() {
    xdotool mousemove "$(( ${screen%x*} - 40 ))" "$(( ${screen#*x} - 3 ))"
}

# Clicks at a place in the main window's client area.
click_at() {
    xdotool mousemove --window "$main" "$1" "$2" click 1
    sleep 0.3
}

key_to() { # window, keys...
    local id="$1"
    shift
    xdotool windowactivate --sync "$id" >/dev/null 2>&1 || true
    xdotool key --clearmodifiers "$@"
    sleep 0.3
}

close_window() { # id, name pattern
    key_to "$1" alt+F4
    gone "$2"
}

# The program's own processes go in a runtime directory of this run: a copy
# running elsewhere on the machine must not make this one a second copy.
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"

bash scripts/run-demo.sh >"$work/run-demo.log" 2>&1 &
demo_pid=$!

# The splash window shows for a fraction of a second before the main window.
# The program is paused while it is taken, and taken again until it has
# painted (an unpainted window is of one colour).
splash_taken=0
if [ "$screen" = 1920x1080 ]; then
    for _ in $(seq 1000); do
        id=""
        for candidate in $(xdotool search --onlyvisible --classname '^tessaly$' 2>/dev/null); do
            [ "$(xdotool getwindowname "$candidate" 2>/dev/null)" = Tessaly ] && id="$candidate"
        done
        if [ -n "$id" ]; then
            pid="$(xdotool getwindowpid "$id")"
            for _ in $(seq 30); do
                kill -STOP "$pid"
                shoot_window "$id" "$work/splash.png" 2>/dev/null || true
                colours="$(convert "$work/splash.png" -format '%k' info: 2>/dev/null || echo 0)"
                kill -CONT "$pid"
                if [ "$colours" -gt 100 ]; then
                    cp "$work/splash.png" "$out/splash.png"
                    splash_taken=1
                    say "took splash.png"
                    break
                fi
                sleep 0.005
            done
            break
        fi
        kill -0 "$demo_pid" 2>/dev/null || break
        sleep 0.01
    done
    [ "$splash_taken" = 1 ] || say "the splash window was gone before it could be taken"
fi

if ! main="$(window_named '^Tessaly by ')"; then
    cat "$work/run-demo.log" >&2
    exit 1
fi
read -r client_w client_h < <(xdotool getwindowgeometry --shell "$main" |
    awk -F= '$1 == "WIDTH" { w = $2 } $1 == "HEIGHT" { h = $2 } END { print w, h }')
say "main window $client_w x $client_h"

# Places in the client area, menu bar included.
edit_button=(137 63)
add_button=(29 63)
first_list_item=(40 250)
second_panel_picture=(354 91)
zoom_bar_right=(686 $((client_h - 134)))
screensaver_button=(604 $((client_h - 99)))

# Every demo camera has sent a few pictures.
sleep 8

if [ "$screen" = 1280x720 ]; then
    shoot_screen "$out/main-window-1280.png"

    click_at "${second_panel_picture[@]}"
    click_at "${screensaver_button[@]}"
    sleep 1
    shoot_screen "$out/picture-window.png" 3
    # The picture window closes on a click.
    xdotool mousemove 10 10 click 1
    sleep 0.5
else
    shoot_screen "$out/main-window.png"

    # Edit with nothing selected in the list: the notice.
    click_at "${edit_button[@]}"
    id="$(window_named '^Oops!$')"
    park_pointer
    shoot_window "$id" "$out/notice.png"
    close_window "$id" '^Oops!$'

    key_to "$main" alt+a Return
    id="$(window_named '^About ')"
    park_pointer
    sleep 0.5
    shoot_window "$id" "$out/about.png"
    close_window "$id" '^About '

    key_to "$main" alt+h Return
    id="$(window_named '^Readme/Help$')"
    park_pointer
    sleep 0.5
    shoot_window "$id" "$out/help.png"
    close_window "$id" '^Readme/Help$'

    # Add, filled in as a new user would, then cancelled.
    click_at "${add_button[@]}"
    id="$(window_named ':: add a cam$')"
    park_pointer
    # Typed field by field; the last one keeps the focus.
    first=1
    for text in "Front Door" "http://192.168.1.20/snapshot.jpg" "30"; do
        [ "$first" = 1 ] || key_to "$id" Tab
        first=0
        key_to "$id" ctrl+a
        xdotool type --delay 20 "$text"
    done
    sleep 0.5
    shoot_window "$id" "$out/add-dialog.png"
    close_window "$id" ':: add a cam$'

    # Edit for the second camera of the list.
    click_at "${first_list_item[@]}"
    key_to "$main" Down
    click_at "${edit_button[@]}"
    id="$(window_named '^Demo Door$')"
    park_pointer
    sleep 0.5
    shoot_window "$id" "$out/edit-dialog.png"
    close_window "$id" '^Demo Door$'

    # The second camera in the viewer at zoom 2.
    click_at "${second_panel_picture[@]}"
    click_at "${zoom_bar_right[@]}"
    shoot_screen "$out/viewer-zoom2.png" 3
fi

# Closing the main window ends the program, and run-demo.sh the demo camera.
close_window "$main" '^Tessaly by '
for _ in $(seq 100); do kill -0 "$demo_pid" 2>/dev/null || break; sleep 0.1; done
wait "$demo_pid" || true
demo_pid=""
