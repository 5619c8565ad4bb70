#!/usr/bin/env bash
# Checks that the benchmark programs build and run, on tiny inputs; measures nothing.
# - the generator gives the same bytes for the same seed, and input that converts with status 0,
#   for several seeds;
# - that input holds every statement and every note sign the benchmarks are meant to exercise;
# - the timer runs, and the micro-benchmarks run briefly (when they were built).
# Usage: smoke.sh GEN_MUSIC PN2TAVIX BENCH_TIMER [MICRO_BENCH]
set -u
gen=$1
prog=$2
timer=$3
micro=${4:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
pass=0
failed=0
check() {  # check NAME COMMAND...
  if "${@:2}"; then
    pass=$((pass + 1))
  else
    failed=$((failed + 1))
    echo "FAIL: $1"
  fi
}

for seed in 1 2 3 4 5; do
  "$gen" 48K "$seed" >"$work/in.$seed"
  check "seed $seed converts with status 0" "$prog" "$work/in.$seed" >"$work/out.$seed"
done
"$gen" 48K 1 >"$work/again"
check "the same seed gives the same bytes" cmp -s "$work/in.1" "$work/again"
check "the output is not empty" test -s "$work/out.1"

# Every feature, as the tokens of the input show it. Statement arguments are skipped, so that
# "key -2" does not pass for a flat.
cat "$work"/in.[1-5] >"$work/all"
awk '
  BEGIN { RS = "[ \t\n]+" }
  skip > 0 { skip--; if (prev == "key") seen["key " substr($0, 1, 1)] = 1; next }
  /^(units|key|rest|up|down|tempo)$/ { seen[$0] = 1; skip = 1; prev = $0; next }
  $0 == "copy" { seen[$0] = 1; skip = 2; prev = $0; next }
  /^(treble|alto|tenor|bass|end|l|e|h|q|s)$/ { seen[$0] = 1; next }
  /^\/$/ { seen["bar line"] = 1; next }
  /^[0-9]+\/?$/ { seen["measure number"] = 1; next }
  /^[A-Z]+$/ { seen["upper-case word"] = 1; next }
  /\/$/ { seen["bar line against a token"] = 1 }
  /,/ && /r/ { seen["comma rest"] = 1; next }
  /,/ { seen["comma note"] = 1 }
  /^[0-9]+[^0-9,]*,/ { seen["comma note with pitch"] = 1 }
  /r/ { seen["rest"] = 1; next }
  /\./ { seen["dot"] = 1 }
  /x\./ { seen["x"] = 1 }
  /c/ { seen["triplet"] = 1 }
  /\(/ { seen["sharp"] = 1 }
  /-/ { seen["flat"] = 1 }
  /\)/ { seen["natural"] = 1 }
  /a/ { seen["a shift"] = 1 }
  /b/ { seen["b shift"] = 1 }
  /[lehqs]/ { seen["articulation letter"] = 1 }
  END { for (f in seen) print f }
' "$work/all" | sort >"$work/seen"
for feature in units treble alto tenor bass "key (" "key -" "key )" tempo up down l e h q s \
  rest copy end "bar line" "bar line against a token" "measure number" "upper-case word" \
  "comma rest" "comma note" "comma note with pitch" dot x triplet sharp flat natural \
  "a shift" "b shift" "articulation letter"; do
  check "the input holds: $feature" grep -qxF "$feature" "$work/seen"
done

check "the timer runs both commands" "$timer" 2 "$prog" "$work/in.1" ::: cat "$work/in.1" \
  >"$work/timer"
check "the timer prints a line per command" test "$(grep -c '^median_s=' "$work/timer")" -eq 2

if [ -n "$micro" ]; then
  check "the micro-benchmarks run" "$micro" --benchmark_min_time=0.001 >"$work/micro" 2>&1 \
    || cat "$work/micro"
  check "every micro-benchmark reports" test "$(grep -c '^BM_' "$work/micro")" -eq 4
fi

echo "$pass passed, $failed failed"
[ "$failed" -eq 0 ]
