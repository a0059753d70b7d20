// The window report of quorvel's GNOME Shell extension, shared by its two editions: the
// edition's first lines bring Gio, GLib and Meta into scope, as each GNOME Shell version
// has its extensions do, and this text follows them.
//
// The extension owns org.quorvel.ShellWindows on the session bus and exports an object
// whose Report method answers the windows as one JSON document (a window report, the
// same as quorvel's KWin script sends) and whose Changed signal carries the document
// again after each change that quorvel's view depends on, so that quorvel answers from
// the last one without a round trip of its own. Changes within one turn of the main loop
// are sent as one.

const busName = 'org.quorvel.ShellWindows';
const objectPath = '/org/quorvel/ShellWindows';
const interfaceXml = `
<node>
  <interface name="org.quorvel.ShellWindows">
    <method name="Report">
      <arg type="s" direction="out" name="document"/>
    </method>
    <signal name="Changed">
      <arg type="s" name="document"/>
    </signal>
  </interface>
</node>`;

// Windows a user sees as applications' windows: no docks, menus, tooltips or the desktop.
const reportedTypes = [Meta.WindowType.NORMAL, Meta.WindowType.DIALOG, Meta.WindowType.MODAL_DIALOG,
                       Meta.WindowType.UTILITY];
const windowChanges = ['notify::title', 'notify::wm-class', 'notify::minimized', 'workspace-changed'];

class WindowReporter {
    constructor() {
        this._exported = null;
        this._nameOwnership = 0;
        this._connections = [];
        this._windowConnections = new Map();
        this._changeSource = 0;
    }

    start() {
        this._exported = Gio.DBusExportedObject.wrapJSObject(interfaceXml, this);
        this._exported.export(Gio.DBus.session, objectPath);
        this._nameOwnership = Gio.bus_own_name_on_connection(Gio.DBus.session, busName, Gio.BusNameOwnerFlags.NONE,
                                                             null, null);
        this._connect(global.display, 'window-created', (display, window) => {
            this._watch(window);
            this._changed();
        });
        this._connect(global.display, 'notify::focus-window', () => this._changed());
        this._connect(global.display, 'restacked', () => this._changed());
        this._connect(global.workspace_manager, 'active-workspace-changed', () => this._changed());
        for (const actor of global.get_window_actors())
            this._watch(actor.meta_window);
    }

    stop() {
        if (this._changeSource)
            GLib.source_remove(this._changeSource);
        this._changeSource = 0;
        for (const [object, id] of this._connections)
            object.disconnect(id);
        this._connections = [];
        for (const [window, ids] of this._windowConnections) {
            for (const id of ids)
                window.disconnect(id);
        }
        this._windowConnections.clear();
        if (this._nameOwnership)
            Gio.bus_unown_name(this._nameOwnership);
        this._nameOwnership = 0;
        if (this._exported)
            this._exported.unexport();
        this._exported = null;
    }

    Report() {
        return JSON.stringify(this._document());
    }

    _connect(object, signal, action) {
        this._connections.push([object, object.connect(signal, action)]);
    }

    _watch(window) {
        if (!window || this._windowConnections.has(window))
            return;
        const ids = windowChanges.map(signal => window.connect(signal, () => this._changed()));
        ids.push(window.connect('unmanaged', () => {
            for (const id of this._windowConnections.get(window) || [])
                window.disconnect(id);
            this._windowConnections.delete(window);
            this._changed();
        }));
        this._windowConnections.set(window, ids);
    }

    _changed() {
        if (this._changeSource || !this._exported)
            return;
        this._changeSource = GLib.idle_add(GLib.PRIORITY_DEFAULT_IDLE, () => {
            this._changeSource = 0;
            this._exported.emit_signal('Changed', new GLib.Variant('(s)', [this.Report()]));
            return GLib.SOURCE_REMOVE;
        });
    }

    // Window actors come bottom to top: their order is the stacking order. The windows are
    // listed in the order they were made (Mutter's window ids follow it).
    _document() {
        const activeWorkspace = global.workspace_manager.get_active_workspace();
        const windows = [];
        global.get_window_actors().forEach((actor, stacking) => {
            const window = actor.meta_window;
            if (!window || !reportedTypes.includes(window.get_window_type()))
                return;
            const x11 = window.get_client_type() === Meta.WindowClientType.X11;
            const pid = window.get_pid();
            windows.push({
                id: String(window.get_id()),
                title: window.get_title() || '',
                class: window.get_wm_class() || '',
                instance: x11 ? window.get_wm_class_instance() || '' : '',
                x11,
                pid: pid > 0 ? pid : 0,
                onScreen: !window.minimized &&
                    (window.is_on_all_workspaces() || window.get_workspace() === activeWorkspace),
                stacking,
            });
        });
        windows.sort((a, b) => Number(a.id) - Number(b.id));
        const focus = global.display.focus_window;
        return {active: focus ? String(focus.get_id()) : null, windows};
    }
}
