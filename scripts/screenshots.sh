#!/usr/bin/env bash
# Runs the hub simulator and Corvix under a virtual display with a tray host, opens the menu as
# a user would (a click on the tray icon, then the pointer over a room and the "AV Flow" row, a
# scene's Run, the Bedroom's devices and a switch flipped at the wall), saves screenshots to
# out/screenshots/ and stops everything it started.
# Expects a build in build/ (scripts/run.sh makes one); CORVIX_BUILD_DIR names another, for
# example build-asan/ to drive the sanitizer build the same way. HUBSIM_ARGS are passed to the
# simulator, to picture another home or a fault (e.g. "--scale 12,6", "--malformed-state deep").
# SHOT_PREFIX starts every file name, to keep a second home's pictures beside the demo's; the
# big home, whose menu is taller than the screen and scrolls:
#   SHOT_PREFIX=big- HUBSIM_ARGS="--scale 100,42" scripts/screenshots.sh
# COLOR_SCHEME=dark pictures a dark desktop: a stand-in for the desktop portal answers Corvix's
# question on a private session bus (the pictures are named dark-...).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build="${CORVIX_BUILD_DIR:-build}"
out="$root/out/screenshots"
mkdir -p "$out"
if [ "${COLOR_SCHEME:-}" = dark ] && [ "${CORVIX_INSIDE_SESSION_BUS:-}" != 1 ]; then
    export CORVIX_INSIDE_SESSION_BUS=1 SHOT_PREFIX="${SHOT_PREFIX:-dark-}"
    exec dbus-run-session -- "$0" "$@"
fi
# shellcheck source=lib/virtual-desktop.sh
source "$root/scripts/lib/virtual-desktop.sh"
begin_scratch
if [ "${COLOR_SCHEME:-}" = dark ]; then
    /usr/bin/python3 "$root/scripts/stand_in_portal.py" 1 >"$work/portal.log" 2>&1 &
    pids+=($!)
    for _ in $(seq 50); do
        dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
            org.freedesktop.DBus.GetNameOwner string:org.freedesktop.portal.Desktop \
            >/dev/null 2>&1 && break
        sleep 0.1
    done
fi

start_virtual_display 90
# tint2 waits for a window manager unless the root window says how the desktop is laid out.
xprop -root -f _NET_NUMBER_OF_DESKTOPS 32c -set _NET_NUMBER_OF_DESKTOPS 1
xprop -root -f _NET_CURRENT_DESKTOP 32c -set _NET_CURRENT_DESKTOP 0
xprop -root -f _NET_WORKAREA 32c -set _NET_WORKAREA "0, 0, 1280, 800"
xsetroot -solid "#3a5a78" 2>/dev/null || true

# A dark desktop has a dark panel: the tray icon is drawn for the scheme, as on such a desktop.
panel_colour="#e4e4e4"
if [ "${COLOR_SCHEME:-}" = dark ]; then
    panel_colour="#2b2b2b"
fi
cat >"$work/tint2rc" <<RC
rounded = 0
border_width = 0
background_color = $panel_colour 100
border_color = #000000 0

panel_items = S
panel_position = top right horizontal
panel_size = 100% 30
panel_margin = 0 0
panel_padding = 6 0 6
panel_background_id = 1
panel_layer = top
strut_policy = follow_size
wm_menu = 0
systray_padding = 4 4 6
systray_background_id = 0
systray_icon_size = 22
RC
tint2 -c "$work/tint2rc" >"$work/tint2.log" 2>&1 &
pids+=($!)

# shellcheck disable=SC2086
start_hubsim "$build" --quiet ${HUBSIM_ARGS:-}

env ORBELUNE_MAC_CONTROL_BASE_URL="http://127.0.0.1:$port/app/os/mac-control" \
    ORBELUNE_MAC_CONTROL_TOKEN_FILE="$work/token" \
    ORBELUNE_DASHBOARD_URL="http://127.0.0.1:$port/os" \
    ORBELUNE_RUNTIME_DIAGNOSTICS=1 \
    XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work" \
    QT_QPA_PLATFORM=xcb \
    "$build/corvix" >"$work/corvix.log" 2>&1 &
corvix=$!
pids+=($corvix)

# The tray icon is the window tint2 embedded for us.
icon=""
for _ in $(seq 100); do
    icon=$(xdotool search --classname corvix 2>/dev/null | while read -r w; do
        geometry=$(xdotool getwindowgeometry "$w" 2>/dev/null | grep Geometry | awk '{print $2}')
        if [ "$geometry" = "22x22" ]; then echo "$w"; fi
    done | head -1 || true)
    [ -n "$icon" ] && break
    sleep 0.1
