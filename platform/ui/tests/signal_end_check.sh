#!/bin/sh
# Runs inside scripts/xvfb_run, in the program's data folder: starts the
# program (Q_UI_COMMANDS in the environment opens a modal dialog), waits for
# its second window, removes SETTINGS_FILE (empty: none), sends SIGNAL, and
# then the program must end by itself with exit code 0, having written
# SETTINGS_FILE again and removed GONE_FILE (empty: none).
#   signal_end_check.sh SIGNAL SETTINGS_FILE GONE_FILE PROGRAM [ARGUMENT...]
set -u
locSignal=$1 locSettings=$2 locGone=$3
shift 3
"$@" > program.log 2>&1 &
locPid=$!
locWindows=0
for i in $(seq 1200); do
  locWindows=$(xdotool search --onlyvisible --pid $locPid 2>/dev/null | wc -l)
  [ "$locWindows" -ge 2 ] && break
  kill -0 $locPid 2>/dev/null || break
  sleep 0.1
done
if [ "$locWindows" -lt 2 ]; then
  echo "no dialog over the main window"; cat program.log; kill -KILL $locPid 2>/dev/null; exit 1
fi
[ -n "$locSettings" ] && rm -f "$locSettings"
kill -"$locSignal" $locPid
# Generous, for a loaded machine: what is checked is that it ends at all.
for i in $(seq 300); do
  kill -0 $locPid 2>/dev/null || break
  sleep 0.1
done
if kill -0 $locPid 2>/dev/null; then
  echo "still running after SIG$locSignal with a dialog open"; kill -KILL $locPid; exit 1
fi
wait $locPid
locCode=$?
[ $locCode -eq 0 ] || { echo "exit code $locCode after SIG$locSignal"; cat program.log; exit 1; }
if [ -n "$locSettings" ] && [ ! -s "$locSettings" ]; then
  echo "$locSettings not written on the way out"; exit 1
fi
if [ -n "$locGone" ] && [ -e "$locGone" ]; then
  echo "$locGone left behind"; exit 1
fi
echo "SIG$locSignal ended $(basename "$1") with its dialog open"
