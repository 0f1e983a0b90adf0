#!/bin/sh
# Runs inside scripts/xvfb_run in a sample folder: a window manager ($1) frames Tessaly ($2);
# the frame's top-left is at the screen's (0, 0), so the client lies right of the left border
# and below the title bar, on the screen.
set -u
"$1" >/dev/null 2>&1 &
wm=$!
mkdir -p empty
# The manager takes the screen before the window maps.
for i in $(seq 100); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
  sleep 0.1
done
"$2" empty &
pid=$!
stop() {
  kill $pid 2>/dev/null
  wait $pid 2>/dev/null
  kill $wm 2>/dev/null
  wait $wm 2>/dev/null
}
here=$(pwd)
win=""
for i in $(seq 600); do
  win=$(xdotool search --name "^$here/empty\$" 2>/dev/null | head -1)
  [ -n "$win" ] && break
  sleep 0.1
done
[ -n "$win" ] || { echo "no window titled $here/empty"; stop; exit 1; }
extents=""
for i in $(seq 100); do
  extents=$(xprop -id "$win" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.* = //p' | tr -d ' ')
  [ -n "$extents" ] && break
  sleep 0.1
done
[ -n "$extents" ] || { echo "the window manager gave no frame extents"; stop; exit 1; }
left=${extents%%,*}
rest=${extents#*,}
rest=${rest#*,}
top=${rest%%,*}
x=$(xwininfo -id "$win" | sed -n 's/.*Absolute upper-left X: *//p')
y=$(xwininfo -id "$win" | sed -n 's/.*Absolute upper-left Y: *//p')
stop
[ "$top" -gt 0 ] || { echo "no title bar: frame extents $extents"; exit 1; }
[ "$x" -eq "$left" ] && [ "$y" -eq "$top" ] ||
  { echo "client at $x,$y with frame extents $extents: the frame is not at 0,0"; exit 1; }
echo "tessaly frame check passed: client at $x,$y, frame extents $extents"
