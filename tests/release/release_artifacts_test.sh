#!/usr/bin/env bash
# The release command in its quick form, on this build tree's binaries:
#   - tools/release.sh assembles Quandrel.AppDir, signs and zips it with a throwaway key, and
#     makes the Debian package;
#   - minisign verifies the zip on its own, and the updater's own checks accept it;
#   - the folder unpacked from the zip runs Quandrel on the virtual desktop with the
#     machine's copies of every bundled library hidden (as root, in a private mount
#     namespace), and /proc/<pid>/maps shows every Qt library and plugin loaded from inside it;
#   - the package holds what it should, and (as root) installs and removes cleanly with dpkg.
#
#   release_artifacts_test.sh BUILD_DIR VERSION
#
# Needs a display (tools/virtual-desktop.sh); without one it says so and is skipped (77).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)

# Runs inside the private mount namespace: hides the machine's copies, then runs the check.
if [ "${1:-}" = "--hidden" ]; then
    shift
    appdir=$1; shift
    plugins=$(qtpaths6 --query QT_INSTALL_PLUGINS 2>/dev/null || true)
    while read -r name; do
        for file in /usr/lib/x86_64-linux-gnu/"$name"* /lib/x86_64-linux-gnu/"$name"*; do
            [ -f "$file" ] && [ ! -L "$file" ] && mount --bind /dev/null "$file"
        done
    done < <(ls "$appdir/usr/lib")
    [ -d "$plugins" ] && mount -t tmpfs none "$plugins"
    exec "$@"
fi

build=$(cd "${1:?usage: release_artifacts_test.sh BUILD_DIR VERSION}" && pwd)
version=${2:?usage: release_artifacts_test.sh BUILD_DIR VERSION}
if [ -z "${DISPLAY:-}" ]; then
    echo "release_artifacts_test: skipped: no display (run it through tools/virtual-desktop.sh)"
    exit 77
fi
started=$(date +%s%N)
scratch=$(mktemp -d /tmp/quandrel-release-test.XXXXXX)
app_pid=""
installed_package=0
cleanup() {
    if [ -n "$app_pid" ]; then kill "$app_pid" 2>/dev/null || true; wait "$app_pid" 2>/dev/null || true; fi
    if [ $installed_package -eq 1 ]; then dpkg --purge quandrel >/dev/null 2>&1 || true; fi
    rm -rf "$scratch"
}
trap cleanup EXIT
failures=0
# What the package installs; the folder carries the same below usr/share (the desktop entry
# at its top).
installed_files=(usr/bin/quandrel usr/share/applications/quandrel.desktop usr/share/applications/quandrel-screenshots.desktop usr/share/icons/hicolor/scalable/apps/quandrel.svg
                 usr/share/icons/hicolor/symbolic/apps/quandrel-symbolic.svg usr/share/icons/hicolor/48x48/apps/quandrel.png
                 usr/share/icons/hicolor/256x256/apps/quandrel.png usr/share/metainfo/org.quandrel.Quandrel.metainfo.xml
                 usr/share/man/man1/quandrel.1.gz usr/share/bash-completion/completions/quandrel
                 usr/share/zsh/vendor-completions/_quandrel
                 usr/share/quandrel/gnome-shell-extension/legacy/shell@quandrel.org/extension.js
                 usr/share/quandrel/gnome-shell-extension/modules/shell@quandrel.org/extension.js)
check() { # description, command...
    local description=$1; shift
    if "$@"; then echo "ok: $description"; else echo "FAILED: $description" >&2; failures=$((failures + 1)); fi
}

# A private home: nothing of the caller's settings, data or runtime folder is touched.
export HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/home/.config" XDG_DATA_HOME="$scratch/home/.local/share"
export XDG_CACHE_HOME="$scratch/home/.cache" XDG_RUNTIME_DIR="$scratch/runtime"
mkdir -p "$HOME" && mkdir -m 0700 "$XDG_RUNTIME_DIR"
# The folder's updater checks at its first start: it asks a port on this machine where
# nobody answers, never the real release service.
export QUANDREL_RELEASE_API="http://127.0.0.1:9"

