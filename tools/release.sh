#!/usr/bin/env bash
# Builds the release artifacts of one version, for maintainers:
#
#   tools/release.sh VERSION --secret-key release.key --public-key release.pub
#                    [--output DIR] [--build-dir DIR] [--reuse-build] [--no-deb]
#
#   DIR/Quandrel-VERSION.zip, .zip.minisig   the signed, self-contained Quandrel.AppDir
#   DIR/quandrel_VERSION_amd64.deb           the Debian package (updated by apt, not by itself)
#
# It builds Quandrel in Release mode in --build-dir (default build-release) with VERSION
# compiled in, lays out the application folder with `ostry-release bundle`, copies in the
# libraries, Qt plugins and data (tools/release/deploy-appdir.sh), signs its manifest and
# packs and signs the zip with `ostry-release`, and makes the package with CPack. A secret
# key with a password asks for it twice (the manifest, then the archive). The unpacked folder
# stays in DIR/work for a look. --reuse-build takes the binaries already in --build-dir as
# they are (their version must be VERSION); the test suite uses it.
# Prints the artifacts, the linters' findings and `name: value unit` lines with their sizes.
set -euo pipefail
# A step that fails without a word of its own is named, so that a failed run says where.
trap 'echo "release: line $LINENO: \"$BASH_COMMAND\" failed" >&2' ERR
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/.." && pwd)
identifier=org.quandrel.Quandrel

usage() { sed -n '2,7p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
[ $# -ge 1 ] || usage
version=$1; shift
secret_key="" public_key="" output=dist build_dir=build-release reuse=0 deb=1
while [ $# -gt 0 ]; do
    case "$1" in
        --secret-key) secret_key=$2; shift 2 ;;
        --public-key) public_key=$2; shift 2 ;;
        --output) output=$2; shift 2 ;;
        --build-dir) build_dir=$2; shift 2 ;;
        --reuse-build) reuse=1; shift ;;
        --no-deb) deb=0; shift ;;
        *) usage ;;
    esac
done
[ -n "$secret_key" ] && [ -n "$public_key" ] || { echo "release: --secret-key and --public-key are needed" >&2; exit 2; }
case "$version" in [0-9]*) ;; *) echo "release: '$version' is not a version such as 1.4.2" >&2; exit 2 ;; esac
fail() { echo "release: $*" >&2; exit 1; }

if [ $reuse -eq 0 ]; then
    launcher=()
    command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
    # Hardened as Debian builds its packages (fortified functions, read-only relocations bound
    # at start).
    flags=()
    if command -v dpkg-buildflags >/dev/null; then
        # Without debugging information: the folder ships the binary as it is built.
        export DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CFLAGS_MAINT_STRIP=-g DEB_CXXFLAGS_MAINT_STRIP=-g
        flags=(-DCMAKE_C_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CFLAGS)"
               -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
               -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)")
    fi
    cmake -S "$source_dir" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUANDREL_RELEASE_VERSION="$version" \
        -DQUANDREL_BUILD_TESTS=OFF -DQUANDREL_BUILD_BENCH=OFF "${launcher[@]}" "${flags[@]}" >/dev/null
    cmake --build "$build_dir" --target quandrel ostry-release ostry-install-helper quandrel-gnome-extension
fi
build_dir=$(cd "$build_dir" && pwd)
quandrel="$build_dir/app/quandrel"
release_tool="$build_dir/updater/tools/ostry-release"
helper="$build_dir/updater/tools/ostry-install-helper"
for file in "$quandrel" "$release_tool" "$helper"; do
    [ -x "$file" ] || fail "$file is missing (build it, or leave out --reuse-build)"
done
built=$("$quandrel" --version)
[ "$built" = "Quandrel $version" ] || fail "$quandrel reports '$built', not Quandrel $version"

mkdir -p "$output"
output=$(cd "$output" && pwd)
work="$output/work"
rm -rf "$work"
mkdir -p "$work"
appdir="$work/Quandrel.AppDir"

