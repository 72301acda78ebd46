#!/usr/bin/python3
# A stand-in for the desktop portal's Screenshot interface on the session bus, for sessions
# whose real portal backend cannot run headless. Each request is answered as the first line
# of the plan file says, and that line is then taken off:
#   file    the image is copied to $HOME/Pictures/Screenshot_N.png and its URI answered
#   link    $HOME/Pictures/Screenshot_N.png is a symbolic link to the image, and answered
#   cancel  response 1 (the person cancelled), no file
# With no line left, requests are cancelled.
#
#   fake-portal.py IMAGE PLAN
import os
import shutil
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

image, plan = sys.argv[1], sys.argv[2]
pictures = os.path.join(os.environ["HOME"], "Pictures")
os.makedirs(pictures, exist_ok=True)
DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
taken = 0


def next_answer():
    try:
        with open(plan) as f:
            lines = f.read().splitlines()
    except FileNotFoundError:
        return "cancel"
    with open(plan, "w") as f:
        f.write("\n".join(lines[1:]))
    return lines[0] if lines else "cancel"


class Request(dbus.service.Object):
    @dbus.service.signal("org.freedesktop.portal.Request", signature="ua{sv}")
    def Response(self, code, results):
        pass


class Portal(dbus.service.Object):
    @dbus.service.method("org.freedesktop.portal.Screenshot", in_signature="sa{sv}", out_signature="o",
                         sender_keyword="sender")
    def Screenshot(self, parent, options, sender):
        global taken
        token = str(options.get("handle_token", "t%d" % taken))
        path = "/org/freedesktop/portal/desktop/request/%s/%s" % (sender[1:].replace(".", "_"), token)
        request = Request(bus, path)
        answer = next_answer()
        taken += 1
        results = {}
        code = 0
        target = os.path.join(pictures, "Screenshot_%d.png" % taken)
        if answer == "file":
            shutil.copyfile(image, target)
        elif answer == "link":
            os.symlink(image, target)
        else:
            code = 1
        if code == 0:
            results["uri"] = dbus.String("file://" + target, variant_level=1)
        GLib.idle_add(lambda: (request.Response(dbus.UInt32(code), dbus.Dictionary(results, signature="sv")), False)[1])
        return dbus.ObjectPath(path)


name = dbus.service.BusName("org.freedesktop.portal.Desktop", bus)
Portal(bus, "/org/freedesktop/portal/desktop")
GLib.MainLoop().run()
