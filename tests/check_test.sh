#!/usr/bin/env bash
# pn2tavix-check as a user meets it: a folder of pieces with faults, warnings and awkward
# names, a file that cannot be read, standard input, and the command line itself; its stdout,
# stderr and exit status compared whole.
# Usage: check_test.sh CHECKER
set -u
source "$(dirname "$0")/lib.sh"
checker=$(absolute "$1")

cd "$work"
mkdir -p pieces/voices pieces/empty
printf 'Minuet/ units 8 1 4q4/ end\n' >pieces/good.pdp1
printf 'Minuet units 8 1 6q4/ end\n' >pieces/swallowed.pdp1
printf 'Short/ units 16\n1 4q4 4q8/ end\n' >pieces/short.pdp1
printf 'Two voices/ units 8 1 4q4/ end\nSecond/ units 8\n1 4q4/\n3 4q4/ end\n' \
  >pieces/voices/mismatch.pdp1
printf 'Unchecked/ units 8 1 4q4 end\n' >'pieces/voices/a: b c.pdp1'
printf 'Bad bytes/ units 8 1 6\x1b\xc2\x9b\xffq/ end\n' >"pieces/voices/caf$(printf '\xc3\xa9')-$(printf '\xff').pdp1"
printf 'not music' >pieces/notes.txt

check "a piece that converts" 0 "" $'pn2tavix-check: 1 file, 1 converted, 0 with errors, 0 warnings\n' \
  -- "$checker" pieces/good.pdp1

want_out='pieces/short.pdp1:2:10: error: found 72 192th notes of music, expected 96 in measure 1, voice 1
pieces/short.pdp1: note: measure 1 is short by an eighth (24 192nds)
pieces/short.pdp1:2:1: note: measure 1 began here
pieces/swallowed.pdp1:1:1: warning: the title holds the statement word "units": is its '"'"'/'"'"' missing?
pieces/swallowed.pdp1:1:21: note: the title ends here
"pieces/voices/a: b c.pdp1":1:26: warning: measure 1 of voice 1 is never checked: "end" comes before its bar line
"pieces/voices/a: b c.pdp1":1:20: note: measure 1 began here
"pieces/voices/café-\xff.pdp1":1:22: error: No duration found for note 6\x1b\xc2\x9b\xffq in measure 1
pieces/voices/mismatch.pdp1:4:1: error: input claims measure 3, but actually on measure 2
pieces/voices/mismatch.pdp1:4:1: note: measure 2 began here
pieces/empty: warning: no .pdp1 file in this folder
'
check "a folder: its pieces below it in the order of their names" 1 "$want_out" \
  $'pn2tavix-check: 6 files, 3 converted, 3 with errors, 3 warnings\n' -- \
  "$checker" pieces pieces/empty

want_out='missing.pdp1: error: Can'"'"'t open file missing.pdp1
missing.pdp1: note: No such file or directory
<stdin>:1:1: warning: the title runs over more than one line: is its '"'"'/'"'"' missing?
<stdin>:2:2: note: the title ends here
'
check "a missing file, and standard input" 1 "$want_out" \
  $'pn2tavix-check: 2 files, 1 converted, 1 with errors, 1 warning\n' -- \
  sh -c 'printf "A\nB/ end" | "$0" "$@"' "$checker" missing.pdp1 -

# Places found again in the bytes: a byte-order mark and UTF-8 before a tab on line 1, a CR
# alone ending it; from a file in each mode, and from standard input, which is read whole.
printf '\xef\xbb\xbf\xc3\x89tude/\tunits 16 1\t0q4\r0q4\t0q4 /\r' >columns.pdp1
for mode in "bytes 2:9 1:21 columns.pdp1" "chars 2:9 1:17 columns.pdp1" "display 2:13 1:18 -"; do
  set -- $mode
  name=${4/#-/<stdin>}
  check "--columns=$1 $4" 1 "$name:$2: error: found 144 192th notes of music, expected 96 in measure 1, voice 1
$name: note: measure 1 is long by a quarter (48 192nds)
$name:$3: note: measure 1 began here
" $'pn2tavix-check: 1 file, 0 converted, 1 with errors, 0 warnings\n' -- \
    sh -c '"$0" "$@" <columns.pdp1' "$checker" --columns="$1" "$4"
done

# A file that cannot be read: as root any file can, so the checker then runs as nobody.
printf 'Held/ units 8 1 4q4/ end' >held.pdp1
chmod 000 held.pdp1
cp "$checker" ./checker
chmod 755 "$work" ./checker
if [ ${#as_user[@]} -eq 0 ] || { command -v setpriv >/dev/null && "${as_user[@]}" ./checker --version >/dev/null 2>&1; }; then
  check "an unreadable file" 1 $'held.pdp1: error: Can\'t open file held.pdp1\nheld.pdp1: note: Permission denied\n' \
    $'pn2tavix-check: 1 file, 0 converted, 1 with errors, 0 warnings\n' -- \
    "${as_user[@]}" ./checker held.pdp1
else
  echo "note: cannot run the checker as nobody, the unreadable file is not tested"
fi

check "no file is a usage error" 2 "" \
  $'pn2tavix-check: no file to check\nUsage: pn2tavix-check [--columns=bytes|chars|display] [--] FILE|FOLDER|- ...\n' -- "$checker"
check "an unknown option is a usage error" 2 "" \
  $'pn2tavix-check: unknown option -q\nUsage: pn2tavix-check [--columns=bytes|chars|display] [--] FILE|FOLDER|- ...\n' -- \
  "$checker" -q pieces/good.pdp1
printf 'Dash/ units 8 1 4q4/ end\n' >./-q
check "-- ends the options" 0 "" $'pn2tavix-check: 1 file, 1 converted, 0 with errors, 0 warnings\n' \
  -- "$checker" -- -q
check "--version" 0 "pn2tavix-check $("$checker" --version | cut -d' ' -f2)"$'\n' "" -- \
  "$checker" --version
"$checker" --help >"$work/help" 2>&1 && grep -q '^Usage: pn2tavix-check' "$work/help" &&
  grep -q 'Exit status' "$work/help" && pass=$((pass + 1)) ||
  { failed=$((failed + 1)); echo "FAIL: --help"; }

finish
