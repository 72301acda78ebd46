// The Shell side of Quandrel on GNOME: a small D-Bus service on the Shell's own connection.
// This file is the whole logic; the build wraps it into the flavour a Shell version loads
// (legacy imports before 45, ES modules from 45 on), which binds Gio, GLib, Meta, Shell and
// Main before this code runs.
//
// Only the programs named in the `callers` file beside the extension may call it (Quandrel
// writes its own executable there when it installs the extension): a caller is known by the
// executable of the process behind its bus connection, so another program of the user cannot
// read windows or the screen through it.

const QUANDREL_INTERFACE_VERSION = 2;
const QUANDREL_BUS_NAME = 'org.quandrel.Shell';
const QUANDREL_OBJECT_PATH = '/org/quandrel/Shell';
const QUANDREL_ERROR = 'org.quandrel.Shell.Error';
// How long a placement waits for the client to take its new frame before answering anyway.
const QUANDREL_PLACEMENT_TIMEOUT_MS = 1000;
// The shortcut slots of the schema the extension ships (schemas/org.quandrel.shell.gschema.xml).
const QUANDREL_SHORTCUT_SLOTS = 128;
// The desktop's own shortcuts, which a shortcut of Quandrel's would clash with.
const QUANDREL_DESKTOP_SHORTCUT_SCHEMAS = [
    'org.gnome.desktop.wm.keybindings',
    'org.gnome.shell.keybindings',
    'org.gnome.mutter.keybindings',
    'org.gnome.mutter.wayland.keybindings',
    'org.gnome.settings-daemon.plugins.media-keys',
];

const QUANDREL_INTERFACE_XML = `
<node>
  <interface name="org.quandrel.Shell">
    <method name="Handshake">
      <arg type="u" direction="in" name="client_version"/>
      <arg type="u" direction="out" name="version"/>
    </method>
    <method name="Windows">
      <arg type="s" direction="out" name="json"/>
    </method>
    <method name="Focus">
      <arg type="s" direction="out" name="json"/>
    </method>
    <method name="Place">
      <arg type="t" direction="in" name="id"/>
      <arg type="(iiii)" direction="in" name="frame"/>
      <arg type="s" direction="out" name="json"/>
    </method>
    <method name="Activate">
      <arg type="t" direction="in" name="id"/>
      <arg type="b" direction="out" name="found"/>
    </method>
    <method name="Minimize">
      <arg type="t" direction="in" name="id"/>
      <arg type="b" direction="out" name="found"/>
    </method>
    <method name="SetShortcuts">
      <arg type="a(us)" direction="in" name="shortcuts"/>
      <arg type="a(uu)" direction="out" name="statuses"/>
    </method>
    <method name="Screenshot">
      <arg type="a(iiii)" direction="in" name="areas"/>
      <arg type="s" direction="out" name="json"/>
    </method>
    <method name="WindowScreenshot">
      <arg type="t" direction="in" name="id"/>
      <arg type="s" direction="out" name="path"/>
    </method>
    <method name="Pointer">
      <arg type="i" direction="out" name="x"/>
      <arg type="i" direction="out" name="y"/>
    </method>
    <method name="ArrangeOwnWindow">
      <arg type="s" direction="in" name="mark"/>
      <arg type="s" direction="in" name="role"/>
      <arg type="i" direction="in" name="x"/>
      <arg type="i" direction="in" name="y"/>
      <arg type="i" direction="in" name="width"/>
      <arg type="i" direction="in" name="height"/>
    </method>
    <signal name="ShortcutPressed">
      <arg type="u" name="id"/>
    </signal>
  </interface>
</node>`;

function quandrelReadCallers(folder) {
    try {
        const [, bytes] = GLib.file_get_contents(GLib.build_filenamev([folder, 'callers']));
        return new TextDecoder().decode(bytes).split('\n').map(l => l.trim()).filter(l => l.startsWith('/'));
    } catch (e) {
        return [];
    }
}

