#!/usr/bin/env bash
# idle_monitor.sh BINDIR [SECONDS]: starts VXMonE2E.exe with its virtual mouse
# attached, waits until the mouse is read, then counts over SECONDS (10) how
# often each thread of the monitor process was scheduled (context switches)
# and how much CPU time the process used. Needs DISPLAY and WINEPREFIX (e.g.
# from scripts/e2e-env start DIR; . DIR/env).
set -u
bin=${1:?bin folder}; secs=${2:-10}
cd "$bin" || exit 1
wine VXMonE2E.exe >/dev/null 2>&1 &
launcher=$!
wine vmouse.exe wait 20000 >/dev/null 2>&1 || { echo "the monitor did not open the virtual mouse"; exit 1; }
sleep 2  # let start-up settle
pid=""
# The monitor of this wine prefix (others may run beside it).
for p in $(pgrep -x 'VXMonE2E.exe'); do
  tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" && pid=$p
done
[ -n "$pid" ] || { echo "no monitor process found"; exit 1; }

snapshot() {
  for t in /proc/"$pid"/task/*; do
    awk -v t="${t##*/}" '/^(voluntary|nonvoluntary)_ctxt_switches/ {s += $2} END {print t, s}' "$t/status"
  done
}
cpu() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
hz=$(getconf CLK_TCK)
before=$(snapshot); cpu0=$(cpu)
sleep "$secs"
after=$(snapshot); cpu1=$(cpu)

echo "monitor process $pid, $(ls /proc/$pid/task | wc -l) threads, mouse attached, no input, ${secs} s:"
total=0
while read -r tid n1; do
  n0=$(echo "$before" | awk -v t="$tid" '$1 == t {print $2}')
  d=$(( n1 - ${n0:-0} ))
  total=$(( total + d ))
  name=$(cat "/proc/$pid/task/$tid/comm" 2>/dev/null)
  printf '  thread %-8s %-16s %6d wake-ups\n' "$tid" "$name" "$d"
done <<<"$after"
echo "  total $total wake-ups; CPU time $(( (cpu1 - cpu0) * 1000 / hz )) ms"
wine vxwin.exe post TVXMonMain 273 1003 0 >/dev/null 2>&1
wait "$launcher"
