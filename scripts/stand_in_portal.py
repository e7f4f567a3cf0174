#!/usr/bin/python3
"""A stand-in for the desktop portal's Settings interface on the session bus: answers
"org.freedesktop.appearance" "color-scheme" with the value given (1 dark, 2 light), so the
screenshot flow can picture Corvix on a dark desktop. Runs until it is ended."""
import sys

from gi.repository import Gio, GLib

INTERFACE = """
<node>
  <interface name="org.freedesktop.portal.Settings">
    <method name="Read">
      <arg type="s" name="namespace" direction="in"/>
      <arg type="s" name="key" direction="in"/>
      <arg type="v" name="value" direction="out"/>
    </method>
    <signal name="SettingChanged">
      <arg type="s" name="namespace"/>
      <arg type="s" name="key"/>
      <arg type="v" name="value"/>
    </signal>
  </interface>
</node>
"""


def main():
    scheme = int(sys.argv[1]) if len(sys.argv) > 1 else 1
    node = Gio.DBusNodeInfo.new_for_xml(INTERFACE)

    def on_call(connection, sender, path, interface, method, parameters, invocation):
        namespace, key = parameters.unpack()
        if method == "Read" and (namespace, key) == ("org.freedesktop.appearance", "color-scheme"):
            # The portal wraps the value twice.
            inner = GLib.Variant("v", GLib.Variant("u", scheme))
            invocation.return_value(GLib.Variant("(v)", (inner,)))
        else:
            invocation.return_dbus_error("org.freedesktop.portal.Error.NotFound", "no such setting")

    def on_bus(connection, name):
        connection.register_object("/org/freedesktop/portal/desktop", node.interfaces[0], on_call,
                                   None, None)

    Gio.bus_own_name(Gio.BusType.SESSION, "org.freedesktop.portal.Desktop",
                     Gio.BusNameOwnerFlags.NONE, on_bus, None, None)
    GLib.MainLoop().run()


if __name__ == "__main__":
    main()
