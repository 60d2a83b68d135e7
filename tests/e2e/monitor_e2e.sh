#!/usr/bin/env bash
# monitor_e2e.sh CASE BINDIR: one end-to-end case; exit 0 when it holds.
# Runs inside the e2e environment (DISPLAY and WINEPREFIX set by e2e-run).
set -u
case_name=${1:?case}; bin=${2:?bin folder}
cd "$bin" || exit 1
key='HKCU\software\Vantorgmmouse'
monitor_pid=""

# win, cleanup and the picture helpers; fail and note name the case here.
. "$(dirname "$(realpath "$0")")/../e2e_recording/e2e_lib.sh"
double_pid=""
fail() {
  echo "FAIL [$case_name]: $*" >&2
  [ -n "$double_pid" ] && kill -9 "$double_pid" 2>/dev/null  # a hung double does not close
  cleanup; exit 1
}
note() { echo "[$case_name] $*"; }

start_monitor() {
  wine VXMonE2E.exe >/dev/null 2>&1 &
  monitor_pid=$!
  win wait TVXMonMain 30000 || fail "the monitor window did not appear"
}

# Ends the monitor through its Exit command; its exit code must be 0.
stop_monitor() {
  win post TVXMonMain 273 1003 0 || fail "no monitor window to end"
  wait "$monitor_pid"; local rc=$?
  [ "$rc" -eq 0 ] || fail "the monitor ended with exit code $rc"
  win count TVXMonMain | grep -qx 0 || fail "the monitor window is still there after Exit"
}

start_double() {
  rm -f VXCfgDouble.exe.log
  wine VXCfgDouble.exe >/dev/null 2>&1 &
  win wait TVXCfgMain 20000 || fail "the configuration double did not start"
}

profile_id() { wine reg query "$key" /v ProfileID 2>/dev/null | tr -d '\r' | awk '/ProfileID/ {print $3}'; }

value_size() {
  # bytes of a REG_BINARY value: its hex digits / 2
  wine reg query "$key" /v "$1" 2>/dev/null | tr -d '\r' | awk -v n="$1" '$1 == n {print length($3) / 2}'
}

# Starts the low-level hook observer for SECONDS.
start_hookwatch() {
  log="$bin/hookwatch.txt"
  rm -f "$log"
  wine hookwatch.exe 'hookwatch.txt' "$1" >/dev/null 2>&1 &
  watch_pid=$!
  wait_line "$log" ready || fail "the hook observer did not start"
}

# Presses button 6 (the default profile plays a double click) and sets got to
# what the hook saw within TRIES x 0.1 s.
double_click="left down injected,left up injected,left down injected,left up injected"
press_button6() {
  wine vmouse.exe report 0740000000000000 >/dev/null 2>&1 || fail "vmouse report failed"
  wait_line "$log" 'left up injected' "$1" || true
  sleep 1
  got=$(tr -d '\r' <"$log" | grep -v '^ready$' | paste -sd, -)
  kill "$watch_pid" 2>/dev/null
}

wait_reading() { wine vmouse.exe wait 15000 >/dev/null 2>&1 || fail "the monitor never opened the virtual mouse"; }

cleanup
case "$case_name" in
second_instance)
  start_monitor
  start=$(date +%s)
  wine VXMonE2E.exe >/dev/null 2>&1; rc=$?
  took=$(( $(date +%s) - start ))
  [ "$rc" -eq 0 ] || fail "the second start ended with exit code $rc"
  [ "$took" -le 10 ] || fail "the second start took ${took}s to end"
  n=$(win count TVXMonMain)
  [ "$n" = 1 ] || fail "$n monitor windows after the second start"
  note "second start ended with 0 after ${took}s; one monitor window"
  stop_monitor
  ;;
first_run_defaults)
  wine reg delete "$key" /f >/dev/null 2>&1
  start_monitor
  win count '#32770' | grep -qx 0 || fail "a message box appeared: $(win texts '#32770')"
  [ "$(value_size QZ3PROFILE.pfd)" = 30954 ] || fail "QZ3PROFILE.pfd missing or not 30954 bytes"
  [ "$(value_size QZ3ProfileSettingGroup.pfd)" = 30964 ] || fail "QZ3ProfileSettingGroup.pfd missing or not 30964 bytes"
  note "defaults written: QZ3PROFILE.pfd (30954 bytes), QZ3ProfileSettingGroup.pfd (30964 bytes)"
  stop_monitor
  ;;
reload_7035)
  start_monitor
  wine reg add "$key" /v ProfileID /t REG_DWORD /d 0 /f >/dev/null 2>&1
  wine VXCfgDouble.exe send 7035 3 >/dev/null 2>&1 || fail "could not send 7035"
  [ "$(profile_id)" = 0x3 ] || fail "ProfileID is '$(profile_id)', not 0x3"
  wine VXCfgDouble.exe send 7037 >/dev/null 2>&1 || fail "could not send 7037"
  win count TVXMonMain | grep -qx 1 || fail "the monitor did not survive 7037"
  note "7035 with lparam 3 wrote ProfileID 3"
  stop_monitor
  ;;
