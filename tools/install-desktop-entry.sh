#!/usr/bin/env bash
# Registers Quandrel as the handler of quandrel:// URLs for the current user: a desktop entry
# in $XDG_DATA_HOME/applications pointing at the given executable, made the default for the
# x-scheme-handler/quandrel type, so that `xdg-open quandrel://window/leftHalf` reaches it.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
executable=$(realpath "$1")
# Quoted only when it must be: xdg-open's generic handler takes the first word as it stands.
case "$executable" in *[[:space:]]*) executable="\"$executable\"" ;; esac
apps="${XDG_DATA_HOME:-$HOME/.local/share}/applications"
mkdir -p "$apps"
sed "s|@QUANDREL@|$executable|" "$here/quandrel.desktop.in" > "$apps/quandrel.desktop.tmp"
mv "$apps/quandrel.desktop.tmp" "$apps/quandrel.desktop"
command -v update-desktop-database >/dev/null && update-desktop-database "$apps" >/dev/null 2>&1 || true
command -v xdg-mime >/dev/null && xdg-mime default quandrel.desktop x-scheme-handler/quandrel || true
