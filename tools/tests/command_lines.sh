#!/usr/bin/env bash
# Every program and tool given on the command line answers --help and -h with
# its usage on standard output and exit code 0, and refuses an unknown option
# with the usage on standard error and exit code 2, before it opens a window
# or makes a file: Qt is pointed at an X server that does not exist, and the
# working, home, settings and data folders must stay empty.
#   command_lines.sh SCRATCH_DIR PROGRAM...
set -u
locScratch=$1
shift
rm -rf "$locScratch"
mkdir -p "$locScratch"
locFailed=0
locFail() {
  echo "FAIL: $*"
  locFailed=1
}

for locProgram in "$@"; do
  locName=$(basename "$locProgram")
  for locCase in --help -h --no-such-option; do
    locDir=$locScratch/$locName$locCase
    mkdir -p "$locDir/work" "$locDir/home" "$locDir/config" "$locDir/data" "$locDir/runtime"
    chmod 700 "$locDir/runtime"
    (cd "$locDir/work" && env -u DISPLAY -u WAYLAND_DISPLAY HOME="$locDir/home" XDG_CONFIG_HOME="$locDir/config" \
      XDG_DATA_HOME="$locDir/data" XDG_RUNTIME_DIR="$locDir/runtime" QT_QPA_PLATFORM=xcb \
      "$locProgram" "$locCase" > "$locDir/out.txt" 2> "$locDir/err.txt")
    locCode=$?
    case $locCase in
      --help | -h)
        [ $locCode -eq 0 ] || locFail "$locName $locCase: exit code $locCode, not 0: $(head -3 "$locDir/err.txt")"
        head -1 "$locDir/out.txt" | grep -q "^usage: $locName" || locFail "$locName $locCase: no usage on standard output"
        [ -s "$locDir/err.txt" ] && locFail "$locName $locCase: wrote to standard error: $(head -3 "$locDir/err.txt")"
        ;;
      *)
        [ $locCode -eq 2 ] || locFail "$locName $locCase: exit code $locCode, not 2"
        [ -s "$locDir/out.txt" ] && locFail "$locName $locCase: wrote to standard output"
        grep -q -- "unknown option $locCase" "$locDir/err.txt" || locFail "$locName $locCase: does not name the option"
        grep -q "^usage: $locName" "$locDir/err.txt" || locFail "$locName $locCase: no usage on standard error"
        ;;
    esac
    for locFolder in work home config data; do
      if [ -n "$(ls -A "$locDir/$locFolder")" ]; then
        locFail "$locName $locCase: made $(ls -A "$locDir/$locFolder" | head -3 | tr '\n' ' ')in $locFolder"
      fi
    done
  done
done
[ $locFailed -eq 0 ] && echo "$# programs answer --help and -h and refuse unknown options"
exit $locFailed
