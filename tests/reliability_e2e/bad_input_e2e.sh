#!/usr/bin/env bash
# bad_input_e2e.sh BINDIR: the running monitor gets messages 7035/7037 with
# odd parameters, input reports of many IDs and lengths, then starts over a
# "config.ini" of 200 include entries and binary junk and a "kw.local" of
# random bytes. It must keep running, keep reading the mouse, and leave the
# stored profile values as they were. Runs inside the e2e environment.
set -u
bin=${1:?bin folder}
cd "$bin" || exit 1
key='HKCU\software\Vantorgmmouse'
monitor_pid=""
saved=$(mktemp -d)

win() { wine vxwin.exe "$@" 2>/dev/null | tr -d '\r'; return "${PIPESTATUS[0]}"; }
restore_files() {
  for f in config.ini kw.local; do
    rm -f "$f"
    [ -f "$saved/$f" ] && mv "$saved/$f" "$f"
  done
  rm -rf "$saved"
}
cleanup() {
  if win count TVXMonMain | grep -qv '^0$'; then
    win post TVXMonMain 273 1003 0 >/dev/null
    win gone TVXMonMain 10000 >/dev/null
  fi
  restore_files
}
fail() { echo "FAIL [bad_input]: $*" >&2; cleanup; exit 1; }
note() { echo "[bad_input] $*"; }
start_monitor() {
  wine VXMonE2E.exe >/dev/null 2>&1 &
  monitor_pid=$!
  win wait TVXMonMain 30000 || fail "the monitor window did not appear"
  wine vmouse.exe wait 15000 >/dev/null 2>&1 || fail "the monitor never opened the virtual mouse"
}
stop_monitor() {
  win post TVXMonMain 273 1003 0 || fail "no monitor window to end"
  wait "$monitor_pid"; local rc=$?
  [ "$rc" -eq 0 ] || fail "the monitor ended with exit code $rc"
}
# The stored values except ProfileID, which the monitor itself writes.
stored() { wine reg query "$key" 2>/dev/null | tr -d '\r' | grep -v 'ProfileID' | sort; }
profile_id() { wine reg query "$key" /v ProfileID 2>/dev/null | tr -d '\r' | awk '/ProfileID/ {print $3}'; }
still_working() {
  win count TVXMonMain | grep -qx 1 || fail "the monitor is gone after $1"
  wine reg add "$key" /v ProfileID /t REG_DWORD /d 0 /f >/dev/null 2>&1
  wine vmouse.exe report 0801010000000000 >/dev/null 2>&1 || fail "the mouse is not read after $1"
  for _ in $(seq 50); do [ "$(profile_id)" = 0x1 ] && return 0; sleep 0.1; done
  fail "a profile switch report was not handled after $1"
}

for f in config.ini kw.local; do [ -f "$f" ] && mv "$f" "$saved/$f"; done
start_monitor
before=$(stored)
[ -n "$before" ] || fail "no stored profile values"

for p in 0 4 5 -1 2147483647 -2147483648 4294967295 99999999999; do
  wine VXCfgDouble.exe send 7035 "$p" >/dev/null 2>&1
done
wine VXCfgDouble.exe send 7037 >/dev/null 2>&1
wine VXCfgDouble.exe send 7037 -1 >/dev/null 2>&1
[ "$(stored)" = "$before" ] || fail "messages 7035/7037 changed the stored values"
still_working "messages 7035 and 7037"
note "7035 with 8 parameters and 7037 twice: running, stored values intact"

for id in 00 01 02 03 06 07 09 10 7f 80 fe ff; do
  for body in "" 00 ffffffffffffff 00000000000000 0000800000000000 ffffffffffffffffffffffffffffff; do
    wine vmouse.exe report "$id$body" >/dev/null 2>&1
  done
done
[ "$(stored)" = "$before" ] || fail "input reports changed the stored values"
still_working "input reports of 12 IDs and 6 lengths"
note "72 odd input reports: running, stored values intact"
stop_monitor

{
  printf '[IncludeHIDDeviceList]\r\n'
  for i in $(seq 1 200); do printf 'id%d=HID\\VID_%04X&PID_0001\r\n' "$i" "$i"; done
  head -c 4096 /dev/urandom
} >config.ini
head -c 20000 /dev/urandom >kw.local
wine VXMonE2E.exe >/dev/null 2>&1 &
monitor_pid=$!
win wait TVXMonMain 30000 || fail "the monitor did not start over a junk config.ini and kw.local"
sleep 4  # past the start-up timer and the arrival debounce
win count '#32770' | grep -qx 0 || note "message box shown: $(win texts '#32770')"
win count TVXMonMain | grep -qx 1 || fail "the monitor ended over a junk config.ini and kw.local"
[ "$(stored)" = "$before" ] || fail "a junk config.ini or kw.local changed the stored values"
note "200 include entries with junk and a random kw.local: running, stored values intact"
stop_monitor
restore_files
exit 0
