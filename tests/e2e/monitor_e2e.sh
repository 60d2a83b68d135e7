#!/usr/bin/env bash
# monitor_e2e.sh CASE BINDIR: one end-to-end case; exit 0 when it holds.
# Runs inside the e2e environment (DISPLAY and WINEPREFIX set by e2e-run).
set -u
case_name=${1:?case}; bin=${2:?bin folder}; out=$(realpath -m "${3:-$bin/screenshots}")
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

# The monitor's log, as a path on this host.
log_file() { winepath -u "$(wine vxprofile.exe log --lines 0 2>/dev/null | tr -d '\r' | head -n 1)" 2>/dev/null; }
# grep -c prints 0 itself when nothing matches (and fails): one number always.
log_count() {
  local n=0
  [ -f "$1" ] && n=$(tr -d '\r' <"$1" | grep -c -- "$2")
  echo "${n:-0}"
}

# The mouse is read: a switch report to profile N (0 or 1) lands in ProfileID.
expect_switch() {  # expect_switch N WHAT
  wine reg add "$key" /v ProfileID /t REG_DWORD /d $((1 - $1)) /f >/dev/null 2>&1
  wine vmouse.exe report "08010${1}0000000000" >/dev/null 2>&1 || fail "$2: the report was refused"
  for _ in $(seq 50); do [ "$(profile_id)" = "0x$1" ] && break; sleep 0.1; done
  [ "$(profile_id)" = "0x$1" ] || fail "$2: ProfileID is '$(profile_id)', not 0x$1"
}

# Button 6 plays a macro of the given actions "type,state,v1,v2 ..." (the
# default macro file with its actions replaced, imported as macro 0).
set_macro() {
  wine vxprofile.exe macro export 0 default.macro >/dev/null 2>&1 || fail "macro export failed"
  python3 - default.macro mine.macro "$@" <<'PY' || fail "could not build the macro file"
import struct, sys
m = bytearray(open(sys.argv[1], "rb").read())
acts = [tuple(int(x, 0) for x in a.split(",")) for a in sys.argv[3:]]
for i, a in enumerate(acts):
    struct.pack_into("<HHBB", m, 6 * i, *a)
struct.pack_into("<i", m, 768, len(acts))
open(sys.argv[2], "wb").write(m)
PY
  wine vxprofile.exe macro import mine.macro --as 0 >cli.out 2>&1 || fail "macro import: $(cat cli.out)"
  wine vxprofile.exe button set 6 play >cli.out 2>&1 || fail "button set: $(cat cli.out)"
  rm -f default.macro mine.macro cli.out
  sleep 0.5  # the posted reload runs before the next report
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
  # A monitor whose mutex this user may not open (one run as administrator).
  wine hungmonitor.exe locked >/dev/null 2>&1 &
  win wait TVXMonMain 20000 || fail "the locked monitor did not start"
  timeout 20 wine VXMonE2E.exe >/dev/null 2>&1; rc=$?
  n=$(win count TVXMonMain)
  win post TVXMonMain 32769 0 0
  win gone TVXMonMain 10000 >/dev/null
  [ "$rc" -eq 0 ] || fail "the start beside a monitor it may not open ended with $rc"
  [ "$n" = 1 ] || fail "$n monitor windows beside a monitor whose mutex it may not open"
  note "beside a monitor whose mutex it may not open: ended with 0, one monitor window"
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
  expect_switch 0 "after plugging back"
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
power_resume)
  start_monitor
  wait_reading
  log=$(log_file)
  before=$(log_count "$log" 'mouse reopened')
  # Both resume events, as Windows sends them after a wake by the user.
  win post TVXMonMain 536 18 0 || fail "could not post the resume"
  win post TVXMonMain 536 7 0
  sleep 3.5
  after=$(log_count "$log" 'mouse reopened')
  [ $((after - before)) = 1 ] || fail "$((after - before)) reopens after the resume, not 1"
  expect_switch 1 "after the resume"
  note "resume: one reopen, the mouse is read again"
  stop_monitor
  ;;
