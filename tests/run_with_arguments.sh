#!/bin/sh
# Starts the real program with an argument it does not know and Qt's platform option, without
# a display: the option must reach Qt (nothing else chooses the offscreen platform here), the
# stray argument must be named on one line of standard error, and the program must run until
# its parent watch ends it. Usage: run_with_arguments.sh path/to/corvix
set -u
corvix=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 700 "$work"
# A process that surely no longer exists: the parent watch ends the run after one tick.
sh -c 'exit 0' &
gone=$!
wait "$gone"
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
    DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus" \
    XDG_RUNTIME_DIR="$work" XDG_CONFIG_HOME="$work/config" HOME="$work" \
    ORBELUNE_MAC_CONTROL_BASE_URL="http://127.0.0.1:9/app/os/mac-control" \
    ORBELUNE_PARENT_PID="$gone" \
    timeout 60 "$corvix" foo -platform offscreen >"$work/out" 2>"$work/err"
status=$?
if [ "$status" -ne 0 ]; then
    echo "corvix ended with status $status" >&2
    cat "$work/err" >&2
    exit 1
fi
if [ "$(grep -c "ignoring 'foo'" "$work/err")" -ne 1 ]; then
    echo "the ignored argument was not named once on standard error:" >&2
    cat "$work/err" >&2
    exit 1
fi
echo "ran and ended with its parent; said: $(grep "ignoring" "$work/err")"
