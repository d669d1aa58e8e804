#!/usr/bin/python3
"""launcher_probe.py LAUNCHER PROGRAM ARG...: hand the launcher a program of our own."""
import subprocess
import sys


def launcher_probe(launcher, request):
    """Asks pkexec for the launcher and hands it `request` (program, argv...)."""
    probe = subprocess.Popen(['/usr/bin/pkexec', launcher], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    granted = probe.stdout.readline()
    print(f'launcher said {granted!r}', flush=True)
    if granted == b'granted\n':
        probe.stdin.write(b''.join(field.encode() + b'\0' for field in request))
        probe.stdin.close()
        print(f'launcher replied {probe.stdout.read()!r}', flush=True)
    print(f'pkexec exited {probe.wait(timeout=20)}', flush=True)


if __name__ == '__main__':
    launcher_probe(sys.argv[1], sys.argv[2:])