// An accelerator ("<Control><Alt>Left", "<Primary><Super>a") as modifiers and key, so that
// spellings of one combination compare equal; none for an empty one.
function quandrelAcceleratorKey(accelerator) {
    const names = {control: 'control', ctrl: 'control', primary: 'control', alt: 'alt', mod1: 'alt',
        shift: 'shift', super: 'super', mod4: 'super', meta: 'meta', hyper: 'hyper'};
    const modifiers = new Set();
    const key = accelerator.replace(/<([^>]*)>/g, (_, name) => {
        modifiers.add(names[name.toLowerCase()] || name.toLowerCase());
        return '';
    }).trim().toLowerCase();
    if (!key)
        return null;
    return `${[...modifiers].sort().join('+')}|${key}`;
}

// Every accelerator the desktop's own shortcuts use now.
function quandrelDesktopAccelerators() {
    const taken = new Set();
    const source = Gio.SettingsSchemaSource.get_default();
    for (const id of QUANDREL_DESKTOP_SHORTCUT_SCHEMAS) {
        const schema = source.lookup(id, true);
        if (!schema)
            continue;
        const settings = new Gio.Settings({settings_schema: schema});
        for (const key of schema.list_keys()) {
            const type = schema.get_key(key).get_value_type().dup_string();
            const value = settings.get_value(key);
            const accelerators = type === 'as' ? value.deepUnpack() : type === 's' ? [value.deepUnpack()] : [];
            for (const accelerator of accelerators) {
                const normal = quandrelAcceleratorKey(accelerator);
                if (normal)
                    taken.add(normal);
            }
        }
    }
    return taken;
}

// The private folder screenshots are handed over in, made when missing: only the user may enter.
function quandrelShotFolder() {
    const folder = GLib.build_filenamev([GLib.get_user_runtime_dir(), 'quandrel-shell']);
    GLib.mkdir_with_parents(folder, 0o700);
    return folder;
}

function quandrelRemoveShots() {
    const folder = Gio.File.new_for_path(GLib.build_filenamev([GLib.get_user_runtime_dir(), 'quandrel-shell']));
    try {
        const children = folder.enumerate_children('standard::name', Gio.FileQueryInfoFlags.NOFOLLOW_SYMLINKS, null);
        for (let info = children.next_file(null); info; info = children.next_file(null))
            folder.get_child(info.get_name()).delete(null);
    } catch (e) {
        // No folder: nothing left over.
    }
}

function quandrelWindowInfo(window, focus, tracker, workspace) {
    const r = window.get_frame_rect();
    const app = tracker.get_window_app(window);
    return {
        id: window.get_id(),
        pid: window.get_pid(),
        appId: app ? app.get_id() || '' : '',
        wmClass: window.get_wm_class() || '',
        wmClassInstance: window.get_wm_class_instance() || '',
        sandboxedAppId: window.get_sandboxed_app_id() || '',
        gtkAppId: window.get_gtk_application_id() || '',
        title: window.get_title() || '',
        frame: [r.x, r.y, r.width, r.height],
        focused: window === focus,
        minimized: window.minimized,
        visible: !window.minimized && (window.is_on_all_workspaces() || window.get_workspace() === workspace),
        normal: window.get_window_type() === Meta.WindowType.NORMAL,
        dialog: [Meta.WindowType.DIALOG, Meta.WindowType.MODAL_DIALOG].includes(window.get_window_type()),
        maximized: window.get_maximized() !== 0,
        fullscreen: window.is_fullscreen(),
        monitor: window.get_monitor(),
        x11: window.get_client_type() === Meta.WindowClientType.X11,
    };
}

// The monitor that holds a point, the primary one when none does. (Rectangles are
// Meta.Rectangle before GNOME 45 and Mtk.Rectangle after, so none is made here.)
function quandrelMonitorAt(x, y) {
    const display = global.display;
    for (let i = 0; i < display.get_n_monitors(); i++) {
        const g = display.get_monitor_geometry(i);
        if (x >= g.x && x < g.x + g.width && y >= g.y && y < g.y + g.height)
            return i;
    }
    return display.get_primary_monitor();
}

function quandrelSameFrame(window, frame) {
    const r = window.get_frame_rect();
    return r.x === frame[0] && r.y === frame[1] && r.width === frame[2] && r.height === frame[3];
}

