#!/usr/bin/env bash
# LangDesigner.exe saves a "kw.local" beside itself through its window, and
# vxprofile.exe reads it back: the saved language first, the embedded after.
set -eu
designer=${1:?LangDesigner.exe}; reader=${2:?vxprofile.exe}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$designer" "$work/LangDesigner.exe"
cd "$work"
timeout 120 wine ./LangDesigner.exe /selftest 0804
test -s kw.local || { echo "no kw.local written"; exit 1; }
out=$(timeout 120 wine "$reader" lang list --file kw.local | tr -d '\r')
echo "$out"
# The new key has a line in the saved language, beside every other key.
first=$(echo "$out" | head -n1)
case "$first" in
  0$'\t'0804$'\t'*) ;;
  *) echo "unexpected first line: $first"; exit 1 ;;
esac
echo "$out" | grep -q $'^1\tCH\t145$' || { echo "embedded CH missing"; exit 1; }
word=$(timeout 120 wine "$reader" lang lookup --file kw.local --lang 0804 "Self Test Key" | tr -d '\r')
[ "$word" = "自测" ] || { echo "lookup gave: $word"; exit 1; }
echo "ok"
