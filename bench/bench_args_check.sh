#!/bin/sh
# Each bench answers --help and -h with its usage and 0, refuses an unknown
# option and an option given as a name with its usage and 2, and makes no
# file or folder named after an option.
# usage: bench_args_check.sh SCRATCH_DIR BENCH [ARGUMENTS THAT TAKE A NAME]...
dir="$1"
bench="$2"
shift 2
rm -rf "$dir" && mkdir -p "$dir" && cd "$dir" || exit 1
for help in --help -h; do
  "$bench" $help > out 2> err || { echo "$bench $help: exit $?"; exit 1; }
  grep -q "^usage: " out || { echo "$bench $help printed no usage"; exit 1; }
done
"$bench" --no-such-option > out 2> err
[ $? -eq 2 ] || { echo "$bench took an unknown option"; exit 1; }
grep -q "^usage: " err || { echo "$bench refused an option without its usage"; exit 1; }
# Each argument list given ends where a name is due: an option there is refused.
for args in "$@"; do
  "$bench" $args --help-me > out 2> err
  [ $? -eq 2 ] || { echo "$bench $args --help-me: not refused"; exit 1; }
done
[ -z "$(ls -A | grep -v '^out$' | grep -v '^err$')" ] || { echo "$bench left: $(ls -A)"; exit 1; }
exit 0
