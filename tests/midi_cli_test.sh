#!/usr/bin/env bash
# pn2tavix-midi's command line as a user meets it: one piece to a file or to a pipe, many into a
# folder, pieces that do not convert (no file at all, not even a partial or temporary one, and
# a file already there left as it was), a terminal refused, and usage errors.
# Usage: midi_cli_test.sh PN2TAVIX_MIDI
set -u
source "$(dirname "$0")/lib.sh"
midi=$(absolute "$1")

# expect NAME CONDITION...: the condition holds.
expect() {
  local name=$1
  shift
  if "$@"; then pass=$((pass + 1)); else failed=$((failed + 1)); echo "FAIL: $name"; fi
}

cd "$work"
printf 'Minuet/ units 8 1 4q4/ end\n' >good.pdp1
printf 'Other/ units 8 1 5q4/ end\n' >other.pdp1
printf 'Short/ units 16\n1 4q4 4q8/ end\n' >short.pdp1
short_err='short.pdp1:2:10: error: found 72 192th notes of music, expected 96 in measure 1, voice 1
short.pdp1: note: measure 1 is short by an eighth (24 192nds)
short.pdp1:2:1: note: measure 1 began here
'

check "a piece to a file" 0 "" "" -- "$midi" -o good.mid good.pdp1
expect "the file is a Standard MIDI File" [ "$(head -c 4 good.mid)" = MThd ]
expect "made as any new file is" [ "$(stat -c %a good.mid)" = "$(printf '%o' $((0666 & ~$(umask))))" ]
check "standard input to a pipe: the same bytes" 0 @good.mid "" -- bash -o pipefail -c "\"$midi\" <good.pdp1 | cat"
check "- for standard input: the same bytes" 0 @good.mid "" -- bash -o pipefail -c "\"$midi\" -o - - <good.pdp1 | cat"

cp good.mid kept.mid
check "a piece that does not convert" 1 "" "$short_err" -- "$midi" -o kept.mid short.pdp1
expect "leaves the file that was there" cmp -s kept.mid good.mid
check "nor writes one" 1 "" "$short_err" -- "$midi" -o short.mid short.pdp1
expect "no file, not even a temporary one" [ "$(ls | grep -c -e '\.mid' -e '\.mid\.')" -eq 2 ]
check "nor anything on standard output" 1 "" "$short_err" -- bash -o pipefail -c "\"$midi\" short.pdp1 | cat"

mkdir into
check "-d: each piece into the folder" 1 "" "$short_err" -- "$midi" -d into good.pdp1 short.pdp1 other.pdp1
expect "-d: the pieces that convert, named after their files" \
  [ "$(ls into | tr '\n' ' ')" = "good.mid other.mid " ]
expect "-d: the same bytes as one by one" cmp -s into/good.mid good.mid
check "-d: every piece written" 0 "" "" -- "$midi" -d into good.pdp1
mkdir again
cp other.pdp1 again/good.pdp1
check "-d: two pieces of one name, the second refused" 1 "" \
  "again/good.pdp1: error: not converted: its MIDI file into/good.mid is that of good.pdp1, given before it"$'\n' \
  -- "$midi" -d into good.pdp1 again/good.pdp1
expect "-d: the first piece's file kept" cmp -s into/good.mid good.mid
check "a file that cannot be opened" 1 "" $'missing.pdp1: error: Can\'t open file missing.pdp1\nmissing.pdp1: note: No such file or directory\n' \
  -- "$midi" -o missing.mid missing.pdp1
check "a folder that cannot be written" 1 "" \
  "nowhere/x.mid: error: Can't write the MIDI file: No such file or directory"$'\n' \
  -- "$midi" -o nowhere/x.mid good.pdp1

check "a terminal is refused" 2 "" "" -- script -qec "\"$midi\" good.pdp1 2>err.tty" /dev/null
expect "with a reason" grep -q "will not write MIDI to a terminal" err.tty

usage='Usage: pn2tavix-midi [-o OUT.mid] [--] [FILE|-]
       pn2tavix-midi -d DIR [--] FILE...
'
check "an unknown option" 2 "" "pn2tavix-midi: unknown option -x"$'\n'"$usage" -- "$midi" -x good.pdp1
check "-o and -d" 2 "" "pn2tavix-midi: -o and -d cannot go together"$'\n'"$usage" \
  -- "$midi" -o a.mid -d into good.pdp1
check "two pieces without -d" 2 "" "pn2tavix-midi: one file at a time; -d DIR for several"$'\n'"$usage" \
  -- "$midi" -o a.mid good.pdp1 other.pdp1
check "-d without pieces" 2 "" "pn2tavix-midi: -d needs the files to convert"$'\n'"$usage" \
  -- "$midi" -d into
check "-o without its file" 2 "" "pn2tavix-midi: -o needs an argument"$'\n'"$usage" -- "$midi" -o
expect "--help begins with the usage" [ "$("$midi" --help | head -n 2)" = "${usage%$'\n'}" ]
expect "--version names the program" \
  eval '"$midi" --version | grep -qx "pn2tavix-midi [0-9]*\.[0-9]*\.[0-9]*"'

finish