class QuandrelService {
    constructor(folder) {
        this._folder = folder;
        this._allowed = new Map(); // unique bus name → whether it may call
        this._pending = new Set(); // placements waiting for their frame
        this._shortcuts = []; // slot names added to the window manager
        this._shortcutOwner = null; // the bus name the presses go to
        this._ownerWatch = 0;
        this._shots = 0; // names screenshot files uniquely
        this._arrangements = new Map(); // a caller's window mark → its role and frame, until the window is there
        this._windowCreated = 0;
    }

    enable() {
        // Screenshots a caller never took away before the Shell stopped.
        quandrelRemoveShots();
        // Shortcuts live in memory only: they go with the Shell and with the Quandrel that set them.
        const schemas = Gio.SettingsSchemaSource.new_from_directory(GLib.build_filenamev([this._folder, 'schemas']),
            Gio.SettingsSchemaSource.get_default(), false);
        this._settings = new Gio.Settings({
            settings_schema: schemas.lookup('org.quandrel.shell', false),
            backend: Gio.memory_settings_backend_new(),
        });
        // A window of Quandrel's own shows up after it asked for its place.
        this._windowCreated = global.display.connect('window-created', (display, window) => {
            const apply = () => this._applyArrangements();
            const id = window.connect('notify::title', apply);
            window.connect('unmanaged', () => window.disconnect(id));
            // Wayland windows have their title and frame once they are first shown.
            GLib.idle_add(GLib.PRIORITY_DEFAULT, () => {
                apply();
                return GLib.SOURCE_REMOVE;
            });
        });
        this._dbus = Gio.DBusExportedObject.wrapJSObject(QUANDREL_INTERFACE_XML, this);
        this._dbus.export(Gio.DBus.session, QUANDREL_OBJECT_PATH);
        this._nameId = Gio.bus_own_name_on_connection(Gio.DBus.session, QUANDREL_BUS_NAME,
            Gio.BusNameOwnerFlags.NONE, null, null);
    }

    disable() {
        if (this._windowCreated) {
            global.display.disconnect(this._windowCreated);
            this._windowCreated = 0;
        }
        this._arrangements.clear();
        this._clearShortcuts();
        for (const p of this._pending)
            p.finish();
        this._pending.clear();
        if (this._nameId) {
            Gio.bus_unown_name(this._nameId);
            this._nameId = 0;
        }
        if (this._dbus) {
            this._dbus.unexport();
            this._dbus = null;
        }
        this._allowed.clear();
        this._settings = null;
    }

    _clearShortcuts() {
        for (const name of this._shortcuts)
            Main.wm.removeKeybinding(name);
        this._shortcuts = [];
        if (this._ownerWatch) {
            Gio.bus_unwatch_name(this._ownerWatch);
            this._ownerWatch = 0;
        }
        this._shortcutOwner = null;
    }

    // Replaces every shortcut by the set given, each an id with a GTK accelerator. Answers a
    // status per id: 0 bound, 1 held by the desktop's own shortcuts or an earlier id of the
    // set, 2 not a combination the window manager takes. The shortcuts go when their caller
    // leaves the bus.
    SetShortcutsAsync([shortcuts], invocation) {
        if (!this._admit(invocation))
            return;
        this._clearShortcuts();
        const taken = quandrelDesktopAccelerators();
        const statuses = [];
        const owner = invocation.get_sender();
        for (const [id, accelerator] of shortcuts) {
            const normal = quandrelAcceleratorKey(accelerator);
            if (!normal || this._shortcuts.length >= QUANDREL_SHORTCUT_SLOTS) {
                statuses.push([id, 2]);
                continue;
            }
            if (taken.has(normal)) {
                statuses.push([id, 1]);
                continue;
            }
            const name = `shortcut-${this._shortcuts.length}`;
            this._settings.set_strv(name, [accelerator]);
            const action = Main.wm.addKeybinding(name, this._settings, Meta.KeyBindingFlags.IGNORE_AUTOREPEAT,
                Shell.ActionMode.NORMAL | Shell.ActionMode.OVERVIEW | Shell.ActionMode.POPUP,
                () => this._pressed(id));
            if (action === Meta.KeyBindingAction.NONE) {
                this._settings.set_strv(name, []);
                statuses.push([id, 2]);
                continue;
            }
            this._shortcuts.push(name);
            taken.add(normal);
            statuses.push([id, 0]);
        }
        if (this._shortcuts.length > 0) {
            this._shortcutOwner = owner;
            this._ownerWatch = Gio.bus_watch_name_on_connection(invocation.get_connection(), owner,
                Gio.BusNameWatcherFlags.NONE, null, () => this._clearShortcuts());
        }
        invocation.return_value(new GLib.Variant('(a(uu))', [statuses]));
    }

