#!/usr/bin/env bash
# The command line as a user meets it: arguments, the program's name in messages, files that
# cannot be read, standard input, and an output that cannot be written.
# Usage: cli_test.sh PROGRAM EXAMPLE_INPUT EXAMPLE_OUTPUT
set -u
prog=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
example=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
expected=$(cd "$(dirname "$3")" && pwd)/$(basename "$3")
work=$(mktemp -d)
trap 'chmod -R u+rwx "$work"; rm -rf "$work"' EXIT
pass=0
failed=0

# check NAME EXPECTED_STATUS EXPECTED_STDOUT_FILE EXPECTED_STDERR -- COMMAND...
check() {
  local name=$1 want_status=$2 want_out=$3 want_err=$4
  shift 5
  "$@" >"$work/out" 2>"$work/err"
  local status=$?
  local ok=1
  [ "$status" -eq "$want_status" ] || { echo "  status $status, expected $want_status"; ok=0; }
  if [ "$want_out" = "-" ]; then
    [ ! -s "$work/out" ] || { echo "  unexpected stdout"; ok=0; }
  else
    cmp -s "$work/out" "$want_out" || { echo "  stdout differs from $want_out"; ok=0; }
  fi
  printf '%s' "$want_err" >"$work/want_err"
  cmp -s "$work/err" "$work/want_err" || { echo "  stderr: $(cat -A "$work/err")"; ok=0; }
  if [ $ok -eq 1 ]; then pass=$((pass + 1)); else failed=$((failed + 1)); echo "FAIL: $name"; fi
}

mkdir -p "$work/bin/sub"
ln -s "$prog" "$work/bin/pn2tavix"
cd "$work/bin"

check "a named file converts" 0 "$expected" "" -- ./pn2tavix "$example"
check "standard input converts" 0 "$expected" "" -- sh -c "./pn2tavix < '$example'"
check "two arguments give the usage line" 1 - \
  $'pn2tavix: Usage: pn2tavix [pdp-1 music file]\n' -- ./pn2tavix "$example" "$example"
# The name the program is invoked under, set with exec -a.
check "the name is the part after the last slash" 1 - \
  $'conv: Usage: conv [pdp-1 music file]\n' -- bash -c 'exec -a "dir\\sub/conv" ./pn2tavix a b'
check "a backslash counts only where there is no slash" 1 - \
  $'sub\\conv: Usage: sub\\conv [pdp-1 music file]\n' -- \
  bash -c 'exec -a "dir/sub\\conv" ./pn2tavix a b'
check "without a slash, the part after the last backslash" 1 - \
  $'conv: Usage: conv [pdp-1 music file]\n' -- bash -c 'exec -a "dir\\sub\\conv" ./pn2tavix a b'
check "a name without either stays whole" 1 - \
  $'conv: Usage: conv [pdp-1 music file]\n' -- bash -c 'exec -a conv ./pn2tavix a b'
check "a missing file" 1 - \
  $'pn2tavix: Can\'t open file no/such.pdp1\npn2tavix: No such file or directory\n' -- \
  ./pn2tavix no/such.pdp1
check "a directory" 1 - \
  $'pn2tavix: Can\'t open file sub\npn2tavix: Is a directory\n' -- ./pn2tavix sub
check "a directory on standard input is a read error, not an empty input" 1 - \
  $'pn2tavix: Error reading standard input: Is a directory\n' -- sh -c './pn2tavix < sub'
printf 'x/' >"$work/locked.pdp1"
chmod 000 "$work/locked.pdp1"
locked_message=$"pn2tavix: Can't open file $work/locked.pdp1"$'\npn2tavix: Permission denied\n'
if [ "$(id -u)" -ne 0 ]; then
  check "an unreadable file" 1 - "$locked_message" -- ./pn2tavix "$work/locked.pdp1"
else
  # Root reads any file: the program runs as nobody instead, where nobody can reach it.
  as_nobody=(setpriv --reuid=65534 --regid=65534 --clear-groups)
  chmod 755 "$work" "$work/bin"
  if command -v setpriv >/dev/null && "${as_nobody[@]}" test -x "$prog"; then
    check "an unreadable file" 1 - "$locked_message" -- \
      "${as_nobody[@]}" ./pn2tavix "$work/locked.pdp1"
  else
    echo "note: cannot run the program as nobody, the unreadable file is not tested"
  fi
fi
# A file that opens but fails when read, for root too.
if [ -r /proc/self/mem ]; then
  check "a read error after the file opened" 1 - \
    $'pn2tavix: Error reading /proc/self/mem: Input/output error\n' -- ./pn2tavix /proc/self/mem
fi
if [ -w /dev/full ]; then
  check "a full output device is an error, not a success" 1 - \
    $'pn2tavix: Error writing standard output: No space left on device\n' -- \
    sh -c "./pn2tavix '$example' > /dev/full"
fi

echo "$pass passed, $failed failed"
[ "$failed" -eq 0 ]
