#!/usr/bin/env bash
# Runs a command inside a private headless KWin (Plasma's Wayland compositor): its virtual
# backend with two outputs, software rendering, on a D-Bus session bus of its own, with
# private HOME and XDG folders. KWin is stopped when the command ends, whatever its outcome,
# and the command's exit status is passed on. The caller's own session is never touched:
# DBUS_SESSION_BUS_ADDRESS, WAYLAND_DISPLAY and XDG_RUNTIME_DIR are replaced for the command
# only, and DISPLAY is removed (or names KWin's Xwayland with --xwayland).
#
#   tools/kwin-desktop.sh [--xwayland] [--size WxH] -- command [args...]
#
# Each output is 1920 × 1080 unless --size says otherwise; the outputs lie side by side.
# kwin_wayland carries a file capability that a container may refuse to grant (exec fails
# with EPERM), so a plain copy of it runs.
set -euo pipefail

xwayland=""
width=1920
height=1080
while [ $# -gt 0 ]; do
    case "$1" in
    --xwayland) xwayland=--xwayland; shift ;;
    --size) width=${2%x*}; height=${2#*x}; shift 2 ;;
    --) shift; break ;;
    *) break ;;
    esac
done
[ $# -gt 0 ] || { echo "usage: $0 [--xwayland] [--size WxH] -- command..." >&2; exit 2; }

if [ -z "${QUANDREL_KWIN_BUS:-}" ]; then
    # Again, on a session bus of its own.
    exec env QUANDREL_KWIN_BUS=1 dbus-run-session -- "$0" $xwayland --size "${width}x${height}" -- "$@"
fi
unset QUANDREL_KWIN_BUS

workdir=$(mktemp -d /tmp/quandrel-kwin.XXXXXX)
kwin_pid=""
cleanup() {
    [ -n "$kwin_pid" ] && kill "$kwin_pid" 2>/dev/null || true
    [ -n "$kwin_pid" ] && wait "$kwin_pid" 2>/dev/null || true
    # The desktop portal's document store, if it was started, is mounted there.
    fusermount3 -u -z "$runtime/doc" 2>/dev/null || true
    rm -rf "$workdir"
}
trap cleanup EXIT INT TERM

runtime="$workdir/runtime"
mkdir -m 700 "$runtime" "$workdir/home" "$workdir/home/.config" "$workdir/home/.local" "$workdir/home/.cache"
cp "$(command -v kwin_wayland)" "$workdir/kwin_wayland"
export HOME="$workdir/home" XDG_RUNTIME_DIR="$runtime" XDG_CONFIG_HOME="$workdir/home/.config" \
    XDG_DATA_HOME="$workdir/home/.local/share" XDG_CACHE_HOME="$workdir/home/.cache" \
    XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=KDE KDE_FULL_SESSION=true KDE_SESSION_VERSION=5
unset DISPLAY WAYLAND_DISPLAY
socket=quandrel-kwin
# No animations, so a window is where KWin put it as soon as KWin says so. KWin composites with
# OpenGL on llvmpipe: its screenshot interface needs OpenGL compositing.
cat >"$XDG_CONFIG_HOME/kwinrc" <<'CONFIG'
[Compositing]
AnimationSpeed=0
[Plugins]
CONFIG
cat >"$XDG_CONFIG_HOME/kdeglobals" <<'CONFIG'
[KDE]
AnimationDurationFactor=0
CONFIG

QT_QPA_PLATFORM=offscreen "$workdir/kwin_wayland" --virtual --width "$width" --height "$height" \
    --output-count 2 --socket "$socket" --no-lockscreen $xwayland >"$workdir/kwin.log" 2>&1 &
kwin_pid=$!
# KWin owns org.kde.KWin once its scripting and outputs are up.
started=""
for _ in $(seq 1 400); do
    if [ -S "$runtime/$socket" ] && dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:org.kde.KWin 2>/dev/null | grep -q "boolean true"; then
        started=1
        break
    fi
    kill -0 "$kwin_pid" 2>/dev/null || break
    sleep 0.05
done
[ -n "$started" ] || { echo "KWin did not start" >&2; cat "$workdir/kwin.log" >&2; exit 1; }
# By its path, so clients that change XDG_RUNTIME_DIR still find it.
export WAYLAND_DISPLAY="$runtime/$socket"
if [ -n "$xwayland" ]; then
    # KWin's Xwayland display is the one whose lock file names KWin (which holds the socket
    # until Xwayland starts) or a child of it.
    display=""
    for _ in $(seq 1 400); do
        for lock in /tmp/.X*-lock; do
            [ -e "$lock" ] || continue
            server=$(tr -dc '0-9' <"$lock" 2>/dev/null || true)
            [ -n "$server" ] || continue
            [ "$server" = "$kwin_pid" ] || [ "$(ps -o ppid= -p "$server" 2>/dev/null | tr -d ' ')" = "$kwin_pid" ] || continue
            number=${lock#/tmp/.X}
            display=":${number%-lock}"
        done
        [ -n "$display" ] && [ -S "/tmp/.X11-unix/X${display#:}" ] && break
        display=""
        sleep 0.05
    done
    [ -n "$display" ] || { echo "Xwayland did not start" >&2; cat "$workdir/kwin.log" >&2; exit 1; }
    export DISPLAY="$display"
fi

echo "Private headless KWin at $WAYLAND_DISPLAY on $DBUS_SESSION_BUS_ADDRESS" >&2
set +e
"$@"
status=$?
set -e
exit $status
