#!/usr/bin/env python3
"""Waits until a part of the test desktop is ready, asking the X server itself.

    xready.py server          the display in $DISPLAY accepts connections
    xready.py wm              a window manager announces itself (_NET_SUPPORTING_WM_CHECK)
    xready.py selection NAME  the selection NAME has an owner (e.g. _NET_SYSTEM_TRAY_S0)

Polls every 20 ms for at most $XREADY_TIMEOUT seconds (default 20); exits 0 when ready,
1 otherwise. Only libX11 through ctypes, so it needs nothing beyond the X client library.
"""
import ctypes
import os
import sys
import time

x11 = ctypes.CDLL("libX11.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
x11.XInternAtom.restype = ctypes.c_ulong
x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x11.XGetSelectionOwner.restype = ctypes.c_ulong
x11.XGetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
x11.XDefaultRootWindow.restype = ctypes.c_ulong
x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x11.XGetWindowProperty.argtypes = [
    ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_long, ctypes.c_long,
    ctypes.c_int, ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_int),
    ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_ulong),
    ctypes.POINTER(ctypes.c_void_p)]
x11.XFree.argtypes = [ctypes.c_void_p]
# A protocol error (a window gone meanwhile) is not fatal: the next poll tries again.
ERROR_HANDLER = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)
_ignore_error = ERROR_HANDLER(lambda display, event: 0)
x11.XSetErrorHandler(_ignore_error)


def window_property(display, name):
    atom = x11.XInternAtom(display, name.encode(), 1)
    if not atom:
        return None
    kind, fmt = ctypes.c_ulong(), ctypes.c_int()
    count, after, data = ctypes.c_ulong(), ctypes.c_ulong(), ctypes.c_void_p()
    ok = x11.XGetWindowProperty(display, x11.XDefaultRootWindow(display), atom, 0, 1, 0, 0,
                                ctypes.byref(kind), ctypes.byref(fmt), ctypes.byref(count),
                                ctypes.byref(after), ctypes.byref(data))
    if ok != 0 or not data.value:
        return None
    value = ctypes.cast(data, ctypes.POINTER(ctypes.c_ulong))[0] if count.value else None
    x11.XFree(data)
    return value


def ready(display, what, argument):
    if what == "server":
        return True
    if what == "wm":
        return bool(window_property(display, "_NET_SUPPORTING_WM_CHECK"))
    if what == "selection":
        return x11.XGetSelectionOwner(display, x11.XInternAtom(display, argument.encode(), 0)) != 0
    raise SystemExit("unknown check: " + what)


def main():
    what = sys.argv[1] if len(sys.argv) > 1 else "server"
    argument = sys.argv[2] if len(sys.argv) > 2 else ""
    deadline = time.monotonic() + float(os.environ.get("XREADY_TIMEOUT", "20"))
    while True:
        display = x11.XOpenDisplay(None)
        if display:
            ok = ready(display, what, argument)
            x11.XCloseDisplay(display)
            if ok:
                return 0
        if time.monotonic() > deadline:
            print("xready: %s %s not ready on %s" % (what, argument, os.environ.get("DISPLAY")),
                  file=sys.stderr)
            return 1
        time.sleep(0.02)


sys.exit(main())
