#!/usr/bin/python3
"""polkit's own text listener, registered for the whole session: what
pkttyagent runs, for a session rather than one process. Prints "agent
registered" once it is."""
import os

from agent_registration import register

SESSION = os.environ.get('PRIVET_SESSION', '')


def text_agent():
    """polkit's own text listener, registered for the whole session: what
    pkttyagent runs, for a session rather than one process."""
    import gi
    gi.require_version('Polkit', '1.0')
    gi.require_version('PolkitAgent', '1.0')
    from gi.repository import GLib, Polkit, PolkitAgent
    listener = PolkitAgent.TextListener.new(None)
    register(lambda: listener.register(PolkitAgent.RegisterFlags.NONE, Polkit.UnixSession.new(SESSION),
                                       '/org/freedesktop/PolicyKit1/AuthenticationAgent', None))
    GLib.MainLoop().run()


if __name__ == '__main__':
    text_agent()
