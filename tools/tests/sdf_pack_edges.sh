#!/usr/bin/env bash
# sdf_pack on what a Linux folder holds besides files: links to folders (back
# up the tree too) are not followed and are named, as are dangling links,
# links leading out, FIFOs and sockets, none of them read; names no archive
# can hold and empty files are refused naming the file and why:
#   sdf_pack_edges.sh SDF_PACK SCRATCH_DIR [TRIES]
# TRIES random trees of those things (default 20) must each pack within the
# time bound, to exactly their regular files.
set -u
locTool=$1
locScratch=$2
locTries=${3:-20}
rm -rf "$locScratch"
mkdir -p "$locScratch"
locScratch=$(cd "$locScratch" && pwd)
locFailed=0
locFail() {
  echo "FAIL: $*"
  [ -f "$locScratch/err.txt" ] && sed 's/^/  /' "$locScratch/err.txt"
  locFailed=1
}
locSocket() {
  python3 -c 'import socket, sys; socket.socket(socket.AF_UNIX).bind(sys.argv[1])' "$1"
}

# $1 folder: packs within 20 s (a FIFO opened for reading never returns).
locPack() {
  rm -f "$locScratch/out.sdf"
  timeout 20 "$locTool" "$locScratch/out.sdf" "$1" > "$locScratch/out.txt" 2> "$locScratch/err.txt"
}
locSays() { grep -qxF -- "$1" "$locScratch/err.txt"; }

# Links to ".", "..", a folder outside and nothing; a FIFO with no writer, a
# link to it, a socket; a link to a file outside and one to a file inside.
mkdir -p "$locScratch/outside" "$locScratch/loops/sub"
echo secret > "$locScratch/outside/secret.txt"
echo one > "$locScratch/loops/one.txt"
echo two > "$locScratch/loops/sub/two.txt"
ln -s . "$locScratch/loops/self1"
ln -s . "$locScratch/loops/self2"
ln -s .. "$locScratch/loops/sub/up"
ln -s "$locScratch/outside" "$locScratch/loops/away"
ln -s missing "$locScratch/loops/dangling"
mkfifo "$locScratch/loops/pipe"
ln -s pipe "$locScratch/loops/pipelink"
locSocket "$locScratch/loops/sock"
ln -s "$locScratch/outside/secret.txt" "$locScratch/loops/secret.txt"
ln -s one.txt "$locScratch/loops/again.txt"
mkdir -p "$locScratch/loopside"
echo beside > "$locScratch/loopside/beside.txt"
ln -s ../loopside/beside.txt "$locScratch/loops/beside.txt"
echo archive > "$locScratch/loops/old.SDF"
locPack "$locScratch/loops"
locCode=$?
if [ $locCode = 124 ]; then
  locFail "loops: still running after 20 s"
elif [ $locCode != 0 ]; then
  locFail "loops: refused"
else
  grep -qxF "archive: 3 entries in $locScratch/out.sdf" "$locScratch/out.txt" ||
    locFail "loops: not one.txt, sub/two.txt and again.txt alone: $(cat "$locScratch/out.txt")"
  for l in "self1: a link to a folder" "self2: a link to a folder" "sub/up: a link to a folder" \
           "away: a link to a folder" "dangling: a link to nothing" "pipe: not a regular file" \
           "pipelink: not a regular file" "sock: not a regular file" \
           "secret.txt: a link to a file outside the folder" "beside.txt: a link to a file outside the folder" \
           "old.SDF: an archive is not packed into an archive"; do
    locSays "sdf_pack: skipped $l" || locFail "loops: does not say \"skipped $l\""
  done
  grep -q -e secret -e beside "$locScratch/out.sdf" && locFail "loops: a file outside was packed"
fi

# Names with an empty, "." or ".." part between backslashes, each named.
mkdir -p "$locScratch/parts"
echo fine > "$locScratch/parts/fine.txt"
for n in 'x\..\y.txt' '\lead.txt' 'a\\b.txt' 'trail\' 'p\.\q.txt'; do
  echo bad > "$locScratch/parts/$n"
done
locPack "$locScratch/parts"
if [ $? = 0 ]; then
  locFail "parts: packed"
else
  for n in 'x\..\y.txt' '\lead.txt' 'a\\b.txt' 'trail\' 'p\.\q.txt'; do
    locSays "sdf_pack: cannot write $locScratch/out.sdf: $n: a name with an empty, \".\" or \"..\" part between backslashes cannot be stored in an SDF archive" ||
      locFail "parts: $n not named with its reason"
  done
  [ -e "$locScratch/out.sdf" ] && locFail "parts: an archive was written"
fi

# A backslash in a name alone: it would be read back as another file.
mkdir -p "$locScratch/slash/a"
echo inner > "$locScratch/slash/a\\b.txt"
echo other > "$locScratch/slash/a/c.txt"
locPack "$locScratch/slash"
if [ $? = 0 ]; then
  locFail "backslash: packed"
