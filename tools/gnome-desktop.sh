#!/usr/bin/env bash
# Runs a command inside a private headless GNOME Shell on Wayland, with Quandrel's Shell
# extension installed and enabled: two virtual monitors (1440 × 900, and right of it
# 900 × 1440), Xwayland on demand, a private session bus, a private system bus, and a home
# folder and XDG folders of its own. The Shell is stopped when the command ends, whatever its
# outcome, and the command's exit status is passed on. The caller's own session is never
# touched: DISPLAY is removed, the buses, WAYLAND_DISPLAY and XDG_* are replaced for the
# command only.
#
#   tools/gnome-desktop.sh [--testing] [--no-extension] -- command [args...]
#
# The extension comes from the build folder QUANDREL_BUILD_DIR (default: build), in the
# flavour the installed Shell loads. QUANDREL_GNOME_CALLERS names the executables, separated by
# colons, the extension answers (its `callers` file; tests add themselves to it). --testing
# installs the tests' own helper extension too: no top bar, no overview, the Shell's Eval open;
# and runs the media-keys part of GNOME's settings daemon, which runs custom keyboard shortcuts.
# --no-extension leaves Quandrel's extension out, as for a person who has not installed it.
# The desktop portal and its GNOME backend start on demand over D-Bus, as in a real session.
set -euo pipefail
testing=0
with_extension=1
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
    case $1 in
    --testing) testing=1 ;;
    --no-extension) with_extension=0 ;;
    *) echo "usage: $0 [--testing] [--no-extension] -- command..." >&2; exit 2 ;;
    esac
    shift