profile_switch_report)
  start_double
  start_monitor
  wait_reading
  wine reg add "$key" /v ProfileID /t REG_DWORD /d 0 /f >/dev/null 2>&1
  wine vmouse.exe report 0801010000000000 >/dev/null 2>&1 || fail "vmouse report failed"
  wait_line VXCfgDouble.exe.log '7040 1 0' || fail "the double did not receive 7040 with wparam 1"
  [ "$(profile_id)" = 0x1 ] || fail "ProfileID is '$(profile_id)', not 0x1"
  note "report 8 01 01: ProfileID 1, 7040 wparam 1 received"
  stop_monitor
  ;;
play_macro)
  wine reg delete "$key" /f >/dev/null 2>&1  # default profile: button 6 plays the double click
  start_monitor
  wait_reading
  start_hookwatch 20
  press_button6 50
  [ "$got" = "$double_click" ] || fail "the hook saw '$got'"
  note "hook saw: $got"
  stop_monitor
  ;;
restart_after_exit)
  start_monitor
  old_pid=$monitor_pid
  wine vmouse.exe linger 5000 >/dev/null 2>&1 || fail "could not hold up the teardown"
  win post TVXMonMain 273 1003 0 || fail "no monitor window to end"
  sleep 0.5
  wine VXMonE2E.exe >/dev/null 2>&1 &
  monitor_pid=$!
  wait "$old_pid"
  kill -0 "$monitor_pid" 2>/dev/null || fail "the monitor started during the old one's teardown ended"
  win wait TVXMonMain 10000 || fail "no monitor window after the old one ended"
  note "started during the old monitor's teardown: it runs"
  stop_monitor
  ;;
config_hung)
  wine reg delete "$key" /f >/dev/null 2>&1  # default profile: button 6 plays the double click
  rm -f VXCfgDouble.exe.log
  wine VXCfgDouble.exe hang >/dev/null 2>&1 &
  double_pid=$!
  win wait TVXCfgMain 20000 || fail "the configuration double did not start"
  start_monitor
  wait_reading
  start_hookwatch 40
  wine vmouse.exe report 0801010000000000 >/dev/null 2>&1 || fail "vmouse report failed"
  wait_line VXCfgDouble.exe.log hanging || fail "the double did not receive 7040"
  tr -d '\r' <VXCfgDouble.exe.log | grep -qx '7040 1 0' || fail "the double's first message was not 7040 with wparam 1"
  press_button6 200
  [ "$got" = "$double_click" ] || fail "with the configuration application hung, the hook saw '$got'"
  note "7040 reached the hung double; button 6 still played: $got"
  stop_monitor
  kill -9 "$double_pid" 2>/dev/null
  win gone TVXCfgMain 10000 >/dev/null
  ;;
exit_notifies)
  start_double
  start_monitor
  stop_monitor
  wait_line VXCfgDouble.exe.log '7036 0 0' || fail "the double did not receive 7036"
  note "Exit posted 7036 and the monitor ended with 0"
  ;;
close_message)
  # WM_CLOSE from outside (vxprofile exit) is Exit; Alt+F4 on About only hides.
  start_double
  start_monitor
  win post TVXMonMain 273 1002 0
  for _ in $(seq 50); do win visible TVXMonMain && break; sleep 0.1; done
  win post TVXMonMain 274 61536 0  # WM_SYSCOMMAND SC_CLOSE
  for _ in $(seq 30); do win visible TVXMonMain || break; sleep 0.1; done
  win visible TVXMonMain && fail "Alt+F4 did not hide the About window"
  [ "$(win count TVXMonMain)" = 1 ] || fail "Alt+F4 on the About window ended the monitor"
  said=$(wine vxprofile.exe exit 2>&1 | tr -d '\r')
  [ "$said" = "monitor ended" ] || fail "vxprofile exit said [$said]"
  wait "$monitor_pid"; rc=$?
  [ "$rc" -eq 0 ] || fail "the monitor ended with exit code $rc"
  wait_line VXCfgDouble.exe.log '7036 0 0' || fail "WM_CLOSE did not post 7036"
  said=$(wine vxprofile.exe exit 2>&1 | tr -d '\r')
  [ "$said" = "no monitor running" ] || fail "vxprofile exit without a monitor said [$said]"
  start_monitor
  note "Alt+F4 hid About; vxprofile exit (WM_CLOSE) posted 7036 and ended the monitor with 0; it starts again"
  stop_monitor
  ;;
replug)
  start_monitor
  wait_reading
  wine vmouse.exe unplug >/dev/null 2>&1 || fail "unplug failed"
  wine vmouse.exe report 0740000000000000 >/dev/null 2>&1 && fail "a report went through while unplugged"
  wine vmouse.exe plug >/dev/null 2>&1 || fail "plug failed"
  start=$(date +%s%N)
  wait_reading
  took=$(( ($(date +%s%N) - start) / 1000000 ))
  [ "$took" -ge 1000 ] || fail "the mouse was reopened after ${took} ms, before the 1500 ms debounce"
  wine reg add "$key" /v ProfileID /t REG_DWORD /d 1 /f >/dev/null 2>&1
  wine vmouse.exe report 0801000000000000 >/dev/null 2>&1 || fail "report after plug failed"
  for _ in $(seq 50); do [ "$(profile_id)" = 0x0 ] && break; sleep 0.1; done
  [ "$(profile_id)" = 0x0 ] || fail "ProfileID is '$(profile_id)' after the report, not 0x0"
  note "unplugged, plugged back: read again after ${took} ms; reports work"
  stop_monitor
  ;;
