#!/bin/sh
# startup_bench's command line: usage on --help and -h, exit 2 for unknown options, missing
# values and a folder that is not the sample tree, and no option taken as a name.
# usage: startup_bench_check.sh STARTUP_BENCH SCRATCH_DIR
bench="$1"
dir="$2"
rm -rf "$dir" && mkdir -p "$dir" && cd "$dir" || exit 1
"$bench" --help > help.txt || { echo "--help did not exit 0"; exit 1; }
grep -q "^usage: startup_bench" help.txt || { echo "--help printed no usage"; exit 1; }
"$bench" -h > /dev/null || { echo "-h did not exit 0"; exit 1; }
rm help.txt
for locArgs in "--bogus ." "-x ." "--runs" "--runs 0 ." "--runs -x" "--build" "--build --runs 2" \
               "--bare-window" "nowhere" ". --frames 3"; do
  "$bench" $locArgs > /dev/null 2>&1
  locCode=$?
  [ "$locCode" -eq 2 ] || { echo "startup_bench $locArgs: exit $locCode, not 2"; exit 1; }
done
[ -z "$(ls -A)" ] || { echo "startup_bench made $(ls -A)"; exit 1; }
exit 0
