#!/usr/bin/python3
"""Looks at the program's windows as a screen reader does: through the AT-SPI tree.

    atspi.py PID controls TITLE    every control of the shown window TITLE that can take the
                                   focus has a name of words: not empty, not a control's id
    atspi.py PID role TITLE        the window's role ("frame", "dialog", ...)
    atspi.py PID focus TITLE       the role and name of the control with the focus

Waits for the window in the tree (every 50 ms, at most $ATSPI_TIMEOUT seconds, default 20);
exits 1 with the reasons on stderr when a check fails. Uses the system's python3-pyatspi.
"""
import os
import re
import sys
import time

import pyatspi

# What Qt would show for a control nobody named: its object name ("Edit2", "CheckBox4",
# "DBLookupComboBox1") or one of Qt's own ("qt_tabwidget_tabbar").
CONTROL_ID = re.compile(r"^(qt_\w+|[A-Z][A-Za-z]*[0-9]+)$")
# Their children are entries of a list, not controls of the window.
ITEM_HOLDERS = {pyatspi.ROLE_TABLE, pyatspi.ROLE_TREE_TABLE, pyatspi.ROLE_LIST,
                pyatspi.ROLE_LIST_BOX, pyatspi.ROLE_COMBO_BOX, pyatspi.ROLE_TREE}


def shown(node):
    states = node.getState()
    return states.contains(pyatspi.STATE_SHOWING) and states.contains(pyatspi.STATE_VISIBLE)


def application(pid):
    for app in pyatspi.Registry.getDesktop(0):
        try:
            if app is not None and app.get_process_id() == pid:
                return app
        except Exception:  # an application gone meanwhile
            continue
    return None


def window(pid, title):
    app = application(pid)
    if app is None:
        return None
    for win in app:
        if win is not None and win.name == title and shown(win):
            return win
    return None


def controls(node):
    """The shown nodes below node, items of lists and tables left out."""
    for child in node:
        if child is None or not shown(child):
            continue
        yield child
        if child.getRole() not in ITEM_HOLDERS:
            yield from controls(child)


def identifier(node):
    try:
        return node.get_accessible_id() or ""
    except Exception:
        return ""


def describe(node):
    return "%s \"%s\"" % (node.getRoleName(), node.name)


def check_controls(win):
    problems = []
    count = 0
    for node in controls(win):
        if not node.getState().contains(pyatspi.STATE_FOCUSABLE):
            continue
        count += 1
        name = node.name.strip()
        if not name:
            problems.append("%s has no name" % node.getRoleName())
        elif CONTROL_ID.match(name) or name == identifier(node):
            problems.append("%s is named by its id" % describe(node))
    if count == 0:
        problems.append("no control takes the focus")
    for problem in problems:
        print("%s: %s" % (win.name, problem), file=sys.stderr)
    print("%s: %d controls named" % (win.name, count))
    return not problems


def focused(win):
    for node in controls(win):
        if node.getState().contains(pyatspi.STATE_FOCUSED):
            return node
    return None


def main():
    pid, what, title = int(sys.argv[1]), sys.argv[2], sys.argv[3]
    deadline = time.monotonic() + float(os.environ.get("ATSPI_TIMEOUT", "20"))
    win = window(pid, title)
    while win is None:
        if time.monotonic() > deadline:
            print("atspi: no shown window \"%s\" of process %d" % (title, pid), file=sys.stderr)
            return 1
        time.sleep(0.05)
        win = window(pid, title)
    if what == "controls":
        return 0 if check_controls(win) else 1
    if what == "role":
        print(win.getRoleName())
        return 0
    if what == "focus":
        node = focused(win)
        print(describe(node) if node is not None else "(none)")
        return 0
    print("atspi: unknown check " + what, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main())
