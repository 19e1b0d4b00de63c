#!/usr/bin/env bash
# Runs a command on a private X server (Xvfb) with a window manager
# (openbox), as a person's desktop has one: focus, titles, placement and
# fonts then behave as they do for users.  Xvfb picks a free display itself
# (-displayfd), so that several runs can share the machine.
set -euo pipefail
work=$(mktemp -d)
xvfb_pid="" wm_pid=""
cleanup() {
  [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Starts Xvfb and openbox; false when either does not come up.  A display
# just given up by another run can still be torn down under a new server, so
# a failed start is tried again on a fresh server.
start_desktop() {
  : >"$work/display"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
  xvfb_pid=$!
  for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || { cat "$work/xvfb.log" >&2; return 1; }
    sleep 0.1
  done
  [ -s "$work/display" ] || { echo "Xvfb did not start" >&2; return 1; }
  export DISPLAY=":$(head -n1 "$work/display")"
  # The server takes connections (a display just freed by another run may
  # still be settling).
  for _ in $(seq 100); do
    xprop -root >/dev/null 2>&1 && break
    sleep 0.1
  done

  # openbox with its defaults, whatever the user's own configuration says.
  printf '<openbox_config xmlns="http://openbox.org/3.4/rc"/>\n' >"$work/rc.xml"
  openbox --sm-disable --config-file "$work/rc.xml" 2>"$work/openbox.log" &
  wm_pid=$!
  # The window manager is ready once it names itself on the root window.
  for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && return 0
    kill -0 "$wm_pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "openbox did not start on $DISPLAY:" >&2
  cat "$work/openbox.log" >&2
  return 1
}

started=""
for attempt in 1 2 3; do
  start_desktop && started=1 && break
  kill "$wm_pid" "$xvfb_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  wm_pid="" xvfb_pid=""
done
[ -n "$started" ] || exit 1

unset WAYLAND_DISPLAY
export QT_QPA_PLATFORM=xcb
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
"$@"
