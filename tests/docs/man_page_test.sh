#!/usr/bin/env bash
# The manual page as a reader meets it: it must format without a single warning under every
# formatter that this machine has, and name the version that the build makes.
# Usage: man_page_test.sh MANUAL_PAGE VERSION
# Exits 77 (skipped) when neither groff nor mandoc is installed (Debian: groff-base, mandoc).
set -u
page=$1
version=$2
name=$(basename "$page" .1)  # pn2tavix, pn2tavix-check
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
pass=0
failed=0
ran_formatter=0

# expect_silent NAME COMMAND...: the command succeeds and writes nothing on standard error.
expect_silent() {
  local name=$1
  shift
  if "$@" >"$work/out" 2>"$work/err" && [ ! -s "$work/err" ]; then
    pass=$((pass + 1))
  else
    failed=$((failed + 1))
    echo "FAIL: $name"
    sed 's/^/  /' "$work/err"
  fi
}

if grep -q "^\.TH ${name^^} 1 [^ ]* \"pn2tavix $version\"" "$page"; then
  pass=$((pass + 1))
else
  failed=$((failed + 1))
  echo "FAIL: the .TH line does not name ${name^^} and pn2tavix $version: $(grep '^\.TH' "$page")"
fi

if command -v groff >/dev/null; then
  ran_formatter=1
  expect_silent "groff -ww finds nothing to warn about" groff -man -ww -z "$page"
fi
if command -v mandoc >/dev/null; then
  ran_formatter=1
  # Style remarks included: mandoc's lint is the stricter of the two.
  expect_silent "mandoc -T lint finds nothing" mandoc -T lint "$page"
fi
if command -v man >/dev/null && command -v groff >/dev/null; then
  # What "man -l" shows a reader at 80 columns, with the formatter's warnings switched on.
  expect_silent "man -l renders the page" env MANWIDTH=80 MAN_DISABLE_SECCOMP=1 \
    man --warnings -l "$page"
  if col -b <"$work/out" | grep -q "^ *$name - "; then
    pass=$((pass + 1))
  else
    failed=$((failed + 1))
    echo "FAIL: man -l does not show the NAME line"
  fi
fi

if [ $ran_formatter -eq 0 ]; then
  echo "neither groff nor mandoc is installed: the manual page was not formatted"
  exit 77
fi
echo "$pass passed, $failed failed"
[ "$failed" -eq 0 ]
