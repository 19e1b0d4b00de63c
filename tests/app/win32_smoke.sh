#!/usr/bin/env bash
# The Windows window as a person meets it, under Wine on an X server with a
# window manager: start it, examine a known number, check the colour of the
# result, meet the prefix error and the unknown-number dialog, annotate a
# file through the annotation dialog, close it; a loopback SSTP host that
# holds the mutex "sakura" catches the start, known-number, unknown-number
# and exit notifications.
#
#   xvfb-run -a tests/app/win32_smoke.sh BUILD_DIR [SCREENSHOT.png]
#
# BUILD_DIR holds nomvex.exe, Nomvex.dat and win32_helper.exe; WINEPREFIX
# names the Wine prefix to use.  With SCREENSHOT, the window and its frame
# are saved there after the examination (ImageMagick's import).
set -euo pipefail
build=$(realpath "$1")
shot=${2:-}
: "${WINEPREFIX:?set WINEPREFIX}"
export WINEDEBUG=${WINEDEBUG:--all}

work=$(mktemp -d)
pids=()
cleanup() {
  touch "$work/stop"
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "win32_smoke: $*" >&2; exit 1; }
# Waits up to $1 seconds for the command that follows to succeed.
within() {
  local end=$((SECONDS + $1)); shift
  until "$@"; do ((SECONDS < end)) || return 1; sleep 0.2; done
}
sj() { printf '%s' "$1" | iconv -f UTF-8 -t CP932; }
logged() { grep -qaF "$(sj "$1")" "$work/log" 2>/dev/null; }

cp "$build/nomvex.exe" "$build/Nomvex.dat" "$build/win32_helper.exe" "$work/"
# Wine's own menu font has no Japanese: let it borrow the glyphs of IPA P
# Gothic, as a Japanese Windows finds them in its own fonts.
wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
  /v Tahoma /t REG_MULTI_SZ /d 'ipagp.ttf,IPAPGothic' /f >/dev/null 2>&1

openbox >/dev/null 2>&1 &
pids+=($!)
(cd "$work" && exec wine ./win32_helper.exe host port log stop) &
pids+=($!)
within 60 test -s "$work/port" || fail "the test host did not start"
port=$(tr -d '\r\n' <"$work/port")
printf '[SSTP]\r\nUseSSTP=1\r\nPort=%s\r\n' "$port" >"$work/sstp.ini"

(cd "$work" && exec wine ./nomvex.exe) &
app=$!
pids+=($app)
within 60 xdotool search --name '^Nomvex$' >/dev/null || fail "no window titled Nomvex"
win=$(xdotool search --name '^Nomvex$' | head -1)
title=$(xprop -id "$win" _NET_WM_NAME)
[[ $title == *'"Nomvex"' ]] || fail "title: $title"
within 10 logged '\hNomvexが起動しました。' || fail "no start notification"

# The focus starts in the number box; Enter presses Examine.
xdotool windowactivate --sync "$win" >/dev/null 2>&1 || true
within 10 bash -c "[[ \$(xdotool getactivewindow 2>/dev/null) == $win ]]" || fail "the window is not active"
sleep 0.5  # (a busy machine: let Wine give the box its focus)
xdotool type --delay 50 12345678
xdotool key Return
within 10 logged '\h090-12345678ってどう？\uau 全国やな。' || fail "no known-number notification"
probe=$(cd "$work" && wine ./win32_helper.exe probe | tr -d '\r')
# au: pale green, 0x00BFFFBF as 0x00BBGGRR.
expected=$'au BFFFBF\n全国 BFFFBF'
[[ $probe == "$expected" ]] || fail "result boxes: $probe"
[[ -z $shot ]] || import -frame -window "$win" "$shot"

# Ctrl+Q empties the prefix too: Examine then reports the prefix error in a
# message box, and nothing is announced.
xdotool key ctrl+q Return
within 10 xdotool search --name '^番号エラー$' >/dev/null || fail "no message box for the prefix"
xdotool key Return
within 10 bash -c "! xdotool search --name '^番号エラー$' >/dev/null" || fail "the message box stays"
# Ctrl+P: the PHS prefix.  07012 is in no table: both boxes show ？, the
# unknown-number notification goes out before the dialog opens, and the
# dialog shows the number.
xdotool key ctrl+p
xdotool type --delay 50 12
xdotool key Return
within 10 xdotool search --onlyvisible --name '^未知の電話番号$' >/dev/null || fail "no unknown-number dialog"
logged '\h070-12ってどう？\uこれはちょっとわからんな。' || fail "no unknown-number notification"
xdotool key Escape  # does not close it
sleep 0.5
xdotool search --onlyvisible --name '^未知の電話番号$' >/dev/null || fail "Escape closed the dialog"
xdotool key Return  # OK has the focus
within 10 bash -c "! xdotool search --onlyvisible --name '^未知の電話番号$' >/dev/null" ||
  fail "OK did not close the dialog"
probe=$(cd "$work" && wine ./win32_helper.exe probe | tr -d '\r')
[[ $probe == $'？ FFFFFF\n？ FFFFFF' ]] || fail "result boxes after an unknown number: $probe"

# File > CSV annotation: the dialog, names typed, Enter in a box does not
# press OK, Enter on the focused OK does; the annotation ends with its
# message, and the file holds the annotated line.
sj $'山田,090-1234-5678\r\n' >"$work/example.csv"
xdotool key ctrl+s
within 10 xdotool search --onlyvisible --name '^CSVファイルの一括解析$' >/dev/null || fail "no annotation dialog"
sleep 0.5
xdotool type --delay 30 example.csv
xdotool key Tab Tab
xdotool type --delay 30 out.csv
xdotool key Return
sleep 0.5
xdotool search --onlyvisible --name '^CSVファイルの一括解析$' >/dev/null || fail "Enter in a box closed the dialog"
xdotool key Tab Tab Return
within 10 bash -c "[[ \$(xdotool search --onlyvisible --name '^Nomvex\$' | wc -l) -ge 2 ]]" ||
  fail "no message at the end of the annotation"
cmp -s "$work/out.csv" <(sj $'山田,090-1234-5678,au,全国\r\n') || fail "out.csv: $(od -c "$work/out.csv" | head -3)"
xdotool key Return
sleep 0.5
# Again: Alt+1 opens the file dialog for the source, Escape cancels it, and
# the close box closes the annotation dialog with nothing written.
xdotool key ctrl+s
within 10 xdotool search --onlyvisible --name '^CSVファイルの一括解析$' >/dev/null || fail "no annotation dialog again"
sleep 0.5
xdotool key alt+1
within 10 xdotool search --onlyvisible --name '^(Open|開く)$' >/dev/null || fail "Alt+1 opened no file dialog"
xdotool key Escape
within 10 bash -c "! xdotool search --onlyvisible --name '^(Open|開く)\$' >/dev/null" || fail "the file dialog stays"
sleep 0.5
xdotool key alt+F4
within 10 bash -c "! xdotool search --onlyvisible --name '^CSVファイルの一括解析\$' >/dev/null" ||
  fail "the close box did not close the annotation dialog"

xdotool key alt+F4
within 20 bash -c "! kill -0 $app 2>/dev/null" || fail "the window did not close"
wait "$app" || fail "exit status $?"
logged '\hNomvexが終了しました。' || fail "no exit notification"
echo "win32_smoke: window, examination, colour and notifications as expected"
