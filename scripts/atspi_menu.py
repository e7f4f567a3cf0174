#!/usr/bin/python3
"""Opens Corvix's menu by running the command given as arguments, then reads the menu through
AT-SPI as a screen reader does: it learns of the popup from the bus's events, prints every row's
role and name, and flips the first switch it finds. Exits non-zero when the menu cannot be read."""
import subprocess
import sys

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402


def wait_for_popup(command, seconds=8):
    """Runs `command` and returns the first popup menu the bus announces."""
    found = []

    def on_event(event):
        try:
            if event.source.get_role_name() == "popup menu" and not found:
                found.append(event.source)
                GLib.timeout_add(800, lambda: Atspi.event_quit() and False)
        except GLib.Error:
            pass

    listener = Atspi.EventListener.new(on_event)
    listener.register("object:")
    GLib.timeout_add(300, lambda: subprocess.Popen(command) and False)
    GLib.timeout_add(seconds * 1000, lambda: Atspi.event_quit() and False)
    Atspi.event_main()
    listener.deregister("object:")
    return found[0] if found else None


def walk(node, depth=0):
    yield node, depth
    for i in range(node.get_child_count()):
        child = node.get_child_at_index(i)
        if child is not None:
            yield from walk(child, depth + 1)


def main():
    menu = wait_for_popup(sys.argv[1:])
    if menu is None:
        print("no popup menu appeared on the accessibility bus", file=sys.stderr)
        return 1
    rows = []
    switches = []
    texts = []
    for node, depth in walk(menu):
        role = node.get_role_name()
        if role == "menu item":
            rows.append(node)
        elif role == "check box":
            switches.append(node)
        elif role == "label" and depth == 1:
            texts.append(node.get_name())
    named = [r for r in rows if (r.get_name() or "").strip()]
    for row in rows:
        print(f"menu item: {row.get_name()!r}")
    for text in texts:
        print(f"text: {text!r}")
    for sw in switches:
        states = sw.get_state_set()
        print(f"  check box: {sw.get_name()!r} checked={states.contains(Atspi.StateType.CHECKED)}"
              f" checkable={states.contains(Atspi.StateType.CHECKABLE)}")
    # Headings are read as text, not offered as items to choose.
    if "Rooms" in [r.get_name() for r in rows] or "Rooms" not in texts:
        print("the Rooms heading is not read as text", file=sys.stderr)
        return 1
    if not rows or len(named) < len(rows) // 2:
        print(f"{len(rows)} rows, {len(named)} with a name", file=sys.stderr)
        return 1
    if not switches:
        print("no switch in the menu", file=sys.stderr)
        return 1
    target = switches[0]
    names = [target.get_action_name(i) for i in range(target.get_n_actions())]
    index = names.index("Toggle") if "Toggle" in names else 0
    print(f"flipping {target.get_name()!r} with {names[index]!r}")
    target.do_action(index)
    return 0


if __name__ == "__main__":
    sys.exit(main())
