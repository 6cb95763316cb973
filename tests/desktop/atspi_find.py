"""Finds a control of a running application on the accessibility bus and prints its screen rectangle.

usage: atspi_find.py APP_NAME ROLE NAME [TIMEOUT_SECONDS]
prints "x y width height" of the first showing control with that role and accessible name; exit 1 if none.
ROLE is an AT-SPI role name such as "push button" or "menu item".
"""
import sys
import time

import pyatspi


def walk(node, depth=0):
    if node is None or depth > 40:
        return
    yield node
    try:
        count = node.childCount
    except Exception:
        return
    for i in range(count):
        try:
            child = node.getChildAtIndex(i)
        except Exception:
            continue
        yield from walk(child, depth + 1)


def find(app_name, role, name):
    found = find_all(app_name, role, name, first=True)
    return found[0] if found else None


def find_all(app_name, role, name, first=False):
    """The screen rectangles of every showing control with that role and name."""
    matches = []
    desktop = pyatspi.Registry.getDesktop(0)
    for app in walk_apps(desktop):
        if app.name != app_name:
            continue
        for node in walk(app):
            try:
                if node.getRoleName() != role or node.name != name:
                    continue
                if not node.getState().contains(pyatspi.STATE_SHOWING):
                    continue
                ext = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
                if ext.width > 0 and ext.height > 0:
                    matches.append((ext.x, ext.y, ext.width, ext.height))
                    if first:
                        return matches
            except Exception:
                continue
    return matches


# How long a card's or a panel row's buttons wait, once they stand still, before they take a click (a click
# meant for what was there before must not answer what just arrived); with a margin.
ARMING_SECONDS = 0.6


def find_at_rest(app_name, role, name, timeout=15.0):
    """The screen rectangle of the control once it has stood still (two looks a quarter second apart agree)
    and its buttons have armed; None if it never does."""
    deadline = time.monotonic() + timeout
    last = None
    while time.monotonic() < deadline:
        now = find(app_name, role, name)
        if now and now == last:
            time.sleep(ARMING_SECONDS)
            if find(app_name, role, name) == now:
                return now
        last = now
        time.sleep(0.25)
    return None


def walk_apps(desktop):
    for i in range(desktop.childCount):
        try:
            yield desktop.getChildAtIndex(i)
        except Exception:
            continue


def main(argv):
    if len(argv) < 4:
        print(__doc__, file=sys.stderr)
        return 2
    deadline = time.monotonic() + (float(argv[4]) if len(argv) > 4 else 10.0)
    while True:
        found = find(argv[1], argv[2], argv[3])
        if found:
            print(*found)
            return 0
        if time.monotonic() > deadline:
            return 1
        time.sleep(0.2)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
