# A step that, before it does its work, tries to signal a root process outside
# the run (a "sleep 4242"), to connect to a pathname socket, an abstract socket
# and 127.0.0.1 that a root service listens on, and to open /dev/full for
# writing; prints "REACHED <what>" for each it could.
import os
import socket
import sys


def cmdline(pid):
    try:
        with open('/proc/%s/cmdline' % pid, 'rb') as f:
            return f.read()
    except OSError:
        return b''


def signal():
    os.kill([int(p) for p in os.listdir('/proc') if p.isdigit() and cmdline(p) == b'sleep\0' b'4242\0'][0], 0)


def connect(family, address):
    s = socket.socket(family)
    s.settimeout(2)
    s.connect(address)
    s.close()


for what, attempt in (('a signal', signal),
                      ('a pathname socket', lambda: connect(socket.AF_UNIX, '/run/privet-probe.sock')),
                      ('an abstract socket', lambda: connect(socket.AF_UNIX, '\0privet-probe')),
                      ('127.0.0.1', lambda: connect(socket.AF_INET, ('127.0.0.1', 47211))),
                      ('/dev/full', lambda: open('/dev/full', 'wb').close())):
    try:
        attempt()
        print('REACHED ' + what, file=sys.stderr)
    except Exception:
        pass
