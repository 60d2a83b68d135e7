#!/usr/bin/env bash
# vxprofile over an empty store: a first init writes the group and global
# records and the profile folders; a second one changes no byte. Also the
# export/import round trip and the error exits.
#   vxprofile_store_test.sh unix|wine PROGRAM [RUNNER...]
set -u
mode=$1
shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
store="$work/store"
mkdir -p "$store"
arg_path() {  # the path as the program sees it
  if [ "$mode" = wine ]; then echo "Z:${1//\//\\}"; else echo "$1"; fi
}
vx() { "$@" 2>"$work/err"; }
fail() { echo "FAIL: $*"; exit 1; }
prog=("$@")
S=$(arg_path "$store")

out=$(vx "${prog[@]}" --store "$S" init) || fail "first init: $(cat "$work/err")"
echo "$out"
reg="$store/registry/HKEY_CURRENT_USER/software/Vantorgmmouse"
[ "$(stat -c %s "$reg/QZ3ProfileSettingGroup.pfd=REG_BINARY")" = 30964 ] || fail "group value size"
[ "$(stat -c %s "$reg/QZ3PROFILE.pfd=REG_BINARY")" = 30954 ] || fail "global value size"
for i in 1 2 3 4 5; do
  [ -d "$store/Documents/Gaming Mouse Vantor/QZ3Profile${i}_Macros" ] || fail "macro folder $i"
done
echo "$out" | grep -q "QZ3ProfileSettingGroup.pfd *default saved *30964 bytes" || fail "first report"

snapshot() { (cd "$store" && find . -type f -exec md5sum {} + | sort && find . | sort); }
before=$(snapshot)
out=$(vx "${prog[@]}" --store "$S" init) || fail "second init"
echo "$out" | grep -q "QZ3ProfileSettingGroup.pfd *stored *30964 bytes" || fail "second report (group)"
echo "$out" | grep -q "QZ3PROFILE.pfd *stored *30954 bytes" || fail "second report (global)"
[ "$before" = "$(snapshot)" ] || fail "second init changed the store"

vx "${prog[@]}" --store "$S" show --slot 0 | grep -q '"User Recorded": 7 actions' || fail "show"
[ "$before" = "$(snapshot)" ] || fail "show changed the store"

G=$(arg_path "$work/group.bin")
vx "${prog[@]}" --store "$S" export QZ3ProfileSettingGroup.pfd "$G" >/dev/null || fail "export"
cmp "$work/group.bin" "$reg/QZ3ProfileSettingGroup.pfd=REG_BINARY" || fail "exported bytes"
vx "${prog[@]}" --store "$S" import QZ3Profile2.pfd "$G" >/dev/null && fail "import of a wrong-size file"
[ -e "$reg/QZ3Profile2.pfd=REG_BINARY" ] && fail "failed import wrote a value"
vx "${prog[@]}" --store "$S" import QZ3ProfileSettingGroup.pfd "$G" >/dev/null || fail "import: $(cat "$work/err")"

for args in "bogus" "export" "export Missing.pfd $(arg_path "$work/m.bin")" "import X.pfd $(arg_path "$work/none")" \
            "show --slot 9"; do
  # shellcheck disable=SC2086
  vx "${prog[@]}" --store "$S" $args >/dev/null
  rc=$?
  [ $rc = 2 ] || fail "'$args' exited with $rc"
  [ "$(wc -l <"$work/err")" = 1 ] || fail "'$args' printed $(wc -l <"$work/err") error lines"
done
[ -e "$work/m.bin" ] && fail "failed export wrote a file"
echo "vxprofile store test passed"
