#!/usr/bin/env bash
# Runs Corvix on Wayland alone (a headless compositor, no X display): it must start, fetch the
# hub's state, open its menu when started a second time (the compositor places the popup), and
# end cleanly on SIGTERM. The compositor's picture of the open menu is saved to
# out/screenshots/wayland-menu.png. Expects a build in build/ (or CORVIX_BUILD_DIR); skips,
# saying why, where no compositor is installed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build="${CORVIX_BUILD_DIR:-build}"
out="$root/out/screenshots"

for tool in weston weston-screenshooter convert; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIPPED: $tool is not installed, so there is no Wayland compositor to test on"
        exit 0
    fi
done

# shellcheck source=lib/virtual-desktop.sh
source "$root/scripts/lib/virtual-desktop.sh"
begin_scratch

start_hubsim "$build"

unset DISPLAY
# Under the sanitizer build: Qt's Wayland plugins leave allocations behind at exit in modules
# they unloaded, which no suppression can name; this check is about behaviour, not leaks.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
export XDG_RUNTIME_DIR="$work" WAYLAND_DISPLAY=corvix-check
# The pixman renderer, so the compositor can take a picture; --debug lets any client ask.
weston --backend=headless-backend.so --use-pixman --debug --socket="$WAYLAND_DISPLAY" \
    --width=1280 --height=800 --idle-time=0 >"$work/weston.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
    [ -S "$work/$WAYLAND_DISPLAY" ] && break
    sleep 0.1
done
if [ ! -S "$work/$WAYLAND_DISPLAY" ]; then
    echo "the compositor did not start" >&2
    cat "$work/weston.log" >&2
    exit 1
fi

corvix_env=(ORBELUNE_MAC_CONTROL_BASE_URL="http://127.0.0.1:$port/app/os/mac-control"
    ORBELUNE_MAC_CONTROL_TOKEN_FILE="$work/token" XDG_CONFIG_HOME="$work/config"
    QT_QPA_PLATFORM=wayland)
env "${corvix_env[@]}" "$build/corvix" >"$work/corvix.log" 2>&1 &
corvix=$!
pids+=($corvix)
for _ in $(seq 100); do
    grep -q 'GET /app/os/mac-control/state -> 200' "$work/hubsim.log" && break
    sleep 0.1
done
if ! grep -q 'GET /app/os/mac-control/state -> 200' "$work/hubsim.log"; then
    echo "Corvix on Wayland did not fetch the hub's state" >&2
    cat "$work/corvix.log" >&2
    exit 1
fi
sleep 0.5

# With no tray host on this compositor, a second start is the way to the menu.
if ! env "${corvix_env[@]}" "$build/corvix" >"$work/second.log" 2>&1; then
    echo "the second start failed" >&2
    cat "$work/second.log" >&2
    exit 1
fi
sleep 1
(cd "$work" && weston-screenshooter >/dev/null 2>&1) || true
shot=$(ls "$work"/wayland-screenshot-*.png 2>/dev/null | head -1 || true)
if [ -z "$shot" ]; then
    echo "the compositor took no picture" >&2
    exit 1
fi
mkdir -p "$out"
cp "$shot" "$out/wayland-menu.png"
# The desktop is a grey pattern; the open menu is the only large white area.
white=$(convert "$shot" -fuzz 3% -fill black +opaque white -format "%[fx:mean]" info:)
if ! awk -v w="$white" 'BEGIN { exit !(w > 0.05) }'; then
    echo "no menu on the Wayland screen (white share $white); see $out/wayland-menu.png" >&2
    exit 1
fi

kill -TERM "$corvix"
if ! wait "$corvix"; then
    echo "Corvix on Wayland ended with a failure:" >&2
    cat "$work/corvix.log" >&2
    exit 1
fi
echo "Corvix ran on Wayland alone, opened its menu (white share $white) and quit cleanly"
