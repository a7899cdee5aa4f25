#!/usr/bin/env bash
# Checks the installation and the Debian package:
# - install into a temporary prefix: every file in place, the desktop entry,
#   the metainfo and the manual pages pass their validators, the unit names
#   the installed program;
# - the installed program runs (--version) and keeps its data in the per-user
#   data directory, not beside itself;
# - scripts/package.sh builds the .deb, whose file list holds the programs,
#   the desktop entry and the icons, with dependencies from dpkg-shlibdeps.
# Every check runs; the last line counts them, and the exit code is non-zero
# when any failed.
# Usage: scripts/check-install.sh [build-dir]   (default build; built as needed)
set -euo pipefail
cd "$(dirname "$0")/.."

build="${1:-build}"
bash scripts/install-deps.sh install

passed=0
failed=0
failures=()
pass() { echo "check-install: ok: $1"; passed=$((passed + 1)); }
fail() {
    echo "check-install: FAILED: $1" >&2
    failed=$((failed + 1))
    failures+=("$1")
}
# check DESCRIPTION COMMAND...: runs the command, its output shown only on failure.
check() {
    local what="$1" out
    shift
    if out=$("$@" 2>&1); then
        pass "$what"
    else
        fail "$what"
        printf '%s\n' "$out" | sed 's/^/    /' >&2
    fi
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target tessaly tessaly-democam >/dev/null
id=$(grep -o 'TESSALY_DESKTOP_ID "[^"]*"' "$build/src/shell/TessalyVersion.h" | cut -d'"' -f2)

check "cmake --install into a temporary prefix" cmake --install "$build" --prefix "$prefix"

expected=(
    bin/tessaly bin/tessaly-democam
    "share/applications/$id.desktop" "share/metainfo/$id.metainfo.xml"
    share/tessaly/Help.rtf
    share/man/man1/tessaly.1 share/man/man1/tessaly-democam.1
    lib/systemd/system/tessaly-record.service lib/systemd/system/tessaly-record@.service
    "share/icons/hicolor/scalable/apps/$id.svg"
)
for size in 16 22 24 32 48 64 128 256; do
    expected+=("share/icons/hicolor/${size}x${size}/apps/$id.png")
done
missing=()
for f in "${expected[@]}"; do
    [ -f "$prefix/$f" ] || missing+=("$f")
done
check "installed files in place (${#expected[@]})" test ${#missing[@]} -eq 0
[ ${#missing[@]} -eq 0 ] || printf '    missing: %s\n' "${missing[@]}" >&2

check "desktop-file-validate $id.desktop" \
    desktop-file-validate "$prefix/share/applications/$id.desktop"
check "appstreamcli validate --no-net $id.metainfo.xml" \
    appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml"
check "mandoc -T lint tessaly.1 tessaly-democam.1" \
    mandoc -T lint -W warning "$prefix/share/man/man1/tessaly.1" \
    "$prefix/share/man/man1/tessaly-democam.1"
unit="$prefix/lib/systemd/system/tessaly-record.service"
check "tessaly-record.service runs the installed program" \
    grep -qx "ExecStart=$prefix/bin/tessaly --record" "$unit"
check "tessaly-record.service holds no secrets" \
    bash -c '! grep -Eiq "password|passwd|secret|token|://[^/]*@" "$1"' _ "$unit"
template="$prefix/lib/systemd/system/tessaly-record@.service"
check "tessaly-record@.service runs the installed program" \
    grep -qx "ExecStart=$prefix/bin/tessaly --record" "$template"
check "tessaly-record@.service holds no secrets" \
    bash -c '! grep -Eiq "password|passwd|secret|token|://[^/]*@" "$1"' _ "$template"
if command -v systemd-analyze >/dev/null; then
    check "systemd-analyze verify tessaly-record.service" \
        systemd-analyze verify --man=no "$unit"
    # A template is verified through an instance of it.
    instance="$work/units/tessaly-record@example.service"
    mkdir -p "$work/units"
    cp "$template" "$instance"
    check "systemd-analyze verify tessaly-record@example.service" \
        systemd-analyze verify --man=no "$instance"
else
    echo "check-install: skipped: systemd-analyze verify (no systemd here)"
fi

# The installed program, with a home of its own and no TESSALY_HOME.
home="$work/home"
data="$work/data"
mkdir -p "$home" "$data" "$work/config" "$work/runtime"
chmod 700 "$work/runtime"
installed() {
    env -u TESSALY_HOME HOME="$home" XDG_DATA_HOME="$data" XDG_CONFIG_HOME="$work/config" \
        XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=offscreen \
        TESSALY_TIME_SERVER=127.0.0.1:1 "$prefix/bin/tessaly" "$@"
}
version=$(installed --version 2>&1) || true
check "installed tessaly --version runs ($version)" \
    grep -q "^Tessaly [0-9]" <<<"$version"
check "installed tessaly-democam --version runs" "$prefix/bin/tessaly-democam" --version

perUser="$data/Northlight Camera Works/Tessaly"
installed --autosave on >"$work/autosave.log" 2>&1 || true
check "installed tessaly keeps its settings in the per-user data directory" \
    test -f "$perUser/machine-settings.reg"
# The window, offscreen: on its first start it makes the camera list there,
# as one CR LF.
installed >"$work/window.log" 2>&1 &
window=$!
for _ in $(seq 1 100); do
    [ -f "$perUser/00camlist.txt" ] && break
    sleep 0.1
done
# $! is the subshell around the program, which a signal to it would leave
# running: end the program itself.
pkill -TERM -f "^$prefix/bin/tessaly" 2>/dev/null || true
kill "$window" 2>/dev/null || true
wait "$window" 2>/dev/null || true
check "installed tessaly makes 00camlist.txt (one CR LF) in the per-user data directory" \
    cmp -s "$perUser/00camlist.txt" <(printf '\r\n')
check "nothing written beside the installed program" \
    bash -c '[ "$(ls -A "$1")" = "$(printf "tessaly\ntessaly-democam")" ]' _ "$prefix/bin"

# The package, built from a fresh build directory.
if deb=$(bash scripts/package.sh "$build-package" | tail -n 1) && [ -f "$deb" ]; then
    pass "cpack -G DEB: $deb"
    dpkg-deb -c "$deb" | awk '{ print $6 }' | sed 's|^\./|/|' >"$work/deb-files"
    wanted=(/usr/bin/tessaly /usr/bin/tessaly-democam "/usr/share/applications/$id.desktop"
        "/usr/share/metainfo/$id.metainfo.xml" /usr/share/tessaly/Help.rtf
        /usr/share/man/man1/tessaly.1 /usr/lib/systemd/system/tessaly-record.service
        /usr/lib/systemd/system/tessaly-record@.service
        "/usr/share/icons/hicolor/scalable/apps/$id.svg")
    for size in 16 22 24 32 48 64 128 256; do
        wanted+=("/usr/share/icons/hicolor/${size}x${size}/apps/$id.png")
    done
    absent=()
    for f in "${wanted[@]}"; do
        grep -qxF "$f" "$work/deb-files" || absent+=("$f")
    done
    check "dpkg-deb -c lists the programs, the desktop entry and the icons" \
        test ${#absent[@]} -eq 0
    [ ${#absent[@]} -eq 0 ] || printf '    not in the package: %s\n' "${absent[@]}" >&2
    depends=$(dpkg-deb -f "$deb" Depends)
    check "package dependencies from dpkg-shlibdeps ($depends)" \
        grep -q "libqt6widgets6.*libturbojpeg0\|libturbojpeg0.*libqt6widgets6" <<<"$depends"
    check "package section and maintainer" \
        bash -c '[ "$(dpkg-deb -f "$1" Section)" = video ] &&
                 dpkg-deb -f "$1" Maintainer | grep -q "<.*@.*>"' _ "$deb"
else
    fail "scripts/package.sh built no package"
fi

for f in "${failures[@]}"; do
    echo "check-install: failed: $f" >&2
done
echo "check-install: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
