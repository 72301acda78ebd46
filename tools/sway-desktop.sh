#!/usr/bin/env bash
# Runs a command inside a private headless sway: no screen, no input devices, software
# rendering, two virtual outputs made with `swaymsg create_output`. sway is stopped when the
# command ends, whatever its outcome, and the command's exit status is passed on. The
# caller's own session is never touched: SWAYSOCK, WAYLAND_DISPLAY and XDG_RUNTIME_DIR are
# replaced for the command only, and DISPLAY is removed.
#
#   tools/sway-desktop.sh -- command [args...]
#
# sway refuses to run as root; as root it runs as the user `nobody`, in a runtime folder
# of that user's own (root's clients may still connect to it).
set -euo pipefail
[ "${1:-}" = "--" ] && shift
[ $# -gt 0 ] || { echo "usage: $0 -- command..." >&2; exit 2; }

workdir=$(mktemp -d /tmp/quandrel-sway.XXXXXX)
sway_pid=""
cleanup() {
    [ -n "$sway_pid" ] && kill "$sway_pid" 2>/dev/null || true
    [ -n "$sway_pid" ] && wait "$sway_pid" 2>/dev/null || true
    rm -rf "$workdir"
}
trap cleanup EXIT INT TERM

runtime="$workdir/runtime"
mkdir -m 700 "$runtime"
chmod 755 "$workdir"
# Title bars and borders as sway draws them by default; no bar, no wallpaper, no key bindings.
cat >"$workdir/config" <<'CONFIG'
focus_follows_mouse no
focus_on_window_activation focus
CONFIG
chmod 644 "$workdir/config"

as_user=()
if [ "$(id -u)" = 0 ]; then
    chown nobody "$runtime"
    as_user=(setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups --)
fi

env -u DISPLAY -u WAYLAND_DISPLAY -u SWAYSOCK HOME="$workdir" XDG_RUNTIME_DIR="$runtime" \
    WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 WLR_HEADLESS_OUTPUTS=0 \
    "${as_user[@]}" sway --config "$workdir/config" >"$workdir/sway.log" 2>&1 &
sway_pid=$!
socket=""
for _ in $(seq 1 200); do
    socket=$(ls "$runtime"/sway-ipc.*.sock 2>/dev/null | head -n 1 || true)
    [ -n "$socket" ] && swaymsg -s "$socket" -t get_version >/dev/null 2>&1 && break
    socket=""
    kill -0 "$sway_pid" 2>/dev/null || { cat "$workdir/sway.log" >&2; exit 1; }
    sleep 0.05
done
[ -n "$socket" ] || { echo "sway did not start" >&2; cat "$workdir/sway.log" >&2; exit 1; }
wayland=$(cd "$runtime" && ls wayland-* 2>/dev/null | grep -v lock | head -n 1)
export SWAYSOCK="$socket" XDG_RUNTIME_DIR="$runtime" WAYLAND_DISPLAY="$runtime/$wayland" XDG_SESSION_TYPE=wayland
unset DISPLAY
swaymsg create_output >/dev/null
swaymsg create_output >/dev/null

echo "Private headless sway at $SWAYSOCK ($(swaymsg -t get_outputs -r | grep -c '"name"') outputs)" >&2
set +e
"$@"
status=$?
set -e
exit $status
