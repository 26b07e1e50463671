#!/usr/bin/python3
# Tells run.sh what the desktop program will find: exit status 0 when the X
# display opens and has a system tray, 1 when it opens without a tray, 2 when
# it cannot be opened. A tray is an owner of the _NET_SYSTEM_TRAY_Sn selection
# (the XEmbed tray) or a StatusNotifierWatcher on the session bus.
import ctypes
import ctypes.util
import os
import shutil
import subprocess
import sys


def notifier_watcher():
    if not shutil.which("dbus-send") or not os.environ.get("DBUS_SESSION_BUS_ADDRESS"):
        return False
    try:
        out = subprocess.run(
            ["dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus",
             "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner",
             "string:org.kde.StatusNotifierWatcher"],
            capture_output=True, text=True, timeout=5).stdout
    except (OSError, subprocess.SubprocessError):
        return False
    return "boolean true" in out


def main():
    name = ctypes.util.find_library("X11")
    if not name:
        return 2
    x11 = ctypes.CDLL(name)
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XDefaultScreen.argtypes = [ctypes.c_void_p]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XGetSelectionOwner.restype = ctypes.c_ulong
    x11.XGetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    display = x11.XOpenDisplay(None)
    if not display:
        return 2
    screen = x11.XDefaultScreen(display)
    atom = x11.XInternAtom(display, b"_NET_SYSTEM_TRAY_S%d" % screen, 0)
    tray = x11.XGetSelectionOwner(display, atom) != 0
    x11.XCloseDisplay(display)
    return 0 if tray or notifier_watcher() else 1


if __name__ == "__main__":
    sys.exit(main())
