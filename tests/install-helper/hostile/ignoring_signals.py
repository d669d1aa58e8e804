# ignoring_signals.py PROGRAM ARGUMENTS...
# Starts the program with SIGCHLD and SIGXFSZ ignored, as a hostile caller may.
import os
import signal
import sys

for s in (signal.SIGCHLD, signal.SIGXFSZ):
    signal.signal(s, signal.SIG_IGN)
os.execv(sys.argv[1], sys.argv[1:])
