#!/bin/sh
# A compile that fails must leave the previous output alone and end non-zero.
# usage: velk_bench_check.sh VELK_BENCH SCRATCH_DIR
bench="$1"
dir="$2"
rm -rf "$dir" && mkdir -p "$dir" || exit 1
printf 'INCLUDE missing.fruit\r\nNUMBER n 1\r\n' > "$dir/bad.velk"
echo "previous output" > "$dir/bad.velk.out.velk"
if "$bench" "$dir/bad.velk" > "$dir/log" 2>&1; then
  echo "velk_bench answered success after a failed compile"; exit 1
fi
[ "$(cat "$dir/bad.velk.out.velk")" = "previous output" ] || { echo "the previous output was replaced"; exit 1; }
[ ! -e "$dir/bad.tez" ] || { echo "a .tez was written"; exit 1; }
exit 0
