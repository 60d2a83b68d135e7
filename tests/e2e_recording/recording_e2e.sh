#!/usr/bin/env bash
# A macro recorded with the real monitor: VXMonE2E.exe in the wine virtual
# desktop, the record button pressed on its virtual mouse, real X clicks and
# wheel rolls from xdotool, the second press stops.
#   recording_e2e.sh BINDIR OUTDIR
# Then: the current slot and "RecordRPROFILE.pfd" hold the "User Recorded"
# macro, the mouse received the bracket, button table and macro block
# reports, the configuration double received 7038. Screenshots of the
# overlay during the recording go to OUTDIR.
set -u
bin=${1:?bin folder}; out=$(realpath -m "${2:?folder}")
mkdir -p "$out"
rm -f "$out"/recording*.png
. "$(dirname "$(realpath "$0")")/e2e_lib.sh"
cd "$bin" || exit 1
key='HKCU\software\Vantorgmmouse'
monitor_pid=""

reg_hex() {  # the bytes of a binary value as lower-case hex
  wine reg query "$key" /v "$1" 2>/dev/null | tr -d '\r' | awk -v n="$1" '$1 == n {print tolower($3)}'
}

cleanup
wine reg delete "$key" /f >/dev/null 2>&1  # defaults: button 7 toggles recording
rm -f VXCfgDouble.exe.log
wine VXCfgDouble.exe >/dev/null 2>&1 &
win wait TVXCfgMain 20000 || fail "the configuration double did not start"
wine VXMonE2E.exe >/dev/null 2>&1 &
monitor_pid=$!
win wait TVXMonMain 30000 || fail "the monitor window did not appear"
wine vmouse.exe wait 15000 >/dev/null 2>&1 || fail "the monitor never opened the virtual mouse"

# First press of button 7 (mask 80 00 00): recording starts, the overlay shows.
wine vmouse.exe report 0780000000000000 >/dev/null 2>&1 || fail "vmouse report failed"
win wait TFrmRecord 10000 || fail "the overlay did not appear"
note "the record button opened the overlay"
sleep 0.5

xdotool mousemove 500 300
sleep 0.3
xdotool mousedown 1
sleep 0.25
xdotool mouseup 1
sleep 0.6
xdotool click 4   # away from the user
sleep 0.4
xdotool click 5   # toward the user
sleep 0.6

read -r sw sh < <(xdotool getdisplaygeometry)
ox=$(( (sw - 372) / 2 )); oy=$(( sh - 150 ))
import -window root "$out/recording.png"
read -r r g b < <(mean "$out/recording.png" "1x40+$((ox + 5))+$((oy + 30))")
[ "$r" -gt 120 ] && [ "$g" -gt 130 ] || fail "no overlay frame at the bottom centre ($r $g $b)"
memo=$(light_pixels "$out/recording.png" "233x90+$((ox + 134))+$((oy + 5))")
[ "$memo" -gt 100 ] || fail "the overlay lists no actions ($memo light pixels)"
read -r lo hi < <(dot_red_range "$ox" "$oy" "$out/recording-dot")
[ $(( hi - lo )) -gt 40 ] || fail "the dot does not blink (red $lo..$hi)"
note "overlay at the bottom centre with its lines; the dot blinks (red $lo..$hi)"

# Second press: stop, store, write to the mouse, announce.
wine vmouse.exe report 0780000000000000 >/dev/null 2>&1 || fail "vmouse report failed"
win gone TFrmRecord 10000 || fail "the overlay did not close"
wait_line VXCfgDouble.exe.log '7038 0 0' || fail "the double did not receive 7038 with the profile index 0"
note "the configuration double received 7038 0"