else
  locSays "sdf_pack: cannot write $locScratch/out.sdf: a\\b.txt: a backslash separates folders in an SDF archive, so the file would be read back as another" ||
    locFail "backslash: not named with its reason"
fi

# Empty files, every one named with the reason.
mkdir -p "$locScratch/empty/sub"
echo full > "$locScratch/empty/full.txt"
: > "$locScratch/empty/empty.txt"
: > "$locScratch/empty/sub/none.dat"
locPack "$locScratch/empty"
if [ $? = 0 ]; then
  locFail "empty: packed"
else
  for n in empty.txt sub/none.dat; do
    locSays "sdf_pack: cannot write $locScratch/out.sdf: $n: empty files cannot be stored in an SDF archive" ||
      locFail "empty: $n not named with the reason"
  done
fi

# Refusals exit with 1: names, empty files, a folder with nothing to pack, a
# folder that cannot be entered. A relative archive lands in the current
# folder, not the packed one; without a current folder nothing is written.
locRefusal() {
  local locWhat=$1 locLine=$2
  shift 2
  "$@" > "$locScratch/out.txt" 2> "$locScratch/err.txt"
  local locCode=$?
  [ $locCode = 1 ] || locFail "$locWhat: exit code $locCode, not 1"
  locSays "$locLine" || locFail "$locWhat: does not say \"$locLine\""
}
locRefusal parts "sdf_pack: cannot write $locScratch/out.sdf: \lead.txt: a name with an empty, \".\" or \"..\" part between backslashes cannot be stored in an SDF archive" \
  "$locTool" "$locScratch/out.sdf" "$locScratch/parts"
locRefusal empty "sdf_pack: cannot write $locScratch/out.sdf: empty.txt: empty files cannot be stored in an SDF archive" \
  "$locTool" "$locScratch/out.sdf" "$locScratch/empty"
mkdir -p "$locScratch/nothing/sub"
mkfifo "$locScratch/nothing/sub/pipe"
locRefusal "nothing to pack" "sdf_pack: no files in $locScratch/nothing" \
  timeout 20 "$locTool" "$locScratch/out.sdf" "$locScratch/nothing"
locRefusal "no folder" "sdf_pack: cannot enter $locScratch/missing: No such file or directory" \
  "$locTool" "$locScratch/out.sdf" "$locScratch/missing"
mkdir -p "$locScratch/here" "$locScratch/gone"
(cd "$locScratch/here" && timeout 20 "$locTool" rel.sdf "$locScratch/loops") > /dev/null 2>&1
[ -s "$locScratch/here/rel.sdf" ] || locFail "relative archive: not written into the current folder"
[ -e "$locScratch/loops/rel.sdf" ] && locFail "relative archive: written into the packed folder"
locRefusal "no current folder" "sdf_pack: cannot find the current folder: No such file or directory" \
  sh -c 'cd "$1" && rmdir "$1" && exec timeout 20 "$2" rel.sdf "$3"' sh "$locScratch/gone" "$locTool" "$locScratch/loops"

# Random trees of files, folders, links of every kind, FIFOs and sockets: each
# packs in time to exactly its regular files (links to files inside counted).
locHung=0 locWrong=0 locGood=0
for ((t = 0; t < locTries; t++)); do
  locTree=$locScratch/random/$t
  mkdir -p "$locTree"
  locFiles=0
  locFolders=("$locTree")
  for ((i = 0; i < 12; i++)); do
    locAt=${locFolders[RANDOM % ${#locFolders[@]}]}
    case $((RANDOM % 9)) in
      0 | 1) echo "file $t $i" > "$locAt/f$i.txt"; locFiles=$((locFiles + 1)) ;;
      2) mkdir "$locAt/d$i"; locFolders+=("$locAt/d$i") ;;
      3) ln -s . "$locAt/l$i" ;;
      4) ln -s .. "$locAt/l$i" ;;
      5) ln -s "$locScratch/outside" "$locAt/l$i" ;;
      6) ln -s "nothing$i" "$locAt/l$i" ;;
      7) mkfifo "$locAt/p$i" ;;
      8) locSocket "$locAt/s$i" ;;
    esac
  done
  [ $locFiles = 0 ] && { echo last > "$locTree/last.txt"; locFiles=1; }
  locPack "$locTree"
  locCode=$?
  if [ $locCode = 124 ]; then
    locHung=$((locHung + 1))
  elif [ $locCode != 0 ] || ! grep -qxF "archive: $locFiles entries in $locScratch/out.sdf" "$locScratch/out.txt"; then
    locWrong=$((locWrong + 1))
    locFail "random tree $t: $(cat "$locScratch/out.txt") for $locFiles files"
  else
    locGood=$((locGood + 1))
  fi
done
echo "random trees: $locTries tries, $locGood packed exactly, $locWrong wrong, $locHung still running after 20 s"
[ $locHung = 0 ] || locFail "$locHung random trees hung"

[ "$locFailed" = 0 ] && echo "sdf_pack edges: passed"
exit "$locFailed"
