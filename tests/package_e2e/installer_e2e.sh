#!/usr/bin/env bash
# installer_e2e.sh CASE BINDIR SETUP SRCDIR MAKENSIS OUTDIR: the built installer
# under wine, as a normal user would meet it. Runs inside the e2e environment.
#   lifecycle             silent install (signed files, when VX_E2E_SIGNING_CA
#                         names the root), Run value, uninstall entry, start from
#                         the Run command line, upgrade over the running monitor
#                         and over one run as administrator (integrity fake),
#                         the user's Startup choice kept, uninstall through the
#                         entry's command line keeping the user's data byte for byte
#   build_folder_monitor  a monitor running from the build folder while
#                         installing: one monitor afterwards, the installed one
#   hung_uninstall        uninstall while the monitor ignores the exit request;
#                         setup and uninstall over one that cannot be stopped
#   first_run_language    first run under English, 0804 and 0404 locales
set -u
case_name=${1:?case}; bin=${2:?bin}; setup=${3:?setup}; src=${4:?srcdir}; makensis=${5:?makensis}
out=$(realpath -m "${6:?outdir}")
mkdir -p "$out"
files=$(dirname "$(realpath "$setup")")/files  # the shipped files the package was built from
cd "$bin" || exit 1
. "$(dirname "$(realpath "$0")")/../e2e_recording/e2e_lib.sh"
fail() { echo "FAIL [$case_name]: $*" >&2; uninstall_quietly; cleanup; exit 1; }
note() { echo "[$case_name] $*"; }

key='HKCU\software\Vantorgmmouse'
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\VXMon'
approved_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\StartupApproved\Run'
winvar() { wine cmd /c echo "%$1%" 2>/dev/null | tr -d '\r'; }
install_dir=$(winepath -u "$(winvar LOCALAPPDATA)\\Programs\\VXMon" 2>/dev/null)
setup_log="$(winepath -u "$(winvar TEMP)" 2>/dev/null)/VXMon-setup.log"
documents=$(winepath -u "$(winvar USERPROFILE)\\Documents" 2>/dev/null)
ms_since() { echo $(( ($(date +%s%N) - $1) / 1000000 )); }

