#!/usr/bin/env bash
# verify_manifests.sh PACKAGE_DIR: every windowed PE file of the package (the
# installer, the programs inside it, the uninstaller included, and those in
# the portable zip) must carry an application manifest that asks for common
# controls 6, runs asInvoker, names the supported systems and declares its
# DPI awareness. Prints one line a windowed file; exits 1 naming each that fails.
set -uo pipefail
dir=${1:?package folder}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
shopt -s nullglob
setups=("$dir"/VXMon-*-setup.exe); zips=("$dir"/VXMon-*-portable.zip)
[ ${#setups[@]} = 1 ] && [ ${#zips[@]} = 1 ] ||
  { echo "manifests: $dir must hold one installer and one zip" >&2; exit 2; }
7z x -y -o"$tmp/setup" "${setups[0]}" >/dev/null && 7z x -y -o"$tmp/zip" "${zips[0]}" >/dev/null ||
  { echo "manifests: 7z could not extract the package" >&2; exit 2; }
objdump=$(command -v x86_64-w64-mingw32-objdump || command -v objdump)

bad=0 windowed=0
check() {  # check FILE LABEL
  local header
  header=$("$objdump" -p "$1" </dev/null 2>/dev/null)
  grep -q '^Subsystem.*(Windows GUI)' <<<"$header" || return 0
  windowed=$((windowed + 1))
  # Type 24, the manifest Windows reads at process creation (ID 1).
  local m missing=""
  m=$(7z -tPE x -so "$1" .rsrc/MANIFEST/1 </dev/null 2>/dev/null | tr -d '\r\n')
  grep -q 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' <<<"$m" || missing+=" common-controls-6"
  grep -q 'requestedExecutionLevel level="asInvoker"' <<<"$m" || missing+=" asInvoker"
  grep -q '<supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"/>' <<<"$m" || missing+=" supportedOS"
  grep -q '<dpiAware[^>]*>true' <<<"$m" || missing+=" dpiAware"
  if [ -z "$m" ]; then
    echo "NO MANIFEST  $2"; bad=1
  elif [ -n "$missing" ]; then
    echo "INCOMPLETE   $2:$missing"; bad=1
  else
    echo "manifest     $2"
  fi
}
check "${setups[0]}" "$(basename "${setups[0]}")"
pes=$(cd "$tmp" && find setup zip -type f -iname '*.exe' | sort)
while IFS= read -r f; do [ -z "$f" ] || check "$tmp/$f" "$f"; done <<<"$pes"
# The monitor and the language designer are windowed: a check that found
# neither proves nothing.
[ "$windowed" -ge 5 ] || { echo "manifests: only $windowed windowed programs found" >&2; bad=1; }
[ $bad = 0 ] || { echo "manifests: a windowed program lacks its application manifest" >&2; exit 1; }
echo "manifests: every windowed program carries its application manifest"
