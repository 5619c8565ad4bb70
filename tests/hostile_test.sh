#!/usr/bin/env bash
# Inputs too large to keep as files: megabyte tokens and titles, voices at the measure bound,
# copies that run into it, thirty-digit numbers in every place that takes a number, and a large
# valid piece. Each is generated here and checked for its exact output, message and status.
# With "measure-memory" as the second argument, the peak resident memory of every run is also
# held under 64 MiB (not under a sanitizer or valgrind, whose own memory would be counted).
# Usage: hostile_test.sh PROGRAM [measure-memory]
# shellcheck disable=SC2016  # a "$" in the expected output is tavix text, not a variable
set -u
prog=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
measure_memory=0
if [ "${2:-}" = "measure-memory" ]; then
  if [ -x /usr/bin/time ]; then
    measure_memory=1
  else
    echo "note: /usr/bin/time is missing, peak memory is not checked"
  fi
fi
limit_kib=$((64 * 1024))
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ln -s "$prog" "$work/pn2tavix"
pass=0
failed=0

# check NAME EXPECTED_STATUS EXPECTED_STDOUT_FILE EXPECTED_STDERR INPUT_FILE [LIMIT_KIB]
check() {
  local name=$1 want_status=$2 want_out=$3 want_err=$4 input=$5 limit=${6:-$limit_kib}
  if [ $measure_memory -eq 1 ]; then
    /usr/bin/time -f %M -o "$work/rss" "$work/pn2tavix" "$input" >"$work/out" 2>"$work/err"
  else
    "$work/pn2tavix" "$input" >"$work/out" 2>"$work/err"
  fi
  local status=$?
  local ok=1
  [ "$status" -eq "$want_status" ] || { echo "  status $status, expected $want_status"; ok=0; }
  cmp -s "$work/out" "$want_out" || { echo "  stdout differs from the expected text"; ok=0; }
  printf '%s' "$want_err" >"$work/want_err"
  cmp -s "$work/err" "$work/want_err" || { echo "  stderr: $(head -c 300 "$work/err" | cat -A)"; ok=0; }
  if [ $measure_memory -eq 1 ]; then
    local kib
    kib=$(tail -n 1 "$work/rss")
    echo "  peak memory $kib KiB: $name"
    [ "$kib" -lt "$limit" ] || { echo "  peak memory over $limit KiB"; ok=0; }
  fi
  if [ $ok -eq 1 ]; then pass=$((pass + 1)); else failed=$((failed + 1)); echo "FAIL: $name"; fi
}

# The output's fixed parts.
header() { printf '@head {\n$title "%s"\n$tempo 67\n$resolution 96\n}\n\n@body {\n' "$1"; }
channel() {
  local pan=0
  [ "$1" -le 2 ] && pan=127
  printf '@channel %d {\n$patch flute\n$attack 127\n$decay 127\n$reverb 0\n$chorus 0\n$pan %d\n' \
    "$1" "$pan"
}
# repeat TEXT COUNT: TEXT written COUNT times.
repeat() { awk -v t="$1" -v n="$2" 'BEGIN { for (i = 0; i < n; i++) printf "%s", t }'; }
# end_measures FIRST LAST VOICE: the comment lines of measures FIRST to LAST.
end_measures() {
  awk -v a="$1" -v b="$2" -v v="$3" \
    'BEGIN { for (i = a; i <= b; i++) printf "# End measure %d of voice %d\n\n", i, v }'
}
mib=1048576
limit_msg=$'pn2tavix: No more than 5000 measures allowed\n'

# --- A megabyte where at most 79 or 255 characters are allowed.
{ printf 'Big/\nunits 8\n1 r4/\n'; repeat A $mib; printf '\nend\n'; } >"$work/in"
{ header Big; channel 1; printf '$time_sig 16/64\n/L16:64/r\n'; end_measures 1 1 1; } >"$work/want"
check "a token of a megabyte" 1 "$work/want" $'pn2tavix: Token longer than 79 characters\n' "$work/in"

{ printf 'Big/\nunits 8\n1 6q4 '; repeat r $mib; printf '\nend\n'; } >"$work/in"
{ header Big; channel 1; printf '$time_sig 16/64\n'; } >"$work/want"
check "a token of a megabyte read ahead after a note" 1 "$work/want" \
  $'pn2tavix: Token longer than 79 characters\n' "$work/in"

