#!/bin/sh
# The compile tool and Korrinth, run as programs, refuse a .velk file cut short
# and a small file whose roots would take all memory, within 1 GiB and 20 s.
# usage: velk_whole_check.sh VELK_BENCH KORRINTH MAKE_SAMPLES SCRATCH_DIR [sanitized]
# A sanitized build maps terabytes of shadow memory at start and runs several
# times slower: there the address space is not bounded and the time is 120 s,
# the normal build holding to 1 GiB and 20 s.
bench="$1"
korrinth="$2"
samples="$3"
dir="$4"
space=1048576
seconds=20
if [ "${5:-}" = sanitized ]; then
  space=unlimited
  seconds=120
fi
rm -rf "$dir" && mkdir -p "$dir" || exit 1
"$samples" "$dir/tree" > "$dir/samples.log" || { echo "make_samples failed"; exit 1; }
velk="$dir/tree/velk"
fail=0

# Runs a program in $velk with at most 1 GiB of address space and 20 s;
# answers its exit code, its output in $dir/out.
run() {
  (cd "$velk" && ulimit -v $space && timeout $seconds "$@") > "$dir/out" 2>&1
}
# The program's refusal: non-zero exit, not killed by the time limit, the
# message in its output or in Korrinth's debug file, nothing written back.
refused() {
  what="$1"; file="$2"; message="$3"; code="$4"
  if [ "$code" -eq 0 ] || [ "$code" -eq 124 ] || [ "$code" -ge 128 ]; then
    echo "$what: exit $code"; fail=1
  fi
  if ! grep -qF "$message" "$dir/out" "$velk/korrinth_debug.txt" 2>/dev/null; then
    echo "$what: no line '$message'"; cat "$dir/out"; fail=1
  fi
  if [ -e "$velk/$file.out.velk" ]; then
    echo "$what: $file was written back"; fail=1
  fi
  rm -f "$velk/korrinth_debug.txt" "$velk/$file.out.velk"
}

# level.velk cut at byte 250, inside the quoted value of a label.
head -c 250 "$velk/level.velk" > "$velk/cut.velk"
run "$bench" cut.velk; refused "compile tool, cut file" cut.velk "The file ends inside the block begun at line" $?
run "$korrinth" cut.velk; refused "Korrinth, cut file" cut.velk "(cut.velk, line 25) The file ends inside the quoted value of 'label'" $?

# 1,000 roots of a type of 98,303 objects, 9 bytes each.
{
  printf 'CLASS C0\r\n{\r\nTEXT t\r\n}\r\n'
  i=1
  while [ $i -le 15 ]; do
    name="C$i"; [ $i -eq 15 ] && name=P
    printf 'CLASS %s\r\n{\r\nC%d a\r\nC%d b\r\n}\r\n' $name $((i - 1)) $((i - 1))
    i=$((i + 1))
  done
} > "$velk/big.fruit"
{
  printf 'INCLUDE big.fruit\n'
  i=0
  while [ $i -lt 1000 ]; do printf 'P %d\n{\n}\n' $i; i=$((i + 1)); done
} > "$velk/big.velk"
run "$bench" big.velk; refused "compile tool, many roots" big.velk "Instance '20' of type 'P' would make 98303 objects more" $?
run "$korrinth" big.velk; refused "Korrinth, many roots" big.velk "Instance '20' of type 'P' would make 98303 objects more" $?

# The whole level still opens in both.
run "$bench" level.velk || { echo "compile tool: level.velk failed"; cat "$dir/out"; fail=1; }
run "$korrinth" level.velk || { echo "Korrinth: level.velk failed"; cat "$dir/out"; fail=1; }
exit $fail