end_session)
  start_double
  start_monitor
  start=$(date +%s%N)
  win post TVXMonMain 17 0 0 || fail "could not post WM_QUERYENDSESSION"
  win post TVXMonMain 22 1 0
  wait "$monitor_pid"; rc=$?
  took=$(( ($(date +%s%N) - start) / 1000000 ))
  [ "$rc" -eq 0 ] || fail "the monitor ended with exit code $rc"
  [ "$took" -le 2000 ] || fail "the monitor took ${took} ms to end"
  wait_line VXCfgDouble.exe.log '7036 0 0' || fail "the double did not receive 7036"
  note "end of session: ended in ${took} ms with 7036 posted"
  ;;
log_file)
  wine reg delete "$key" /f >/dev/null 2>&1  # default profile: button 6 plays the double click
  start_monitor
  wait_reading
  log=$(log_file)
  [ -n "$log" ] || fail "vxprofile log named no file"
  wine vmouse.exe report 0740000000000000 >/dev/null 2>&1 || fail "vmouse report failed"
  sleep 1
  stop_monitor
  last=$(tr -d '\r' <"$log" | grep -n 'VXMon .* started; Windows' | tail -n 1 | cut -d: -f1)
  [ -n "$last" ] || fail "no start-up line in $log"
  tail -n +"$last" "$log" | tr -d '\r' >run.log
  grep -q 'mouse not found\|mouse found' run.log || fail "the start-up line does not tell about the mouse"
  grep -Eq '^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9:.]{12} \[[0-9]+\] KeyIndex = 6 postmessage record!$' run.log ||
    fail "no timestamped report line"
  grep -Eq '\] play macro$' run.log || fail "no 'play macro' line"
  wine vxprofile.exe log --lines 3 2>/dev/null | tr -d '\r' | tail -n 1 | grep -q 'monitor ended' ||
    fail "vxprofile log does not show the last lines"
  note "log: start-up line, 'KeyIndex = 6 ...' and 'play macro', shown by vxprofile log"
  rm -f run.log
  ;;
log_rotation)
  log=$(log_file)
  [ -n "$log" ] || fail "vxprofile log named no file"
  mkdir -p "$(dirname "$log")"
  rm -f "${log%.log}.old.log"
  head -c 1048500 /dev/zero | tr '\0' 'x' >"$log"
  start_monitor
  for _ in $(seq 50); do [ -f "${log%.log}.old.log" ] && break; sleep 0.1; done
  stop_monitor
  [ -f "${log%.log}.old.log" ] || fail "a full log was not rotated"
  [ "$(stat -c %s "${log%.log}.old.log")" -ge 1048500 ] || fail "the old log is not the full one"
  size=$(stat -c %s "$log")
  [ "$size" -lt 100000 ] || fail "the new log is $size bytes"
  grep -q 'started; Windows' "$log" || fail "the new log has no start-up line"
  note "a full log became VXMon.old.log; the new one is $size bytes"
  ;;
