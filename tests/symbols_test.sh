#!/usr/bin/env bash
# Every name the library defines for other objects to link against is in namespace pn2tavix:
# a program with a `fail` or a `Token` of its own must not link against ours by accident.
# Allowed besides: what the compiler emits weakly for the standard library's templates and for
# exception handling, which every C++ library carries and the linker merges.
# Usage: symbols_test.sh NM LIBRARY
set -u
nm=$1
lib=$2
# "ADDRESS TYPE NAME", demangled; only symbols defined here and visible outside their object.
outside=$("$nm" -C --defined-only --extern-only "$lib" | awk 'NF >= 3 {
  type = $2; $1 = ""; $2 = ""; name = substr($0, 3)
  if (name ~ /^([^ (]+ )?pn2tavix::/) next  # after the return type of a template, if any
  if (name ~ /^(typeinfo|typeinfo name|vtable|guard variable) for pn2tavix::/) next
  # Weak and unique: instances of the standard templates (after their return type, if any).
  if (type ~ /^[WVu]$/ && name ~ /(^|[ ])(std::|__gnu_cxx::|DW\.ref\.)/) next
  if (type == "W" && name == "__clang_call_terminate") next  # a helper clang emits
  if (type == "W" && name ~ /^operator (new|delete)\(.*void\*\)$/) next  # placement, from <new>
  print type " " name
}' | sort -u)
count=$("$nm" -C --defined-only --extern-only "$lib" | grep -c ' pn2tavix::')
if [ "$count" -lt 10 ]; then
  echo "FAIL: only $count names in pn2tavix:: found in $lib: is it the library?"
  exit 1
fi
if [ -n "$outside" ]; then
  echo "FAIL: names defined outside namespace pn2tavix:"
  echo "$outside"
  exit 1
fi
echo "$count names, all in namespace pn2tavix"
