# Shared by the scripts that run the hub simulator and Corvix for a person or a check. Source
# it first, then call `begin_scratch`: it makes `work` (a private scratch folder) and `pids`
# (the processes to end), and ends them and removes the folder when the script exits.

begin_scratch() {
    work=$(mktemp -d)
    chmod 700 "$work"
    pids=()
    trap end_scratch EXIT "$@"
}

end_scratch() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    wait 2>/dev/null || true
    rm -rf "$work"
}

# Starts Xvfb (1280 × 800) on the first free display number from $1 and exports DISPLAY.
start_virtual_display() {
    local display=$1
    while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do
        display=$((display + 1))
    done
    export DISPLAY=":$display"
    Xvfb "$DISPLAY" -screen 0 1280x800x24 -noreset -nolisten tcp >"$work/xvfb.log" 2>&1 &
    pids+=($!)
    for _ in $(seq 50); do
        xdpyinfo >/dev/null 2>&1 && break
        sleep 0.1
    done
}

# Starts the simulator from build dir $1 on a free loopback port with its own token file
# ($work/token), passing the further arguments on; sets `port`, or fails.
start_hubsim() {
    local build=$1
    shift
    "$build/tools/hubsim/hubsim" --port 0 --token-file "$work/token" "$@" \
        >"$work/hubsim.log" 2>&1 &
    pids+=($!)
    port=""
    for _ in $(seq 50); do
        port=$(grep -o '127.0.0.1:[0-9]*' "$work/hubsim.log" 2>/dev/null | head -1 |
            cut -d: -f2 || true)
        [ -n "$port" ] && break
        sleep 0.1
    done
    if [ -z "$port" ]; then
        echo "the hub simulator did not start" >&2
        cat "$work/hubsim.log" >&2
        return 1
    fi
}
