#!/usr/bin/env bash
# Idle cost of the real program: how often Corvix wakes while nothing changes. Starts the hub
# simulator on loopback, pauses its music (so the hub announces nothing), starts corvix on the
# offscreen Qt platform, lets the launch settle, then counts the voluntary context switches of
# every corvix thread over the measured seconds.
#
#   bench/idle_wakeups.sh [SECONDS] [BUILD_DIR]      (defaults: 60, build)
#
# Needs the corvix and hubsim targets built. Prints one line per thread and the total.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
build=${2:-build}
settle=${SETTLE_SECONDS:-5}
[ -x "$build/corvix" ] && [ -x "$build/tools/hubsim/hubsim" ] || {
    echo "build corvix and hubsim in $build first" >&2
    exit 1
}

work=$(mktemp -d)
hub_pid=""
app_pid=""
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
    [ -n "$hub_pid" ] && kill "$hub_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

"$build/tools/hubsim/hubsim" --port 0 --quiet --token-file "$work/token" >"$work/hub.log" 2>&1 &
hub_pid=$!
port=""
for _ in $(seq 50); do
    port=$(grep -o '127.0.0.1:[0-9]*' "$work/hub.log" 2>/dev/null | head -1 | cut -d: -f2 || true)
    [ -n "$port" ] && break
    sleep 0.1
done
[ -n "$port" ] || { cat "$work/hub.log" >&2; exit 1; }
api="http://127.0.0.1:$port/app/os/mac-control"

# The demo library plays, and each track change is announced on the stream: pause it.
curl -fsS -o /dev/null -X POST -H "X-Mac-Control-Token: $(cat "$work/token")" \
    -H "Content-Type: application/json" \
    -d '{"source":"bench","action":"pause","targetType":"player","targetId":"library"}' \
    "$api/music/command"

QT_QPA_PLATFORM=offscreen \
ORBELUNE_MAC_CONTROL_BASE_URL="$api" \
ORBELUNE_MAC_CONTROL_TOKEN_FILE="$work/token" \
ORBELUNE_DASHBOARD_URL="http://127.0.0.1:$port/os" \
XDG_CONFIG_HOME="$work/config" \
    "$build/corvix" >"$work/corvix.log" 2>&1 &
app_pid=$!
sleep "$settle"

# Per thread: "tid name switches".
snapshot() {
    for task in /proc/"$app_pid"/task/*; do
        local tid=${task##*/}
        local name switches
        name=$(tr ' ' '_' <"$task/comm" 2>/dev/null) || continue
        switches=$(awk '/^voluntary_ctxt_switches/ {print $2}' "$task/status" 2>/dev/null) ||
            continue
        echo "$tid $name $switches"
    done
}

snapshot >"$work/before"
sleep "$seconds"
kill -0 "$app_pid" 2>/dev/null || { echo "corvix ended early" >&2; cat "$work/corvix.log" >&2; exit 1; }
snapshot >"$work/after"

echo "voluntary context switches of corvix over $seconds idle seconds (after ${settle}s settling)"
awk -v seconds="$seconds" '
    NR == FNR { before[$1] = $3; next }
    {
        delta = $3 - ($1 in before ? before[$1] : 0)
        total += delta
        printf "  %-8s %-20s %8d\n", $1, $2, delta
    }
    END {
        printf "  total %31d   (%.1f per minute)\n", total, total * 60 / seconds
    }' "$work/before" "$work/after"
