#!/usr/bin/python3
# The program as a screen reader sees it, through pyatspi (the client
# library Orca uses) on the rig's accessibility bus: the tree, the volume
# menu opened and "Unity" picked through AT-SPI's actions, the focus event
# Tab brings, and the About alert read and closed through its button.
#
# Run by run-e2e.sh's accessibility scenario with the program's window
# active. Prints the tree as it reads it, "clicked" the moment "Unity" is
# picked (the scenario measures the sound from there), and ends with status
# 0, or prints "FAIL: why" and ends with 1. Keys are typed with xdotool, or
# on a Wayland compositor by an e2e-wl-input of its own (E2E_WL_INPUT: its
# path and the screen's width and height).
import os
import subprocess
import sys
import time

import pyatspi
from gi.repository import Gio, GLib

TIMEOUT = 5.0
EVENTS = []


def fail(why):
    print("FAIL: " + why, flush=True)
    sys.exit(1)


def pump(seconds=0.0):
    # The events pyatspi hears wait for its main context to run.
    end = time.monotonic() + seconds
    context = GLib.MainContext.default()
    while True:
        while context.iteration(False):
            pass
        if time.monotonic() >= end:
            return
        time.sleep(0.01)


WL_INPUT = None


def keys(*names):
    global WL_INPUT
    if not os.environ.get("E2E_WL_INPUT"):
        subprocess.run(["xdotool", "key", "--delay", "20", *names], check=True)
        return
    if WL_INPUT is None:
        # Kept for the whole run, so that its keyboard does not go before
        # the compositor has passed its keys on.
        WL_INPUT = subprocess.Popen(os.environ["E2E_WL_INPUT"].split(),
                                    stdin=subprocess.PIPE,
                                    stdout=subprocess.PIPE, text=True)
    WL_INPUT.stdin.write("key %s\n" % " ".join(names))
    WL_INPUT.stdin.flush()
    reply = WL_INPUT.stdout.readline().strip()
    if reply != "ok":
        fail("e2e-wl-input: %s" % (reply or "no answer"))


def wait_for(what, condition):
    end = time.monotonic() + TIMEOUT
    while time.monotonic() < end:
        pump()
        try:
            found = condition()
        except Exception:
            found = None
        if found:
            return found
        time.sleep(0.02)
    fail(what)


def states(node):
    return {pyatspi.stateToString(s) for s in node.getState().getStates()}


def describe(node, depth=0):
    line = "  " * depth + "%s %r [%s]" % (node.getRoleName(), node.name,
                                          " ".join(sorted(states(node))))
    print(line, flush=True)
    for child in node:
        describe(child, depth + 1)


def on_event(event):
    try:
        EVENTS.append((event.type, event.source.getRoleName(),
                       event.source.name, event.detail1))
    except Exception:
        pass


def heard(kind, role, name=None, detail1=1, since=0):
    return any(e[0] == kind and e[1] == role and (name is None or e[2] == name)
               and e[3] == detail1 for e in EVENTS[since:])


def action(node, name):
    actions = node.queryAction()
    names = [actions.getName(i) for i in range(actions.nActions)]
    if name not in names:
        fail("%s %r offers the actions %s, not %r" % (
            node.getRoleName(), node.name, names, name))
    return actions.doAction(names.index(name))


def application():
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name == "Belvo":
            return app
    return None


for kind in ("object:state-changed:focused", "object:state-changed:showing",
             "object:property-change:accessible-name",
             "object:selection-changed", "window:activate"):
    pyatspi.Registry.registerEventListener(on_event, kind)

app = wait_for("the desktop lists no application named \"Belvo\"", application)
frame = wait_for("\"Belvo\" shows no frame",
                 lambda: app.getChildCount() > 0 and app[0])
started = time.monotonic()
describe(app)
print("tree read in %.1f ms" % ((time.monotonic() - started) * 1000),
      flush=True)
if frame.getRole() != pyatspi.ROLE_FRAME or frame.name != "Belvo v0.6":
    fail("the application's first child is %s %r, not the frame \"Belvo v0.6\""
         % (frame.getRoleName(), frame.name))
panel = frame[0]
combos = [child for child in panel if child.getRole() == pyatspi.ROLE_COMBO_BOX]
if [combo.name for combo in combos] != ["Mute", "A(440)"]:
    fail("the combo boxes are %s, not Mute and A(440)"
         % [combo.name for combo in combos])
volume, note = combos

# Calls a screen reader would never make, sent raw: each is refused with
# the error D-Bus names for it, and the program answers on afterwards.
def call(bus_name, path, interface, method, args):
    return BUS.call_sync(bus_name, path, interface, method, args, None,
                         Gio.DBusCallFlags.NONE, 2000, None)


session = Gio.bus_get_sync(Gio.BusType.SESSION, None)
address = session.call_sync("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus",
                            "GetAddress", None, GLib.VariantType("(s)"),
                            Gio.DBusCallFlags.NONE, 2000, None).unpack()[0]
BUS = Gio.DBusConnection.new_for_address_sync(
    address, Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT
    | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION, None, None)