done
[ -n "$icon" ] || { echo "no tray icon appeared" >&2; cat "$work/corvix.log" >&2; exit 1; }
sleep 1.5  # the first refresh builds the menu

shot() { import -window root "$out/${SHOT_PREFIX:-}$1.png"; echo "saved $out/${SHOT_PREFIX:-}$1.png"; }
# Moves the pointer over a row (a small step first, so hover tracking sees an entry).
hover() { xdotool mousemove "$1" $(($2 + 3)); sleep 0.2; xdotool mousemove "$1" "$2"; sleep 1.0; }

shot 01-desktop
xdotool mousemove --window "$icon" 11 11 click 1
sleep 1.2
shot 02-menu
# Rows of the top-level menu, from the menu's own window.
menu=$(xdotool search --onlyvisible --classname corvix 2>/dev/null | while read -r w; do
    size=$(xdotool getwindowgeometry "$w" | grep Geometry | awk '{print $2}')
    width=${size%x*}
    if [ "$width" -gt 300 ]; then echo "$w"; fi
done | head -1 || true)
[ -n "$menu" ] || { echo "the menu did not open" >&2; cat "$work/corvix.log" >&2; exit 1; }
eval "$(xdotool getwindowgeometry --shell "$menu")"
menu_x=$X menu_y=$Y menu_h=$HEIGHT
# Offsets of the demo home's rows: pinned controls, the music entry, the three media devices,
# then the rooms.
row_music=110 row_living=264 row_bedroom=324 row_av_flow=416 row_scenes=446

# The media devices at the top: the radio, which has no remote layout; the TV's remote with
# its "More" grid; then the Apple TV's remote, its Apps mode with the icons loaded, a tile
# focused from the keyboard, and back to Remote so the menu is as it was.
row_tv=157 row_apple_tv=187 row_radio=217
hover $((menu_x + 150)) $((menu_y + row_radio))
shot 02a-radio-without-remote-layout
xdotool mousemove $((menu_x + 150)) $((menu_y + row_tv))
hover $((menu_x + 150)) $((menu_y + row_tv))
shot 02b-tv-remote
xdotool mousemove $((menu_x + 150)) $((menu_y + row_apple_tv))
hover $((menu_x + 150)) $((menu_y + row_apple_tv))
shot 02c-apple-tv-remote
media=$(xdotool search --onlyvisible --classname corvix 2>/dev/null | while read -r w; do
    [ "$w" = "$menu" ] && continue
    size=$(xdotool getwindowgeometry "$w" | grep Geometry | awk '{print $2}')
    if [ "${size%x*}" -gt 300 ]; then echo "$w"; fi
done | tail -1 || true)
if [ -n "$media" ]; then
    eval "$(xdotool getwindowgeometry --shell "$media")"
    # The mode switch sits below the 48-point header: "Apps" at the right, "Remote" at the left.
    xdotool mousemove $((X + 20)) $((Y + 67))
    hover $((X + 236)) $((Y + 67))
    xdotool click 1
    sleep 2.0  # the app list, then the icons
    shot 02d-apple-tv-apps
    # Down from the mode switch into the grid, then one tile on.
    xdotool key Down
    sleep 0.4
    xdotool key Right
    sleep 0.6
    shot 02e-apple-tv-focused-tile
    hover $((X + 90)) $((Y + 67))
    xdotool click 1
    sleep 1.0
fi
hover $((menu_x + 150)) $((menu_y + row_living))
shot 03-room-submenu
hover $((menu_x + 150)) $((menu_y + row_av_flow))
shot 04-av-flow-submenu
hover $((menu_x + 150)) $((menu_y + row_scenes))
shot 05-scenes-submenu

# Run the first scene from its "Run" badge: the request goes out, the rows rebuild, the
# submenu stays open.
sub=$(xdotool search --onlyvisible --classname corvix 2>/dev/null | while read -r w; do
    [ "$w" = "$menu" ] && continue
    size=$(xdotool getwindowgeometry "$w" | grep Geometry | awk '{print $2}')
    width=${size%x*}
    if [ "$width" -gt 300 ]; then echo "$w"; fi
done | tail -1 || true)
if [ -n "$sub" ]; then
    eval "$(xdotool getwindowgeometry --shell "$sub")"
    hover $((X + 283)) $((Y + 62))
    xdotool click 1
    sleep 2.5  # the run, the hub's event and the refresh that follows it
    shot 06-scene-run
