#!/bin/sh
# Every shape of generated data compiles, its protobuf text is accepted by
# protoc (where installed) and, given Korrinth's bench, opens, saves and takes
# the merge of its roots in the editor.
# usage: velk_shapes_check.sh SCRATCH_DIR VELK_BENCH [KORRINTH_BENCH]
dir="$1"
velk="$2"
korrinth="$3"
# The tree control's million siblings are not what is checked here.
export KORRINTH_BENCH_SIBLINGS=10
rm -rf "$dir" && mkdir -p "$dir" || exit 1
for shape in plain wide deep small nested; do
  mkdir "$dir/$shape" && "$velk" --shape $shape --generate 40 "$dir/$shape" > "$dir/$shape.log" 2>&1 ||
    { echo "velk_bench --shape $shape: exit $?"; cat "$dir/$shape.log"; exit 1; }
  grep -q "^instances  40 root instances" "$dir/$shape.log" ||
    { echo "velk_bench --shape $shape: not 40 roots"; cat "$dir/$shape.log"; exit 1; }
  if command -v protoc > /dev/null; then
    grep -q "^ratio " "$dir/$shape.log" || { echo "protoc refused the $shape text"; cat "$dir/$shape.log"; exit 1; }
  fi
  if [ -n "$korrinth" ]; then
    "$korrinth" --shape $shape --generate 40 "$dir/k-$shape" > "$dir/k-$shape.log" 2>&1 ||
      { echo "korrinth_bench --shape $shape: exit $?"; cat "$dir/k-$shape.log"; exit 1; }
    grep -q "^Korrinth merge of .* new and .* existing roots" "$dir/k-$shape.log" ||
      { echo "korrinth_bench --shape $shape: no merge"; cat "$dir/k-$shape.log"; exit 1; }
  fi
done
exit 0
