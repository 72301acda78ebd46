#!/usr/bin/env bash
# Makes an application folder made by `ostry-release bundle` self-contained: copies in the Qt
# plugins Quandrel loads, every library its binaries need that the system does not provide
# (following DT_NEEDED from usr/bin, usr/libexec and the plugins, as `ldd` resolves it on
# this machine, and stopping at the libraries named in `excludelist`), and the English
# text-recognition data. The copies get an $ORIGIN-relative RPATH (DT_RPATH, which the loader
# searches before LD_LIBRARY_PATH), so the bundled libraries are found from wherever the
# folder lies, whatever the caller's LD_LIBRARY_PATH says, also by the install helper that
# pkexec starts with a clean environment; usr/bin/qt.conf points Qt at the bundled plugins.
# Nothing of this goes through the environment, which the programs Quandrel starts inherit.
#
#   tools/release/deploy-appdir.sh APPDIR
#
# QT_PLUGINS_DIR, QT_TRANSLATIONS_DIR and TESSDATA_DIR override where the plugins, Qt's
# translations and the data are taken from.
set -euo pipefail
trap 'echo "deploy-appdir: line $LINENO: \"$BASH_COMMAND\" failed" >&2' ERR
here=$(cd "$(dirname "$0")" && pwd)
appdir=${1:?usage: deploy-appdir.sh APPDIR}
[ -x "$appdir/AppRun" ] || { echo "deploy-appdir: $appdir is not an application folder" >&2; exit 1; }
command -v patchelf >/dev/null || { echo "deploy-appdir: patchelf is needed (apt-get install patchelf)" >&2; exit 1; }

plugins_src=${QT_PLUGINS_DIR:-$(qtpaths6 --query QT_INSTALL_PLUGINS 2>/dev/null || /usr/lib/qt6/bin/qtpaths6 --query QT_INSTALL_PLUGINS)}
[ -d "$plugins_src" ] || { echo "deploy-appdir: no Qt plugins in '$plugins_src'" >&2; exit 1; }
lib="$appdir/usr/lib"
plugins="$appdir/usr/plugins"
mkdir -p "$lib" "$plugins"

mapfile -t excluded < <(grep -v '^\s*#' "$here/excludelist" | sed '/^\s*$/d')
is_excluded() {
    local name=$1 pattern
    for pattern in "${excluded[@]}"; do
        # shellcheck disable=SC2053 # the list's entries are patterns
        [[ $name == $pattern ]] && return 0
    done
    return 1
}

# The plugins Quandrel loads: the X11 platform with its GL integrations and input methods,
# image formats (SVG included), the SVG icon engine, the TLS backends of the update download,
# and the portal theme where Qt has one.
plugin_set=(platforms/libqxcb.so xcbglintegrations/'*.so' platforminputcontexts/'*.so' imageformats/'*.so'
            iconengines/'*.so' tls/'*.so' platformthemes/libqxdgdesktopportal.so)
for entry in "${plugin_set[@]}"; do
    for file in $plugins_src/$entry; do
        [ -f "$file" ] || continue
        category=$(basename "$(dirname "$file")")
        mkdir -p "$plugins/$category"
        cp -L "$file" "$plugins/$category/"
    done
done
[ -f "$plugins/platforms/libqxcb.so" ] || { echo "deploy-appdir: the xcb platform plugin is missing" >&2; exit 1; }

roots=()
for file in "$appdir"/usr/bin/* "$appdir"/usr/libexec/* "$plugins"/*/*.so; do
    [ -f "$file" ] && head -c 4 "$file" | grep -q 'ELF' && roots+=("$file")
done

# Where this machine's loader finds each library the roots need.
declare -A source_of=()
resolve() { # file: adds its ldd closure to source_of
    local name arrow path rest
    while read -r name arrow path rest; do
        if [ "$arrow" = "=>" ] && [ "$path" = "not" ]; then
            echo "deploy-appdir: $1 needs $name, which is not installed" >&2
            exit 1
        fi
        if [ "$arrow" = "=>" ] && [ -n "$path" ]; then source_of[$name]=$path; fi
    done < <(ldd "$1")
}

