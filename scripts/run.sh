#!/usr/bin/env bash
# The main job: installs what is missing, builds, starts the hub simulator on loopback with its
# own token file and starts Corvix pointed at it. With a display it runs until you quit Corvix
# (or press Ctrl-C); without one it runs under a virtual display, saves screenshots to
# out/screenshots/ and exits.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/bootstrap.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j2 --target corvix hubsim

if [ -z "${DISPLAY:-}" ]; then
    exec scripts/screenshots.sh
fi

# shellcheck source=lib/virtual-desktop.sh
source scripts/lib/virtual-desktop.sh
begin_scratch INT TERM

# Port 0: the simulator picks a free port, so a real hub on 8080 is never disturbed.
start_hubsim build
echo "Hub simulator: http://127.0.0.1:$port/app/os/mac-control/ (dashboard http://127.0.0.1:$port/os)"
echo "Starting Corvix; quit it from its tray menu."
ORBELUNE_MAC_CONTROL_BASE_URL="http://127.0.0.1:$port/app/os/mac-control" \
ORBELUNE_MAC_CONTROL_TOKEN_FILE="$work/token" \
ORBELUNE_DASHBOARD_URL="http://127.0.0.1:$port/os" \
    build/corvix
