#!/usr/bin/env bash
# idle_memory_wine.sh BINDIR: the idle private memory (RssAnon) of the
# monitor under wine, set against idle_baseline.exe, a program that holds the
# same system pieces (COM, windows, tray icon, GDI+, Core Audio, a blocked
# thread) and nothing of the monitor's own. Under wine every thread's stack
# is resident in full (about 1 MB) and wine's own Unix-side heap counts as
# private too, so the difference to the baseline, not the total, estimates
# what the monitor adds on Windows.
# Needs DISPLAY and WINEPREFIX (scripts/e2e-env start DIR; . DIR/env).
set -u
bin=${1:?bin folder}
cd "$bin" || exit 1
pid_of() {
  for p in $(pgrep -x "${1:0:15}"); do  # names are cut to 15 characters
    tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" && echo "$p"
  done
}
# prints "RSSANON_KB THREADS STACKS_KB UNIXHEAP_KB" of a process
measure() {
  local pid=$1
  local anon threads
  anon=$(awk '/^RssAnon/ {print $2}' "/proc/$pid/status")
  threads=$(ls "/proc/$pid/task" | wc -l)
  # Thread stacks: wine reserves 3 MB regions and about 1 MB of each is resident.
  awk -v a="$anon" -v t="$threads" '
    /^[0-9a-f]+-[0-9a-f]+ / { name = $6 }
    /^Size:/ { size = $2 }
    /^Anonymous:/ { if (name == "" && size > 2048 && size <= 4096 && $2 >= 900) stacks += $2;
                    if (name == "[heap]") heap += $2 }
    END { print a, t, stacks + 0, heap + 0 }' "/proc/$pid/smaps"
}
declare -A own  # EXE -> kB private without thread stacks and the Unix heap
declare -A all  # EXE -> kB private
report() {  # report LABEL EXE
  local pid anon threads stacks heap
  sleep 4
  pid=$(pid_of "$2")
  [ -n "$pid" ] || { echo "$1: not running"; return 1; }
  read -r anon threads stacks heap < <(measure "$pid")
  printf '%-34s %6d kB private, %d threads (%d kB of stacks), wine Unix heap %d kB, rest %d kB\n' \
    "$1" "$anon" "$threads" "$stacks" "$heap" $(( anon - stacks - heap ))
  all[$2]=$anon
  own[$2]=$(( anon - stacks - heap ))
}
stop_monitor() { wine vxwin.exe post TVXMonMain 273 1003 0 >/dev/null 2>&1; wine vxwin.exe gone TVXMonMain 10000 >/dev/null 2>&1; }
trap stop_monitor EXIT

wine idle_baseline.exe 30 >/dev/null 2>&1 &
report "system baseline (idle_baseline.exe)" idle_baseline.exe
wine vxwin.exe post TVXIdleBaseline 16 >/dev/null 2>&1

wine VXMon.exe >/dev/null 2>&1 &
wine vxwin.exe wait TVXMonMain 30000 >/dev/null 2>&1
report "VXMon.exe, no mouse" VXMon.exe
stop_monitor

wine VXMonE2E.exe >/dev/null 2>&1 &
wine vmouse.exe wait 20000 >/dev/null 2>&1 || echo "the monitor did not open the virtual mouse"
report "VXMonE2E.exe, virtual mouse read" VXMonE2E.exe
stop_monitor

base=idle_baseline.exe
for exe in VXMon.exe VXMonE2E.exe; do
  [ -n "${all[$exe]:-}" ] && [ -n "${all[$base]:-}" ] || continue
  echo "$exe over the baseline: $(( all[$exe] - all[$base] )) kB in all," \
    "$(( own[$exe] - own[$base] )) kB without thread stacks and the Unix heap"
done