declare -A bundled=()
queue=("${roots[@]}")
bundle() { # name source: copies a library in and queues it for its own needs
    cp -L "$2" "$lib/$1"
    chmod 0644 "$lib/$1"
    bundled[$1]=1
    queue+=("$lib/$1")
}
# Libraries Quandrel opens itself when first needed, which no DT_NEEDED names: the text
# recognition engine.
for name in libtesseract.so.5; do
    # awk reads the whole list: leaving early would end ldconfig by SIGPIPE, which pipefail
    # counts as a failure.
    source=$(/sbin/ldconfig -p | awk -v n="$name" '$1 == n && !found { print $NF; found = 1 }')
    [ -n "$source" ] || { echo "deploy-appdir: $name is not installed" >&2; exit 1; }
    bundle "$name" "$source"
done
while [ ${#queue[@]} -gt 0 ]; do
    file=${queue[0]}
    queue=("${queue[@]:1}")
    resolve "$file"
    for name in $(patchelf --print-needed "$file"); do
        is_excluded "$name" && continue
        [ -n "${bundled[$name]:-}" ] && continue
        source=${source_of[$name]:-}
        [ -n "$source" ] || { echo "deploy-appdir: no $name for $file" >&2; exit 1; }
        bundle "$name" "$source"
    done
done

# Quandrel's own programs without their symbol tables; the system's libraries come stripped.
for file in "${roots[@]}"; do
    case "$file" in "$appdir"/usr/bin/* | "$appdir"/usr/libexec/*) strip --strip-unneeded "$file" ;; esac
done

# RPATH relative to each file's own folder.
for file in "${roots[@]}" "$lib"/*; do
    case "$file" in
        "$appdir"/usr/bin/* | "$appdir"/usr/libexec/*) rpath='$ORIGIN/../lib' ;;
        "$plugins"/*) rpath='$ORIGIN/../../lib' ;;
        *) rpath='$ORIGIN' ;;
    esac
    patchelf --force-rpath --set-rpath "$rpath" "$file"
done

cat > "$appdir/usr/bin/qt.conf" <<'CONF'
[Paths]
Prefix = ..
Libraries = lib
Plugins = plugins
Data = share
Translations = share/qt6/translations
CONF

# Qt's own texts (dialog buttons, the command line's help) for each language Quandrel speaks;
# Quandrel's own are built into its binary.
translations_src=${QT_TRANSLATIONS_DIR:-$(qtpaths6 --query QT_INSTALL_TRANSLATIONS 2>/dev/null || /usr/lib/qt6/bin/qtpaths6 --query QT_INSTALL_TRANSLATIONS)}
mkdir -p "$appdir/usr/share/qt6/translations"
for ts in "$here"/../../translations/quandrel_*.ts; do
    language=$(basename "$ts" .ts)
    language=${language#quandrel_}
    qm="$translations_src/qtbase_$language.qm"
    [ -f "$qm" ] || qm="$translations_src/qtbase_${language%%_*}.qm"
    [ -f "$qm" ] || { echo "deploy-appdir: no Qt translation for '$language' in '$translations_src' (apt-get install qt6-translations-l10n)" >&2; exit 1; }
    cp -L "$qm" "$appdir/usr/share/qt6/translations/"
done

# English text-recognition data (the tesseract-ocr-eng package), found by the application in
# usr/share/tessdata beside its usr/bin.
tessdata=${TESSDATA_DIR:-}
if [ -z "$tessdata" ]; then
    for candidate in /usr/share/tesseract-ocr/*/tessdata; do
        [ -f "$candidate/eng.traineddata" ] && tessdata=$candidate
    done
fi
[ -f "$tessdata/eng.traineddata" ] || { echo "deploy-appdir: no eng.traineddata (apt-get install tesseract-ocr-eng)" >&2; exit 1; }
mkdir -p "$appdir/usr/share/tessdata"
cp -L "$tessdata/eng.traineddata" "$appdir/usr/share/tessdata/"

# The oldest C and C++ runtimes the folder runs with: the newest symbol versions it asks for.
needs=$(find "$appdir/usr" -type f \( -name '*.so*' -o -perm -u+x \) -exec objdump -T {} + 2>/dev/null \
    | grep -oE '\b(GLIBC|GLIBCXX)_[0-9.]+' | sort -uV | awk -F_ '{ newest[$1] = $0 } END { print newest["GLIBC"], newest["GLIBCXX"] }')
echo "deploy-appdir: ${#bundled[@]} libraries, $(find "$plugins" -name '*.so' | wc -l) plugins in $appdir; the system must provide $needs"