    // The pid behind a caller's connection; 0 when the bus does not say.
    _callerPid(invocation) {
        try {
            const reply = invocation.get_connection().call_sync('org.freedesktop.DBus', '/org/freedesktop/DBus',
                'org.freedesktop.DBus', 'GetConnectionUnixProcessID', new GLib.Variant('(s)', [invocation.get_sender()]),
                new GLib.VariantType('(u)'), Gio.DBusCallFlags.NONE, 2000, null);
            return reply.deepUnpack()[0];
        } catch (e) {
            return 0;
        }
    }

    _newShotFile() {
        const path = GLib.build_filenamev([quandrelShotFolder(), `shot-${GLib.get_monotonic_time()}-${this._shots++}.png`]);
        const file = Gio.File.new_for_path(path);
        return [path, file.replace(null, false, Gio.FileCreateFlags.PRIVATE | Gio.FileCreateFlags.REPLACE_DESTINATION, null)];
    }

    // Each area of the stage as a PNG file in the private folder, with the caller's own windows
    // out of sight, and where the pointer is. The caller removes the files.
    ScreenshotAsync([areas], invocation) {
        if (!this._admit(invocation))
            return;
        const pid = this._callerPid(invocation);
        const hidden = global.get_window_actors().filter(a => pid && a.meta_window.get_pid() === pid && a.visible);
        for (const actor of hidden)
            actor.hide();
        const [pointerX, pointerY] = global.get_pointer();
        const paths = [];
        const fail = message => {
            for (const actor of hidden)
                actor.show();
            for (const path of paths)
                GLib.unlink(path);
            invocation.return_dbus_error(`${QUANDREL_ERROR}.Screenshot`, message);
        };
        const next = index => {
            if (index === areas.length) {
                for (const actor of hidden)
                    actor.show();
                invocation.return_value(new GLib.Variant('(s)', [JSON.stringify({files: paths, pointer: [pointerX, pointerY]})]));
                return;
            }
            const [x, y, width, height] = areas[index];
            let stream;
            try {
                let path;
                [path, stream] = this._newShotFile();
                paths.push(path);
            } catch (e) {
                fail(`The Shell could not write a screenshot: ${e.message}`);
                return;
            }
            const shot = new Shell.Screenshot();
            shot.screenshot_area(x, y, width, height, stream, (source, result) => {
                try {
                    shot.screenshot_area_finish(result);
                    stream.close(null);
                } catch (e) {
                    fail(`The Shell took no screenshot: ${e.message}`);
                    return;
                }
                next(index + 1);
            });
        };
        next(0);
    }

    PointerAsync(params, invocation) {
        if (!this._admit(invocation))
            return;
        const [x, y] = global.get_pointer();
        invocation.return_value(new GLib.Variant('(ii)', [x, y]));
    }

    // One window by itself, covered parts included, as a PNG file in the private folder.
    WindowScreenshotAsync([id], invocation) {
        if (!this._admit(invocation))
            return;
        const window = this._window(id);
        const actor = window ? window.get_compositor_private() : null;
        if (!actor) {
            invocation.return_dbus_error(`${QUANDREL_ERROR}.NoWindow`, `There is no window ${id}.`);
            return;
        }
        let path, stream, content;
        try {
            // The frame's part of the window (the clip is in stage coordinates): client-side
            // shadows left out.
            content = actor.paint_to_content(window.get_frame_rect());
            [path, stream] = this._newShotFile();
        } catch (e) {
            invocation.return_dbus_error(`${QUANDREL_ERROR}.Screenshot`, `The Shell has no image of window ${id}: ${e.message}`);
            return;
        }
        const texture = content.get_texture();
        Shell.Screenshot.composite_to_stream(texture, 0, 0, -1, -1, 1, null, 0, 0, 1, stream, (source, result) => {
            try {
                Shell.Screenshot.composite_to_stream_finish(result);
                stream.close(null);
                invocation.return_value(new GLib.Variant('(s)', [path]));
            } catch (e) {
                GLib.unlink(path);
                invocation.return_dbus_error(`${QUANDREL_ERROR}.Screenshot`, `The Shell has no image of window ${id}: ${e.message}`);
            }
        });
    }