fi

# Devices: the Bedroom's rows, its climate unit's and its blinds' submenus, and its blanket
# switched on at the wall (through the simulator's own route) while the menu is open.
# The visible menu window whose left edge lies right of $1 and nearest to it.
window_right_of() {
    xdotool search --onlyvisible --classname corvix 2>/dev/null | while read -r w; do
        eval "$(xdotool getwindowgeometry --shell "$w")"
        if [ "$WIDTH" -gt 300 ] && [ "$X" -gt "$1" ]; then echo "$X $w"; fi
    done | sort -n | head -1 | cut -d' ' -f2
}
hover $((menu_x + 150)) $((menu_y + row_bedroom))
shot 07-bedroom-devices
room=$(window_right_of "$menu_x")
if [ -n "$room" ]; then
    eval "$(xdotool getwindowgeometry --shell "$room")"
    room_x=$X room_y=$Y
    # Along the Bedroom row into its submenu first, so no other room opens on the way.
    xdotool mousemove $((room_x + 20)) $((menu_y + row_bedroom))
    sleep 0.3
    hover $((room_x + 150)) $((room_y + 15))
    shot 08-climate-submenu
    hover $((room_x + 150)) $((room_y + 45))
    shot 09-cover-submenu
    hover $((room_x + 150)) $((room_y + 105))
    shot 10-before-wall-switch
    curl -s -X POST -H 'Content-Type: application/json' -d '{"power":{"isOn":true}}' \
        "http://127.0.0.1:$port/hubsim/devices/switch-blanket" >/dev/null
    sleep 2  # the hub's event, the debounce and one fetch
    shot 11-after-wall-switch
    # Back to the top-level menu straight along the blanket's row, which opens no submenu.
    hover $((menu_x + 150)) $((room_y + 105))
fi

# The living room's colour light: its row, then the colour and the temperature picker opened
# in place from the row's round buttons.
hover $((menu_x + 150)) $((menu_y + row_living))
shot 12-light-row
room=$(window_right_of "$menu_x")
if [ -n "$room" ]; then
    eval "$(xdotool getwindowgeometry --shell "$room")"
    room_x=$X room_y=$Y
    # The first row is the light; its colour button is centred at (175, 17) from the row's
    # top left, the temperature button 24 points to its left.
    hover $((room_x + 175)) $((room_y + 17))
    xdotool click 1
    sleep 1.0
    shot 13-light-color-picker
    hover $((room_x + 151)) $((room_y + 17))
    xdotool click 1
    sleep 1.0
    shot 14-light-temperature-picker
    # Back to the closed row, so the menu is left as it was found.
    xdotool click 1
    sleep 0.5
fi

# The keyboard: Left closes the open submenu, End highlights the last row and scrolls a menu
# taller than the screen to its footer. (A click above may have closed another home's menu.)
if ! xdotool search --onlyvisible --classname corvix 2>/dev/null | grep -qx "$menu"; then
    xdotool mousemove --window "$icon" 11 11 click 1
    sleep 1.2
fi
xdotool key Left
sleep 0.4
xdotool key End
sleep 0.8
shot 15-menu-footer
# Up to "Scenes", Right opens its submenu, End goes to its last scene and Return runs it: the
# rows rebuild and the submenu comes back where it was. Left closes it again.
xdotool key Up Up Up Up Right
sleep 0.8
xdotool key End
sleep 0.8
shot 16-scenes-by-keyboard
xdotool key Return
sleep 2.5
shot 17-scene-run-by-keyboard
xdotool key Left
sleep 0.4
xdotool key End
sleep 0.8

# The settings window from the footer's "Settings...". It is a real top-level window, so a small
# window manager runs from here on to give it its title bar. The list is loaded, a section is
# switched off, a box is ticked and saved; "Done" closes it and the menu follows the section.
xdotool key Escape; sleep 0.3; xdotool key Escape; sleep 0.3
openbox --sm-disable >"$work/openbox.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
    sleep 0.1
