// SPDX-License-Identifier: GPL-3.0-or-later
// For the desktops tests only: leaves the overview the shell starts in, and
// tells a test over D-Bus which windows there are and in what state.
'use strict';

const { Gio, Meta } = imports.gi;
const Main = imports.ui.main;

const IFACE = `<node><interface name="org.tepora.Probe">
  <method name="Windows"><arg type="s" direction="out"/></method>
  <method name="Minimise"><arg type="i" direction="in"/><arg type="s" direction="in"/>
    <arg type="b" direction="out"/></method>
</interface></node>`;

function ordinary(w) {
    const type = w.get_window_type();
    return type === Meta.WindowType.NORMAL || type === Meta.WindowType.DIALOG ||
        type === Meta.WindowType.MODAL_DIALOG;
}

class Probe {
    Windows() {
        const all = global.get_window_actors().map(a => a.meta_window).filter(ordinary);
        const shown = global.display.sort_windows_by_stacking(all.filter(w => !w.minimized));
        const top = shown.length ? shown[shown.length - 1] : null;
        const focus = global.display.focus_window;
        return JSON.stringify(all.map(w => {
            const r = w.get_frame_rect();
            const m = global.display.get_monitor_geometry(w.get_monitor());
            return {
                title: w.get_title(), pid: w.get_pid(), minimized: w.minimized, focused: w === focus,
                top: w === top, above: w.is_above(), x: r.x, y: r.y, width: r.width, height: r.height,
                screen: [m.x, m.y, m.width, m.height],
                minimizable: w.can_minimize(), maximizable: w.can_maximize(),
            };
        }));
    }

    Minimise(pid, title) {
        const w = global.get_window_actors().map(a => a.meta_window)
            .find(m => m.get_pid() === pid && m.get_title() === title);
        if (w)
            w.minimize();
        return Boolean(w);
    }
}

class Extension {
    enable() {
        this._object = Gio.DBusExportedObject.wrapJSObject(IFACE, new Probe());
        this._object.export(Gio.DBus.session, '/org/tepora/Probe');
        this._name = Gio.bus_own_name_on_connection(Gio.DBus.session, 'org.tepora.Probe',
            Gio.BusNameOwnerFlags.NONE, null, null);
        if (Main.layoutManager._startingUp)
            this._startup = Main.layoutManager.connect('startup-complete', () => Main.overview.hide());
        else
            Main.overview.hide();
    }

    disable() {
        if (this._startup)
            Main.layoutManager.disconnect(this._startup);
        Gio.bus_unown_name(this._name);
        this._object.unexport();
    }
}

function init() {
    return new Extension();
}
