#!/usr/bin/env bash
# make_samples makes the folder it writes into, with every missing parent, and a
# folder it cannot write into fails with the system's reason; the state count it
# prints is the one it wrote; pack.sdf is written with the rest, reads back
# through the file library (sample_data --check beside the tool) and Ostrane
# lists it headless:
#   make_samples_folders.sh MAKE_SAMPLES SCRATCH_DIR [OSTRANE]
set -u
locTool=$1
locScratch=$2
locOstrane=${3:-}
rm -rf "$locScratch"
mkdir -p "$locScratch"
locFailed=0
locFail() {
  echo "FAIL: $*"
  [ -f "$locScratch/err.txt" ] && sed 's/^/  /' "$locScratch/err.txt"
  locFailed=1
}

# Two missing parents.
if "$locTool" "$locScratch/a/b/data" > "$locScratch/out.txt" 2> "$locScratch/err.txt"; then
  for f in models/models/crate.qrb models/tower.qre velk/level.velk; do
    [ -s "$locScratch/a/b/data/$f" ] || locFail "missing parents: $f not written"
  done
  # The state count it prints is the state file's.
  locSaid=$(sed -n 's/.*models\/states.txt (\([0-9]*\) states).*/\1/p' "$locScratch/out.txt")
  locLines=$(grep -c . "$locScratch/a/b/data/models/states.txt")
  [ -n "$locSaid" ] && [ "$locSaid" = "$locLines" ] || locFail "states.txt holds $locLines states, the tool said '$locSaid'"
  # pack.sdf, as the README has it: every file of models/ in it.
  locModels=$(find "$locScratch/a/b/data/models" -type f | wc -l)
  grep -qxF "archive: $locModels entries in $locScratch/a/b/data/pack.sdf" "$locScratch/out.txt" ||
    locFail "pack.sdf: not the $locModels files of models/ packed"
  if ! (export QT_QPA_PLATFORM=offscreen; "$(dirname "$locTool")/sample_data" --check "$locScratch/a/b/data") \
       > "$locScratch/check.txt" 2> "$locScratch/err.txt"; then
    locFail "pack.sdf: sample_data --check does not read the tree back"
  fi
  if [ -n "$locOstrane" ]; then
    rm -f "$locScratch/ostrane.png"
    (cd "$locScratch/a/b/data" && QT_QPA_PLATFORM=offscreen Q_UI_GRAB="$locScratch/ostrane.png" \
       timeout 120 "$locOstrane" pack.sdf) > "$locScratch/err.txt" 2>&1
    if [ $? != 0 ] || grep -q "Failed to load SDF" "$locScratch/err.txt" || [ ! -s "$locScratch/ostrane.png" ]; then
      locFail "pack.sdf: Ostrane pack.sdf does not list it"
    fi
  fi
else
  locFail "missing parents: make_samples failed"
fi

# A path under a regular file fails for every user, root too.
: > "$locScratch/plain"
if "$locTool" "$locScratch/plain/data" > /dev/null 2> "$locScratch/err.txt"; then
  locFail "under a file: make_samples succeeded"
elif ! grep -qx "make_samples: cannot write into $locScratch/plain/data: Not a directory" "$locScratch/err.txt"; then
  locFail "under a file: the message does not give the reason"
fi

# A folder without write permission, as an ordinary user (root may write anywhere).
mkdir -p "$locScratch/locked"
chmod 555 "$locScratch/locked"
chmod 755 "$locScratch"
locAs=()
if [ "$(id -u)" = 0 ]; then
  locAs=(setpriv --reuid=65534 --regid=65534 --clear-groups)
  command -v setpriv > /dev/null || locAs=()
fi
if [ "$(id -u)" != 0 ] || [ ${#locAs[@]} -gt 0 ]; then
  if "${locAs[@]}" "$locTool" "$locScratch/locked/data" > /dev/null 2> "$locScratch/err.txt"; then
    locFail "locked folder: make_samples succeeded"
  elif ! grep -qx "make_samples: cannot write into $locScratch/locked/data: Permission denied" "$locScratch/err.txt"; then
    locFail "locked folder: the message does not give the reason"
  fi
else
  echo "locked folder: left out (root without setpriv)"
fi
chmod 755 "$locScratch/locked"

[ $locFailed = 0 ] && echo "make_samples folders: passed"
exit $locFailed
