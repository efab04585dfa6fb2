#!/usr/bin/python3
"""What a screen reader knows of an application, and its actions on what is shown.

  atspi_showing.py APPNAME tree        the accessible tree as JSON: per node its depth, role, name,
                                       text, and whether it is showing, enabled, focusable, focused
                                       and selected
  atspi_showing.py APPNAME act NAME [ROLE]
                                       does the first action of the first showing node named NAME (of
                                       ROLE): a button's press, a table cell's or a list item's toggle

Runs on the accessibility bus of its environment, as /work/shared/tools/atspi-probe does. The probe
prints no states and acts on the first node of a name, and a Qt application keeps its hidden widgets
in the tree: a device's row in a hidden list has the name of its row in the table on screen."""

import json
import sys
import time

import pyatspi
from gi.repository import GLib

STATES = {"showing": pyatspi.STATE_SHOWING, "enabled": pyatspi.STATE_ENABLED,
          "focusable": pyatspi.STATE_FOCUSABLE, "focused": pyatspi.STATE_FOCUSED,
          "selected": pyatspi.STATE_SELECTED}


def find_app(name, timeout=20):
    end = time.time() + timeout
    while time.time() < end:
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            if app is not None and app.name and name.lower() in app.name.lower():
                return app
        time.sleep(0.3)
    raise SystemExit(f"no application named {name} on the accessibility bus")


def text_of(node):
    try:
        text = node.queryText()
        return text.getText(0, text.characterCount)
    except (NotImplementedError, GLib.GError):
        return ""


def walk(node, depth=0, out=None):
    out = [] if out is None else out
    if node is None:
        return out
    out.append((depth, node))
    try:
        children = [node.getChildAtIndex(i) for i in range(min(node.childCount, 500))]
    except GLib.GError:  # gone while the tree was read
        children = []
    for child in children:
        walk(child, depth + 1, out)
    return out


def describe(depth, node):
    """The node as a dictionary, or None when it went while the tree was read (a row made again)."""
    try:
        states = node.getState()
        return {"depth": depth, "role": node.getRoleName(), "name": node.name or "", "text": text_of(node),
                **{key: states.contains(state) for key, state in STATES.items()}}
    except GLib.GError:
        return None


def main():
    app = find_app(sys.argv[1])
    if sys.argv[2] == "tree":
        json.dump([n for n in (describe(depth, node) for depth, node in walk(app)) if n], sys.stdout)
    elif sys.argv[2] == "act":
        for _, node in walk(app):
            role = sys.argv[4] if len(sys.argv) > 4 else node.getRoleName()
            if node.name == sys.argv[3] and node.getRoleName() == role and \
                    node.getState().contains(pyatspi.STATE_SHOWING):
                node.queryAction().doAction(0)
                print(f"acted on {sys.argv[3]}")
                return
        raise SystemExit(f"no showing node named {sys.argv[3]}")
    else:
        raise SystemExit(__doc__)


if __name__ == "__main__":
    main()