crash_report | crash_stack | crash_log)
  # The crashed monitor writes one dump and one line and starts a new one,
  # which waits for it to end; a second crash within 60 s starts none.
  log=$(log_file)
  crash="$(dirname "$log")/crash"
  rm -rf "$crash"
  how=main code=0xC0000005
  [ "$case_name" = crash_stack ] && how=stack code=0xC00000FD
  [ "$case_name" = crash_log ] && how=log
  crashes=$(log_count "$log" "crashed: unhandled exception $code")
  refusals=$(log_count "$log" 'not restarted: the last crash restart')
  start_monitor
  start=$(date +%s%N)
  wine vmouse.exe crash $how >/dev/null 2>&1
  wait "$monitor_pid"
  win wait TVXMonMain 15000 || fail "no new monitor after the crash"
  took=$(( ($(date +%s%N) - start) / 1000000 ))
  [ "$took" -le 10000 ] || fail "the new monitor came ${took} ms after the crash"
  dumps=$(ls "$crash"/VXMon-*.dmp 2>/dev/null | wc -l)
  [ "$dumps" = 1 ] || fail "$dumps dumps in the crash folder"
  [ -s "$(ls "$crash"/VXMon-*.dmp)" ] || fail "the dump is empty"
  lines=$(tr -d '\r' <"$crash/crash.log" | grep -c "crashed: unhandled exception $code.*; a new monitor is started")
  [ "$lines" = 1 ] || fail "$lines crash lines in crash.log: $(cat "$crash/crash.log")"
  [ "$(log_count "$log" "crashed: unhandled exception $code")" = $((crashes + 1)) ] || fail "the crash line is not in $log once"
  sleep 1
  [ "$(win count TVXMonMain)" = 1 ] || fail "not one monitor after the restart"
  wait_reading
  note "crash ($how): one dump, one line; the new monitor came after ${took} ms"
  wine vmouse.exe crash main >/dev/null 2>&1
  win gone TVXMonMain 15000 || fail "the second crash left the monitor running"
  for _ in $(seq 30); do [ "$(log_count "$crash/crash.log" 'not restarted')" = 1 ] && break; sleep 0.2; done
  why=$(tr -d '\r' <"$crash/crash.log" | grep 'not restarted' | sed 's/.*; not/not/')
  echo "$why" | grep -q 'the last crash restart was [0-9]* s ago (none within 60 s)' || fail "crash.log does not say why: $why"
  [ "$(log_count "$log" 'not restarted: the last crash restart')" = $((refusals + 1)) ] || fail "$log does not say why"
  sleep 3
  [ "$(win count TVXMonMain)" = 0 ] || fail "a monitor runs after the second crash"
  [ "$(ls "$crash"/VXMon-*.dmp | wc -l)" = 2 ] || fail "not two dumps after two crashes"
  note "second crash within 60 s: no monitor; $why"
  ;;
ten_at_once)
  pids=()
  for _ in $(seq 10); do wine VXMonE2E.exe >/dev/null 2>&1 & pids+=($!); done
  win wait TVXMonMain 30000 || fail "no monitor window"
  running=10
  for _ in $(seq 300); do
    running=0
    for p in "${pids[@]}"; do kill -0 "$p" 2>/dev/null && running=$((running + 1)); done
    [ "$running" -le 1 ] && break
    sleep 0.1
  done
  sleep 2
  running=0
  for p in "${pids[@]}"; do kill -0 "$p" 2>/dev/null && { running=$((running + 1)); monitor_pid=$p; }; done
  [ "$running" = 1 ] || fail "$running of ten monitors started at once still run"
  [ "$(win count TVXMonMain)" = 1 ] || fail "$(win count TVXMonMain) monitor windows"
  wait_reading
  note "ten monitors started at once: one runs"
  stop_monitor
  ;;
