#!/usr/bin/env bash
# vxprofile lang: the set's listing, look-ups and a malformed file.
set -u
vx=${1:?vxprofile}; corpus=${2:?corpus folder}; shipped=${3:-}
fail=0
check() {  # name expected actual
  if [ "$2" != "$3" ]; then echo "FAIL $1: expected [$2] got [$3]"; fail=1; fi
}
check "list" $'0\tCH\t145\n1\tUS\t79' "$("$vx" lang list --file "$corpus/empty.local")"
check "list with file" $'0\t0804\t2\n1\tUS\t0\n2\tCH\t145\n3\tUS\t79' "$("$vx" lang list --file "$corpus/small.local")"
check "lookup CH" "  右键" "$("$vx" lang lookup --lang CH "Mouse Right Click")"
check "lookup US" "Recording..." "$("$vx" lang lookup --lang us "Recording...")"
check "lookup en" "Exit" "$("$vx" lang lookup --lang en "Exit")"
check "file language first" "退出" "$("$vx" lang lookup --file "$corpus/small.local" --lang 0804 "Exit")"
check "empty translation" "About" "$("$vx" lang lookup --file "$corpus/small.local" --lang 0804 "About")"
out=$("$vx" lang list --file "$corpus/truncated.local" 2>/tmp/vx_lang_err.$$)
check "truncated keeps what was read" $'0\tA\t1\n1\tCH\t145\n2\tUS\t79' "$out"
check "one warning line" "1" "$(wc -l </tmp/vx_lang_err.$$ | tr -d ' ')"
rm -f /tmp/vx_lang_err.$$
"$vx" lang list --file /nonexistent/kw.local >/dev/null 2>&1
check "missing file fails" "2" "$?"
"$vx" lang lookup --lang CH >/dev/null 2>&1
check "lookup without text fails" "2" "$?"
if [ -n "$shipped" ]; then
  check "shipped kw.local" $'0\t0409\t105\n1\t0804\t171\n2\t0404\t171\n3\tCH\t145\n4\tUS\t79' \
    "$("$vx" lang list --file "$shipped")"
  check "shipped Traditional Chinese" "錄製中..." "$("$vx" lang lookup --file "$shipped" --lang 0404 "Recording...")"
fi
exit $fail