minisign -G -W -p "$scratch/release.pub" -s "$scratch/release.key" >/dev/null
"$source_dir/tools/release.sh" "$version" --secret-key "$scratch/release.key" --public-key "$scratch/release.pub" \
    --output "$scratch/dist" --build-dir "$build" --reuse-build >"$scratch/release.log" 2>&1 \
    || { cat "$scratch/release.log"; echo "FAILED: tools/release.sh" >&2; exit 1; }
cat "$scratch/release.log"
zip="$scratch/dist/Quandrel-$version.zip"
deb=$(find "$scratch/dist" -maxdepth 1 -name 'quandrel_*.deb' | head -n 1)

# The archive: minisign's own check, then the updater's checks against an installed 1.0 of
# the same key (the manifest must cover every bundled library and plugin, with sound modes).
check "minisign -Vm accepts the zip" minisign -Vm "$zip" -p "$scratch/release.pub" -q
"$build/updater/tools/ostry-release" bundle --output "$scratch/installed/Quandrel.AppDir" --executable /bin/true \
    --version 0.0.1 --identifier org.quandrel.Quandrel --public-key "$scratch/release.pub" >/dev/null
verdict=$("$build/updater/tools/ostry-release" verify "$zip" "$scratch/installed/Quandrel.AppDir" || true)
check "the updater accepts the zip ($verdict)" [ "${verdict%%:*}" = OK ]

mkdir -p "$scratch/unpacked"
unzip -q "$zip" -d "$scratch/unpacked"
appdir="$scratch/unpacked/Quandrel.AppDir"
check "the zip holds the application folder" [ -x "$appdir/AppRun" ]
check "the folder carries English text-recognition data" [ -s "$appdir/usr/share/tessdata/eng.traineddata" ]
check "the folder carries the text-recognition engine, which Quandrel opens itself" [ -s "$appdir/usr/lib/libtesseract.so.5" ]
for file in "${installed_files[@]:2}"; do
    check "the folder carries $file" [ -s "$appdir/$file" ]
done
check "the folder keeps the system's C library and X client library outside" \
    bash -c "! ls '$appdir/usr/lib' | grep -Eq '^(libc\.so|libstdc\+\+|libX11\.so|libxcb\.so|libGL\.so|libfontconfig|libfreetype)'"

# Quandrel from the folder, with the machine's copies of its libraries and Qt's plugins hidden
# where a private mount namespace can be had (root); the maps are checked either way.
run=("$appdir/AppRun")
if [ "$(id -u)" -eq 0 ] && unshare --mount --propagation private true 2>/dev/null; then
    run=(unshare --mount --propagation private "$0" --hidden "$appdir" "$appdir/AppRun")
    echo "the machine's copies of the bundled libraries and its Qt plugins are hidden for this run"
else
    echo "not root: the machine's libraries stay visible; only /proc/<pid>/maps is checked"
fi
# A caller whose LD_LIBRARY_PATH names the machine's Qt: the bundled copies still win, and
# the variable reaches the programs Quandrel starts as the caller set it.
system_libs=$(dirname "$(ldd "$build/app/quandrel" | awk '/libQt6Core/ { print $3 }')")
LD_LIBRARY_PATH="$system_libs" "${run[@]}" >"$scratch/quandrel.log" 2>&1 &
app_pid=$!
ready=0
for _ in $(seq 1 300); do
    if compgen -G "$XDG_RUNTIME_DIR/quandrel-*.socket" >/dev/null; then ready=1; break; fi
    kill -0 "$app_pid" 2>/dev/null || break
    sleep 0.05
