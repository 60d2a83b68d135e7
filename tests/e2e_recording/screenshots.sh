#!/usr/bin/env bash
# Screenshots of the About window and the recording overlay in the wine
# virtual desktop, checked against their layout:
#   screenshots.sh UiShowcase.exe OUTDIR [DPI]
# Writes OUTDIR/about_overlay.png, OUTDIR/about.png and OUTDIR/dot-N.png.
# With a DPI (144 for 150 %, 192 for 200 %) the system's scale is set for the
# showcase alone, and both windows must scale with it, shrunk only where the
# screen is too small for them.
set -u
exe=${1:?UiShowcase.exe}; out=${2:?folder}; dpi=${3:-96}
mkdir -p "$out"
rm -f "$out"/*.png "$out/showcase.log"
fail=0
check() {  # check DESCRIPTION CONDITION...
  local what=$1; shift
  if "$@"; then echo "ok   $what"; else echo "FAIL $what"; fail=1; fi
}
. "$(dirname "$(realpath "$0")")/e2e_lib.sh"
cd "$(dirname "$exe")" || exit 1  # vxwin.exe lives beside the showcase

desktop='HKCU\Control Panel\Desktop'
restore_dpi() { wine reg delete "$desktop" /v LogPixels /f >/dev/null 2>&1; }
if [ "$dpi" != 96 ]; then
  wine reg add "$desktop" /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
  trap restore_dpi EXIT
fi
wine "$exe" 40 >"$out/showcase.log" 2>&1 &
pid=$!
for _ in $(seq 300); do grep -q '^ready' "$out/showcase.log" 2>/dev/null && break; sleep 0.2; done
if ! grep -q '^ready' "$out/showcase.log"; then
  echo "FAIL the showcase did not come up"; cat "$out/showcase.log"; kill $pid 2>/dev/null; exit 1
fi
sleep 1.5
import -window root "$out/about_overlay.png"
read -r _ ax ay aw ah < <(grep '^about ' "$out/showcase.log" | tr -d '\r')
read -r _ ox oy ow oh < <(grep '^overlay ' "$out/showcase.log" | tr -d '\r')
read -r _ as < <(grep '^about_scale' "$out/showcase.log" | tr -d '\r')
read -r _ os < <(grep '^overlay_scale' "$out/showcase.log" | tr -d '\r')
read -r sw sh < <(identify -format '%w %h' "$out/about_overlay.png")
echo "screen ${sw}x${sh} at $dpi DPI; about $ax,$ay ${aw}x${ah} (x$as); overlay $ox,$oy ${ow}x${oh} (x$os)"
# Layout pixels to screen pixels: S SCALE N
S() { awk -v s="$1" -v n="$2" 'BEGIN { printf "%d", n * s + 0.5 }'; }
want=$(awk -v d="$dpi" 'BEGIN { printf "%.3f", d / 96 }')

check "About window drawn at the system's scale $want, or as large as fits" \
  awk -v a="$as" -v w="$want" -v sh="$sh" 'BEGIN { exit !(a == w || (a < w && 400 * a >= sh - 80)) }'
check "overlay drawn at the system's scale $want" test "$os" = "$want"
check "About window is 504 x 400 scaled" test "$aw" = "$(S "$as" 504)" -a "$ah" = "$(S "$as" 400)"
check "About window fully on the screen" test "$ax" -ge 0 -a "$ay" -ge 0 -a $(( ax + aw )) -le "$sw" -a $(( ay + ah )) -le "$sh"
check "About window centred horizontally" test "$ax" = $(( (sw - aw) / 2 ))
check "About window centred vertically in the work area" test $(( ay * 2 + ah )) -le "$sh" -a $(( ay * 2 + ah )) -ge $(( sh - 80 ))
check "overlay is 372 x 100 scaled" test "$ow" = "$(S "$os" 372)" -a "$oh" = "$(S "$os" 100)"
check "overlay at the bottom centre" test "$ox" = $(( (sw - ow) / 2 )) -a "$oy" = $(( sh - oh - $(S "$os" 50) ))

# The overlay: the frame's stroke on its left edge, the memo's text.
read -r r g b < <(mean "$out/about_overlay.png" "1x40+$((ox + $(S "$os" 5)))+$((oy + $(S "$os" 30)))")
check "overlay frame stroke ($r $g $b)" test "$r" -gt 120 -a "$g" -gt 130 -a "$b" -gt 130
memo=$(light_pixels "$out/about_overlay.png" "$(S "$os" 233)x$(S "$os" 60)+$((ox + $(S "$os" 134)))+$((oy + $(S "$os" 5)))")
check "memo lines drawn ($memo px)" test "$memo" -gt "$(S "$os" "$(S "$os" 60)")"

# The blinking dot: its colour must change between captures.
read -r lo hi < <(dot_red_range "$ox" "$oy" "$out/dot" "$os")
check "the dot blinks (red between $lo and $hi)" test $(( hi - lo )) -gt 40

# The About window alone (scaled up, the overlay may cover its lower part):
# dark background, light labels, white web text, a grey OK button. Text grows
# with the scale, its light pixels with its area.
win post VXUiShowcase 32768 0 0
win gone TFrmRecord 5000 >/dev/null
sleep 0.5
import -window root "$out/about.png"
read -r r g b < <(mean "$out/about.png" "40x20+$((ax + $(S "$as" 10)))+$((ay + $(S "$as" 360)))")
check "About background is dark ($r $g $b)" test "$r" -lt 80 -a "$g" -lt 80 -a "$b" -lt 80
read -r r g b < <(mean "$out/about.png" "$(S "$as" 60)x$(S "$as" 12)+$((ax + $(S "$as" 216)))+$((ay + $(S "$as" 332)))")
check "OK button in its normal picture ($r $g $b)" test "$r" -gt 40 -a "$r" -lt 140 -a $(( r - b )) -lt 30
white=$(light_pixels "$out/about.png" "$(S "$as" 301)x$(S "$as" 26)+$((ax + $(S "$as" 61)))+$((ay + $(S "$as" 223)))" 90)
check "web address drawn in white ($white px)" test "$white" -gt "$(S "$as" "$(S "$as" 40)")"
light=$(light_pixels "$out/about.png" "$(S "$as" 399)x$(S "$as" 26)+$((ax + $(S "$as" 67)))+$((ay + $(S "$as" 116)))")
check "first label drawn ($light px)" test "$light" -gt "$(S "$as" "$(S "$as" 60)")"

kill $pid 2>/dev/null
wait $pid 2>/dev/null
exit $fail