hook_reinstall)
  wine reg delete "$key" /f >/dev/null 2>&1  # defaults: button 7 toggles recording
  start_monitor
  wait_reading
  log=$(log_file)
  wine vmouse.exe report 0780000000000000 >/dev/null 2>&1 || fail "vmouse report failed"
  win wait TFrmRecord 10000 || fail "the overlay did not appear"
  xdotool mousemove 500 300; sleep 0.3; xdotool click 1; sleep 0.5
  before=$(log_count "$log" 'input hook lost')
  wine vmouse.exe drophook >/dev/null 2>&1 || fail "could not drop the mouse hook"
  for i in $(seq 40); do
    xdotool mousemove $((500 + i % 2 * 20)) 300
    sleep 0.25
    [ "$(log_count "$log" 'input hook lost')" -gt "$before" ] && break
  done
  [ $(( $(log_count "$log" 'input hook lost') - before )) = 1 ] || fail "the dropped hook was not set again once"
  sleep 0.5; xdotool click 1; sleep 0.5
  wine vmouse.exe report 0780000000000000 >/dev/null 2>&1 || fail "vmouse report failed"
  win gone TFrmRecord 10000 || fail "the overlay did not close"
  sleep 0.5
  macro=$(wine reg query "$key" /v RecordRPROFILE.pfd 2>/dev/null | tr -d '\r' | awk '$1 == "RecordRPROFILE.pfd" {print tolower($3)}')
  [ -n "$macro" ] || fail "nothing was recorded"
  count=$(( 16#${macro:1542:2}${macro:1540:2}${macro:1538:2}${macro:1536:2} ))
  clicks=""
  for ((i = 0; i < count; i++)); do a=${macro:$((i * 12)):12}; [ "${a:0:2}" = 01 ] && clicks+="${a:4:2} "; done
  [ "$clicks" = "01 00 01 00 " ] || fail "recorded button states: '$clicks'"
  [ "$(log_count "$log" 'input hook lost')" = $((before + 1)) ] || fail "the hook was set again more than once"
  note "hook dropped, set again once; the click after it was recorded"
  stop_monitor
  ;;
notice|notice_200)
  # A mute press shows the microphone's state read back, a switch report the
  # group; the foreground window keeps the focus; Notice=0 shows none.
  mkdir -p "$out"
  dpi=96; [ "$case_name" = notice_200 ] && dpi=192
  desktop='HKCU\Control Panel\Desktop'
  [ "$dpi" != 96 ] && wine reg add "$desktop" /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
  restore_dpi() { wine reg delete "$desktop" /v LogPixels /f >/dev/null 2>&1; rm -f config.ini; }
  trap restore_dpi EXIT
  rm -f config.ini
  wine reg delete "$key" /f >/dev/null 2>&1
  wine vxprofile.exe button set 6 mute >/dev/null 2>&1 || fail "could not make button 6 the mute button"
  start_double
  # The end-to-end build's microphone: wine has no capture device.
  VX_E2E_MIC=1 start_monitor
  wait_reading
  log=$(log_file)
  [ -n "$log" ] || fail "vxprofile log named no file"
  # The double's window is the one the user works in.
  win post TVXCfgMain 6 1 0 >/dev/null  # WM_ACTIVATE
  xdotool search --name VX_CONFIG_EX windowactivate 2>/dev/null || true
  sleep 0.5
  fg=$(win foreground)
  wine vmouse.exe report 0740000000000000 >/dev/null 2>&1 || fail "vmouse report failed"
  wait_line "$log" '.*\] notice: Microphone muted' 100 || fail "no 'Microphone muted' notice in the log"
  wine vmouse.exe mic 2>&1 | tr -d '\r' | grep -qx 'ok muted' || fail "the microphone is not muted"
  said=$(tr -d '\r' <"$log" | grep -o 'notice: .*' | tail -n 1)
  for _ in $(seq 50); do win visible TFrmNotice && break; sleep 0.1; done
  win visible TFrmNotice || fail "the notice window did not show ($said)"
  read -r nx ny nw nh < <(win rect TFrmNotice)
  import -window root "$out/notice_$dpi.png"
  read -r sw sh < <(identify -format '%w %h' "$out/notice_$dpi.png")
  want_h=$(( 44 * dpi / 96 ))
  [ "$nh" = "$want_h" ] || fail "the notice is $nh pixels high at $dpi DPI, not $want_h"
  [ $(( nx * 2 + nw )) -ge $(( sw - 2 )) ] && [ $(( nx * 2 + nw )) -le $(( sw + 2 )) ] || fail "the notice is not centred ($nx of $sw)"
  [ "$ny" -ge $(( sh / 2 )) ] && [ $(( ny + nh )) -le "$sh" ] || fail "the notice is not at the bottom ($ny + $nh of $sh)"
  read -r r g b < <(mean "$out/notice_$dpi.png" "$(( nw / 6 ))x$(( nh / 4 ))+$(( nx + 4 ))+$(( ny + nh * 3 / 8 ))")
  [ "$r" -lt 90 ] && [ "$g" -lt 90 ] || fail "no dark panel where the notice is ($r $g $b)"
  text=$(light_pixels "$out/notice_$dpi.png" "${nw}x${nh}+$nx+$ny" 80)
  [ "$text" -gt $(( 20 * dpi / 96 )) ] || fail "no text on the notice ($text light pixels)"
  [ "$(win foreground)" = "$fg" ] || fail "the notice took the focus from '$fg' (now '$(win foreground)')"
  note "mute press: '$said' at $nx,$ny ${nw}x${nh} ($dpi DPI); the foreground stays '$fg'"
  # The state read back: a microphone held muted is reported muted again.
  n=$(log_count "$log" 'notice: Microphone muted')
  wine vmouse.exe mic hold >/dev/null 2>&1
  wine vmouse.exe report 0740000000000000 >/dev/null 2>&1 || fail "vmouse report failed"
  for _ in $(seq 50); do [ "$(log_count "$log" 'notice: Microphone muted')" -gt "$n" ] && break; sleep 0.1; done
  [ "$(log_count "$log" 'notice: Microphone muted')" -gt "$n" ] || fail "a held microphone was not reported muted"
  wine vmouse.exe mic free >/dev/null 2>&1
  wine vmouse.exe report 0740000000000000 >/dev/null 2>&1 || fail "vmouse report failed"
  wait_line "$log" ".*\] notice: Microphone on" 100 || fail "the next press did not say 'Microphone on'"
  other="Microphone muted (held), then Microphone on"
  wine vmouse.exe report 0801010000000000 >/dev/null 2>&1 || fail "vmouse report failed"
  wait_line "$log" '.*\] notice: Profile group 2' 100 || fail "the switch report gave no 'Profile group 2' notice"
  note "second press: '$other'; switch report: 'Profile group 2'"
  stop_monitor
  for _ in $(seq 30); do win count TFrmNotice | grep -qx 0 && break; sleep 0.1; done

  # Off: the press is logged, nothing is drawn.
  printf '[OtherConfig]\r\nNotice=0\r\n' >config.ini
  start_monitor
  wait_reading
  n=$(log_count "$log" 'notice: ')
  wine vmouse.exe report 0740000000000000 >/dev/null 2>&1 || fail "vmouse report failed"
  for _ in $(seq 50); do [ "$(log_count "$log" 'notice: ')" -gt "$n" ] && break; sleep 0.1; done
  [ "$(log_count "$log" 'notice: ')" -gt "$n" ] || fail "Notice=0: the press was not logged"
  sleep 0.5
  win visible TFrmNotice && fail "Notice=0 still showed a notice"
  note "Notice=0: logged, nothing shown"
  stop_monitor
  ;;
backup_restore)
  # A change announced by 7035 makes a backup; Restore profiles... in the
  # tray menu (its command) puts the one before back.
  wine reg delete "$key" /f >/dev/null 2>&1
  start_double
  start_monitor
  wait_reading
  folder=$(wine vxprofile.exe backup list 2>/dev/null | tr -d '\r' | sed -n 's/^.*backups in //p' | sed 's/, newest first:$//')
  [ -n "$folder" ] || fail "vxprofile backup list named no folder"
  ufolder=$(winepath -u "$folder" 2>/dev/null)
  stop_monitor
  rm -rf "$ufolder"; mkdir -p "$ufolder"
  # The newest backup: today, two hours ago (the hour since has passed).
  seed=$(date -d '-2 hours' +%Y%m%d-%H%M%S).vxbak
  [ "${seed:0:8}" = "$(date +%Y%m%d)" ] || seed=$(date +%Y%m%d)-000000.vxbak
  wine vxprofile.exe backup "$folder\\$seed" >/dev/null 2>&1 || fail "could not seed a backup"
  before=$(wine reg query "$key" /v QZ3Profile1.pfd 2>/dev/null | tr -d '\r' | awk '$1 == "QZ3Profile1.pfd" {print $3}')
  start_monitor
  wait_reading
  sleep 1
  [ "$(ls "$ufolder" | wc -l)" = 1 ] || fail "a start on a day with a backup took another: $(ls "$ufolder")"
  wine vxprofile.exe button set --force 5 combo ctrl+F5 >/dev/null 2>&1 || fail "could not change slot 0"
  wine VXCfgDouble.exe send 7035 0 >/dev/null 2>&1 || fail "could not send 7035"
  for _ in $(seq 100); do [ "$(ls "$ufolder" | grep -c '\.vxbak$')" -ge 2 ] && break; sleep 0.1; done
  [ "$(ls "$ufolder" | grep -c '\.vxbak$')" -ge 2 ] || fail "no backup after the change: $(ls "$ufolder")"
  changed=$(wine reg query "$key" /v QZ3Profile1.pfd 2>/dev/null | tr -d '\r' | awk '$1 == "QZ3Profile1.pfd" {print $3}')
  [ "$changed" != "$before" ] || fail "the change did not reach slot 0"
  listing=$(wine vxprofile.exe backup list 2>/dev/null | tr -d '\r')
  grep -q '^  1 .* slot 0' <<<"$listing" || fail "backup list does not show the change of slot 0: $listing"
  note "a backup appeared after 7035; backup list: $(grep '^  1 ' <<<"$listing")"
  rm -f VXCfgDouble.exe.log
  # The tray menu opens (a right click on the icon) listing the seed second
  # and closes; a newer backup is written; its second item still names the seed.
  win post TVXMonMain 32849 0 517 || fail "no monitor window"
  sleep 1
  win post TVXMonMain 31 0 0 || fail "could not close the tray menu"  # WM_CANCELMODE
  sleep 0.5
  newer=$(date -d '+1 minute' +%Y%m%d-%H%M%S).vxbak
  wine vxprofile.exe backup "$folder\\$newer" >/dev/null 2>&1 || fail "could not write a newer backup"
  # Restore profiles..., the menu's second item (command 1101), then Yes.
  win post TVXMonMain 273 1101 0 || fail "no monitor window"
  win wait '#32770' 10000 || fail "no confirmation"
  win post '#32770' 273 6 0 || fail "could not answer the confirmation"
  log=$(log_file)
  wait_line "$log" ".*\] profiles restored from .*$seed" 100 || fail "no restore in the log"
  after=$(wine reg query "$key" /v QZ3Profile1.pfd 2>/dev/null | tr -d '\r' | awk '$1 == "QZ3Profile1.pfd" {print $3}')
  [ "$after" = "$before" ] || fail "slot 0 does not hold the restored bytes"
  wait_line VXCfgDouble.exe.log '7035 0 .*' || fail "the configuration double was not told to reload"
  note "Restore profiles...: slot 0 holds the bytes of the item clicked ($seed), not of the second newest ($newer written after the menu opened); the double received 7035"
  stop_monitor
  rm -rf "$ufolder"
  ;;
