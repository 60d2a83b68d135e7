#!/usr/bin/env bash
# verify_signed.sh PACKAGE_DIR CAFILE: every PE file of the package must carry
# a valid Authenticode signature that chains to CAFILE: the installer, every
# .exe and .dll inside it (extracted with 7-Zip, the uninstaller included) and
# the programs in the portable zip. Prints one line a file; exits 1 naming
# each file that fails.
set -uo pipefail
dir=${1:?package folder}; ca=${2:?CA file}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
shopt -s nullglob
setups=("$dir"/VXMon-*-setup.exe); zips=("$dir"/VXMon-*-portable.zip)
[ ${#setups[@]} = 1 ] && [ ${#zips[@]} = 1 ] ||
  { echo "verify: $dir must hold one installer and one zip" >&2; exit 2; }
7z x -y -o"$tmp/setup" "${setups[0]}" >/dev/null && 7z x -y -o"$tmp/zip" "${zips[0]}" >/dev/null ||
  { echo "verify: 7z could not extract the package" >&2; exit 2; }

bad=0
check() {  # check FILE LABEL
  if osslsigncode verify -CAfile "$ca" -in "$1" >"$tmp/out" 2>&1; then
    echo "signed    $2"
  else
    echo "UNSIGNED  $2: $(grep -m1 -iE 'no signature|failed|error' "$tmp/out")"
    bad=1
  fi
}
check "${setups[0]}" "$(basename "${setups[0]}")"
pes=$(cd "$tmp" && find setup zip -type f \( -iname '*.exe' -o -iname '*.dll' \) | sort)
while IFS= read -r f; do [ -z "$f" ] || check "$tmp/$f" "$f"; done <<<"$pes"
# Nothing may pass by not being found.
for want in VXMon.exe kwHook.dll LangDesigner.exe vxprofile.exe Uninstall.exe; do
  grep -q "^setup/.*$want\$" <<<"$pes" || { echo "MISSING   $want in the installer"; bad=1; }
  [ "$want" = Uninstall.exe ] || grep -q "^zip/VXMon/$want\$" <<<"$pes" ||
    { echo "MISSING   $want in the zip"; bad=1; }
done
[ $bad = 0 ] || { echo "verify: the package holds unsigned or badly signed files" >&2; exit 1; }
echo "verify: every PE file of the package is signed"
