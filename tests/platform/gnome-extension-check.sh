#!/usr/bin/env bash
# Both flavours of the GNOME Shell extension load in gjs with the Shell's own libraries (Gio,
# GLib, Meta, Shell) and give an extension object with enable and disable: the module flavour
# as an ES module, the legacy one as a script. Only the Shell's own JavaScript (Main, the
# extension base class) is stood in for, since it exists only inside a running Shell.
#
#   gnome-extension-check.sh <build>/platform/gnome/extension
set -euo pipefail
built=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export GI_TYPELIB_PATH=$(ls -d /usr/lib/*/mutter-* 2>/dev/null | head -n 1):/usr/lib/gnome-shell

mkdir "$work/modules"
sed -e "s|^import \* as Main from 'resource:///org/gnome/shell/ui/main.js';|const Main = {};|" \
    -e "s|^import {Extension} from 'resource:///org/gnome/shell/extensions/extension.js';|class Extension { constructor(meta) { this.path = meta.path; } }|" \
    "$built/modules/shell@quandrel.org/extension.js" >"$work/modules/extension.js"
grep -q "^import .*resource://" "$work/modules/extension.js" && { echo "unexpected Shell import" >&2; exit 1; }
cat >"$work/modules/check.js" <<'JS'
import QuandrelExtension from './extension.js';
const extension = new QuandrelExtension({path: '/nonexistent'});
if (typeof extension.enable !== 'function' || typeof extension.disable !== 'function')
    throw new Error('the module flavour gives no extension');
JS
gjs -m "$work/modules/check.js"

sed -e "s|^const Main = imports.ui.main;|const Main = {};|" \
    -e "s|^const ExtensionUtils = imports.misc.extensionUtils;|const ExtensionUtils = {getCurrentExtension: () => ({path: '/nonexistent'})};|" \
    "$built/legacy/shell@quandrel.org/extension.js" >"$work/legacy.js"
cat >>"$work/legacy.js" <<'JS'
const extension = init();
if (typeof extension.enable !== 'function' || typeof extension.disable !== 'function')
    throw new Error('the legacy flavour gives no extension');
JS
gjs "$work/legacy.js"
for flavour in legacy modules; do
    python3 -c 'import json, sys; m = json.load(open(sys.argv[1])); assert m["uuid"] == "shell@quandrel.org" and m["shell-version"]' \
        "$built/$flavour/shell@quandrel.org/metadata.json"
    [ -f "$built/$flavour/shell@quandrel.org/schemas/gschemas.compiled" ]
done
echo "both flavours load"
