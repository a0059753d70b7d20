// The tests' hands on a private GNOME Shell (GNOME Shell 42 to 44): it leaves the
// overview that a session starts in, so that windows are shown and take the focus as on a
// desktop in use, tells the focus window's title and XWayland's display, and activates a
// window by its title when a test asks, as a click would. It owns org.quorvel.TestDesk on the session bus.
'use strict';

const {Gio, GLib} = imports.gi;
const Main = imports.ui.main;

const interfaceXml = `
<node>
  <interface name="org.quorvel.TestDesk">
    <method name="Activate">
      <arg type="s" direction="in" name="title"/>
      <arg type="b" direction="out" name="found"/>
    </method>
    <method name="Focused">
      <arg type="s" direction="out" name="title"/>
    </method>
    <method name="XDisplay">
      <arg type="s" direction="out" name="display"/>
    </method>
    <method name="Ready">
      <arg type="b" direction="out" name="ready"/>
    </method>
  </interface>
</node>`;

class TestDesk {
    Activate(title) {
        const actor = global.get_window_actors().find(a => a.meta_window && a.meta_window.get_title() === title);
        if (!actor)
            return false;
        actor.meta_window.activate(global.get_current_time());
        return true;
    }

    Focused() {
        const focus = global.display.focus_window;
        return focus ? focus.get_title() || '' : '';
    }

    // XWayland's DISPLAY and XAUTHORITY, separated by a space, once XWayland is up.
    XDisplay() {
        return `${GLib.getenv('DISPLAY') || ''} ${GLib.getenv('XAUTHORITY') || ''}`;
    }

    Ready() {
        return !Main.layoutManager._startingUp && !Main.overview.visible;
    }
}

let exported = null;
let ownership = 0;
let startup = 0;

function init() {
}

function leaveOverview() {
    Main.overview.hide();
}

function enable() {
    exported = Gio.DBusExportedObject.wrapJSObject(interfaceXml, new TestDesk());
    exported.export(Gio.DBus.session, '/org/quorvel/TestDesk');
    ownership = Gio.bus_own_name_on_connection(Gio.DBus.session, 'org.quorvel.TestDesk', Gio.BusNameOwnerFlags.NONE,
                                               null, null);
    if (Main.layoutManager._startingUp)
        startup = Main.layoutManager.connect('startup-complete', leaveOverview);
    else
        leaveOverview();
}

function disable() {
    if (startup)
        Main.layoutManager.disconnect(startup);
    startup = 0;
    Gio.bus_unown_name(ownership);
    exported.unexport();
    exported = null;
}