{ printf 'Big/\ncopy '; repeat 9 $mib; printf '\nend\n'; } >"$work/in"
{ header Big; channel 1; } >"$work/want"
check "a statement argument of a megabyte" 1 "$work/want" \
  $'pn2tavix: Token longer than 79 characters\n' "$work/in"

repeat T $mib >"$work/in"
: >"$work/want"
check "a first title of a megabyte with no slash" 1 "$work/want" \
  $'pn2tavix: Title longer than 255 characters\n' "$work/in"

{ printf 'One/\nend\n'; repeat T $mib; } >"$work/in"
{ header One; channel 1; printf '}\n\n'; } >"$work/want"
check "a second title of a megabyte with no slash" 1 "$work/want" \
  $'pn2tavix: Title longer than 255 characters\n' "$work/in"

{ repeat ' \n\t@' $((mib / 4)); printf 'Late/\nend\n'; } >"$work/in"
{ header Late; channel 1; printf '}\n\n}\n\n'; } >"$work/want"
check "a megabyte of blanks and at signs before the title" 0 "$work/want" "" "$work/in"

# --- The measure bound: 4999 measures close and the voice can end; closing the 5000th ends the
# run before the next token, whatever it is. Each voice counts anew.
{
  for v in 1 2; do printf 'Voice/\nunits 0\n'; repeat '/\n' 4999; printf 'end\n'; done
} >"$work/in"
{
  header Voice
  for v in 1 2; do channel $v; printf '$time_sig 0/64\n'; end_measures 1 4999 $v; printf '}\n\n'; done
  printf '}\n\n'
} >"$work/want"
check "two voices of 4999 measures" 0 "$work/want" "" "$work/in"

{ printf 'Voice/\nunits 0\n'; repeat '/\n' 5001; printf 'end\n'; } >"$work/in"
{ header Voice; channel 1; printf '$time_sig 0/64\n'; end_measures 1 5000 1; } >"$work/want"
check "a voice of 5001 measures" 1 "$work/want" "$limit_msg" "$work/in"

printf 'Rests/\nunits 4\nrest 4999\nend\n' >"$work/in"
{
  header Rests
  channel 1
  printf '$time_sig 8/64\n'
  awk 'BEGIN { for (i = 1; i <= 4999; i++) printf "/L8:64/r\n# End measure %d of voice 1\n\n", i }'
  printf '}\n\n}\n\n'
} >"$work/want"
check "rest 4999 closes the voice's last measures" 0 "$work/want" "" "$work/in"

printf 'Rests/\nunits 4\nrest 5000\nend\n' >"$work/in"
{
  header Rests
  channel 1
  printf '$time_sig 8/64\n'
  awk 'BEGIN { for (i = 1; i <= 5000; i++) printf "/L8:64/r\n# End measure %d of voice 1\n\n", i }'
} >"$work/want"
check "rest 5000 leaves no room for end" 1 "$work/want" "$limit_msg" "$work/in"

# --- Copies made while measure 2 is being collected, each repeating the one before it, until
# the measure bound: the collected text stops at its own bound, the output runs to 25 MB, and
# the store holds 5000 texts of 5004 characters.
{ printf 'Copies/\nunits 278\n1 '; repeat 'r64 ' 556; printf '/\n2 copy 1 999999999\nend\n'; } \
  >"$work/in"
{
  header Copies
  channel 1
  printf '$time_sig 556/64\n'
  repeat '/L1:64/r\n' 556 >"$work/measure"
  awk -v text="$(cat "$work/measure")" \
    'BEGIN { for (i = 1; i <= 5000; i++) printf "%s\n# End measure %d of voice 1\n\n", text, i }'
} >"$work/want"
check "copies while collecting until the measure bound" 1 "$work/want" "$limit_msg" "$work/in"

