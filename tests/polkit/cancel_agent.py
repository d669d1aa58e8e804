#!/usr/bin/python3
"""An agent of the session that answers every request as a dialog's Cancel
button does. Prints "agent registered" once it is registered."""
import os

from agent_registration import register

SESSION = os.environ.get('PRIVET_SESSION', '')


def cancel_agent():
    """An agent that answers every request as a dialog's Cancel button does."""
    import dbus
    import dbus.service
    from dbus.mainloop.glib import DBusGMainLoop
    from gi.repository import GLib

    class Cancelled(dbus.DBusException):
        _dbus_error_name = 'org.freedesktop.PolicyKit1.Error.Cancelled'

    class Agent(dbus.service.Object):
        @dbus.service.method('org.freedesktop.PolicyKit1.AuthenticationAgent', in_signature='sssa{ss}sa(sa{sv})')
        def BeginAuthentication(self, action_id, message, icon, details, cookie, identities):
            print(f'asked for {action_id}: cancelled', flush=True)
            raise Cancelled('Cancel was pressed')

        @dbus.service.method('org.freedesktop.PolicyKit1.AuthenticationAgent', in_signature='s')
        def CancelAuthentication(self, cookie):
            pass

    DBusGMainLoop(set_as_default=True)
    bus = dbus.SystemBus()
    Agent(bus, '/com/fernhill/privet/CancelAgent')
    authority = bus.get_object('org.freedesktop.PolicyKit1', '/org/freedesktop/PolicyKit1/Authority')
    subject = dbus.Struct(('unix-session', {'session-id': dbus.String(SESSION, variant_level=1)}), signature='sa{sv}')
    register(lambda: authority.RegisterAuthenticationAgent(subject, 'C', '/com/fernhill/privet/CancelAgent',
                                                           dbus_interface='org.freedesktop.PolicyKit1.Authority'))
    GLib.MainLoop().run()


if __name__ == '__main__':
    cancel_agent()