macro_busy)
  # A 10 s pause (each vmouse call takes a while under wine): three more
  # play presses and a mute press arrive during it.
  wine reg delete "$key" /f >/dev/null 2>&1
  start_monitor
  wait_reading
  mlog=$(log_file)
  set_macro 1,1,0,1 6,1,0x10,0x27 1,0,0,1
  wine vxprofile.exe button set 5 mute >/dev/null 2>&1 || fail "button set 5 mute failed"
  sleep 0.5
  start_hookwatch 40
  ignored0=$(log_count "$mlog" 'play macro ignored: a macro is playing')
  mute0=$(log_count "$mlog" 'microphone')
  wine vmouse.exe report 0740000000000000 >/dev/null 2>&1 || fail "vmouse report failed"
  wait_line "$log" 'left down injected' 50 || fail "the macro did not start"
  for _ in 1 2 3; do
    wine vmouse.exe report 0740000000000000 >/dev/null 2>&1 || fail "a press during the macro was refused"
    sleep 0.2
  done
  wine vmouse.exe report 0720000000000000 >/dev/null 2>&1 || fail "the mute press was refused"
  for _ in $(seq 20); do
    [ "$(log_count "$mlog" 'microphone')" -gt "$mute0" ] && break
    sleep 0.1
  done
  tr -d '\r' <"$log" | grep -q 'left up injected' && fail "the macro ended before the presses were handled"
  mute_line=$(tr -d '\r' <"$mlog" | grep 'microphone' | tail -n 1)
  [ "$(log_count "$mlog" 'microphone')" -gt "$mute0" ] || fail "the mute press was not acted on during the macro"
  ignored=$(( $(log_count "$mlog" 'play macro ignored: a macro is playing') - ignored0 ))
  [ "$ignored" = 3 ] || fail "$ignored presses were ignored during the macro, not 3"
  wait_line "$log" 'left up injected' 120 || fail "the macro did not end"
  sleep 2
  got=$(tr -d '\r' <"$log" | grep -v '^ready$' | paste -sd, -)
  kill "$watch_pid" 2>/dev/null
  [ "$got" = "left down injected,left up injected" ] || fail "the hook saw '$got'"
  note "played once; 3 presses ignored during its pause; mute acted on in the pause: ${mute_line#*] }"
  stop_monitor
  ;;
