#!/usr/bin/env bash
# "cmake --install" as a user runs it, to a prefix of their own (one with a blank in it): the
# files it installs, the installed program at work, and a small project of someone else's that
# finds the library with find_package(pn2tavix), links it and converts with it.
# Usage: install_test.sh BUILD_DIR CONFIG CONSUMER_SOURCE CXX_COMPILER GENERATOR
#                        EXAMPLE_INPUT EXAMPLE_OUTPUT
set -u
build=$1
config=$2
consumer=$3
cxx=$4
generator=$5
example=$6
expected=$7
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix="$work/my prefix"
pass=0
failed=0

ok() { pass=$((pass + 1)); }
fail() {
  failed=$((failed + 1))
  echo "FAIL: $1"
  [ -f "$work/log" ] && sed 's/^/  /' "$work/log" | tail -20
}

config_args=()
[ -n "$config" ] && config_args=(--config "$config")

if cmake --install "$build" --prefix "$prefix" "${config_args[@]}" >"$work/log" 2>&1; then
  ok
else
  fail "cmake --install"
  echo "$pass passed, $failed failed"
  exit 1
fi

# Every installed file, the library folder written as LIB (lib, lib64 or lib/<multiarch>).
(cd "$prefix" && find . -type f | sed -E 's#^\./lib[^/]*(/[a-z0-9_-]+-linux-gnu)?/#LIB/#' | sort) \
  >"$work/installed"
cat >"$work/wanted" <<'LIST'
./bin/pn2tavix
./bin/pn2tavix-check
./bin/pn2tavix-midi
./include/pn2tavix/message.h
./include/pn2tavix/pn2tavix.h
./include/pn2tavix/timeline.h
./include/pn2tavix/version.h
./share/doc/pn2tavix/LICENSE
./share/doc/pn2tavix/CHANGELOG.md
./share/doc/pn2tavix/README.md
./share/doc/pn2tavix/docs/input-language.md
./share/doc/pn2tavix/docs/output-format.md
./share/doc/pn2tavix/docs/web.md
./share/doc/pn2tavix/web/screenshot.png
./share/man/man1/pn2tavix-check.1
./share/man/man1/pn2tavix-midi.1
./share/man/man1/pn2tavix.1
LIB/cmake/pn2tavix/pn2tavixConfig.cmake
LIB/cmake/pn2tavix/pn2tavixConfigVersion.cmake
LIB/cmake/pn2tavix/pn2tavixTargets-CONFIG.cmake
LIB/cmake/pn2tavix/pn2tavixTargets.cmake
LIB/libpn2tavix_core.a
LIB/pkgconfig/pn2tavix.pc
LIST
# The per-configuration targets file is named after the build type, in lower case.
config_lower=$(echo "${config:-noconfig}" | tr '[:upper:]' '[:lower:]')
sed -i "s/-CONFIG\.cmake/-$config_lower.cmake/" "$work/wanted"
sort -o "$work/wanted" "$work/wanted"
if diff "$work/wanted" "$work/installed" >"$work/log"; then ok; else fail "the installed files"; fi

rm -f "$work/log"
if "$prefix/bin/pn2tavix" "$example" >"$work/out" 2>"$work/err" && cmp -s "$work/out" "$expected" \
  && [ ! -s "$work/err" ]; then
  ok
else
  fail "the installed program converts the example"
fi

if cmake -S "$consumer" -B "$work/consumer" -G "$generator" -DCMAKE_CXX_COMPILER="$cxx" \
  -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE="${config:-Release}" >"$work/log" 2>&1 \
  && cmake --build "$work/consumer" "${config_args[@]}" >>"$work/log" 2>&1; then
  ok
else
  fail "a project of its own finds, compiles and links the installed library"
  echo "$pass passed, $failed failed"
  exit 1
fi

rm -f "$work/log"
program=$(find "$work/consumer" -type f -name consumer -perm -u+x | head -n 1)
if "$program" "$example" >"$work/out" 2>"$work/err" && cmp -s "$work/out" "$expected" \
  && [ ! -s "$work/err" ]; then
  ok
else
  fail "the consumer converts the example and sees the status of a faulty piece"
  sed 's/^/  /' "$work/err"
fi

# The same consumer built with the flags that pkg-config gives, from the installed .pc file.
if command -v pkg-config >/dev/null; then
  pc=$(find "$prefix" -name pn2tavix.pc | head -n 1)
  if cflags=$(PKG_CONFIG_PATH=$(dirname "$pc") pkg-config --cflags pn2tavix) &&
    libs=$(PKG_CONFIG_PATH=$(dirname "$pc") pkg-config --libs pn2tavix) &&
    eval "\"$cxx\" -std=c++17 $cflags \"$consumer/main.cc\" $libs -o \"$work/pc-consumer\"" \
      >"$work/log" 2>&1 &&
    "$work/pc-consumer" "$example" >"$work/out" 2>"$work/err" && cmp -s "$work/out" "$expected"; then
    ok
  else
    fail "a program built with pkg-config's flags converts the example"
    sed 's/^/  /' "$work/log" "$work/err" 2>/dev/null
  fi
fi

echo "$pass passed, $failed failed"
[ "$failed" -eq 0 ]