macro=$(reg_hex RecordRPROFILE.pfd)
[ "${#macro}" = 1784 ] || fail "RecordRPROFILE.pfd is ${#macro} hex digits, not 892 bytes"
count=$(( 16#${macro:1542:2}${macro:1540:2}${macro:1538:2}${macro:1536:2} ))
name=$(echo "${macro:1560:52}" | xxd -r -p | tr -d '\0')
[ "$name" = "User Recorded" ] || fail "the macro is named '$name'"
# Actions other than pauses, and the pauses' lengths.
actions=""; pauses=""
for ((i = 0; i < count; i++)); do
  a=${macro:$((i * 12)):12}
  type=$(( 16#${a:0:2} )); state=$(( 16#${a:4:2} )); v1=$(( 16#${a:8:2} )); v2=$(( 16#${a:10:2} ))
  if [ "$type" = 6 ]; then
    pauses+=" $(( v1 + 256 * v2 ))"
  else
    actions+="$type/$state/$v1/$v2 "
  fi
done
[ "$actions" = "1/1/1/1 1/0/1/1 3/0/255/7 3/0/1/6 " ] || fail "recorded actions: $actions (pauses:$pauses)"
for p in $pauses; do [ "$p" -ge 1 ] && [ "$p" -le 8000 ] || fail "pause of $p ms"; done
[ -n "$pauses" ] || fail "no pause was recorded"
note "RecordRPROFILE.pfd: 'User Recorded', $count actions: $actions, pauses:$pauses ms"

slot=$(reg_hex QZ3Profile1.pfd)
[ -n "$slot" ] || fail "no stored profile slot 1"
copies=$(grep -o "${macro:0:$((count * 12))}" <<<"$slot" | wc -l)
[ "$copies" -ge 3 ] || fail "the slot holds the recorded actions $copies times, not in button 7, button 6 and macro 0"
note "the current slot holds the macro $copies times (record button, play button, first macro)"

features=$(wine vmouse.exe features 2>/dev/null | tr -d '\r' | grep -v '^ok$')
first=$(head -1 <<<"$features"); last=$(tail -1 <<<"$features")
[ "${first:0:6}" = 020600 ] || fail "the write does not open with the bracket: ${first:0:20}"
[ "${last:0:6}" = 020601 ] || fail "the write does not close with the bracket: ${last:0:20}"
grep -q '^040290004100fafa' <<<"$features" || fail "no button table write at 0x090"
block=$(grep '^0[2-6]02d100' <<<"$features") || fail "no macro block write at 0x0d1"
# Left down (0x81 1 1) and up (1 1 1), then the two wheel notches, pauses between.
grep -q '^0[2-6]02d100.\{8\}810101.*010101.*03ff07.*030106' <<<"$block" ||
  fail "the macro block does not hold the recorded actions: ${block:0:120}"
note "the mouse received $(wc -l <<<"$features") feature reports: brackets, button table, macro block"

# A mouse that refuses the write: the macro is still saved, the notice says so.
wine vmouse.exe refuse 31 >/dev/null 2>&1 || fail "vmouse refuse failed"
wine vmouse.exe report 0780000000000000 >/dev/null 2>&1 || fail "vmouse report failed"
win wait TFrmRecord 10000 || fail "the overlay did not appear for the second recording"
sleep 0.5
xdotool mousemove 500 300 click 1
sleep 0.6
wine vmouse.exe report 0780000000000000 >/dev/null 2>&1 || fail "vmouse report failed"
win gone TFrmRecord 10000 || fail "the second overlay did not close"
sleep 0.4
import -window root "$out/mouse-not-written.png"
log=$(winepath -u "$(wine vxprofile.exe log --lines 0 2>/dev/null | tr -d '\r' | head -n 1)" 2>/dev/null)
for _ in $(seq 50); do tr -d '\r' <"$log" 2>/dev/null | grep -q 'notice: The mouse could not be written' && break; sleep 0.1; done
tr -d '\r' <"$log" | grep -q 'notice: The mouse could not be written; the macro is saved on the computer' ||
  fail "no notice that the mouse could not be written"
tr -d '\r' <"$log" | grep -q 'Feature report [2-6] ([0-9]* bytes) not written to the mouse, error 31' ||
  fail "the log does not name the refused report and its error"
read -r r g b < <(mean "$out/mouse-not-written.png" "300x20+$(( (sw - 300) / 2 ))+$(( sh - 80 ))")
note "a refused write: the notice (screenshot mouse-not-written.png, mean $r $g $b) and the log line"
wine vmouse.exe refuse 0 >/dev/null 2>&1

win post TVXMonMain 273 1003 0 >/dev/null
wait "$monitor_pid"
cleanup
exit 0
