# Helpers of the end-to-end scripts (sourced; run in BINDIR inside the e2e
# environment).

win() { wine vxwin.exe "$@" 2>/dev/null | tr -d '\r'; return "${PIPESTATUS[0]}"; }

# Ends a running monitor and configuration double, removes their logs.
cleanup() {
  if win count TVXMonMain | grep -qv '^0$'; then
    win post TVXMonMain 273 1003 0 >/dev/null
    win gone TVXMonMain 10000 >/dev/null
  fi
  if win count TVXCfgMain | grep -qv '^0$'; then
    win post TVXCfgMain 16 >/dev/null
    win gone TVXCfgMain 5000 >/dev/null
  fi
  rm -f VXCfg.exe VXCfg.exe.log VXCfgDouble.exe.log
}
fail() { echo "FAIL: $*" >&2; cleanup; exit 1; }
note() { echo "ok   $*"; }

# waits until the file holds a line matching the pattern (TRIES x 0.1 s)
wait_line() {  # wait_line FILE PATTERN [TRIES]
  local file=$1 pattern=$2 tries=${3:-100}
  for _ in $(seq "$tries"); do
    [ -f "$file" ] && tr -d '\r' <"$file" | grep -qx "$pattern" && return 0
    sleep 0.1
  done
  return 1
}

# mean colour "R G B" of a region of an image
mean() {
  convert "$1" -crop "$2" +repage -resize '1x1!' \
    -format '%[fx:int(255*r+.5)] %[fx:int(255*g+.5)] %[fx:int(255*b+.5)]' info:
}

# light pixels (above 70 %) in a region
light_pixels() {
  convert "$1" -crop "$2" +repage -threshold "${3:-70}%" -format '%[fx:int(mean*w*h)]' info:
}

# "X Y" of the first pixel of a region whose colour passes an awk test on r, g, b
first_pixel() {
  convert "$1" -crop "$2" +repage txt:- |
    sed -n 's/^\([0-9]*\),\([0-9]*\): (\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1 \2 \3 \4 \5/p' |
    awk "{ r = \$3; g = \$4; b = \$5; if ($3) { print \$1, \$2; exit } }"
}

# "LOW HIGH": the least and greatest red of the overlay's dot over up to
# thirty captures, stopping once they differ by more than 40. The dot is
# bright for about a third of each 400 ms cycle; uneven pauses keep the
# captures from locking onto one phase, and a busy machine gets more tries.
dot_red_range() {  # dot_red_range OVERLAY_X OVERLAY_Y PREFIX [SCALE]
  local lo=255 hi=0 r g b i box
  box=$(awk -v s="${4:-1}" -v x="$1" -v y="$2" \
    'BEGIN { d = int(15 * s + 0.5); printf "%dx%d+%d+%d", d, d, x + int(12 * s + 0.5), y + int(23 * s + 0.5) }')
  for i in $(seq 1 30); do
    import -window root -crop "$box" +repage "$3-$i.png"
    read -r r g b < <(mean "$3-$i.png" "${box%%+*}+0+0")
    [ "$r" -lt "$lo" ] && lo=$r
    [ "$r" -gt "$hi" ] && hi=$r
    [ $(( hi - lo )) -gt 40 ] && [ "$i" -ge 4 ] && break
    sleep "0.0$(( (i * 37) % 10 ))"
  done
  echo "$lo $hi"
}

# "X Y SW SH": a point on the monitor's tray icon (the red rim of its drawn
# mouse in the bottom-right corner) and the screen size, from captures saved
# in FILE; fails when no icon shows within about ten seconds.
tray_icon() {  # tray_icon FILE
  local found="" sw sh fx fy
  for _ in $(seq 40); do
    import -window root "$1"
    read -r sw sh < <(identify -format '%w %h' "$1")
    found=$(first_pixel "$1" "300x40+$((sw - 300))+$((sh - 40))" 'r > 180 && g < 80 && b < 80')
    [ -n "$found" ] && break
    sleep 0.25
  done
  [ -n "$found" ] || return 1
  read -r fx fy <<<"$found"
  echo "$((sw - 300 + fx + 2)) $((sh - 40 + fy + 4)) $sw $sh"
}
