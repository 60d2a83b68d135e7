#!/usr/bin/env bash
# Screenshots of the About window and the recording overlay in the wine
# virtual desktop, checked against their layout:
#   screenshots.sh UiShowcase.exe OUTDIR
# Writes OUTDIR/about_overlay.png and OUTDIR/dot-N.png.
set -u
exe=${1:?UiShowcase.exe}; out=${2:?folder}
mkdir -p "$out"
rm -f "$out"/*.png "$out/showcase.log"
fail=0
check() {  # check DESCRIPTION CONDITION...
  local what=$1; shift
  if "$@"; then echo "ok   $what"; else echo "FAIL $what"; fail=1; fi
}
. "$(dirname "$(realpath "$0")")/e2e_lib.sh"

wine "$exe" 40 >"$out/showcase.log" 2>&1 &
pid=$!
for _ in $(seq 300); do grep -q '^ready' "$out/showcase.log" 2>/dev/null && break; sleep 0.2; done
if ! grep -q '^ready' "$out/showcase.log"; then
  echo "FAIL the showcase did not come up"; cat "$out/showcase.log"; kill $pid 2>/dev/null; exit 1
fi
sleep 1.5
import -window root "$out/about_overlay.png"
read -r _ ax ay aw ah < <(grep '^about' "$out/showcase.log" | tr -d '\r')
read -r _ ox oy ow oh < <(grep '^overlay' "$out/showcase.log" | tr -d '\r')
read -r sw sh < <(identify -format '%w %h' "$out/about_overlay.png")
echo "screen ${sw}x${sh}; about $ax,$ay ${aw}x${ah}; overlay $ox,$oy ${ow}x${oh}"

check "About window is 504 x 400" test "$aw" = 504 -a "$ah" = 400
check "About window centred horizontally" test "$ax" = $(( (sw - 504) / 2 ))
check "About window centred vertically in the work area" test $(( ay * 2 + 400 )) -le "$sh" -a $(( ay * 2 + 400 )) -ge $(( sh - 80 ))
check "overlay is 372 x 100" test "$ow" = 372 -a "$oh" = 100
check "overlay at the bottom centre" test "$ox" = $(( (sw - 372) / 2 )) -a "$oy" = $(( sh - 150 ))

# The About window: dark background, light labels, white web text, a grey OK button.
read -r r g b < <(mean "$out/about_overlay.png" "40x20+$((ax + 10))+$((ay + 360))")
check "About background is dark ($r $g $b)" test "$r" -lt 80 -a "$g" -lt 80 -a "$b" -lt 80
read -r r g b < <(mean "$out/about_overlay.png" "60x12+$((ax + 216))+$((ay + 332))")
check "OK button in its normal picture ($r $g $b)" test "$r" -gt 40 -a "$r" -lt 140 -a $(( r - b )) -lt 30
white=$(light_pixels "$out/about_overlay.png" "301x26+$((ax + 61))+$((ay + 223))" 90)
check "web address drawn in white ($white px)" test "$white" -gt 40
light=$(light_pixels "$out/about_overlay.png" "399x26+$((ax + 67))+$((ay + 116))")
check "first label drawn ($light px)" test "$light" -gt 60

# The overlay: the frame's stroke on its left edge, the memo's text.
read -r r g b < <(mean "$out/about_overlay.png" "1x40+$((ox + 5))+$((oy + 30))")
check "overlay frame stroke ($r $g $b)" test "$r" -gt 120 -a "$g" -gt 130 -a "$b" -gt 130
memo=$(light_pixels "$out/about_overlay.png" "233x60+$((ox + 134))+$((oy + 5))")
check "memo lines drawn ($memo px)" test "$memo" -gt 60

# The blinking dot: its colour must change between captures.
read -r lo hi < <(dot_red_range "$ox" "$oy" "$out/dot")
check "the dot blinks (red between $lo and $hi)" test $(( hi - lo )) -gt 40

kill $pid 2>/dev/null
wait $pid 2>/dev/null
exit $fail
