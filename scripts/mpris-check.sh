#!/usr/bin/env bash
# Meets the running program's media controls as a desktop does: Corvix and the hub simulator
# on a private session bus; gdbus reads the player's track and presses Next, and the hub must
# move on to another track. Expects a build in build/ (or CORVIX_BUILD_DIR). Skips, saying why,
# where the bus cannot be had.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build="${CORVIX_BUILD_DIR:-build}"

for tool in dbus-run-session gdbus; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIPPED: $tool is not installed, so there is no session bus to test on"
        exit 0
    fi
done

if [ "${CORVIX_INSIDE_SESSION_BUS:-}" != 1 ]; then
    export CORVIX_INSIDE_SESSION_BUS=1
    exec dbus-run-session -- "$0" "$@"
fi

# shellcheck source=lib/virtual-desktop.sh
source "$root/scripts/lib/virtual-desktop.sh"
begin_scratch

start_hubsim "$build"

env ORBELUNE_MAC_CONTROL_BASE_URL="http://127.0.0.1:$port/app/os/mac-control" \
    ORBELUNE_MAC_CONTROL_TOKEN_FILE="$work/token" \
    XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work" QT_QPA_PLATFORM=offscreen \
    "$build/corvix" >"$work/corvix.log" 2>&1 &
pids+=($!)

player=(--session --dest org.mpris.MediaPlayer2.corvix --object-path /org/mpris/MediaPlayer2)
title() {
    gdbus call "${player[@]}" --method org.freedesktop.DBus.Properties.Get \
        org.mpris.MediaPlayer2.Player Metadata 2>/dev/null |
        grep -o "'xesam:title': <'[^']*'>" || true
}

# The name appears once the first fetch brought a player.
before=""
for _ in $(seq 100); do
    before=$(title)
    [ -n "$before" ] && break
    sleep 0.1
done
if [ -z "$before" ]; then
    echo "Corvix published no media player on the session bus" >&2
    cat "$work/corvix.log" >&2
    exit 1
fi
echo "the desktop sees $before"

gdbus call "${player[@]}" --method org.mpris.MediaPlayer2.Player.Next >/dev/null
after="$before"
for _ in $(seq 100); do
    after=$(title)
    [ -n "$after" ] && [ "$after" != "$before" ] && break
    sleep 0.1
done
if ! grep -q 'POST /app/os/mac-control/music/command' "$work/hubsim.log"; then
    echo "Next on the bus sent nothing to the hub" >&2
    cat "$work/hubsim.log" >&2
    exit 1
fi
if [ "$after" = "$before" ]; then
    echo "the hub moved on, but the desktop still sees $before" >&2
    exit 1
fi
echo "Next reached the hub; the desktop now sees $after"
