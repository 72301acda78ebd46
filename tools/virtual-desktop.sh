#!/usr/bin/env bash
# Runs a command on a private virtual desktop: Xvfb on a free display number with openbox
# as its EWMH window manager. The desktop is stopped when the command ends, whatever its
# outcome, and the command's exit status is passed on. The caller's own display is never
# touched: DISPLAY is replaced for the command only.
#
#   tools/virtual-desktop.sh [--size WxH] [--keep-env] -- command [args...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
size=3840x1600
while [ $# -gt 0 ]; do
    case "$1" in
        --size) size=$2; shift 2 ;;
        --) shift; break ;;
        *) break ;;
    esac
done
[ $# -gt 0 ] || { echo "usage: $0 [--size WxH] -- command..." >&2; exit 2; }

workdir=$(mktemp -d /tmp/quandrel-desktop.XXXXXX)
xvfb_pid=""
wm_pid=""
cleanup() {
    [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    [ -n "$wm_pid" ] && wait "$wm_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && wait "$xvfb_pid" 2>/dev/null || true
    rm -rf "$workdir"
}
trap cleanup EXIT INT TERM

# Xvfb picks a free display number itself and writes it once it accepts clients.
# -noreset keeps it from resetting (and forgetting monitors) when its last client leaves.
Xvfb -displayfd 3 -screen 0 "${size}x24" -noreset -nolisten tcp +extension RANDR +extension COMPOSITE \
    3>"$workdir/display" >"$workdir/xvfb.log" 2>&1 &
xvfb_pid=$!
display=""
for _ in $(seq 1 200); do
    display=$(tr -dc '0-9' <"$workdir/display" 2>/dev/null || true)
    [ -n "$display" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || { cat "$workdir/xvfb.log" >&2; exit 1; }
    sleep 0.05
done
[ -n "$display" ] || { echo "Xvfb did not start" >&2; cat "$workdir/xvfb.log" >&2; exit 1; }
export DISPLAY=":$display"
unset WAYLAND_DISPLAY

HOME_FOR_WM="$workdir/home"
mkdir -p "$HOME_FOR_WM"
# openbox's own default configuration without its key bindings (it grabs Control+Alt+arrows
# and more), with one desktop and no screen-edge desktop switching.
config="$here/openbox-rc.xml"
if [ -f /etc/xdg/openbox/rc.xml ]; then
    config="$workdir/rc.xml"
    sed -e '/<keyboard>/,/<\/keyboard>/c\  <keyboard></keyboard>' \
        -e 's|<number>[0-9]*</number>|<number>1</number>|' \
        -e 's|<screenEdgeWarpTime>[0-9]*</screenEdgeWarpTime>|<screenEdgeWarpTime>0</screenEdgeWarpTime>|' \
        -e 's|<dragThreshold>[0-9]*</dragThreshold>|<dragThreshold>1</dragThreshold>|' \
        /etc/xdg/openbox/rc.xml > "$config"
fi
HOME="$HOME_FOR_WM" XDG_CONFIG_HOME="$HOME_FOR_WM/.config" openbox --config-file "$config" \
    >"$workdir/openbox.log" 2>&1 &
wm_pid=$!
for _ in $(seq 1 100); do
    if xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; then break; fi
    sleep 0.05
done
xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' || { echo "openbox did not start" >&2; cat "$workdir/openbox.log" >&2; exit 1; }

# Tests that play a busy machine stop and continue the window manager by this id.
export QUANDREL_TEST_WM_PID="$wm_pid"
echo "Private virtual desktop on $DISPLAY (${size}, openbox)" >&2
set +e
"$@"
status=$?
set -e
exit $status