record_play_hook)
  # A recording holds the mouse hook on the main thread; a macro with a long
  # pause plays meanwhile: clicks made during the pause still reach the hook.
  wine reg delete "$key" /f >/dev/null 2>&1  # defaults: button 7 toggles recording
  start_monitor
  wait_reading
  mlog=$(log_file)
  set_macro 4,1,0x7C,0 6,1,0x10,0x27 4,0,0x7C,0  # F13 down, 10 s, F13 up
  played0=$(log_count "$mlog" 'play macro$')
  lost0=$(log_count "$mlog" 'input hook lost')
  wine vmouse.exe report 0780000000000000 >/dev/null 2>&1 || fail "vmouse report failed"
  win wait TFrmRecord 10000 || fail "the overlay did not appear"
  xdotool mousemove 500 300; sleep 0.5
  wine vmouse.exe report 0740000000000000 >/dev/null 2>&1 || fail "vmouse report failed"
  for _ in $(seq 50); do [ "$(log_count "$mlog" 'play macro$')" -gt "$played0" ] && break; sleep 0.1; done
  [ "$(log_count "$mlog" 'play macro$')" -gt "$played0" ] || fail "the macro did not start"
  started=$(date +%s%N)
  sleep 0.5
  xdotool click 1; sleep 0.5; xdotool click 1; sleep 0.5
  clicked=$(( ($(date +%s%N) - started) / 1000000 ))
  [ "$clicked" -lt 9000 ] || fail "the clicks came ${clicked} ms after the macro started, not during its pause"
  sleep $(( (10500 - clicked) / 1000 + 1 ))  # the macro ends
  [ "$(log_count "$mlog" 'input hook lost')" = "$lost0" ] || fail "the hook was lost during the macro"
  wine vmouse.exe report 0780000000000000 >/dev/null 2>&1 || fail "vmouse report failed"
  win gone TFrmRecord 10000 || fail "the overlay did not close"
  sleep 0.5
  macro=$(wine reg query "$key" /v RecordRPROFILE.pfd 2>/dev/null | tr -d '\r' | awk '$1 == "RecordRPROFILE.pfd" {print tolower($3)}')
  [ -n "$macro" ] || fail "nothing was recorded"
  count=$(( 16#${macro:1542:2}${macro:1540:2}${macro:1538:2}${macro:1536:2} ))
  clicks=""
  for ((i = 0; i < count; i++)); do a=${macro:$((i * 12)):12}; [ "${a:0:2}" = 01 ] && clicks+="${a:4:2} "; done
  [ "$clicks" = "01 00 01 00 " ] || fail "clicks recorded during the macro: '$clicks'"
  note "two clicks made within ${clicked} ms of the macro's 10 s pause were recorded: the hook answered"
  stop_monitor
  ;;
restart_elevated)
  # Wine runs every program elevated: this monitor is told it is not.
  export VX_E2E_INTEGRITY=8192
  start_monitor
  unset VX_E2E_INTEGRITY
  old_pid=$monitor_pid
  mlog=$(log_file)
  win post TVXMonMain 273 1006 0  # Restart as administrator || fail "no monitor window"
  wait "$old_pid"; rc=$?
  [ "$rc" -eq 0 ] || fail "the old monitor ended with exit code $rc"
  win wait TVXMonMain 20000 || fail "no monitor after the restart"
  sleep 3
  [ "$(win count TVXMonMain)" = 1 ] || fail "$(win count TVXMonMain) monitor windows"
  procs=$(ps -eo args | grep -c '[V]XMonE2E')
  [ "$procs" = 1 ] || fail "$procs monitor processes"
  tr -d '\r' <"$mlog" | grep -q 'restart as administrator: the elevated monitor takes over' ||
    fail "no restart line in the log"
  note "Restart as administrator: the old monitor ended with 0, one monitor runs"
  win post TVXMonMain 273 1003 0
  win gone TVXMonMain 10000 || fail "the restarted monitor did not end"
  ;;
*)
  fail "unknown case"
  ;;
esac
cleanup
exit 0
