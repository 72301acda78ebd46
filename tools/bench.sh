#!/usr/bin/env bash
# Builds and runs every benchmark (executables under build/bench whose names contain
# "bench") on a private virtual desktop, the sway ones in a private headless sway, the GNOME
# ones in a private headless GNOME Shell, the KWin ones in a private headless KWin. Each prints
# "name: value unit" lines.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build
mapfile -t benches < <(find build/bench -type f -executable -name '*bench*' | sort)
for b in "${benches[@]}"; do
    echo "== $(basename "$b")"
    case "$(basename "$b")" in
        sway*) tools/sway-desktop.sh -- "$b" 2>/dev/null ;;
        gnome*) tools/gnome-desktop.sh --testing -- "$b" 2>/dev/null ;;
        kwin_window*) tools/kwin-desktop.sh --size 1440x900 -- "$b" 2>/dev/null ;;
        kwin*) tools/kwin-desktop.sh -- "$b" 2>/dev/null ;;
        *) tools/virtual-desktop.sh -- "$b" 2>/dev/null ;;
    esac
done
