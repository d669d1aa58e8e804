#!/usr/bin/python3
"""Clicks Install in the Preferences window, as a user with a pointer and a
screen reader would meet it."""
import subprocess
import sys
import time

from slowdown import scaled


def click_install():
    """Finds the Install button of the Preferences window on the
    accessibility bus, checks that the window reads as a screen reader
    needs it, clicks Install with the pointer, then reads the status the
    window shows until it is up to date and checks that the change was
    announced."""
    import gi
    gi.require_version('Atspi', '2.0')
    from gi.repository import Atspi, GLib

    def find(node, role, name=None):
        if node is None:
            return
        if node.get_role_name() == role and name in (None, node.get_name()):
            yield node
        for index in range(node.get_child_count()):
            yield from find(node.get_child_at_index(index), role, name)

    def window():
        desktop = Atspi.get_desktop(0)
        apps = (desktop.get_child_at_index(index) for index in range(desktop.get_child_count()))
        # The accessible application is named by its application name, the desktop id.
        return next((app for app in apps if app is not None and app.get_name() == 'com.fernhill.privet.preferences'),
                    None)

    def labelled(caption):
        """What the label CAPTION is the label for."""
        label = next(find(window(), 'label', caption), None)
        relations = label.get_relation_set() if label else []
        return next((relation.get_target(0) for relation in relations
                     if relation.get_relation_type() == Atspi.RelationType.LABEL_FOR), None)

    def status():
        value = labelled('Status:')
        return value.get_name() if value else None

    def wait_for(what, bound, found):
        """found() once it is something, polled for at most `bound` seconds;
        the program ends saying which wait ran out when it stays nothing."""
        deadline = time.monotonic() + bound
        while True:
            try:
                value = found()
            except Exception:  # noqa: BLE001 - a window still starting answers errors
                value = None
            if value is not None:
                return value
            if time.monotonic() >= deadline:
                sys.exit(f'no {what} within {bound:.0f} s')
            time.sleep(0.2)

    wait_for('Preferences window on the accessibility bus', scaled(60), window)
    print('found: the window on the accessibility bus', flush=True)
    button = wait_for('enabled button "Install Fernhill Digitizer" in the Preferences window', scaled(30),
                      lambda: next((found for found in find(window(), 'push button', 'Install Fernhill Digitizer')
                                    if all(found.get_state_set().contains(state)
                                           for state in (Atspi.StateType.ENABLED, Atspi.StateType.SHOWING))),
                                   None))

    problems = []
    if next(find(window(), 'frame', 'Kestrel'), None) is None:
        problems.append('the window is no frame named "Kestrel"')
    if next(find(window(), 'list', 'Panes'), None) is None:
        problems.append('the pane list is no list named "Panes"')
    editable = [node.get_name() for node in find(window(), 'text')]
    if editable:
        problems.append(f'texts a user only reads are editable texts: {editable}')
    for caption in ('Status:', 'Installed at:', 'Bundled version:'):
        if labelled(caption) is None or labelled(caption).get_role_name() != 'label':
            problems.append(f'"{caption}" is the label of no label')
    print(f'accessible tree: {"; ".join(problems) or "as a screen reader needs it"}', flush=True)

    announced = []
    listener = Atspi.EventListener.new(lambda event: announced.append(event.source.get_name()))
    listener.register('object:property-change:accessible-name')
    box = button.get_extents(Atspi.CoordType.SCREEN)
    x, y = box.x + box.width // 2, box.y + box.height // 2
    print(f'window shows: {status()}; clicking Install at {x},{y}', flush=True)
    subprocess.run(['xdotool', 'mousemove', '--sync', str(x), str(y), 'click', '1'], check=True)
    shown, deadline = None, time.monotonic() + scaled(40)
    while time.monotonic() < deadline and 'IS UP TO DATE' not in (shown or ''):
        time.sleep(0.5)
        while GLib.MainContext.default().iteration(False):
            pass
        try:
            shown = status()
        except Exception:  # noqa: BLE001 - the window is busy while the helper runs
            pass
    print(f'window shows: {shown}', flush=True)
    print(f'announced: {shown if shown in announced else "nothing of it"}', flush=True)


if __name__ == '__main__':
    click_install()
