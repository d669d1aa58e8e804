#!/usr/bin/python3
"""Registering a polkit authentication agent for the session."""
import time


def register(attempt):
    """Registers an agent for the session; polkitd may not yet have seen the
    previous one leave the bus."""
    deadline = time.monotonic() + 5
    while True:
        try:
            attempt()
            break
        except Exception as error:  # noqa: BLE001 - GLib and D-Bus errors alike
            if 'already exists' not in str(error) or time.monotonic() > deadline:
                raise
            time.sleep(0.2)
    print('agent registered', flush=True)
