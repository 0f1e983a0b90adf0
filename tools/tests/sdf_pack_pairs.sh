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

# Printable UTF-8 of one to four bytes is shown as it is; overlong
# forms, surrogates, C1 controls and cut sequences byte by byte.
locShownAs() {
  mkdir -p "$locScratch/shown$3"
  echo lower > "$locScratch/shown$3/n$1.txt"
  echo upper > "$locScratch/shown$3/N$1.txt"
  locRefused "$locScratch/shown$3" "N$2.txt" "n$2.txt"
}
locShownAs $' \xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80' $' \xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80' 1
locShownAs $'\xef\xbf\xbd\xf4\x8f\xbf\xbd\xe0\xa0\x80\xf0\x90\x80\x80' $'\xef\xbf\xbd\xf4\x8f\xbf\xbd\xe0\xa0\x80\xf0\x90\x80\x80' 2
locShownAs $'\xc0\xaf\xe0\x80\xaf' '\xc0\xaf\xe0\x80\xaf' 3
locShownAs $'\xed\xa0\x80\xed\xbf\xbf' '\xed\xa0\x80\xed\xbf\xbf' 4
locShownAs $'\xc2\x85\xc2\x9f\x7f' '\xc2\x85\xc2\x9f\x7f' 5
locShownAs $'\xe2\x82x\xf0\x9f\x98' '\xe2\x82x\xf0\x9f\x98' 6
locShownAs $'\xf4\x90\x80\x80\xc2\xa0\xee\x80\x80' '\xf4\x90\x80\x80'$'\xc2\xa0\xee\x80\x80' 7

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
