#!/usr/bin/env bash
# An archive with a second name is repacked in place while TMPDIR is a 20 MB
# memory file system, far smaller than the 45 MB archive: the new content goes
# to the backup beside the user's data, never to TMPDIR, and both names hold
# the new archive. Needs a mount of its own (root, or a user namespace).
#   sdf_pack_small_tmp.sh SDF_PACK SCRATCH_DIR
set -u
locTool=$1
locScratch=$2
rm -rf "$locScratch"
mkdir -p "$locScratch/data/a" "$locScratch/data/b" "$locScratch/tmp" "$locScratch/links" "$locScratch/xdg"
export XDG_DATA_HOME="$locScratch/xdg"
# Bytes no compressor shrinks, so that the archive stays as large as its files;
# in 15 files, which the writer compresses on several threads at once.
for locPart in $(seq 1 15); do
  head -c 3000000 /dev/urandom > "$locScratch/data/a/big$locPart.bin"
done
echo old > "$locScratch/data/b/note.txt"
"$locTool" "$locScratch/pack.sdf" "$locScratch/data" > /dev/null || { echo "FAIL: first pack"; exit 1; }
ln "$locScratch/pack.sdf" "$locScratch/links/pack.sdf"
echo "new, and longer" > "$locScratch/data/b/note.txt"
"$locTool" "$locScratch/expected.sdf" "$locScratch/data" > /dev/null || { echo "FAIL: expected pack"; exit 1; }
locRun() {
  mount -t tmpfs -o size=20m tmpfs "$locScratch/tmp" || exit 77
  TMPDIR="$locScratch/tmp" "$locTool" "$locScratch/pack.sdf" "$locScratch/data" > "$locScratch/out.txt" 2>&1
  locStatus=$?
  df -k "$locScratch/tmp" | tail -1 > "$locScratch/tmp_df.txt"
  umount "$locScratch/tmp"
  exit $locStatus
}
if [ "$(id -u)" = 0 ]; then
  ( unshare -m bash -c "$(declare -f locRun); locScratch='$locScratch' locTool='$locTool'; locRun" )
else
  ( unshare -rm bash -c "$(declare -f locRun); locScratch='$locScratch' locTool='$locTool'; locRun" )
fi
locStatus=$?
if [ $locStatus = 77 ]; then
  echo "sdf_pack small tmp: skipped, no tmpfs can be mounted here"
  exit 0
fi
locFailed=0
[ $locStatus = 0 ] || { echo "FAIL: repack exit $locStatus"; sed 's/^/  /' "$locScratch/out.txt"; locFailed=1; }
for locName in pack.sdf links/pack.sdf; do
  cmp -s "$locScratch/$locName" "$locScratch/expected.sdf" || { echo "FAIL: $locName is not the new archive"; locFailed=1; }
done
[ "$(stat -c %i "$locScratch/pack.sdf")" = "$(stat -c %i "$locScratch/links/pack.sdf")" ] ||
  { echo "FAIL: the names were parted"; locFailed=1; }
[ -z "$(ls -A "$locScratch/xdg/qtools" 2>/dev/null)" ] || { echo "FAIL: a backup was left"; locFailed=1; }
[ $locFailed = 0 ] && echo "sdf_pack small tmp: passed"
exit $locFailed