icons=()
for png in "$source_dir"/packaging/icons/hicolor/*/apps/quandrel.png; do
    icons+=(--add "$png=usr/share/icons/hicolor/${png#"$source_dir/packaging/icons/hicolor/"}")
done
# The GNOME Shell extension in both flavours, which Quandrel installs from its own folder.
extension="$build_dir/platform/gnome/extension"
while IFS= read -r -d '' file; do
    icons+=(--add "$file=usr/share/quandrel/gnome-shell-extension/${file#"$extension/"}")
done < <(find "$extension/legacy" "$extension/modules" -type f -print0)
"$release_tool" bundle --output "$appdir" --executable "$quandrel" --install-helper "$helper" \
    --version "$version" --identifier "$identifier" --public-key "$public_key" \
    --add "$build_dir/packaging/quandrel.desktop=quandrel.desktop" \
    --add "$build_dir/packaging/quandrel-screenshots.desktop=usr/share/applications/quandrel-screenshots.desktop" \
    --add "$source_dir/packaging/quandrel.svg=quandrel.svg" \
    --add "$source_dir/packaging/quandrel.svg=usr/share/icons/hicolor/scalable/apps/quandrel.svg" \
    --add "$build_dir/packaging/$identifier.metainfo.xml=usr/share/metainfo/$identifier.metainfo.xml" \
    --add "$build_dir/packaging/quandrel-symbolic.svg=usr/share/icons/hicolor/symbolic/apps/quandrel-symbolic.svg" \
    "${icons[@]}" \
    --add "$build_dir/packaging/quandrel.1.gz=usr/share/man/man1/quandrel.1.gz" \
    --add "$source_dir/packaging/completions/quandrel.bash=usr/share/bash-completion/completions/quandrel" \
    --add "$source_dir/packaging/completions/_quandrel=usr/share/zsh/vendor-completions/_quandrel" >/dev/null
"$here/release/deploy-appdir.sh" "$appdir"
"$release_tool" sign --secret-key "$secret_key" "$appdir" >/dev/null
zip=$("$release_tool" package --secret-key "$secret_key" --output-dir "$output" "$appdir" | head -n 1)
if command -v minisign >/dev/null; then
    minisign -Vm "$zip" -p "$public_key" >/dev/null || fail "minisign does not accept $zip"
fi
echo "$zip"
echo "$zip.minisig"

package=""
if [ $deb -eq 1 ]; then
    (cd "$build_dir" && cpack -G DEB -B "$work/deb" -D CPACK_PACKAGE_VERSION="${version//-/\~}" >"$work/cpack.log" 2>&1) \
        || { cat "$work/cpack.log" >&2; fail "cpack failed"; }
    built_package=$(find "$work/deb" -maxdepth 1 -name '*.deb' | head -n 1)
    [ -n "$built_package" ] || fail "cpack made no package"
    package="$output/$(basename "$built_package")"
    mv -f "$built_package" "$package"
    echo "$package"
fi

# The usual linters, where this machine has them: errors stop the release, lintian's
# findings are shown for the maintainer to judge.
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$appdir/quandrel.desktop" || fail "the desktop entry is not valid"
fi
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net --explain "$appdir/usr/share/metainfo/$identifier.metainfo.xml" >"$work/appstream.log" 2>&1 \
        || { cat "$work/appstream.log" >&2; fail "the AppStream metainfo is not valid"; }
    grep -E '^[IWE]:' "$work/appstream.log" || true
fi
if [ -n "$package" ] && command -v lintian >/dev/null; then
    lintian "$package" || true
fi

size() { stat -c %s "$1" | awk '{ printf "%.2f MiB", $1 / 1048576 }'; }
echo "release_zip_size: $(size "$zip")"
echo "release_appdir_size: $(du -sb "$appdir" | awk '{ printf "%.2f MiB", $1 / 1048576 }')"
[ -n "$package" ] && echo "release_deb_size: $(size "$package")"
exit 0
