#!/usr/bin/env bash
# pn2tavix-check as a user meets it: a folder of pieces with faults, warnings and awkward
# names, a file that cannot be read, standard input, and the command line itself; its stdout,
# stderr and exit status compared whole.
# Usage: check_test.sh CHECKER
set -u
checker=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
work=$(mktemp -d)
trap 'chmod -R u+rwx "$work"; rm -rf "$work"' EXIT
pass=0
failed=0

# check NAME EXPECTED_STATUS EXPECTED_STDOUT EXPECTED_STDERR -- COMMAND...
check() {
  local name=$1 want_status=$2 want_out=$3 want_err=$4
  shift 5
  "$@" >"$work/out" 2>"$work/err"
  local status=$?
  local ok=1
  [ "$status" -eq "$want_status" ] || { echo "  status $status, expected $want_status"; ok=0; }
  printf '%s' "$want_out" >"$work/want_out"
  cmp -s "$work/out" "$work/want_out" || { echo "  stdout:"; cat -A "$work/out"; ok=0; }
  printf '%s' "$want_err" >"$work/want_err"
  cmp -s "$work/err" "$work/want_err" || { echo "  stderr: $(cat -A "$work/err")"; ok=0; }
  if [ $ok -eq 1 ]; then pass=$((pass + 1)); else failed=$((failed + 1)); echo "FAIL: $name"; fi
}

cd "$work"
mkdir -p pieces/voices pieces/empty
printf 'Minuet/ units 8 1 4q4/ end\n' >pieces/good.pdp1
printf 'Minuet units 8 1 6q4/ end\n' >pieces/swallowed.pdp1
printf 'Short/ units 16\n1 4q4 4q8/ end\n' >pieces/short.pdp1
printf 'Two voices/ units 8 1 4q4/ end\nSecond/ units 8\n1 4q4/\n3 4q4/ end\n' \
  >pieces/voices/mismatch.pdp1
printf 'Unchecked/ units 8 1 4q4 end\n' >'pieces/voices/a: b c.pdp1'
printf 'Bad bytes/ units 8 1 6\xffq/ end\n' >"pieces/voices/caf$(printf '\xc3\xa9')-$(printf '\xff').pdp1"
printf 'not music' >pieces/notes.txt

check "a piece that converts" 0 "" $'pn2tavix-check: 1 file, 1 converted, 0 with errors, 0 warnings\n' \
  -- "$checker" pieces/good.pdp1

want_out='pieces/short.pdp1:2:10: error: found 72 192th notes of music, expected 96 in measure 1, voice 1
pieces/short.pdp1: note: measure 1 is short by an eighth (24 192nds)
pieces/short.pdp1:2:1: note: measure 1 began here
pieces/swallowed.pdp1:1:1: warning: the title holds the statement word "units": is its '"'"'/'"'"' missing?
pieces/swallowed.pdp1:1:21: note: the title ends here
"pieces/voices/a: b c.pdp1":1:20: warning: measure 1 of voice 1 is never checked: "end" comes before its bar line
"pieces/voices/a: b c.pdp1":1:26: note: the voice ends here, before the bar line of measure 1
"pieces/voices/café-\xff.pdp1":1:22: error: No duration found for note 6'$'\xff''q in measure 1
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

# A file that cannot be read: as root any file can, so the checker then runs as nobody.
printf 'Held/ units 8 1 4q4/ end' >held.pdp1
chmod 000 held.pdp1
cp "$checker" ./checker
chmod 755 "$work" ./checker
as_user=()
[ "$(id -u)" -eq 0 ] && as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
if [ ${#as_user[@]} -eq 0 ] || { command -v setpriv >/dev/null && "${as_user[@]}" ./checker --version >/dev/null 2>&1; }; then
  check "an unreadable file" 1 $'held.pdp1: error: Can\'t open file held.pdp1\nheld.pdp1: note: Permission denied\n' \
    $'pn2tavix-check: 1 file, 0 converted, 1 with errors, 0 warnings\n' -- \
    "${as_user[@]}" ./checker held.pdp1
else
  echo "note: cannot run the checker as nobody, the unreadable file is not tested"
fi

check "no file is a usage error" 2 "" \
  $'pn2tavix-check: no file to check\nUsage: pn2tavix-check [--] FILE|FOLDER|- ...\n' -- "$checker"
check "an unknown option is a usage error" 2 "" \
  $'pn2tavix-check: unknown option -q\nUsage: pn2tavix-check [--] FILE|FOLDER|- ...\n' -- \
  "$checker" -q pieces/good.pdp1
printf 'Dash/ units 8 1 4q4/ end\n' >./-q
check "-- ends the options" 0 "" $'pn2tavix-check: 1 file, 1 converted, 0 with errors, 0 warnings\n' \
  -- "$checker" -- -q
check "--version" 0 "pn2tavix-check $("$checker" --version | cut -d' ' -f2)"$'\n' "" -- \
  "$checker" --version
"$checker" --help >"$work/help" 2>&1 && grep -q '^Usage: pn2tavix-check' "$work/help" &&
  grep -q 'Exit status' "$work/help" && pass=$((pass + 1)) ||
  { failed=$((failed + 1)); echo "FAIL: --help"; }

echo "$pass passed, $failed failed"
[ "$failed" -eq 0 ]