done
# The first visible window of Corvix wider than 300 points: an open menu.
find_menu() {
    xdotool search --onlyvisible --classname corvix 2>/dev/null | while read -r w; do
        size=$(xdotool getwindowgeometry "$w" | grep Geometry | awk '{print $2}')
        if [ "${size%x*}" -gt 300 ] && [ "${size#*x}" -ne 480 ]; then echo "$w"; fi
    done | head -1 || true
}
open_menu() {
    # A click can be lost while the window manager settles in: one more after a while.
    for attempt in 1 2; do
        xdotool mousemove --window "$icon" 11 11 click 1
        for _ in $(seq 20); do
            sleep 0.2
            menu=$(find_menu)
            [ -n "$menu" ] && break 2
        done
        echo "the menu did not open on click $attempt" >&2
    done
    sleep 0.8  # settled where it opens
    [ -n "$menu" ] || { echo "the menu did not open" >&2; cat "$work/corvix.log" >&2; exit 1; }
    eval "$(xdotool getwindowgeometry --shell "$menu")"
    menu_x=$X menu_y=$Y menu_h=$HEIGHT
}
# Clicks the footer row $1 points above the menu's bottom edge. A menu taller than the screen
# opens scrolled to its top, so the keyboard takes it to its end first.
click_footer_row() {
    xdotool key End
    sleep 0.5
    hover $((menu_x + 150)) $((menu_y + menu_h - $1))
    xdotool click 1
}
open_menu
click_footer_row 75
sleep 1.5
settings=$(xdotool search --onlyvisible --name "^Corvix Settings$" 2>/dev/null | head -1 || true)
[ -n "$settings" ] || { echo "the settings window did not open" >&2; cat "$work/corvix.log" >&2; exit 1; }
shot 18-settings
# Window points: the "Scenes" toggle, then (scrolled to the end) the ninth program and "Done".
xdotool mousemove --window "$settings" 31 147 click 1
sleep 0.5
xdotool mousemove --window "$settings" 180 300
for _ in $(seq 15); do xdotool click 5; done
sleep 0.3
xdotool mousemove --window "$settings" 34 359 click 1
sleep 1.5  # the save and the refresh it asks for
shot 19-settings-saved
xdotool mousemove --window "$settings" 307 453 click 1
sleep 2.5  # the rebuild waits for the spacing of refreshes while the menu is closed
open_menu
shot 20-menu-after-settings

# The music entry: its submenu (card, transport, timeline, options, volume), then its Playlists
# and Outputs submenus, reached along the entry row so no other row opens on the way.
hover $((menu_x + 150)) $((menu_y + row_music))
shot 21-music-submenu
music=$(window_right_of "$menu_x")
if [ -n "$music" ]; then
    eval "$(xdotool getwindowgeometry --shell "$music")"
    music_x=$X music_y=$Y
    xdotool mousemove $((music_x + 20)) $((menu_y + row_music))
    sleep 0.3
    hover $((music_x + 150)) $((music_y + 277))
    shot 22-music-playlists
    hover $((music_x + 150)) $((music_y + 378))
    shot 23-music-outputs
    xdotool mousemove $((music_x + 150)) $((music_y + 40))
    sleep 0.5
fi
xdotool key Escape; sleep 0.3; xdotool key Escape; sleep 0.3

# The notch player: the strip at the top of the screen while the demo's music plays, and the
# card it opens into when the pointer rests on it. The menu closes first and opens again after.
xdotool key Escape; sleep 0.5
notch=""
for _ in $(seq 30); do
    notch=$(xdotool search --onlyvisible --classname corvix 2>/dev/null | while read -r w; do
        size=$(xdotool getwindowgeometry "$w" | grep Geometry | awk '{print $2}')
        if [ "$size" = "195x32" ]; then echo "$w"; fi
    done | head -1 || true)
    [ -n "$notch" ] && break
    sleep 0.2
done
if [ -n "$notch" ]; then
    # Above other windows, on every desktop, out of the task bar: what the window manager sees.
    xprop -id "$notch" _NET_WM_STATE _NET_WM_WINDOW_TYPE _NET_WM_DESKTOP WM_HINTS || true
    shot 24-notch-strip
    eval "$(xdotool getwindowgeometry --shell "$notch")"
    hover $((X + 100)) $((Y + 16))
    sleep 0.6  # the hover delay and the spring
    shot 25-notch-card
    xdotool mousemove 20 $((Y + 400))
    sleep 4.5  # the card falls back to the strip
else
    echo "the notch player did not appear" >&2
fi
open_menu

# Quit, the last row of the footer, ends the program cleanly.
click_footer_row 15
for _ in $(seq 50); do
    kill -0 "$corvix" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$corvix" 2>/dev/null; then
    echo "Corvix did not quit" >&2
    exit 1
fi
if ! wait "$corvix"; then
    echo "Corvix ended with a failure:" >&2
    cat "$work/corvix.log" >&2
    exit 1
fi
echo "Corvix quit cleanly; screenshots are in $out"
