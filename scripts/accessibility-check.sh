#!/usr/bin/env bash
# Reads Corvix's open menu through the AT-SPI accessibility bus, as a screen reader would, and
# flips a switch in it: the row names are printed and the hub must receive the switch's request.
# Runs the hub simulator and Corvix under a virtual display with a private session bus; expects
# a build in build/ (or CORVIX_BUILD_DIR). Skips, saying why, where the bus cannot be had.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build="${CORVIX_BUILD_DIR:-build}"

for tool in dbus-run-session Xvfb /usr/libexec/at-spi-bus-launcher; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIPPED: $tool is not installed, so there is no accessibility bus to test on"
        exit 0
    fi
done
if ! /usr/bin/python3 -c "import gi; gi.require_version('Atspi', '2.0')" 2>/dev/null; then
    echo "SKIPPED: the AT-SPI Python bindings (gir1.2-atspi-2.0) are not installed"
    exit 0
fi

if [ "${CORVIX_INSIDE_SESSION_BUS:-}" != 1 ]; then
    export CORVIX_INSIDE_SESSION_BUS=1
    exec dbus-run-session -- "$0" "$@"
fi

# shellcheck source=lib/virtual-desktop.sh
source "$root/scripts/lib/virtual-desktop.sh"
begin_scratch

# The bus's socket goes under the runtime folder, else under ~/.cache, where a launcher of
# another session (any Qt program's asks for one) would share it and remove it on exit.
export XDG_RUNTIME_DIR="$work"
/usr/libexec/at-spi-bus-launcher --launch-immediately >"$work/atspi.log" 2>&1 &
pids+=($!)
# Clients find the accessibility bus through the launcher's name on the session bus; one that
# asks before the launcher is ready gives up at once. Asked by owner, not by a call to it,
# which would have the session bus start a second launcher.
atspi_ready() {
    dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
        org.freedesktop.DBus.GetNameOwner string:org.a11y.Bus >/dev/null 2>&1
}
for _ in $(seq 100); do
    atspi_ready && break
    sleep 0.1
done
if ! atspi_ready; then
    echo "the accessibility bus did not start" >&2
    cat "$work/atspi.log" >&2
    exit 1
fi

start_virtual_display 70
start_hubsim "$build"

corvix_env=(ORBELUNE_MAC_CONTROL_BASE_URL="http://127.0.0.1:$port/app/os/mac-control"
    ORBELUNE_MAC_CONTROL_TOKEN_FILE="$work/token"
    XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work"
    QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1)
env "${corvix_env[@]}" "$build/corvix" >"$work/corvix.log" 2>&1 &
pids+=($!)
# The first refresh builds the menu.
for _ in $(seq 100); do
    grep -q 'GET /app/os/mac-control/state -> 200' "$work/hubsim.log" && break
    sleep 0.1
done
sleep 0.5

# A second start opens the running Corvix's menu; no tray host is needed for that.
if ! /usr/bin/python3 "$root/scripts/atspi_menu.py" env "${corvix_env[@]}" "$build/corvix"; then
    echo "the menu could not be read through AT-SPI" >&2
    cat "$work/corvix.log" >&2
    exit 1
fi
# The switch's request reaches the hub.
for _ in $(seq 50); do
    grep -qE 'POST /app/os/mac-control/(items/[^ ]*/run|devices/[^ ]*/commands/)' "$work/hubsim.log" &&
        break
    sleep 0.1
done
if grep -E 'POST /app/os/mac-control/(items/[^ ]*/run|devices/[^ ]*/commands/)' "$work/hubsim.log"; then
    echo "the hub received the request of the switch flipped through AT-SPI"
else
    echo "the switch flipped through AT-SPI sent nothing to the hub" >&2
    cat "$work/hubsim.log" >&2
    exit 1
fi