# --- The store full in two voices, the second's texts a little longer than the first's: the
# store's memory stays near 5000 texts of 5006 characters (25 MB), not twice that.
{
  printf 'Full/\nunits 278\n1 '
  repeat 'r64 ' 556
  printf '/\n2 copy 1 4998\nend\nFull/\nunits 293\n1 '
  repeat 'r64 ' 554
  printf 'r4 r4/\n2 copy 1 4998\nend\n'
} >"$work/in"
{
  header Full
  channel 1
  printf '$time_sig 556/64\n'
  repeat '/L1:64/r\n' 556 >"$work/measure"
  awk -v text="$(cat "$work/measure")" \
    'BEGIN { for (i = 1; i <= 4999; i++) printf "%s\n# End measure %d of voice 1\n\n", text, i }'
  printf '}\n\n'
  channel 2
  printf '$time_sig 586/64\n'
  { repeat '/L1:64/r\n' 554; repeat '/L16:64/r\n' 2; } >"$work/measure"
  awk -v text="$(cat "$work/measure")" \
    'BEGIN { for (i = 1; i <= 4999; i++) printf "%s\n# End measure %d of voice 2\n\n", text, i }'
  printf '}\n\n}\n\n'
} >"$work/want"
check "the store filled twice with growing texts" 0 "$work/want" "" "$work/in" $((40 * 1024))

# --- Thirty digits in every place that takes a number. Each input is "N/", a statement and
# "end"; everything before the statement is written, the statement's own message follows.
d30=123456789012345678901234567890
{ header N; channel 1; } >"$work/prefix"
while IFS='|' read -r name text status message; do
  printf 'N/\n%s\nend\n' "$text" >"$work/in"
  check "thirty digits: $name" "$status" "$work/prefix" "pn2tavix: $message"$'\n' "$work/in"
done <<EOF
units|units $d30|1|Number $d30 out of range for "units", in measure 1, voice 1
negative units|units -$d30|1|Number -$d30 out of range for "units", in measure 1, voice 1
rest|rest $d30|1|Number $d30 out of range for "rest", in measure 1, voice 1
first measure of copy|copy $d30 1|1|Number $d30 out of range for "copy", in measure 1, voice 1
last measure of copy|copy 1 $d30|1|Number $d30 out of range for "copy", in measure 1, voice 1
up|up $d30|1|Number $d30 out of range for "up", in measure 1, voice 1
down|down -$d30|1|Number -$d30 out of range for "down", in measure 1, voice 1
tempo|tempo $d30|1|Number $d30 out of range for "tempo", in measure 1, voice 1
negative tempo|tempo -$d30|1|Number -$d30 out of range for "tempo", in measure 1, voice 1
key sharps|key ($d30|1|bogus parameter ($d30 for "key" statement
key flats|key -$d30|1|bogus parameter -$d30 for "key" statement
measure number|$d30|2|input claims measure $d30, but actually on measure 1
pitch number|${d30}q4|1|oops, can't handle pitch numbers greater then 15 in measure 1.  Fix me!
pitch of a comma note|${d30},|1|oops, can't handle pitch numbers greater then 15 in measure 1.  Fix me!
EOF

# A note value or a rest value of thirty digits has no length: nothing is written for it.
printf 'N/\nunits 8\n1 7q%s r%s r4/\nend\n' "$d30" "$d30" >"$work/in"
{ header N; channel 1; printf '$time_sig 16/64\n/L16:64/r\n'; end_measures 1 1 1; printf '}\n\n}\n\n'; } \
  >"$work/want"
check "thirty digits: note and rest values" 0 "$work/want" "" "$work/in"

# --- A large valid piece: memory must not grow with the input. 100 voices of 1000 measures.
awk 'BEGIN {
  for (v = 1; v <= 100; v++) {
    printf "Voice %d/\nunits 24 bass key -3\n", v
    for (m = 1; m <= 1000; m++) printf "%d 6q4 8c8 9c8 10c8 r4/\n", m
    printf "end\n"
  }
}' >"$work/in"
{
  header "Voice 1"
  awk 'BEGIN {
    for (v = 1; v <= 100; v++) {
      printf "@channel %d {\n$patch flute\n$attack 127\n$decay 127\n$reverb 0\n$chorus 0\n", v
      printf "$pan %d\n$time_sig 48/64\n", v <= 2 ? 127 : 0
      for (m = 1; m <= 1000; m++) {
        printf "$shorten 24\n/L16:64/e-4\n$shorten 4\n/L8:96/g4\n"
        printf "$shorten 4\n/L8:96/a-4\n$shorten 0\n/L8:96/b-4\n"
        printf "/L16:64/r\n# End measure %d of voice %d\n\n", m, v
      }
      printf "}\n\n"
    }
    printf "}\n\n"
  }'
} >"$work/want"
check "a valid piece of 100 voices" 0 "$work/want" "" "$work/in"

echo "$pass passed, $failed failed"
[ "$failed" -eq 0 ]
