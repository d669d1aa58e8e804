# with_full_pipe.py unread|closed PROGRAM ARGUMENTS...
# Starts the program with a standard error that is a full pipe (4 kB, filled)
# that nobody reads ("unread") or whose reader is gone ("closed").
import fcntl
import os
import signal
import sys

F_SETPIPE_SZ = 1031
r, w = os.pipe()
fcntl.fcntl(w, F_SETPIPE_SZ, 4096)
os.write(w, b'x' * 4096)
os.dup2(w, 2)
os.set_inheritable(r, sys.argv[1] == 'unread')
signal.signal(signal.SIGPIPE, signal.SIG_DFL)
os.execv(sys.argv[2], sys.argv[2:])
