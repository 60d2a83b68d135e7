#!/usr/bin/env bash
# kwHook.dll is taken from the executable's folder only: a copy planted in
# the working folder (which the default search order would find) is ignored.
#   load_location.sh PROBE.exe kwHook.dll WORKDIR
set -u
probe=$1 dll=$2 work=$3
run="$(cd "$(dirname "$0")/../../cmake" && pwd)/wine-run"
fail() { echo "FAIL: $*"; exit 1; }
rm -rf "$work"
mkdir -p "$work/exe" "$work/cwd"
cp "$probe" "$work/exe/probe.exe"
cp "$dll" "$work/cwd/kwHook.dll"

out=$(cd "$work/cwd" && "$run" "$work/exe/probe.exe" search | tr -d '\r')
echo "planted, default search: $out"
[ "$out" = "default_search=1" ] || fail "the planted library should be reachable by the default search"

out=$(cd "$work/cwd" && "$run" "$work/exe/probe.exe" load | tr -d '\r')
echo "planted only: $out"
[ "$out" = "loaded=0 boxes=1" ] || fail "a library in the working folder was used"

cp "$dll" "$work/exe/kwHook.dll"
rm "$work/cwd/kwHook.dll"
out=$(cd "$work/cwd" && "$run" "$work/exe/probe.exe" load | tr -d '\r')
echo "beside the executable: $out"
[ "$out" = "loaded=1 boxes=0" ] || fail "the library beside the executable was not loaded"
echo PASS
