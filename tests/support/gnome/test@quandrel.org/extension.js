'use strict';
// What tests need of the private GNOME Shell (tools/gnome-desktop.sh --testing): no top bar,
// so the displays reserve nothing at their edges; the overview closed; and the Shell's Eval
// open, so tests read windows by their own means and drive the Shell.
const Main = imports.ui.main;

class TestExtension {
    enable() {
        global.context.unsafe_mode = true;
        // No banners over the windows tests read (the unsafe mode's own, for one).
        Main.messageTray.bannerBlocked = true;
        const quiet = () => {
            if (Main.layoutManager._findActor(Main.layoutManager.panelBox) >= 0)
                Main.layoutManager.untrackChrome(Main.layoutManager.panelBox);
            Main.layoutManager.panelBox.hide();
            Main.overview.hide();
        };
        quiet();
        this._startup = Main.layoutManager.connect('startup-complete', quiet);
    }

    disable() {
        Main.layoutManager.disconnect(this._startup);
        Main.layoutManager.panelBox.show();
        Main.layoutManager.trackChrome(Main.layoutManager.panelBox, {affectsStruts: true, trackFullscreen: true});
    }
}

function init() {
    return new TestExtension();
}
