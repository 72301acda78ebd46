#!/usr/bin/env bash
# Installs what is missing, builds, and runs Quandrel on the current X display, or on a
# private virtual desktop when there is none. Arguments are passed to quandrel.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target quandrel
tools/install-desktop-entry.sh build/app/quandrel
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    exec build/app/quandrel "$@"
fi
echo "No X display found: starting Quandrel on a private virtual desktop." >&2
exec tools/virtual-desktop.sh -- build/app/quandrel "$@"