ROOT = "/org/a11y/atspi/accessible/root"
ACCESSIBLE = "org.a11y.atspi.Accessible"
belvo = None
for bus_name, _ in call("org.a11y.atspi.Registry", ROOT, ACCESSIBLE,
                        "GetChildren", None).unpack()[0]:
    try:
        name = call(bus_name, ROOT, "org.freedesktop.DBus.Properties", "Get",
                    GLib.Variant("(ss)", (ACCESSIBLE, "Name"))).unpack()[0]
    except GLib.Error:
        continue
    if name == "Belvo":
        belvo = bus_name
if belvo is None:
    fail("the registry's children hold no \"Belvo\"")


def children(path):
    return [child for _, child in call(belvo, path, ACCESSIBLE, "GetChildren",
                                       None).unpack()[0]]


frame_path = children(ROOT)[0]
combo_path = next(path for path in children(children(frame_path)[0])
                  if call(belvo, path, ACCESSIBLE, "GetRoleName",
                          None).unpack()[0] == "combo box")
for what, path, interface, method, args, error in (
        ("a child past the last", ROOT, ACCESSIBLE, "GetChildAtIndex",
         GLib.Variant("(i)", (99,)), "InvalidArgs"),
        ("a child by a name", ROOT, ACCESSIBLE, "GetChildAtIndex",
         GLib.Variant("(s)", ("first",)), "InvalidArgs"),
        ("an action before the first", combo_path, "org.a11y.atspi.Action",
         "DoAction", GLib.Variant("(i)", (-1,)), "InvalidArgs"),
        ("an action of an object with none", frame_path,
         "org.a11y.atspi.Action", "DoAction", GLib.Variant("(i)", (0,)),
         "UnknownMethod"),
        ("a method no interface has", ROOT, ACCESSIBLE, "Explode", None,
         "UnknownMethod"),
        ("an object that is not there", ROOT + "/no/such", ACCESSIBLE,
         "GetRole", None, "UnknownObject"),
        ("the name set", ROOT, "org.freedesktop.DBus.Properties", "Set",
         GLib.Variant("(ssv)", (ACCESSIBLE, "Name", GLib.Variant("s", "x"))),
         "PropertyReadOnly")):
    try:
        call(belvo, path, interface, method, args)
        fail("%s was answered, not refused" % what)
    except GLib.Error as e:
        if not e.message.startswith("GDBus.Error:org.freedesktop.DBus.Error."
                                    + error):
            fail("%s was refused with %s, not %s" % (what, e.message, error))
if call(belvo, ROOT, ACCESSIBLE, "GetRoleName", None).unpack()[0] != "application":
    fail("after the refused calls the application's role is not \"application\"")

# "press" opens the menu as Space does.
action(volume, "press")
menu = volume[0]
wait_for("\"press\" on the volume combo box showed no menu",
         lambda: "showing" in states(menu))
items = [(item.getRoleName(), item.name) for item in menu]
wanted = ["Unity", "-3 dB", "-10 dB", "-20 dB", "Mute"]
if items != [("radio menu item", name) for name in wanted]:
    fail("the open menu holds %s, not five radio menu items %s" % (items, wanted))
wait_for("no item of the open menu has the focus",
         lambda: heard("object:state-changed:focused", "radio menu item"))

# "click" on "Unity" picks it as Enter does.
action(menu[0], "click")
print("clicked", flush=True)
wait_for("after \"Unity\" was clicked the combo box is named %r" % volume.name,
         lambda: volume.name == "Unity")
wait_for("the menu still shows after \"Unity\" was clicked",
         lambda: "showing" not in states(menu))
if "checked" not in states(menu[0]):
    fail("\"Unity\" is not checked after it was picked")
wait_for("no accessible-name event named the combo box \"Unity\"",
         lambda: heard("object:property-change:accessible-name", "combo box",
                       "Unity", 0))

# Tab moves the focus to the note field, and a screen reader hears it.
since = len(EVENTS)
keys("Tab")
wait_for("Tab brought no focus event for the combo box \"A(440)\"",
         lambda: heard("object:state-changed:focused", "combo box", "A(440)",
                       1, since))
if "focused" not in states(note) or "focused" in states(volume):
    fail("after Tab the focus is not on \"A(440)\" alone")
print("Tab: focus on \"A(440)\"", flush=True)

# F1: the About alert, its two lines and its button.
since = len(EVENTS)
keys("F1")
alert = wait_for("F1 brought no alert into the tree",
                 lambda: next((child for child in app
                               if child.getRole() == pyatspi.ROLE_ALERT), None))
describe(alert)
labels = [child.name for child in alert if child.getRole() == pyatspi.ROLE_LABEL]
if labels != ["Belvo v0.6 10/05/01", "Based on Kesto v1.0 2/25/01"]:
    fail("the alert reads %s" % labels)
buttons = [child for child in alert if child.getRole() == pyatspi.ROLE_PUSH_BUTTON]
if [button.name for button in buttons] != ["by Ardley"]:
    fail("the alert's buttons are %s" % [button.name for button in buttons])
wait_for("no window:activate event for the alert",
         lambda: heard("window:activate", "alert", None, 0, since))
action(buttons[0], "click")
wait_for("the alert stayed after its button's \"click\"",
         lambda: not any(child.getRole() == pyatspi.ROLE_ALERT for child in app))
print("alert closed by its button", flush=True)
sys.exit(0)