done
[ "${1:-}" = "--" ] && shift
[ $# -gt 0 ] || { echo "usage: $0 [--testing] -- command..." >&2; exit 2; }

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${QUANDREL_BUILD_DIR:-$repo/build}
case $build in /*) ;; *) build=$repo/$build ;; esac
major=$(gnome-shell --version | sed -n 's/^GNOME Shell \([0-9]*\).*/\1/p')
flavour=modules
[ "${major:-0}" -lt 45 ] && flavour=legacy
uuid=shell@quandrel.org
extension=$build/platform/gnome/extension/$flavour/$uuid
[ $with_extension = 0 ] || [ -f "$extension/extension.js" ] || { echo "no extension at $extension (build the target quandrel-gnome-extension)" >&2; exit 1; }

workdir=$(mktemp -d /tmp/quandrel-gnome.XXXXXX)
system_bus_pid=""
cleanup() {
    [ -n "$system_bus_pid" ] && kill "$system_bus_pid" 2>/dev/null || true
    # The desktop portal's document store, if it was started, is mounted there.
    fusermount3 -u -z "$runtime/doc" 2>/dev/null || true
    rm -rf "$workdir"
}
trap cleanup EXIT INT TERM

home=$workdir/home
runtime=$workdir/runtime
mkdir -p "$home/.config" "$home/.cache" "$home/.local/share/gnome-shell/extensions"
mkdir -m 700 "$runtime"
enabled=""
if [ $with_extension = 1 ]; then
    cp -r "$extension" "$home/.local/share/gnome-shell/extensions/"
    tr ':' '\n' <<<"${QUANDREL_GNOME_CALLERS:-}" >"$home/.local/share/gnome-shell/extensions/$uuid/callers"
    enabled="'$uuid'"
fi
if [ $testing = 1 ]; then
    cp -r "$repo/tests/support/gnome/test@quandrel.org" "$home/.local/share/gnome-shell/extensions/"
    enabled="${enabled:+$enabled, }'test@quandrel.org'"
fi

# The Shell asks logind and other system services; on a private system bus they are simply
# not there, instead of the host's being asked.
cat >"$workdir/system-bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=$runtime/system-bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default"><allow send_destination="*"/><allow receive_sender="*"/><allow own="*"/><allow user="*"/></policy>
</busconfig>
CONF
dbus-daemon --config-file="$workdir/system-bus.conf" --nofork --nopidfile >"$workdir/system-bus.log" 2>&1 &
system_bus_pid=$!

export HOME=$home XDG_RUNTIME_DIR=$runtime XDG_CONFIG_HOME=$home/.config XDG_CACHE_HOME=$home/.cache \
    XDG_DATA_HOME=$home/.local/share XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=GNOME \
    DBUS_SYSTEM_BUS_ADDRESS=unix:path=$runtime/system-bus QUANDREL_GNOME_WORKDIR=$workdir \
    QUANDREL_GNOME_ENABLED=$enabled QUANDREL_GNOME_TESTING=$testing QUANDREL_GNOME_WITH_EXTENSION=$with_extension
unset DISPLAY WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS
for _ in $(seq 1 200); do
    [ -S "$runtime/system-bus" ] && break
    sleep 0.05
done

set +e
dbus-run-session -- bash -c '
set -euo pipefail
gsettings set org.gnome.shell enabled-extensions "[$QUANDREL_GNOME_ENABLED]"
gsettings set org.gnome.shell disable-user-extensions false
gsettings set org.gnome.shell disable-extension-version-validation true
gsettings set org.gnome.shell welcome-dialog-last-shown-version "999"
gsettings set org.gnome.desktop.interface enable-animations false
gnome-shell --headless --wayland --wayland-display quandrel-gnome \
    --virtual-monitor 1440x900 --virtual-monitor 900x1440 >"$QUANDREL_GNOME_WORKDIR/shell.log" 2>&1 &
shell=$!
trap "kill $shell 2>/dev/null; wait $shell 2>/dev/null" EXIT
awaited=org.quandrel.Shell
[ "$QUANDREL_GNOME_WITH_EXTENSION" = 1 ] || awaited=org.gnome.Shell
if ! gdbus wait --session --timeout 60 $awaited; then
    echo "GNOME Shell did not start (waiting for $awaited)" >&2
    cat "$QUANDREL_GNOME_WORKDIR/shell.log" >&2
    exit 1
fi
if [ "$QUANDREL_GNOME_TESTING" = 1 ]; then
    # Tests begin once the start-up (and its overview) is over.
    state=""
    for _ in $(seq 1 30); do
        state=$(gdbus call --session -d org.gnome.Shell -o /org/gnome/Shell -m org.gnome.Shell.Eval \
            "[Main.layoutManager._startingUp, Main.overview.visible, global.workspace_manager.get_active_workspace().get_work_area_for_monitor(0).height != 900].join()" 2>/dev/null || true)
        [[ $state == *false,false,false* ]] && break
        sleep 0.1
    done
    [[ $state == *false,false,false* ]] || { echo "GNOME Shell did not finish starting: $state" >&2; exit 1; }
fi
export WAYLAND_DISPLAY=$XDG_RUNTIME_DIR/quandrel-gnome QUANDREL_GNOME_EXTENSION_DIR=$XDG_DATA_HOME/gnome-shell/extensions/shell@quandrel.org
# Services the bus starts on demand (the desktop portal and its backends) find the Shell.
dbus-update-activation-environment WAYLAND_DISPLAY XDG_CURRENT_DESKTOP XDG_SESSION_TYPE
if [ "$QUANDREL_GNOME_TESTING" = 1 ]; then
    /usr/libexec/gsd-media-keys >"$QUANDREL_GNOME_WORKDIR/media-keys.log" 2>&1 &
    media_keys=$!
    trap "kill $media_keys 2>/dev/null; kill $shell 2>/dev/null; wait $shell 2>/dev/null" EXIT
fi
echo "Private headless GNOME Shell $(gnome-shell --version | cut -d" " -f3) at $WAYLAND_DISPLAY" >&2
set +e
"$@"
' gnome-desktop "$@"
status=$?
set -e
exit $status
