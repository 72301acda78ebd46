'use strict';
// GNOME Shell 43 and 44: the extension as a legacy script.
const { Gio, GLib, Meta, Shell } = imports.gi;
const Main = imports.ui.main;
const ExtensionUtils = imports.misc.extensionUtils;
