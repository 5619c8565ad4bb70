#!/usr/bin/env bash
# The command line as a user meets it: arguments, the program's name in messages, files that
# cannot be read, standard input, and an output that cannot be written.
# Usage: cli_test.sh PROGRAM EXAMPLE_INPUT EXAMPLE_OUTPUT
set -u
source "$(dirname "$0")/lib.sh"
prog=$(absolute "$1")
example=$(absolute "$2")
expected=$(absolute "$3")

mkdir -p "$work/bin/sub"
ln -s "$prog" "$work/bin/pn2tavix"
cd "$work/bin"

check "a named file converts" 0 "@$expected" "" -- ./pn2tavix "$example"
check "standard input converts" 0 "@$expected" "" -- sh -c "./pn2tavix < '$example'"
check "two arguments give the usage line" 1 "" \
  $'pn2tavix: Usage: pn2tavix [pdp-1 music file]\n' -- ./pn2tavix "$example" "$example"
# The name the program is invoked under, set with exec -a.
check "the name is the part after the last slash" 1 "" \
  $'conv: Usage: conv [pdp-1 music file]\n' -- bash -c 'exec -a "dir\\sub/conv" ./pn2tavix a b'
check "a backslash counts only where there is no slash" 1 "" \
  $'sub\\conv: Usage: sub\\conv [pdp-1 music file]\n' -- \
  bash -c 'exec -a "dir/sub\\conv" ./pn2tavix a b'
check "without a slash, the part after the last backslash" 1 "" \
  $'conv: Usage: conv [pdp-1 music file]\n' -- bash -c 'exec -a "dir\\sub\\conv" ./pn2tavix a b'
check "a name without either stays whole" 1 "" \
  $'conv: Usage: conv [pdp-1 music file]\n' -- bash -c 'exec -a conv ./pn2tavix a b'
check "a missing file" 1 "" \
  $'pn2tavix: Can\'t open file no/such.pdp1\npn2tavix: No such file or directory\n' -- \
  ./pn2tavix no/such.pdp1
check "a directory" 1 "" \
  $'pn2tavix: Can\'t open file sub\npn2tavix: Is a directory\n' -- ./pn2tavix sub
check "a directory on standard input is a read error, not an empty input" 1 "" \
  $'pn2tavix: Error reading standard input: Is a directory\n' -- sh -c './pn2tavix < sub'
printf 'x/' >"$work/locked.pdp1"
chmod 000 "$work/locked.pdp1"
locked_message=$"pn2tavix: Can't open file $work/locked.pdp1"$'\npn2tavix: Permission denied\n'
# As nobody (for root), the program must be reachable.
chmod 755 "$work" "$work/bin"
if [ ${#as_user[@]} -eq 0 ] || { command -v setpriv >/dev/null && "${as_user[@]}" test -x "$prog"; }; then
  check "an unreadable file" 1 "" "$locked_message" -- \
    "${as_user[@]}" ./pn2tavix "$work/locked.pdp1"
else
  echo "note: cannot run the program as nobody, the unreadable file is not tested"
fi
# A file that opens but fails when read, for root too.
if [ -r /proc/self/mem ]; then
  check "a read error after the file opened" 1 "" \
    $'pn2tavix: Error reading /proc/self/mem: Input/output error\n' -- ./pn2tavix /proc/self/mem
fi
if [ -w /dev/full ]; then
  check "a full output device is an error, not a success" 1 "" \
    $'pn2tavix: Error writing standard output: No space left on device\n' -- \
    sh -c "./pn2tavix '$example' > /dev/full"
fi

finish
