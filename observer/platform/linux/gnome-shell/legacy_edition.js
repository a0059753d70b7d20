// quorvel's window report for GNOME Shell 42 to 44, whose extensions are scripts that
// take their libraries from `imports`.
'use strict';

const {Gio, GLib, Meta} = imports.gi;