    // Places one of the caller's own windows, known by the mark its title ends with: a panel
    // above others on every workspace where it asks to be, an overlay window over the whole of
    // the display that holds its frame, above everything, with the focus.
    ArrangeOwnWindowAsync([mark, role, x, y, width, height], invocation) {
        if (!this._admit(invocation))
            return;
        const pid = this._callerPid(invocation);
        if (pid && mark && (role === 'panel' || role === 'overlay'))
            this._arrangements.set(mark, {pid, role, frame: [x, y, width, height]});
        this._applyArrangements();
        invocation.return_value(null);
    }

    _applyArrangements() {
        for (const [mark, arrangement] of this._arrangements) {
            const window = global.display.list_all_windows().find(w =>
                w.get_pid() === arrangement.pid && (w.get_title() || '').endsWith(mark));
            if (!window)
                continue;
            this._arrangements.delete(mark);
            const [x, y, width, height] = arrangement.frame;
            if (!window.is_above())
                window.make_above();
            if (!window.is_on_all_workspaces())
                window.stick();
            if (arrangement.role === 'overlay') {
                const monitor = quandrelMonitorAt(x + width / 2, y + height / 2);
                if (window.get_monitor() !== monitor)
                    window.move_to_monitor(monitor);
                if (!window.is_fullscreen())
                    window.make_fullscreen();
                Main.activateWindow(window);
            } else {
                window.move_frame(true, x, y);
            }
        }
    }

    _pressed(id) {
        if (!this._shortcutOwner)
            return;
        Gio.DBus.session.emit_signal(this._shortcutOwner, QUANDREL_OBJECT_PATH, QUANDREL_BUS_NAME, 'ShortcutPressed',
            new GLib.Variant('(u)', [id]));
    }

    // Whether the invocation comes from an allowed program; refuses it otherwise. Unique bus
    // names are never reused, so one answer per connection holds for its lifetime.
    _admit(invocation) {
        const sender = invocation.get_sender();
        let allowed = this._allowed.get(sender);
        if (allowed === undefined) {
            allowed = false;
            try {
                const reply = invocation.get_connection().call_sync('org.freedesktop.DBus', '/org/freedesktop/DBus',
                    'org.freedesktop.DBus', 'GetConnectionUnixProcessID', new GLib.Variant('(s)', [sender]),
                    new GLib.VariantType('(u)'), Gio.DBusCallFlags.NONE, 2000, null);
                const [pid] = reply.deepUnpack();
                let exe = GLib.file_read_link(`/proc/${pid}/exe`);
                // A program replaced by an update while it runs still counts as itself.
                if (exe.endsWith(' (deleted)'))
                    exe = exe.slice(0, -' (deleted)'.length);
                allowed = quandrelReadCallers(this._folder).includes(exe);
            } catch (e) {
                allowed = false;
            }
            this._allowed.set(sender, allowed);
        }
        if (!allowed)
            invocation.return_dbus_error('org.freedesktop.DBus.Error.AccessDenied',
                'Only Quandrel may use the Quandrel GNOME Shell extension.');
        return allowed;
    }

    _window(id) {
        return global.display.list_all_windows().find(w => w.get_id() === id) || null;
    }

    HandshakeAsync([client], invocation) {
        if (!this._admit(invocation))
            return;
        if (client < QUANDREL_INTERFACE_VERSION) {
            invocation.return_dbus_error(`${QUANDREL_ERROR}.Version`,
                `The Quandrel GNOME Shell extension speaks version ${QUANDREL_INTERFACE_VERSION} and Quandrel version ${client}: update Quandrel.`);
        } else if (client > QUANDREL_INTERFACE_VERSION) {
            invocation.return_dbus_error(`${QUANDREL_ERROR}.Version`,
                `Quandrel speaks version ${client} and the Quandrel GNOME Shell extension version ${QUANDREL_INTERFACE_VERSION}: update the extension.`);
        } else {
            invocation.return_value(new GLib.Variant('(u)', [QUANDREL_INTERFACE_VERSION]));
        }
    }

