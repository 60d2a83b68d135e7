#!/usr/bin/env bash
# The tray icon of the real monitor (VXMonE2E.exe) in the wine desktop's
# notification area: left click starts the configuration application, the
# right-click menu opens the About window and ends the monitor; OK hides the
# About window; About twice shows one window.
#   tray_e2e.sh BINDIR OUTDIR
set -u
bin=${1:?bin folder}; out=$(realpath -m "${2:?folder}")
mkdir -p "$out"
rm -f "$out"/tray*.png
. "$(dirname "$(realpath "$0")")/e2e_lib.sh"
cd "$bin" || exit 1
monitor_pid=""


cleanup
wine VXMonE2E.exe >/dev/null 2>&1 &
monitor_pid=$!
win wait TVXMonMain 30000 || fail "the monitor window did not appear"
win visible TVXMonMain && fail "the monitor window is shown at start"

icon=$(tray_icon "$out/tray.png") || fail "no tray icon in the notification area"
read -r ix iy sw sh <<<"$icon"
note "tray icon found at $ix,$iy"

# Left click: the configuration application is started from the monitor's folder.
cp VXCfgDouble.exe VXCfg.exe
xdotool mousemove "$ix" "$iy" click 1
win wait TVXCfgMain 20000 || fail "a click on the icon did not start VXCfg.exe"
note "left click started the configuration application"

# Opens the menu at the icon and clicks item N of its $menu_items (0 Config,
# 1 About, 2 Show notices, 3 Restore profiles..., 4 Exit).
menu_items=5
menu_item() {
  # Away from the icon at once, so that its hint does not cover the menu.
  xdotool mousemove "$ix" "$iy" click 3 mousemove $((ix - 200)) $((iy - 300))
  win wait '#32768' 5000 || fail "no popup menu after a right click"
  sleep 0.4
  import -window root "$out/tray-menu.png"
  # The menu is the white box above the pointer, $menu_items items high.
  local box
  box=$(convert "$out/tray-menu.png" -crop "320x148+$((ix - 320 + 11))+$((iy - 160))" +repage \
    -fill black +opaque white -format %@ info:)
  local w h x y
  IFS='x+' read -r w h x y <<<"$box"
  [ "${h:-0}" -ge 30 ] || fail "no menu box found ($box)"
  xdotool mousemove $((ix - 320 + 11 + x + w / 2)) $((iy - 160 + y + h * (2 * $1 + 1) / (2 * menu_items))) click 1
}

# Right click, second item: About.
menu_item 1
for _ in $(seq 50); do win visible TVXMonMain && break; sleep 0.1; done
win visible TVXMonMain || fail "About from the menu did not show the About window"
sleep 0.5
import -window root "$out/tray-about.png"
note "the menu's About showed the About window"

# About again from the menu command: still one window; OK hides it.
win post TVXMonMain 273 1002 0
sleep 0.5
[ "$(win count TVXMonMain)" = 1 ] || fail "About twice made a second window"
win visible TVXMonMain || fail "the About window is not shown after the second About"
ax=$(( (sw - 504) / 2 ))
# The About window's top edge, found from the red line under its header,
# which its background picture draws 66 pixels down.
read -r _ red < <(first_pixel "$out/tray-about.png" "1x$sh+$((ax + 400))+0" 'r > 200 && g < 60 && b < 60')
[ -n "${red:-}" ] || fail "no About window on the screen"
ay=$((red - 66))
[ $(( ay * 2 + 400 )) -le "$sh" ] && [ $(( ay * 2 + 400 )) -ge $(( sh - 80 )) ] || fail "the About window is not centred (top $ay)"
xdotool mousemove $((ax + 208 + 47)) $((ay + 325 + 13)) click 1
for _ in $(seq 30); do win visible TVXMonMain || break; sleep 0.1; done
win visible TVXMonMain && fail "OK did not hide the About window"
note "About twice showed one window; OK hid it"

# Right click, last item: Exit ends the monitor with 0.
menu_item 4
wait "$monitor_pid"; rc=$?
[ "$rc" = 0 ] || fail "the monitor ended with $rc"
win count TVXMonMain | grep -qx 0 || fail "Exit from the menu left the monitor running"
note "Exit from the menu ended the monitor with 0"
cleanup
exit 0
