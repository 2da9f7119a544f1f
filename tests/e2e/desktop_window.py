"""A small GTK window for the desktop automation tests: it records, one JSON object a line, what
it receives, so a test can tell what another program typed or clicked into it.

  {"text": "..."}                     the entry's whole text, after every change
  {"key": "Escape", "mods": [...]}    every key press, with the modifiers held ("shift", "ctrl", "alt")
  {"click": 1|2, "x": X, "y": Y}       a button press (2: the second press of a double click), root
                                       coordinates
  {"ready": true, "area": [X, Y, W, H]} once the window is shown and has the focus; the screen
                                       rectangle of its empty lower part, where clicks land

Run: python3 desktop_window.py LOG TITLE
"""

import json
import sys

import gi

gi.require_version("Gtk", "3.0")
gi.require_version("Gdk", "3.0")
from gi.repository import Gdk, GLib, Gtk  # noqa: E402

log_path, title = sys.argv[1], sys.argv[2]
log = open(log_path, "a", encoding="utf-8")


def record(**item):
    log.write(json.dumps(item, ensure_ascii=False) + "\n")
    log.flush()


window = Gtk.Window(title=title)
window.set_default_size(400, 200)
window.move(0, 0)
box = Gtk.Box(orientation=Gtk.Orientation.VERTICAL)
entry = Gtk.Entry()
entry.get_accessible().set_name("Campo de teste")
check = Gtk.CheckButton(label="Aceito os termos")
check.set_active(True)
disabled = Gtk.Button(label="Enviar")
disabled.set_sensitive(False)
area = Gtk.EventBox()
area.set_size_request(400, 100)
box.pack_start(entry, False, False, 0)
box.pack_start(check, False, False, 0)
box.pack_start(disabled, False, False, 0)
box.pack_start(area, True, True, 0)
window.add(box)

entry.connect("changed", lambda e: record(text=e.get_text()))


def on_key(_widget, event):
    mods = []
    if event.state & Gdk.ModifierType.SHIFT_MASK:
        mods.append("shift")
    if event.state & Gdk.ModifierType.CONTROL_MASK:
        mods.append("ctrl")
    if event.state & Gdk.ModifierType.MOD1_MASK:
        mods.append("alt")
    record(key=Gdk.keyval_name(event.keyval), mods=mods)
    return False


def on_button(_widget, event):
    if event.type == Gdk.EventType.BUTTON_PRESS:
        record(click=1, x=int(event.x_root), y=int(event.y_root))
    elif event.type == Gdk.EventType._2BUTTON_PRESS:
        record(click=2, x=int(event.x_root), y=int(event.y_root))
    return False


window.connect("key-press-event", on_key)
window.add_events(Gdk.EventMask.BUTTON_PRESS_MASK)
window.connect("button-press-event", on_button)
window.connect("destroy", Gtk.main_quit)


def announce():
    entry.grab_focus()
    origin = window.get_window().get_origin()
    x, y = area.translate_coordinates(window, 0, 0)
    allocation = area.get_allocation()
    record(ready=True, area=[origin[-2] + x, origin[-1] + y, allocation.width, allocation.height])
    return False


window.connect("map-event", lambda *a: GLib.timeout_add(300, announce) and False)
window.show_all()
Gtk.main()
