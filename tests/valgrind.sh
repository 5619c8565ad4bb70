#!/usr/bin/env bash
# Runs the test suite under valgrind's memcheck: the unit tests (which include every golden case
# converted in memory), then the built program on every golden case and on the generated
# hostile inputs. Any invalid access, use of an uninitialised value or leaked block fails it.
# Run by .ci/run, not by ctest: about two minutes of one core (measured 1 min 54 s), and a build
# of its own. Usage: tests/valgrind.sh [BUILD_DIR]
# It configures and builds BUILD_DIR (build/memcheck by default) itself: with debug information,
# and without the sanitizers, whose own heap would hide the one memcheck watches; the C++ run-time
# is linked dynamically, as memcheck can have only a shared one free its reserve for exceptions.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/memcheck}
command -v valgrind >/dev/null || { echo "valgrind is not installed (apt-get install valgrind)"; exit 1; }
if ! { cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPN2TAVIX_SANITIZE=OFF \
  -DPN2TAVIX_BUILD_BENCHMARKS=OFF -DPN2TAVIX_STATIC_CXX=OFF &&
  cmake --build "$build" -j"$(nproc)"; } >"$build.log" 2>&1; then
  cat "$build.log"
  exit 1
fi
build=$(cd "$build" && pwd)
prog=$build/pn2tavix
if ! ldd "$prog" >/dev/null 2>&1; then
  echo "$prog is linked statically: memcheck cannot watch its heap"
  exit 1
fi

memcheck=(valgrind -q --tool=memcheck --error-exitcode=99 --leak-check=full
  --show-leak-kinds=all --errors-for-leak-kinds=all --track-origins=yes)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The end-to-end scripts run this in place of the program. Valgrind's report goes to stderr,
# where it makes the case fail, and its exit status 99 is never an expected one.
cat >"$work/pn2tavix" <<EOF
#!/usr/bin/env bash
exec ${memcheck[*]} "$prog" "\$@"
EOF
chmod +x "$work/pn2tavix"

pass=0
failed=0
step() {
  local name=$1
  shift
  echo "== $name"
  if "$@"; then pass=$((pass + 1)); else failed=$((failed + 1)); echo "FAIL: $name"; fi
}

if [ -x "$build/tests/unit_tests" ]; then
  step "unit tests under memcheck" "${memcheck[@]}" "$build/tests/unit_tests" --gtest_brief=1
else
  echo "note: no unit_tests in $build (GoogleTest missing?), skipped"
fi
step "golden cases, program under memcheck" "$root/tests/run_golden.sh" "$work/pn2tavix" \
  "$root/tests/golden"
step "hostile inputs, program under memcheck" "$root/tests/hostile_test.sh" "$work/pn2tavix"

echo "$pass passed, $failed failed"
[ "$failed" -eq 0 ]
