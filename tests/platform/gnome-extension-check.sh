#!/usr/bin/env bash
# Both flavours of the GNOME Shell extension load in gjs with the Shell's own libraries (Gio,
# GLib, Meta, Shell) and give an extension object with enable and disable: the module flavour
# as an ES module, unchanged, its resource:///org/gnome/shell imports answered by stand-ins
# in a resource bundle of their own; the legacy one as a script. Only the Shell's own
# JavaScript (Main, the extension base class) is stood in for, since it exists only inside a
# running Shell.
#
#   gnome-extension-check.sh <build>/platform/gnome/extension
set -euo pipefail
built=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export GI_TYPELIB_PATH=$(ls -d /usr/lib/*/mutter-* 2>/dev/null | head -n 1):/usr/lib/gnome-shell

# What the module flavour imports from the Shell, with the names it uses.
mkdir -p "$work/shell/ui" "$work/shell/extensions"
cat >"$work/shell/ui/main.js" <<'JS'
export const wm = {};
export function activateWindow() {}
JS
cat >"$work/shell/extensions/extension.js" <<'JS'
export class Extension {
    constructor(metadata) {
        this.metadata = metadata;
        this.path = metadata.path;
    }
}
JS
cat >"$work/shell.gresource.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<gresources>
  <gresource prefix="/org/gnome/shell">
    <file>ui/main.js</file>
    <file>extensions/extension.js</file>
  </gresource>
</gresources>
XML
glib-compile-resources --sourcedir="$work/shell" --target="$work/shell.gresource" "$work/shell.gresource.xml"
imports=$(grep -c "^import .* from 'resource:///org/gnome/shell/" "$built/modules/shell@quandrel.org/extension.js" || true)
[ "$imports" -ge 1 ] || { echo "the module flavour imports nothing from the Shell" >&2; exit 1; }
cat >"$work/check.js" <<JS
import Gio from 'gi://Gio';
Gio.Resource.load('$work/shell.gresource')._register();
const {Extension} = await import('resource:///org/gnome/shell/extensions/extension.js');
const {default: QuandrelExtension} = await import('file://$built/modules/shell@quandrel.org/extension.js');
const extension = new QuandrelExtension({path: '/nonexistent', uuid: 'shell@quandrel.org'});
if (!(extension instanceof Extension) || typeof extension.enable !== 'function' || typeof extension.disable !== 'function')
    throw new Error('the module flavour gives no extension');
JS
gjs -m "$work/check.js"

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
