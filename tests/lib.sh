# What the program tests share, sourced by each: a scratch folder removed on exit, `check`,
# which runs a command and compares its exit status, stdout and stderr whole, and the tally.

work=$(mktemp -d)
trap 'chmod -R u+rwx "$work"; rm -rf "$work"' EXIT
pass=0
failed=0

# The absolute path of PATH, whose folder exists.
absolute() { echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; }

# check NAME EXPECTED_STATUS EXPECTED_STDOUT EXPECTED_STDERR -- COMMAND...
# EXPECTED_STDOUT is the text itself, or @FILE for the bytes of a file.
check() {
  local name=$1 want_status=$2 want_out=$3 want_err=$4
  shift 5
  "$@" >"$work/out" 2>"$work/err"
  local status=$?
  local ok=1
  [ "$status" -eq "$want_status" ] || { echo "  status $status, expected $want_status"; ok=0; }
  if [ "${want_out:0:1}" = @ ]; then
    cmp -s "$work/out" "${want_out:1}" || { echo "  stdout differs from ${want_out:1}"; ok=0; }
  else
    printf '%s' "$want_out" >"$work/want_out"
    cmp -s "$work/out" "$work/want_out" || { echo "  stdout:"; cat -A "$work/out"; ok=0; }
  fi
  printf '%s' "$want_err" >"$work/want_err"
  cmp -s "$work/err" "$work/want_err" || { echo "  stderr: $(cat -A "$work/err")"; ok=0; }
  if [ $ok -eq 1 ]; then pass=$((pass + 1)); else failed=$((failed + 1)); echo "FAIL: $name"; fi
}

# Root reads any file: a test of a file that cannot be read runs its program as nobody there,
# through "${as_user[@]}" (empty for any other user).
as_user=()
[ "$(id -u)" -eq 0 ] && as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)

# The tally, and the test's status: every check passed, and there was at least one.
finish() {
  echo "$pass passed, $failed failed"
  [ "$failed" -eq 0 ] && [ "$pass" -gt 0 ]
}
