#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running Tessaly need.
# Packages already present are skipped; apt-get runs only when something is missing.
set -euo pipefail

packages=(
    build-essential cmake pkg-config git
    qt6-base-dev qt6-base-dev-tools libgl-dev
    libturbojpeg0-dev
    libcurl4-openssl-dev libxxhash-dev
    libssl-dev ca-certificates
    libmicrohttpd-dev libsodium-dev
    lighttpd lighttpd-mod-openssl openssl
    libmosquitto-dev mosquitto mosquitto-clients
    libgtest-dev libgmock-dev libbenchmark-dev
    libsqlite3-dev
    libavcodec-dev libavformat-dev libswscale-dev libavutil-dev libx264-dev ffmpeg
    xvfb xauth
)
# Extra groups: "web" for the real-browser test of the web view (headless
# Chromium driven by Selenium), "fuzz" for the clang fuzzers, "look" for screenshots, "format"
# for the layout check, "install"
# for the install checks and the Debian package (validators, dpkg-shlibdeps),
# "peer" for scripts/bench-peer.sh (motion, measured beside us; not in CI).
for extra in "$@"; do
    case "$extra" in
        web) packages+=(chromium chromium-driver python3-selenium) ;;
        fuzz) packages+=(clang libclang-rt-14-dev) ;;
        # The pictures in docs/: a window manager for the title bars, the clicks and
        # the window lookups of scripts/screenshots.sh, and import.
        look) packages+=(imagemagick openbox xdotool x11-utils) ;;
        format) packages+=(clang-format) ;;
        # The slow-disk window benchmark stalls the writer thread's writes with strace.
        bench) packages+=(strace) ;;
        install) packages+=(desktop-file-utils appstream mandoc dpkg-dev) ;;
        peer) packages+=(motion) ;;
        *) echo "install-deps: unknown group '$extra'" >&2; exit 2 ;;
    esac
done

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi
echo "install-deps: installing ${missing[*]}"

# lighttpd and mosquitto are only test peers: their packages must not leave a
# system web server or broker running. A policy-rc.d that answers 101 keeps invoke-rc.d from starting any
# service during the install; one that was there before is put back after.
policy=/usr/sbin/policy-rc.d
saved_policy=""
if [ -e "$policy" ]; then
    saved_policy="$(mktemp)"
    $SUDO cp -p "$policy" "$saved_policy"
fi
restore_policy() {
    if [ -n "$saved_policy" ]; then
        $SUDO cp -p "$saved_policy" "$policy"
        rm -f "$saved_policy"
    else
        $SUDO rm -f "$policy"
    fi
}
trap restore_policy EXIT
printf '#!/bin/sh\nexit 101\n' | $SUDO tee "$policy" >/dev/null
$SUDO chmod 755 "$policy"

$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"

# Belt and braces on a machine where the policy was ignored (systemd presets).
if command -v systemctl >/dev/null 2>&1 && [ -d /run/systemd/system ]; then
    $SUDO systemctl disable --now lighttpd.service mosquitto.service >/dev/null 2>&1 || true
    $SUDO systemctl disable --now motion.service >/dev/null 2>&1 || true
elif command -v service >/dev/null 2>&1; then
    $SUDO service lighttpd stop >/dev/null 2>&1 || true
    $SUDO service mosquitto stop >/dev/null 2>&1 || true
    $SUDO service motion stop >/dev/null 2>&1 || true
fi
