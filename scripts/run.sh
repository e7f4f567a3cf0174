#!/usr/bin/env bash
# The main job: installs what is missing, builds, and starts the hub simulator on loopback with
# its token file. Stop it with Ctrl-C.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/bootstrap.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j2 --target hubsim

port="${CORVIX_HUB_PORT:-8080}"
token_file="${ORBELUNE_MAC_CONTROL_TOKEN_FILE:-$HOME/.orbelune/mac-control/token}"
echo "Starting the hub simulator on http://127.0.0.1:${port}/app/os/mac-control/"
echo "Try: curl -H \"X-Mac-Control-Token: \$(cat ${token_file})\" http://127.0.0.1:${port}/app/os/mac-control/state"
exec build/tools/hubsim/hubsim --port "${port}" --token-file "${token_file}"
