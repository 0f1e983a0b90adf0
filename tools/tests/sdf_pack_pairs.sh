#!/usr/bin/env bash
# sdf_pack refuses a folder holding two files that archive readers take for one
# (names that differ only in a-z case, a code page 1252 name beside its UTF-8
# spelling, a backslash beside a folder), naming both as their bytes on disk
# have it, and writes no archive; other names pack:
#   sdf_pack_pairs.sh SDF_PACK SCRATCH_DIR
set -u
locTool=$1
locScratch=$2
rm -rf "$locScratch"
mkdir -p "$locScratch"
locFailed=0
locFail() {
  echo "FAIL: $*"
  [ -f "$locScratch/err.txt" ] && sed 's/^/  /' "$locScratch/err.txt"
  locFailed=1
}

# $1 folder, $2 and $3 the two names as the message gives them, in either order.
locRefused() {
  rm -f "$locScratch/out.sdf"
  if "$locTool" "$locScratch/out.sdf" "$1" > "$locScratch/out.txt" 2> "$locScratch/err.txt"; then
    locFail "$1: packed"
  elif ! grep -qxF -e "sdf_pack: cannot write $locScratch/out.sdf: $2 and $3 are one name in an archive" \
                   -e "sdf_pack: cannot write $locScratch/out.sdf: $3 and $2 are one name in an archive" \
                   "$locScratch/err.txt"; then
    locFail "$1: the message does not name both"
  fi
  [ -e "$locScratch/out.sdf" ] && locFail "$1: an archive was written"
}

mkdir -p "$locScratch/case/docs"
echo mixed > "$locScratch/case/docs/Readme.txt"
echo upper > "$locScratch/case/docs/README.txt"
echo other > "$locScratch/case/other.txt"
locRefused "$locScratch/case" "docs/Readme.txt" "docs/README.txt"

mkdir -p "$locScratch/codepage"
echo latin > "$locScratch/codepage/caf"$'\xe9'".txt"
echo utf8 > "$locScratch/codepage/caf"$'\xc3\xa9'".txt"
locRefused "$locScratch/codepage" 'caf\xe9.txt' "caf"$'\xc3\xa9'".txt"

mkdir -p "$locScratch/backslash/a"
echo slash > "$locScratch/backslash/a/b.txt"
echo backslash > "$locScratch/backslash/a\b.txt"
locRefused "$locScratch/backslash" 'a/b.txt' 'a\b.txt'

# Bytes that are no printable UTF-8, in a pair that differs in case.
mkdir -p "$locScratch/control"
echo tab > "$locScratch/control/t"$'\t\xff'"x.txt"
echo TAB > "$locScratch/control/T"$'\t\xff'"X.txt"
locRefused "$locScratch/control" 'T\x09\xffX.txt' 't\x09\xffx.txt'

# Case outside a-z is kept: two entries.
mkdir -p "$locScratch/apart"
echo lower > "$locScratch/apart/caf"$'\xc3\xa9'".txt"
echo upper > "$locScratch/apart/CAF"$'\xc3\x89'".TXT"
if ! "$locTool" "$locScratch/apart.sdf" "$locScratch/apart" > "$locScratch/out.txt" 2> "$locScratch/err.txt"; then
  locFail "apart: refused"
elif ! grep -qxF "archive: 2 entries in $locScratch/apart.sdf" "$locScratch/out.txt"; then
  locFail "apart: not two entries"
fi

[ "$locFailed" = 0 ] && echo "sdf_pack pairs: passed"
exit "$locFailed"
