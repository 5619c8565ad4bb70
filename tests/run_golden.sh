#!/usr/bin/env bash
# Runs the built program on every golden case, as a separate process with the case file named
# on the command line, and compares stdout, stderr and the exit status byte for byte.
# Usage: run_golden.sh PROGRAM GOLDEN_DIR
set -u
prog=$1
dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Messages begin with the name the program is invoked under.
ln -s "$(cd "$(dirname "$prog")" && pwd)/$(basename "$prog")" "$work/pn2tavix"
pass=0
failed=0
while IFS= read -r -d '' input; do
  base=${input%.in}
  "$work/pn2tavix" "$input" >"$work/out" 2>"$work/err"
  status=$?
  expected_status=0
  [ -f "$base.status" ] && expected_status=$(cat "$base.status")
  ok=1
  cmp -s "$work/out" "${base}.out" 2>/dev/null || { [ ! -f "$base.out" ] && [ ! -s "$work/out" ]; } || ok=0
  cmp -s "$work/err" "${base}.err" 2>/dev/null || { [ ! -f "$base.err" ] && [ ! -s "$work/err" ]; } || ok=0
  [ "$status" -eq "$expected_status" ] || ok=0
  if [ $ok -eq 1 ]; then
    pass=$((pass + 1))
  else
    failed=$((failed + 1))
    echo "FAIL: ${input#"$dir"/} (status $status, expected $expected_status)"
  fi
done < <(find "$dir" -name '*.in' -print0 | sort -z)
echo "$pass passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$pass" -gt 0 ]