done
check "Quandrel started from the folder and listens" [ $ready -eq 1 ]
check "a second start from the folder hands a URL to it" "${run[@]}" quandrel://pins/close
# The process that maps the libraries: unshare execs into AppRun, AppRun into quandrel.
maps="/proc/$app_pid/maps"
mapped=$(grep -o '/[^ ]*\.so[^ ]*$' "$maps" 2>/dev/null | sort -u || true)
echo "$mapped" > "$scratch/mapped"
check "libQt6Core is mapped" grep -q 'libQt6Core' "$scratch/mapped"
check "the idle Quandrel has not loaded the text-recognition engine" bash -c "! grep -q libtesseract '$scratch/mapped'"
check "the xcb platform plugin is mapped from the folder" grep -qF "$appdir/usr/plugins/platforms/libqxcb.so" "$scratch/mapped"
outside_qt=$(grep -E 'libQt6|/plugins/' "$scratch/mapped" | grep -vF "$appdir/" || true)
check "every Qt library and plugin comes from the folder${outside_qt:+ (not: $outside_qt)}" [ -z "$outside_qt" ]
doubled=""
for name in $(ls "$appdir/usr/lib"); do
    doubled+=$(grep -vF "$appdir/" "$scratch/mapped" | grep -F "/$name" || true)
done
check "no bundled library is loaded from the system as well${doubled:+ (not: $doubled)}" [ -z "$doubled" ]
tr '\0' '\n' <"/proc/$app_pid/environ" >"$scratch/environ"
check "the caller's LD_LIBRARY_PATH is passed on unchanged" grep -qxF "LD_LIBRARY_PATH=$system_libs" "$scratch/environ"
leaked=$(grep -E '^(LD_LIBRARY_PATH|QT_PLUGIN_PATH|QT_QPA_PLATFORM_PLUGIN_PATH)=' "$scratch/environ" | grep -F "$appdir" || true)
check "no library or plugin path of the folder leaks into the environment${leaked:+ ($leaked)}" [ -z "$leaked" ]
check "AppRun names the folder and nothing else" [ -z "$(grep -F "$appdir" "$scratch/environ" | grep -v '^APPDIR=')" ]
kill "$app_pid" 2>/dev/null || true
wait "$app_pid" 2>/dev/null || true
app_pid=""
[ $ready -eq 1 ] || cat "$scratch/quandrel.log"

# The Debian package.
check "the package is built" [ -f "$deb" ]
contents=$(dpkg-deb -c "$deb" | awk '{ print $6 }')
for file in "${installed_files[@]}"; do
    check "the package installs /$file" grep -qxF "./$file" <<<"$contents"
done
check "the package holds no bundle metadata (the updater stays off)" bash -c "! grep -q 'Bundle/' <<<'$contents'"
depends=$(dpkg-deb -f "$deb" Depends)
check "the package depends on Qt's Debian packages ($depends)" grep -q 'libqt6widgets6' <<<"$depends"
if [ "$(id -u)" -ne 0 ]; then
    echo "dpkg install and removal: skipped (not root)"
elif dpkg-query -W -f='${Status}' quandrel 2>/dev/null | grep -q 'ok installed'; then
    echo "dpkg install and removal: skipped (a quandrel package is installed on this machine; left alone)"
else
    dpkg_retry() { # waits for another dpkg or apt run to finish with the lock
        local attempt
        for attempt in $(seq 1 60); do
            if "$@" >"$scratch/dpkg.log" 2>&1; then return 0; fi
            grep -qi 'lock' "$scratch/dpkg.log" || { cat "$scratch/dpkg.log" >&2; return 1; }
            sleep 1
        done
        cat "$scratch/dpkg.log" >&2
        return 1
    }
    installed_package=1
    check "dpkg -i installs the package" dpkg_retry dpkg -i "$deb"
    check "the installed /usr/bin/quandrel runs" [ "$(/usr/bin/quandrel --version 2>&1)" = "Quandrel $version" ]
    check "dpkg -r removes the package" dpkg_retry dpkg -r quandrel
    left=""
    for file in $contents; do
        [ -f "${file#.}" ] && left+=" ${file#.}"
    done
    check "nothing of the package is left behind${left:+ (left:$left)}" [ -z "$left" ]
    dpkg_retry dpkg --purge quandrel || true
    installed_package=0
fi

echo "release_test_duration: $(( ($(date +%s%N) - started) / 1000000 )) ms"
if [ $failures -ne 0 ]; then
    echo "$failures checks failed" >&2
    exit 1
fi
echo "release artifacts: every check passed"