config_launch)
  cp VXCfgDouble.exe VXCfg.exe
  start_monitor
  win post TVXMonMain 273 1001 0
  win wait TVXCfgMain 20000 || fail "Config did not launch VXCfg.exe"
  wait_line VXCfg.exe.log ready || fail "VXCfg.exe was not started from the monitor's folder"
  # Hidden, it has given up the activation; Config must show it and bring it
  # forward again (a window still in front would get no new activation).
  win hide TVXCfgMain || fail "could not hide the configuration window"
  sleep 0.5
  before=$(tr -d '\r' <VXCfg.exe.log | grep -cx activate)
  win post TVXMonMain 273 1001 0
  sleep 2
  starts=$(tr -d '\r' <VXCfg.exe.log | grep -cx started)
  [ "$starts" = 1 ] || fail "VXCfg.exe started $starts times"
  [ "$(win count TVXCfgMain)" = 1 ] || fail "more than one configuration window"
  win visible TVXCfgMain || fail "the running configuration application was not shown"
  activations=$(tr -d '\r' <VXCfg.exe.log | grep -cx activate)
  [ "$activations" -gt "$before" ] || fail "the running configuration application was not brought forward"
  note "Config launched VXCfg.exe once and then showed it and brought it forward"
  stop_monitor
  ;;
cli_play_imported)
  wine reg delete "$key" /f >/dev/null 2>&1
  start_monitor
  wait_reading
  # A right click as a macro file: the default macro's file, actions replaced.
  wine vxprofile.exe macro export 0 default.macro >/dev/null 2>&1 || fail "macro export failed"
  python3 - default.macro right.macro <<'PY' || fail "could not build the macro file"
import struct, sys
m = bytearray(open(sys.argv[1], "rb").read())
acts = [(1, 1, 2, 2), (6, 0, 20, 0), (1, 0, 2, 2)]  # right down, 20 ms, right up
for i, a in enumerate(acts):
    struct.pack_into("<HHBB", m, 6 * i, *a)
struct.pack_into("<i", m, 768, len(acts))
name = "Right Click".encode("utf-16-le") + b"\0\0"
m[780:780 + len(name)] = name
open(sys.argv[2], "wb").write(m)
PY
  wine vxprofile.exe macro import right.macro --as 0 >"$bin/cli.out" 2>&1 || fail "macro import: $(cat "$bin/cli.out")"
  wine vxprofile.exe button set 6 play >"$bin/cli.out" 2>&1 || fail "button set: $(cat "$bin/cli.out")"
  grep -q "the monitor reloads" "$bin/cli.out" || fail "the monitor was not told to reload: $(cat "$bin/cli.out")"
  log="$bin/hookwatch.txt"
  rm -f "$log"
  wine hookwatch.exe 'hookwatch.txt' 20 >/dev/null 2>&1 &
  watch_pid=$!
  wait_line "$log" ready || fail "the hook observer did not start"
  sleep 0.5  # the posted reload runs before the button report
  wine vmouse.exe report 0740000000000000 >/dev/null 2>&1 || fail "vmouse report failed"
  wait_line "$log" 'right up injected' 50 || true
  sleep 1
  got=$(tr -d '\r' <"$log" | grep -v '^ready$' | paste -sd, -)
  kill "$watch_pid" 2>/dev/null
  rm -f default.macro right.macro cli.out
  [ "$got" = "right down injected,right up injected" ] || fail "the hook saw '$got'"
  note "imported macro on button 6, monitor reloaded; the hook saw: $got"
  stop_monitor
  ;;
cli_refused_while_config)
  wine vxprofile.exe init >/dev/null 2>&1 || fail "vxprofile init failed"
  start_double
  wine reg export "$key" before.reg /y >/dev/null 2>&1
  wine vxprofile.exe button set 3 key A >cli.out 2>&1; rc=$?
  wine reg export "$key" after.reg /y >/dev/null 2>&1
  msg=$(tr -d '\r' <cli.out)
  [ "$rc" -eq 2 ] || fail "the edit exited with $rc while the configuration application ran: $msg"
  echo "$msg" | grep -q "configuration application is running" || fail "the refusal does not say why: $msg"
  cmp -s before.reg after.reg || fail "the refused edit changed the registry"
  wine vxprofile.exe button set 3 key A --force >cli.out 2>&1 || fail "--force was refused: $(cat cli.out)"
  rm -f before.reg after.reg cli.out
  note "refused without --force (exit 2, nothing changed): $msg"
  ;;
*)
  fail "unknown case"
  ;;
esac
cleanup
exit 0