reg_value() {  # reg_value KEY NAME: the data of one value, empty when missing
  wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | awk -v n="$2" '$1 == n { $1 = ""; $2 = ""; sub(/^ +/, ""); print }'
}
# Runs a command line the way Windows does: the quoted program, then the rest.
run_command_line() {  # run_command_line LINE
  local exe=${1#\"}
  exe=${exe%%\"*}
  # shellcheck disable=SC2086
  wine "$exe" ${1:$(( ${#exe} + 2 ))}
}
# Uninstalls silently with the uninstall entry's QuietUninstallString, as a
# package manager does; returns its exit code, or 1 when the program folder
# is still there after LIMIT_SECONDS.
uninstall() {  # uninstall LIMIT_SECONDS
  local line rc
  line=$(reg_value "$uninstall_key" QuietUninstallString)
  if [ -n "$line" ]; then
    run_command_line "$line" >/dev/null 2>&1; rc=$?
  else
    [ -f "$install_dir/Uninstall.exe" ] || return 1
    wine "$install_dir/Uninstall.exe" /S >/dev/null 2>&1; rc=$?
  fi
  [ "$rc" = 0 ] || return "$rc"
  for _ in $(seq $(( $1 * 10 ))); do [ -e "$install_dir" ] || return 0; sleep 0.1; done
  return 1
}
uninstall_quietly() { [ -f "$install_dir/Uninstall.exe" ] && uninstall 60; true; }
install() {  # install SETUP [ARGS]: silent, as the current user
  local exe=$1; shift
  wine "$exe" /S "$@" >/dev/null 2>&1
}
monitor_processes() { pgrep -af 'VXMon\.exe' | grep -vi 'setup\|Uninstall\|Un_A' ; }
# Everything the user keeps: the registry key and the documents folder.
user_data() {
  wine reg query "$key" /s 2>/dev/null | tr -d '\r'
  (cd "$documents/Gaming Mouse Vantor" 2>/dev/null && find . -type f -print0 | sort -z | xargs -0 -r sha256sum)
}
# A package of the next version, built from the same files.
next_setup() {
  local v next
  v=$(reg_value "$uninstall_key" DisplayVersion)
  IFS=. read -r a b c <<<"$v"
  next="$a.$b.$((c + 1))"
  "$makensis" -V1 -DVERSION="$next" -DBINDIR="$files" -DSRCDIR="$src" -DOUTFILE="$out/VXMon-$next-setup.exe" \
    "$src/packaging/VXMon.nsi" >/dev/null || fail "makensis could not build version $next"
  echo "$out/VXMon-$next-setup.exe"
}

# Right-clicks the monitor's tray icon and captures the screen with the menu
# open.
screenshot_tray_menu() {  # screenshot_tray_menu FILE
  local icon ix iy sw sh
  icon=$(tray_icon "$1") || return 1
  read -r ix iy sw sh <<<"$icon"
  xdotool mousemove "$ix" "$iy" click 3 mousemove $((sw - 500)) $((sh - 340))
  win wait '#32768' 5000 || return 1
  sleep 0.4
  import -window root "$1"
  # Closed by a click on the empty desktop.
  xdotool mousemove 500 300 click 1
  win gone '#32768' 3000 || xdotool key Escape
  return 0
}

cleanup
uninstall_quietly
rm -f "$setup_log"
case "$case_name" in
lifecycle)
  wine reg delete "$key" /f >/dev/null 2>&1
  size=$(stat -c %s "$setup")
  start=$(date +%s%N)
  install "$setup" || fail "the silent install failed"
  took_install=$(ms_since "$start")
  for f in VXMon.exe kwHook.dll LangDesigner.exe vxprofile.exe kw.local README.txt LICENSE.txt Uninstall.exe; do
    [ -f "$install_dir/$f" ] || fail "$f is not installed in $install_dir"
  done
  cmp -s "$install_dir/VXMon.exe" "$files/VXMon.exe" || fail "the installed VXMon.exe is not the shipped one"
  # A signed package (signed_package.sh names its root): what setup wrote,
  # the uninstaller included, carries the signature.
  if [ -n "${VX_E2E_SIGNING_CA:-}" ]; then
    for f in VXMon.exe kwHook.dll LangDesigner.exe vxprofile.exe Uninstall.exe; do
      osslsigncode verify -CAfile "$VX_E2E_SIGNING_CA" -in "$install_dir/$f" >/dev/null 2>&1 ||
        fail "the installed $f is not signed"
    done
    note "the installed programs and Uninstall.exe are signed"
  fi
  run=$(reg_value "$run_key" VXMon)
  [ "$run" = "\"$(winvar LOCALAPPDATA)\\Programs\\VXMon\\VXMon.exe\"" ] || fail "Run value is [$run]"
  [ "$(reg_value "$uninstall_key" DisplayName)" = "Vantor Gaming Mouse Driver" ] || fail "no uninstall entry"
  for v in DisplayVersion Publisher DisplayIcon EstimatedSize; do
    [ -n "$(reg_value "$uninstall_key" $v)" ] || fail "the uninstall entry has no $v"
  done
  # In place (_?=), so that the caller gets the uninstall's own exit code.
  win_dir="$(winvar LOCALAPPDATA)\Programs\VXMon"
  [ "$(reg_value "$uninstall_key" UninstallString)" = "\"$win_dir\Uninstall.exe\" _?=$win_dir" ] ||
    fail "UninstallString is [$(reg_value "$uninstall_key" UninstallString)]"
  [ "$(reg_value "$uninstall_key" QuietUninstallString)" = "\"$win_dir\Uninstall.exe\" /S _?=$win_dir" ] ||
    fail "QuietUninstallString is [$(reg_value "$uninstall_key" QuietUninstallString)]"
  win wait TVXMonMain 30000 || fail "the installer did not start the monitor"
  note "installed $(reg_value "$uninstall_key" DisplayVersion) in ${took_install} ms; Run value $run; monitor started"

  # Logon: the monitor started from the Run value's command line.
  out_exit=$(wine "$install_dir/vxprofile.exe" exit 2>&1 | tr -d '\r')
  [ "$out_exit" = "monitor ended" ] || fail "vxprofile exit said [$out_exit]"
  [ "$(win count TVXMonMain)" = 0 ] || fail "vxprofile exit left a monitor window"
  cmdline=${run#\"}; cmdline=${cmdline%\"}
  wine "$cmdline" >/dev/null 2>&1 &
  win wait TVXMonMain 30000 || fail "the monitor started from the Run command line has no window"
  note "vxprofile exit ended the monitor; the Run command line started it again"

  # The user's data before the upgrade: stored profiles, one more value, a macro file.
  wine reg add "$key" /v ProfileID /t REG_DWORD /d 3 /f >/dev/null 2>&1
  mkdir -p "$documents/Gaming Mouse Vantor/QZ3Profile1_Macros"
  head -c 3000 /dev/urandom >"$documents/Gaming Mouse Vantor/QZ3Profile1_Macros/e2e.macro"
  before=$(user_data)
  [ -n "$(wine reg query "$key" /v QZ3PROFILE.pfd 2>/dev/null)" ] || fail "the first run stored no profiles"
  # The user turned autostart off in Windows' Startup settings.
  approved=03000000A1B2C3D4E5F60718
  wine reg add "$approved_key" /v VXMon /t REG_BINARY /d $approved /f >/dev/null 2>&1 || fail "reg add failed"

  # Upgrade over the running monitor; a changed installed file is replaced.
  : >"$install_dir/kw.local"
  next=$(next_setup)
  start=$(date +%s%N)
  install "$next" || fail "the upgrade failed"
  took_upgrade=$(ms_since "$start")
  win wait TVXMonMain 30000 || fail "no monitor after the upgrade"
  sleep 1
  [ "$(win count TVXMonMain)" = 1 ] || fail "$(win count TVXMonMain) monitors after the upgrade"
  [ "$(monitor_processes | wc -l)" = 1 ] || fail "monitor processes after the upgrade: $(monitor_processes)"
  cmp -s "$install_dir/kw.local" "$bin/kw.local" || fail "the upgrade did not replace kw.local"
  entries=$(wine reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null |
    tr -d '\r' | grep -c 'Vantor Gaming Mouse Driver')
  [ "$entries" = 1 ] || fail "$entries uninstall entries after the upgrade"
  grep -q 'the monitor exited' "$setup_log" || fail "the upgrade did not end the monitor: $(cat "$setup_log")"
  note "upgraded to $(reg_value "$uninstall_key" DisplayVersion) over the running monitor in ${took_upgrade} ms: one monitor, one uninstall entry"

  # A monitor run as administrator (the integrity fake applies Windows'
  # rules for it): vxprofile exit and the upgrade end it by WM_CLOSE, and
  # setup waits for its process.
  elevated() {
    wine "$install_dir/vxprofile.exe" exit >/dev/null 2>&1 || fail "vxprofile exit failed"
    cp "$bin/VXMonE2E.exe" "$install_dir/VXMon.exe"
    VX_E2E_INTEGRITY=0x3000 wine "$install_dir/VXMon.exe" >/dev/null 2>&1 &
    win wait TVXMonMain 30000 || fail "the elevated monitor did not start"
  }
  elevated
  out_exit=$(wine "$install_dir/vxprofile.exe" exit --wait 20 2>&1 | tr -d '\r')
  [ "$out_exit" = "monitor ended" ] || fail "vxprofile exit over the elevated monitor said [$out_exit]"
  elevated
  next=$(next_setup)
  install "$next"; rc=$?
  [ "$rc" = 0 ] || fail "the upgrade over the elevated monitor exited with $rc: $(tail -3 "$setup_log")"
  v=$(reg_value "$uninstall_key" DisplayVersion)
  grep -q "^setup $v: the monitor exited" "$setup_log" || fail "setup $v did not wait for the elevated monitor: $(tail -3 "$setup_log")"
  cmp -s "$install_dir/VXMon.exe" "$files/VXMon.exe" || fail "the upgrade did not replace the elevated monitor's program"
  win wait TVXMonMain 30000 || fail "no monitor after the upgrade over the elevated one"
  [ "$(reg_value "$approved_key" VXMon)" = "$approved" ] ||
    fail "the upgrades changed the Startup choice to [$(reg_value "$approved_key" VXMon)]"
  note "vxprofile exit and the upgrade to $v ended an elevated monitor; the Startup choice is kept"

  start=$(date +%s%N)
  uninstall 60; rc=$?
  [ "$rc" = 0 ] || fail "the uninstall exited with $rc or did not remove $install_dir within 60 s"
  took_uninstall=$(ms_since "$start")
  win gone TVXMonMain 10000 || fail "a monitor still runs after the uninstall"
  [ -z "$(reg_value "$run_key" VXMon)" ] || fail "the Run value is still there"
  [ -z "$(reg_value "$approved_key" VXMon)" ] || fail "the Startup choice is still there"
  wine reg query "$uninstall_key" >/dev/null 2>&1 && fail "the uninstall entry is still there"
  [ "$(user_data)" = "$before" ] || fail "the uninstall changed the user's data"
  note "uninstalled in ${took_uninstall} ms: no program file, Run value, uninstall entry or monitor; user data unchanged"
  # Floor: a trivial program's start and end under the same wine.
  start=$(date +%s%N)
  win count TVXMonMain >/dev/null
  floor=$(ms_since "$start")
  note "figures: installer $size bytes; install ${took_install} ms; upgrade ${took_upgrade} ms; uninstall ${took_uninstall} ms; trivial wine program ${floor} ms"
  ;;
build_folder_monitor)
  wine "$bin/VXMon.exe" >/dev/null 2>&1 &
  win wait TVXMonMain 30000 || fail "the build folder's monitor did not start"
  install "$setup" || fail "the silent install failed"
  win wait TVXMonMain 30000 || fail "no monitor after the install"
  sleep 1
  [ "$(win count TVXMonMain)" = 1 ] || fail "$(win count TVXMonMain) monitors after the install"
  procs=$(monitor_processes)
  [ "$(echo "$procs" | wc -l)" = 1 ] || fail "monitor processes: $procs"
  echo "$procs" | grep -q 'Programs.VXMon.VXMon\.exe' || fail "the running monitor is not the installed one: $procs"
  note "the build folder's monitor was ended; the installed one runs alone"
  uninstall 60 || fail "the uninstall failed"
  ;;
hung_uninstall)
  install "$setup" /NOSTART || fail "the silent install failed"
  [ "$(win count TVXMonMain)" = 0 ] || fail "/NOSTART started the monitor"
  cp "$bin/hungmonitor.exe" "$install_dir/VXMon.exe"
  wine "$install_dir/VXMon.exe" >/dev/null 2>&1 &
  win wait TVXMonMain 20000 || fail "the hung monitor did not start"
  win post TVXMonMain 16 && sleep 1
  [ "$(win count TVXMonMain)" = 1 ] || fail "the test monitor did not ignore WM_CLOSE"
  start=$(date +%s%N)
  uninstall 60 || fail "the uninstaller did not finish within 60 s"
  took=$(ms_since "$start")
  win gone TVXMonMain 5000 || fail "the hung monitor still runs"
  grep -q 'did not exit within 10000 ms and was stopped' "$setup_log" ||
    fail "the uninstaller did not say what it did: $(cat "$setup_log")"
  note "uninstall with a hung monitor finished in ${took} ms: $(grep 'was stopped' "$setup_log" | tr -d '\r')"

  # A monitor that cannot be stopped either (as one running elevated and
  # hung): setup and the uninstall change nothing, say so and exit with 2,
  # and a second try works.
  install "$setup" /NOSTART || fail "the second install failed"
  cp "$bin/hungmonitor.exe" "$install_dir/VXMon.exe"
  wine "$install_dir/VXMon.exe" locked >/dev/null 2>&1 &
  win wait TVXMonMain 20000 || fail "the locked monitor did not start"
  wine reg query "$uninstall_key" >/dev/null 2>&1 || fail "no uninstall entry before the uninstall"
  entry=$(wine reg query "$uninstall_key" /s 2>/dev/null | tr -d '\r')
  install "$setup"; rc=$?
  [ "$rc" = 2 ] || fail "setup over the locked monitor exited with $rc, not 2"
  cmp -s "$install_dir/VXMon.exe" "$bin/hungmonitor.exe" || fail "setup replaced the locked monitor's program"
  [ "$(wine reg query "$uninstall_key" /s 2>/dev/null | tr -d '\r')" = "$entry" ] || fail "setup changed the uninstall entry"
  tr -d '\r' <"$setup_log" | grep -q '^setup .*could not be stopped' || fail "setup did not log why: $(cat "$setup_log")"
  [ "$(win count TVXMonMain)" = 1 ] || fail "setup started a monitor beside the locked one"
  # The entry's own command line, as Settings or a package manager runs it.
  run_command_line "$(reg_value "$uninstall_key" QuietUninstallString)" >/dev/null 2>&1; rc=$?
  [ "$rc" = 2 ] || fail "the uninstall exited with $rc, not 2, although the monitor could not be ended"
  for f in VXMon.exe kwHook.dll vxprofile.exe kw.local Uninstall.exe; do
    [ -f "$install_dir/$f" ] || fail "the failed uninstall removed $f"
  done
  [ -n "$(reg_value "$run_key" VXMon)" ] || fail "the failed uninstall removed the Run value"
  wine reg query "$uninstall_key" >/dev/null 2>&1 || fail "the failed uninstall removed the uninstall entry"
  said=$(tr -d '\r' <"$setup_log" | grep 'could not be ended; nothing was removed')
  [ -n "$said" ] || fail "the setup log does not say why: $(cat "$setup_log")"
  win post TVXMonMain 32769 0 0 || fail "could not end the locked monitor"
  win gone TVXMonMain 10000 || fail "the locked monitor did not end"
  uninstall 60 || fail "the second uninstall did not finish"
  wine reg query "$uninstall_key" >/dev/null 2>&1 && fail "the second uninstall left the entry"
  note "monitor that cannot be ended: setup and uninstall exit with 2, nothing changed ($said); the second try uninstalled"
  ;;
first_run_language)
  install "$setup" /NOSTART || fail "the silent install failed"
  for lc in en_US.UTF-8:0:Exit zh_CN.UTF-8:1:退出软件 zh_TW.UTF-8:2:結束軟體; do
    IFS=: read -r locale want word <<<"$lc"
    wine reg delete "$key" /f >/dev/null 2>&1
    LC_ALL=$locale LANG=$locale wine "$install_dir/VXMon.exe" >/dev/null 2>&1 &
    win wait TVXMonMain 30000 || fail "the monitor did not start under $locale"
    hex=$(wine reg query "$key" /v QZ3PROFILE.pfd 2>/dev/null | tr -d '\r' | awk '$1 == "QZ3PROFILE.pfd" {print $3}')
    index=$((16#${hex:$((30952 * 2)):2}))
    [ "$index" = "$want" ] || fail "first run under $locale stored language $index, not $want"
    name=$(wine "$install_dir/vxprofile.exe" lang list 2>/dev/null | tr -d '\r' | awk -F'\t' -v i="$index" '$1 == i {print $2}')
    got=$(wine "$install_dir/vxprofile.exe" lang lookup --lang "$name" Exit 2>/dev/null | tr -d '\r')
    [ "$got" = "$word" ] || fail "under $locale the menu's Exit reads [$got], not [$word]"
    screenshot_tray_menu "$out/first-run-${locale%%.*}.png" || fail "no tray menu under $locale"
    wine "$install_dir/vxprofile.exe" exit >/dev/null 2>&1 || fail "vxprofile exit failed"
    note "first run under $locale: language $index ($name), Exit reads $got; menu in $out/first-run-${locale%%.*}.png"
  done
  # Both Chinese menus have four characters a line: missing glyphs would
  # draw the same boxes in both.
  corner() { convert "$out/first-run-$1.png" -gravity SouthEast -crop 200x80+0+0 +repage -depth 8 rgb:- | md5sum; }
  [ "$(corner zh_CN)" != "$(corner zh_TW)" ] || fail "the Simplified and Traditional menus look alike (no CJK glyphs?)"
  uninstall 60 || fail "the uninstall failed"
  ;;
*)
  fail "unknown case"
  ;;
esac
cleanup
exit 0
