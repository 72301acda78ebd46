#!/usr/bin/env bash
# Runs a command on a private virtual desktop: Xvfb on a free display number with an EWMH
# window manager, openbox unless QUANDREL_WM names another (fluxbox, icewm, xfwm4, metacity).
# Each runs with a private home and a configuration of one workspace and no key bindings of
# its own; icewm's task bar is there but hidden (`icesh -T unhide` shows it). The desktop is
# stopped when the command ends, whatever its outcome, and the command's exit status is
# passed on. The caller's own display is never touched: DISPLAY is replaced for the command
# only, and the command gets QUANDREL_TEST_WM with the window manager's name.
#
#   [QUANDREL_WM=fluxbox] tools/virtual-desktop.sh [--size WxH] -- command [args...]
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

wm=${QUANDREL_WM:-openbox}
case "$wm" in
    openbox|fluxbox|icewm|xfwm4|metacity) ;;
    *) echo "unknown window manager '$wm' (openbox, fluxbox, icewm, xfwm4, metacity)" >&2; exit 2 ;;
esac
command -v "$wm" >/dev/null || { echo "$wm is not installed (tools/install-deps.sh)" >&2; exit 1; }

workdir=$(mktemp -d /tmp/quandrel-desktop.XXXXXX)
xvfb_pid=""
wm_pid=""
bus_pid=""
cleanup() {
    if [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null; then
        # A window manager stuck in its own exit (fluxbox, at times) is killed after a while.
        for _ in $(seq 1 40); do kill -0 "$wm_pid" 2>/dev/null || break; sleep 0.05; done
        kill -KILL "$wm_pid" 2>/dev/null || true
    fi
    [ -n "$bus_pid" ] && kill "$bus_pid" 2>/dev/null || true
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

home="$workdir/home"
mkdir -p "$home/.config"
# The window manager sees a private home and no system-wide defaults (key bindings, say).
wm_env=(env HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_CONFIG_DIRS="$home/xdg" XDG_DATA_HOME="$home/.local/share"
        XDG_CACHE_HOME="$home/.cache" GSETTINGS_BACKEND=keyfile NO_AT_BRIDGE=1)
case "$wm" in
openbox)
    # openbox's own default configuration without its key bindings (it grabs
    # Control+Alt+arrows and more), with one desktop and no screen-edge desktop switching.
    config="$here/openbox-rc.xml"
    if [ -f /etc/xdg/openbox/rc.xml ]; then
        config="$workdir/rc.xml"
        sed -e '/<keyboard>/,/<\/keyboard>/c\  <keyboard></keyboard>' \
            -e 's|<number>[0-9]*</number>|<number>1</number>|' \
            -e 's|<screenEdgeWarpTime>[0-9]*</screenEdgeWarpTime>|<screenEdgeWarpTime>0</screenEdgeWarpTime>|' \
            -e 's|<dragThreshold>[0-9]*</dragThreshold>|<dragThreshold>1</dragThreshold>|' \
            /etc/xdg/openbox/rc.xml > "$config"
    fi
    wm_command=(openbox --config-file "$config") ;;
fluxbox)
    # No toolbar, no keys, no per-application rules.
    mkdir -p "$home/.fluxbox"
    : > "$home/.fluxbox/keys"
    : > "$home/.fluxbox/apps"
    printf '%s\n' 'session.screen0.toolbar.visible: false' 'session.screen0.workspaces: 1' \
        'session.screen0.edgeSnapThreshold: 0' "session.keyFile: $home/.fluxbox/keys" \
        "session.appsFile: $home/.fluxbox/apps" 'session.configVersion: 13' > "$home/.fluxbox/init"
    wm_command=(fluxbox -rc "$home/.fluxbox/init") ;;
icewm)
    # Every key binding of icewm's own emptied; no edge resistance.
    mkdir -p "$home/.icewm"
    {
        sed -n 's/^# *\(Key[A-Za-z0-9]*\)=.*/\1=""/p' /usr/share/icewm/preferences
        printf '%s\n' 'WorkspaceNames=" 1 "' EdgeResistance=0 EdgeSwitch=0 TaskBarShowClock=0 ConfirmLogout=0
    } > "$home/.icewm/preferences"
    : > "$home/.icewm/keys"
    : > "$home/.icewm/toolbar"
    wm_command=(icewm) ;;
xfwm4)
    # xfwm4 reads its settings from xfconf, over a private session bus.
    channels="$home/.config/xfce4/xfconf/xfce-perchannel-xml"
    mkdir -p "$channels"
    printf '%s\n' '<?xml version="1.0" encoding="UTF-8"?>' '<channel name="xfwm4" version="1.0">' \
        ' <property name="general" type="empty">' '  <property name="workspace_count" type="int" value="1"/>' \
        '  <property name="use_compositing" type="bool" value="false"/>' ' </property>' '</channel>' > "$channels/xfwm4.xml"
    { read -r bus_address; read -r bus_pid; } < <("${wm_env[@]}" dbus-daemon --session --fork --print-address=1 --print-pid=1)
    wm_env+=(DBUS_SESSION_BUS_ADDRESS="$bus_address")
    wm_command=(xfwm4 --compositor=off --sm-client-disable) ;;
metacity)
    # GSettings in a key file of the private home.
    mkdir -p "$home/.config/glib-2.0/settings"
    printf '%s\n' '[org/gnome/desktop/wm/preferences]' 'num-workspaces=1' > "$home/.config/glib-2.0/settings/keyfile"
    wm_command=(metacity --no-composite --sm-disable) ;;
esac
"${wm_env[@]}" "${wm_command[@]}" >"$workdir/wm.log" 2>&1 &
wm_pid=$!
wm_ready() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
for _ in $(seq 1 200); do
    wm_ready && break
    kill -0 "$wm_pid" 2>/dev/null || break
    sleep 0.05
done
wm_ready || { echo "$wm did not start" >&2; cat "$workdir/wm.log" >&2; exit 1; }
# icewm makes its task bar after it has taken the screen.
if [ "$wm" = icewm ]; then
    for _ in $(seq 1 100); do
        "${wm_env[@]}" icesh -T hide 2>/dev/null && break
        sleep 0.05
    done
fi

# Tests that play a busy machine stop and continue the window manager by this id.
export QUANDREL_TEST_WM="$wm"
export QUANDREL_TEST_WM_PID="$wm_pid"
echo "Private virtual desktop on $DISPLAY (${size}, $wm)" >&2
set +e
"$@"
status=$?
set -e
exit $status
