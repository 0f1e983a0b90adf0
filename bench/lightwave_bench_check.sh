#!/bin/sh
# The bench's bookkeeping: a scene whose objects sit in a sub-folder of the
# models root is read from there by both sides, a scene refused on purpose is
# listed apart and left out of the ratio, no ratio without input, --help.
# usage: lightwave_bench_check.sh LIGHTWAVE_BENCH SCRATCH_DIR
bench="$1"
dir="$2"
rm -rf "$dir" && mkdir -p "$dir/models" "$dir/empty" || exit 1
"$bench" --help > "$dir/help" 2>&1 || { echo "--help failed"; exit 1; }
grep -q "usage: lightwave_bench" "$dir/help" || { echo "--help printed no usage"; exit 1; }
if "$bench" "$dir/empty" > "$dir/empty.log" 2>&1; then
  echo "an empty folder was measured"; exit 1
fi
if grep -q "ratio" "$dir/empty.log"; then
  echo "a ratio without input"; exit 1
fi
"$bench" --generate 200 "$dir/models" "$dir/models" > "$dir/log" 2>&1 || { cat "$dir/log"; exit 1; }
grep -q "^scene .*scenes/tower.lws  items 2 .*triangles ours 24 " "$dir/log" || { echo "tower.lws not read"; cat "$dir/log"; exit 1; }
if grep -q "failed.*tower.lws" "$dir/log"; then
  echo "tower.lws listed as failed"; cat "$dir/log"; exit 1
fi
grep -q "^scenes   failed (ours): .*generated.lws: code 20" "$dir/log" || { echo "the refused scene is not listed"; cat "$dir/log"; exit 1; }
if grep -q "^scene .*generated.lws" "$dir/log"; then
  echo "the refused scene was measured"; exit 1
fi
# With the peer built in, the ratio covers the five scenes both read.
if grep -q "assimp" "$dir/log"; then
  grep -q "^scenes   both read 5 " "$dir/log" || { echo "the scene ratio does not cover the scenes both read"; cat "$dir/log"; exit 1; }
  grep -q "^objects  both read " "$dir/log" || { echo "no object ratio"; exit 1; }
fi
exit 0
