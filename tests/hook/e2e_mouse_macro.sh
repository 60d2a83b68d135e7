#!/usr/bin/env bash
# Real X input from xdotool, in the wine virtual desktop, recorded by the
# mouse macro mode through kwHook.dll; the probe's own SendInput events are
# ignored as injected.
#   e2e_mouse_macro.sh hook_probe.exe WORKDIR   (DISPLAY and WINEPREFIX set)
set -u
probe=$1 work=$2
fail() { echo "FAIL: $*"; echo "--- output"; cat "$out" 2>/dev/null; exit 1; }
rm -rf "$work"
mkdir -p "$work"
out="$work/out.txt" ready="$work/ready" stop="$work/stop"
wine "$probe" record "$(winepath -w "$out")" "$(winepath -w "$ready")" "$(winepath -w "$stop")" \
  >"$work/probe.log" 2>&1 &
pid=$!
for _ in $(seq 600); do [ -e "$ready" ] && break; sleep 0.1; done
[ -e "$ready" ] || { kill "$pid" 2>/dev/null; fail "probe not ready"; }

step() { xdotool "$@"; sleep 0.3; }
step mousemove 300 300
step click 1   # left
step click 3   # right
step click 4   # wheel away from the user
step click 5   # wheel toward the user
step click 8   # X button 1 (back)
step click 9   # X button 2 (forward)
step mousemove 350 320
touch "$stop"
for _ in $(seq 300); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$pid" 2>/dev/null && { kill "$pid"; fail "probe did not stop"; }
wait "$pid"
sed -i 's/\r$//' "$out"  # written in text mode
grep -q '^end$' "$out" || fail "no complete output"

expect() { grep -qF -- "$1" "$out" || fail "missing: $1"; }
expect "loaded 1"
# The injected middle click reached the window but not the recording.
expect "injected 4 seen_by_window 1 events_after_injection 0"
grep -q '^event 1 3 ' "$out" && fail "an injected middle click was recorded"
grep -q '^entry [0-9]* 1 [01] 3 ' "$out" && fail "an injected middle click was stored"
expect "event 1 1 1 300 300"
expect "[Mouse Click] [Down]"
expect "[Mouse Click] [Up]"
expect "event 1 2 1 300 300"
expect "[Mouse Right Click] [Up]"
# Away from the user is WHEELDOWN (7), toward the user WHEELUP (6).
expect "event 1 7 1 300 300"
expect "[Wheel Down(Mouse)] [Down]"
expect "event 1 6 1 300 300"
expect "[Wheel up(Mouse)] [Down]"
expect "event 1 4 1 300 300"
expect "[Backward(Mouse) ] [Down]"
expect "event 1 4 0 300 300"
expect "event 1 5 1 300 300"
expect "[Forward(Mouse)] [Up]"
grep -q '^event 0 0 0 350 320 [0-9]* \[[0-9]*\] \[ms\]' "$out" || fail "no delay entry for the final move"
# The wheel gives exactly one event per notch.
[ "$(grep -c '^event 1 6 ' "$out")" = 1 ] || fail "toward-the-user notch count"
# Entries and events agree.
events=$(grep -c '^event ' "$out")
entries=$(grep -c '^entry ' "$out")
expect "stopped $entries"
[ "$events" = "$entries" ] || fail "$events events but $entries entries"
# Entries are keyed by their index and delay entries precede every button after the first.
first=$(grep '^entry ' "$out" | head -1)
case "$first" in "entry 0 "*) ;; *) fail "first key not 0: $first";; esac
echo PASS
cat "$out"
