#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running Tessaly need.
# Packages already present are skipped; apt-get runs only when something is missing.
set -euo pipefail

packages=(
    build-essential cmake pkg-config git
    qt6-base-dev qt6-base-dev-tools libgl-dev
    libturbojpeg0-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    xvfb xauth
)
# Extra groups: "fuzz" for the clang fuzzers, "look" for screenshots, "install"
# for the install checks and the Debian package (validators, dpkg-shlibdeps).
for extra in "$@"; do
    case "$extra" in
        fuzz) packages+=(clang libclang-rt-14-dev) ;;
        look) packages+=(imagemagick) ;;
        install) packages+=(desktop-file-utils appstream mandoc dpkg-dev) ;;
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
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
