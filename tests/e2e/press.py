#!/usr/bin/python3
"""Presses a button of a program as an assistive technology does, over AT-SPI.

    press.py PID NAME    the showing push button NAME of the program with process PID

Looks every 20 ms for at most 20 s; exits 0 once pressed, 1 when no such button showed.
Needs the session's accessibility bus (at-spi-bus-launcher).
"""
import sys
import time
import warnings

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402

# Its replacement, get_name, is hidden behind Accessible.get_name here.
warnings.filterwarnings("ignore", "Atspi.Action.get_action_name is deprecated")


def find(node, name):
    if (node.get_role() == Atspi.Role.PUSH_BUTTON and node.get_name() == name
            and node.get_state_set().contains(Atspi.StateType.SHOWING)):
        return node
    for i in range(node.get_child_count()):
        found = find(node.get_child_at_index(i), name)
        if found:
            return found
    return None


def press(pid, name):
    desktop = Atspi.get_desktop(0)
    for a in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(a)
        button = app and app.get_process_id() == pid and find(app, name)
        if button:
            for i in range(Atspi.Action.get_n_actions(button)):
                if Atspi.Action.get_action_name(button, i) == "Press":
                    return Atspi.Action.do_action(button, i)
    return False


for _ in range(1000):
    try:
        if press(int(sys.argv[1]), sys.argv[2]):
            sys.exit(0)
    except gi.repository.GLib.Error:
        pass  # the program's tree changed while it was walked: look again
    time.sleep(0.02)
sys.exit(1)
