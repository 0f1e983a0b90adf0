#!/bin/sh
# Runs a command under a window manager ($1) on the X server of scripts/xvfb_run;
# exits with the command's code.
set -u
"$1" >/dev/null 2>&1 &
wm=$!
shift
# The manager takes the screen before the first window maps.
for i in $(seq 100); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
  sleep 0.1
done
"$@"
rc=$?
kill $wm 2>/dev/null
wait $wm 2>/dev/null
exit $rc
