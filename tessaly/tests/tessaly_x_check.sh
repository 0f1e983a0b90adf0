#!/bin/sh
# Runs inside scripts/xvfb_run in a sample folder: Tessaly on a folder holding nothing but "..",
# the title (xprop) names that folder; a click on the ".." cell lists the parent (the title
# follows); Escape ends the program with 0. Then a model shown enlarged: while the right
# button turns it, the pointer stays on the client area; released, it goes anywhere.
set -u
# Escape to the window until the program ends: without a window manager the
# focus may arrive late on a loaded machine (a --sync focus could wait forever).
escape() {
  for i in $(seq 120); do
    kill -0 $pid 2>/dev/null || return 0
    xdotool windowfocus "$win" 2>/dev/null
    xdotool key Escape
    sleep 0.5
  done
  ! kill -0 $pid 2>/dev/null
}
mkdir -p empty
"$1" empty &
pid=$!
here=$(pwd)
win=""
for i in $(seq 600); do
  win=$(xdotool search --name "^$here/empty\$" 2>/dev/null | head -1)
  [ -n "$win" ] && break
  sleep 0.1
done
[ -n "$win" ] || { echo "no window titled $here/empty"; kill $pid; exit 1; }
xprop -id "$win" WM_NAME | grep -q "\"$here/empty\"" || { echo "title"; kill $pid; exit 1; }
sleep 0.5
xdotool mousemove --window "$win" 60 60 click 1
for i in $(seq 300); do
  xprop -id "$win" WM_NAME | grep -q "\"$here\"" && break
  sleep 0.1
done
xprop -id "$win" WM_NAME | grep -q "\"$here\"" || { echo "click did not list the parent"; xprop -id "$win" WM_NAME; kill $pid; exit 1; }
escape || { echo "Escape did not end the program"; kill $pid; exit 1; }
wait $pid
rc=$?
[ $rc -eq 0 ] || { echo "exit code $rc"; exit 1; }

"$1" grid/crate.qrb &
pid=$!
win=""
for i in $(seq 600); do
  win=$(xdotool search --name "^QRB browser\$" 2>/dev/null | head -1)
  [ -n "$win" ] && break
  sleep 0.1
done
[ -n "$win" ] || { echo "no window for the model"; kill $pid; exit 1; }
sleep 0.5
# A right-drag turns the model and leaves the pointer free to leave the window.
xdotool mousemove --window "$win" 300 200 mousedown 3
sleep 0.3
xdotool mousemove 1010 750
sleep 0.3
eval "$(xdotool getmouselocation --shell)"
xdotool mouseup 3
[ "$X" -eq 1010 ] && [ "$Y" -eq 750 ] || { echo "the pointer was confined while turning: $X,$Y"; kill $pid; exit 1; }
escape || { echo "Escape did not end the program after the model"; kill $pid; exit 1; }
wait $pid
rc=$?
[ $rc -eq 0 ] || { echo "exit code $rc after the model"; exit 1; }
echo "tessaly X check passed"
