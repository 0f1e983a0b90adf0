#!/bin/sh
# The compile-and-convert tool on a class root whose name the .loc key cannot
# hold: it ends non-zero, says which key and why on its output, and writes no
# .tez; renamed, the same file converts.
# usage: refused_keys_tool.sh VELK_BENCH SCRATCH_DIR
bench="$1"
dir="$2"
rm -rf "$dir" && mkdir -p "$dir" || exit 1
printf 'CLASS Unit\r\n{\r\nTEXT title\r\nLOCTEXT label\r\n}\r\n' > "$dir/game.fruit"
printf 'INCLUDE game.fruit\r\nUnit \330resund\r\n{\r\n\tlabel Bridge\r\n}\r\n' > "$dir/accent.velk"
cd "$dir" || exit 1
if "$bench" --tez accent.velk > log 2>&1; then
  echo "the tool answered success for a key the .loc file refuses"; exit 1
fi
LC_ALL=C grep -a -q "the LOCTEXT text '.resund.label' cannot be converted: .*keys hold only ASCII characters (below 128); rename '.resund'" log ||
  { echo "the tool did not say why:"; cat log; exit 1; }
[ ! -e accent.tez ] || { echo "a .tez was written"; exit 1; }
printf 'INCLUDE game.fruit\r\nUnit Oresund\r\n{\r\n\tlabel Bridge\r\n}\r\n' > accent.velk
"$bench" --tez accent.velk > log 2>&1 || { echo "the renamed root did not convert:"; cat log; exit 1; }
[ -s accent.tez ] && [ -s accent.loc ] || { echo "no .tez and .loc"; exit 1; }
echo "refused keys: passed"
