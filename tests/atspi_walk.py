#!/usr/bin/python3
"""What a screen reader sees of the real window, through AT-SPI.

Starts the program on a folder of three files, walks its tree of accessible objects,
and fails where a control of the settings pages, the lists or the buttons has no name,
where two controls of one container share a name, or where a list hides its rows. Run
under a display and a session bus of its own (xvfb-run, dbus-run-session)."""
import os
import shutil
import subprocess
import sys
import tempfile
import time

import pyatspi

CONTROLS = {"check box", "radio button", "text", "combo box", "spin button", "list", "tree",
            "tree table", "table", "push button", "progress bar", "panel", "frame"}


def find_app(name, wait=90):
    end = time.time() + wait
    while time.time() < end:
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.name == name and app.childCount > 0:
                return app
        time.sleep(0.1)
    return None


def walk(node, visit, depth=0):
    visit(node, depth)
    for child in node:
        if child is not None:
            walk(child, visit, depth + 1)


def main():
    program = sys.argv[1]
    folder = tempfile.mkdtemp()
    for name in ("IMG_0001.JPG", "IMG_0002.JPG", "notes.txt"):
        open(os.path.join(folder, name), "w").close()
    env = dict(os.environ, QT_ACCESSIBILITY="1", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
    env.pop("QT_QPA_PLATFORM", None)  # the display xvfb-run gives, not offscreen
    # The accessibility bus and its registry first: a program that starts before them
    # finds no bus and stays unseen.
    pyatspi.Registry.getDesktop(0)
    window = subprocess.Popen([program, folder], env=env)
    faults = []
    try:
        app = find_app("ZOV")
        if app is None:
            print("the window never reached the accessibility bus")
            return 1
        seen = {}

        def check(node, depth):
            role = node.getRoleName()
            if role not in CONTROLS or role == "frame" and depth == 1:
                return
            if node.parent.getRoleName() == "combo box":
                return  # the drop-down of a combo box, which names it
            if not node.name:
                faults.append("a %s without a name, in %s" % (role, node.parent.name))
            key = (id(node.parent), node.name)
            if node.name and key in seen and role != "panel":
                faults.append("two controls named %r in %s" % (node.name, node.parent.name))
            seen[key] = role

        walk(app, check)
        pages = {c.name for c in pyatspi.findAllDescendants(app, lambda n: n.getRoleName() == "panel")}
        for page in ("Rename Settings", "Advanced Settings", "Filter Settings"):
            if page not in pages:
                faults.append("no page named %r" % page)
        # The original list exposes its rows, each with the file's path.
        lists = pyatspi.findAllDescendants(app, lambda n: n.name == "Original file list")
        rows = [c.name for c in lists[0]] if lists else []
        if not any(r.endswith("IMG_0001.JPG") for r in rows) or len(rows) != 3:
            faults.append("the original list shows %r" % rows)
        buttons = {b.name for b in pyatspi.findAllDescendants(
            app, lambda n: n.getRoleName() == "push button")}
        for b in ("Preview", "Rename", "Undo", "Refresh", "Select a source folder"):
            if b not in buttons:
                faults.append("no button named %r" % b)
        # Select All and Preview, pressed as a screen reader presses them: the preview list
        # exposes its rows too.
        for name in ("Select All", "Preview"):
            found = pyatspi.findDescendant(app, lambda n, name=name: n.name == name)
            action = found.queryAction()
            action.doAction(0)
            time.sleep(0.5)
        tree = pyatspi.findDescendant(app, lambda n: n.name == "Preview file list")
        cells = [c.name for c in tree if c.getRoleName() != "table column header"]
        print("preview rows:", cells)
        if not any(c.endswith("IMG_0001.JPG") for c in cells):
            faults.append("the preview list shows %r" % cells)
    finally:
        window.terminate()
        window.wait()
        shutil.rmtree(folder)
    for f in faults:
        print(f)
    print("%d faults" % len(faults))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
