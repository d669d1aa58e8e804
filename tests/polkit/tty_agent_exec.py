#!/usr/bin/python3
"""tty_agent_exec.py PROGRAM ARG...: pkttyagent for this process, then exec PROGRAM."""
import os
import subprocess
import sys


def tty_agent_exec(argv):
    """pkttyagent for this very process, then this process becomes `argv`:
    pkexec, started by it, is its direct child."""
    ready, notify = os.pipe()
    subprocess.Popen(['pkttyagent', '--process', str(os.getpid()), '--notify-fd', str(notify)], pass_fds=[notify])
    os.close(notify)
    os.read(ready, 1)  # end of file once the agent is registered
    os.execv(argv[0], argv)


if __name__ == '__main__':
    tty_agent_exec(sys.argv[1:])
