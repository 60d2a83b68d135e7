#!/usr/bin/env bash
# monitor_wine_figures.sh BINDIR [RUNS]: starts VXMonE2E.exe RUNS times (3)
# with nothing stored (first run) and again with its stores in place (later
# runs), and prints for each start the time until its window exists (the
# profiles are loaded by then and the message loop starts), next to the time
# a trivial wine program takes to start and answer; then the time until it
# reads its virtual mouse (the fixed 1500 ms start-up timer and 1500 ms
# arrival debounce included) and its memory while idle.
# Needs DISPLAY and WINEPREFIX (scripts/e2e-env start DIR; . DIR/env).
set -u
bin=${1:?bin folder}; runs=${2:-3}
cd "$bin" || exit 1
now_ms() { date +%s%3N; }
monitor_pid() {
  for p in $(pgrep -x 'VXMonE2E.exe'); do
    tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" && echo "$p"
  done
}
stop_monitor() {
  wine vxwin.exe post TVXMonMain 273 1003 0 >/dev/null 2>&1
  wait "$1" 2>/dev/null
}
trap 'wine vxwin.exe post TVXMonMain 273 1003 0 >/dev/null 2>&1' EXIT
for kind in first later; do
  for i in $(seq "$runs"); do
    [ "$kind" = first ] && wine reg delete 'HKCU\Software\Vantorgmmouse' /f >/dev/null 2>&1
    t0=$(now_ms)
    wine vxwin.exe count TVXMonMain >/dev/null 2>&1
    t1=$(now_ms)
    wine VXMonE2E.exe >/dev/null 2>&1 &
    launcher=$!
    wine vxwin.exe wait TVXMonMain 30000 >/dev/null 2>&1 || { echo "no monitor window"; exit 1; }
    t2=$(now_ms)
    wine vmouse.exe wait 20000 >/dev/null 2>&1 || { echo "the monitor did not open the virtual mouse"; exit 1; }
    t3=$(now_ms)
    echo "$kind run $i: window after $(( t2 - t1 )) ms (a trivial wine program: $(( t1 - t0 )) ms); mouse read after $(( t3 - t1 )) ms"
    if [ "$kind" = later ] && [ "$i" = "$runs" ]; then
      sleep 3
      pid=$(monitor_pid)
      [ -n "$pid" ] && grep -E '^(RssAnon|VmRSS)' "/proc/$pid/status" | sed 's/^/  idle monitor /'
    fi
    stop_monitor "$launcher"
  done
done
