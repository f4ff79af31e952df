#!/usr/bin/python3
"""Finds or closes the program's window on an X display, as a window
manager would (WM_DELETE_WINDOW).

    x_window.py wait  DISPLAY TITLE [TIMEOUT]   exit 0 once the window is viewable
    x_window.py close DISPLAY TITLE             ask the window to close
    x_window.py ready DISPLAY [TIMEOUT]         exit 0 once the X server answers
"""
import sys
import time

from Xlib import X, display as xdisplay, error as xerror, protocol


def connect(name, timeout):
    deadline = time.monotonic() + timeout
    while True:
        try:
            return xdisplay.Display(name)
        except Exception:  # server not up yet
            if time.monotonic() > deadline:
                raise SystemExit("cannot connect to %s" % name)
            time.sleep(0.05)


def find_window(conn, title):
    pending = [conn.screen().root]
    while pending:
        window = pending.pop()
        try:
            if window.get_wm_name() == title and window.get_attributes().map_state == X.IsViewable:
                return window
            pending.extend(window.query_tree().children)
        except xerror.XError:
            continue  # gone meanwhile
    return None


def main():
    command, name = sys.argv[1], sys.argv[2]
    if command == "ready":
        connect(name, float(sys.argv[3]) if len(sys.argv) > 3 else 10)
        return 0
    title = sys.argv[3]
    conn = connect(name, 10)
    if command == "wait":
        deadline = time.monotonic() + (float(sys.argv[4]) if len(sys.argv) > 4 else 30)
        while time.monotonic() < deadline:
            if find_window(conn, title):
                return 0
            time.sleep(0.02)
        return 1
    window = find_window(conn, title)
    if window is None:
        return 1
    # The window may be gone before the request arrives (the program ended
    # on its own): that is not an error here.
    conn.set_error_handler(lambda error, request: None)
    protocols = conn.intern_atom("WM_PROTOCOLS")
    delete = conn.intern_atom("WM_DELETE_WINDOW")
    event = protocol.event.ClientMessage(window=window, client_type=protocols,
                                         data=(32, [delete, X.CurrentTime, 0, 0, 0]))
    window.send_event(event, event_mask=0)
    conn.flush()
    return 0


if __name__ == "__main__":
    sys.exit(main())