    // Every managed window but override-redirect ones, front to back.
    WindowsAsync(params, invocation) {
        if (!this._admit(invocation))
            return;
        const focus = global.display.focus_window;
        const tracker = Shell.WindowTracker.get_default();
        const windows = global.display.sort_windows_by_stacking(
            global.display.list_all_windows().filter(w => !w.is_override_redirect())).reverse();
        const workspace = global.workspace_manager.get_active_workspace();
        const json = JSON.stringify(windows.map(w => quandrelWindowInfo(w, focus, tracker, workspace)));
        invocation.return_value(new GLib.Variant('(s)', [json]));
    }

    // What a window command needs in one answer: the focused window and every monitor with
    // its work area.
    _focus(extra) {
        const display = global.display;
        const tracker = Shell.WindowTracker.get_default();
        const workspace = global.workspace_manager.get_active_workspace();
        const focus = display.focus_window;
        const displays = [];
        for (let i = 0; i < display.get_n_monitors(); i++) {
            const g = display.get_monitor_geometry(i);
            const a = workspace.get_work_area_for_monitor(i);
            displays.push({
                index: i,
                primary: i === display.get_primary_monitor(),
                frame: [g.x, g.y, g.width, g.height],
                workArea: [a.x, a.y, a.width, a.height],
                scale: display.get_monitor_scale(i),
            });
        }
        const info = w => w ? quandrelWindowInfo(w, focus, tracker, workspace) : null;
        return JSON.stringify({focused: info(focus), displays, ...extra ? {window: info(extra)} : {}});
    }

    FocusAsync(params, invocation) {
        if (!this._admit(invocation))
            return;
        invocation.return_value(new GLib.Variant('(s)', [this._focus(null)]));
    }

    // Places a window's frame and answers once the client has taken it (or after a second,
    // with the frame it has then): the window as it is then, beside what Focus answers.
    PlaceAsync([id, [x, y, width, height]], invocation) {
        if (!this._admit(invocation))
            return;
        const window = this._window(id);
        if (!window) {
            invocation.return_dbus_error(`${QUANDREL_ERROR}.NoWindow`, `There is no window ${id}.`);
            return;
        }
        if (window.is_fullscreen())
            window.unmake_fullscreen();
        if (window.get_maximized() !== 0) {
            if (Meta.MaximizeFlags)
                window.unmaximize(Meta.MaximizeFlags.BOTH);
            else
                window.unmaximize();
        }
        const target = [x, y, Math.max(1, width), Math.max(1, height)];
        window.move_resize_frame(true, ...target);
        this._await(window, target, () => {
            invocation.return_value(new GLib.Variant('(s)', [this._focus(this._window(id))]));
        });
    }

    _await(window, target, answer) {
        if (quandrelSameFrame(window, target)) {
            answer();
            return;
        }
        const ids = [];
        let timeout = 0;
        const placement = {
            finish: () => {
                if (!this._pending.delete(placement))
                    return;
                for (const signalId of ids)
                    window.disconnect(signalId);
                if (timeout)
                    GLib.source_remove(timeout);
                answer();
            },
        };
        this._pending.add(placement);
        const check = () => {
            if (quandrelSameFrame(window, target))
                placement.finish();
        };
        ids.push(window.connect('size-changed', check));
        ids.push(window.connect('position-changed', check));
        ids.push(window.connect('unmanaged', () => placement.finish()));
        timeout = GLib.timeout_add(GLib.PRIORITY_DEFAULT, QUANDREL_PLACEMENT_TIMEOUT_MS, () => {
            timeout = 0;
            placement.finish();
            return GLib.SOURCE_REMOVE;
        });
    }

    ActivateAsync([id], invocation) {
        if (!this._admit(invocation))
            return;
        const window = this._window(id);
        if (window)
            Main.activateWindow(window);
        invocation.return_value(new GLib.Variant('(b)', [window !== null]));
    }

    MinimizeAsync([id], invocation) {
        if (!this._admit(invocation))
            return;
        const window = this._window(id);
        if (window)
            window.minimize();
        invocation.return_value(new GLib.Variant('(b)', [window !== null]));
    }
}
