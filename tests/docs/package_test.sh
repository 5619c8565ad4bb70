#!/usr/bin/env bash
# The Debian package that "cpack -G DEB" builds from the build folder: its contents (listed in
# the test's output), its control fields, and the packaged program at work.
# Usage: package_test.sh CPACK BUILD_DIR CONFIG VERSION EXAMPLE_INPUT EXAMPLE_OUTPUT LINKING
# (LINKING: "static-c++" when the C++ run-time is linked into the program, else "dynamic")
# Exits 77 (skipped) without dpkg-deb and dpkg-shlibdeps (Debian: dpkg, dpkg-dev).
set -u
cpack=$1
build=$2
config=$3
version=$4
example=$5
expected=$6
linking=${7:-dynamic}
for tool in dpkg-deb dpkg-shlibdeps dpkg; do
  if ! command -v $tool >/dev/null; then
    echo "$tool is not installed: no Debian package is built"
    exit 77
  fi
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
pass=0
failed=0
ok() { pass=$((pass + 1)); }
fail() {
  failed=$((failed + 1))
  echo "FAIL: $1"
}

config_args=()
[ -n "$config" ] && config_args=(-C "$config")
if ! "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work" "${config_args[@]}" \
  >"$work/log" 2>&1; then
  fail "cpack -G DEB"
  sed 's/^/  /' "$work/log"
  echo "$pass passed, $failed failed"
  exit 1
fi
arch=$(dpkg --print-architecture)
deb="$work/pn2tavix_${version}-1_${arch}.deb"
if [ -f "$deb" ]; then ok; else fail "no $(basename "$deb") among: $(ls "$work")"; exit 1; fi

echo "Contents of $(basename "$deb"):"
dpkg-deb -c "$deb" | tee "$work/contents"
awk '{print $6}' "$work/contents" | grep -v '/$' | sort >"$work/files"
cat >"$work/wanted" <<'LIST'
./usr/bin/pn2tavix
./usr/bin/pn2tavix-check
./usr/share/doc/pn2tavix/README.md
./usr/share/doc/pn2tavix/changelog.Debian.gz
./usr/share/doc/pn2tavix/copyright
./usr/share/doc/pn2tavix/docs/input-language.md
./usr/share/doc/pn2tavix/docs/output-format.md
./usr/share/man/man1/pn2tavix-check.1.gz
./usr/share/man/man1/pn2tavix.1.gz
LIST
if diff "$work/wanted" "$work/files"; then ok; else fail "the files in the package"; fi
if grep -q '^-rwxr-xr-x root/root .* \./usr/bin/pn2tavix$' "$work/contents"; then
  ok
else
  fail "the program is an executable owned by root"
fi

# field NAME EXTENDED_REGEX: the control field NAME matches the whole pattern.
field() {
  local value
  value=$(dpkg-deb -f "$deb" "$1")
  if printf '%s\n' "$value" | grep -Eqx "$2"; then
    ok
  else
    fail "control field $1 is '$value'"
  fi
}
field Package 'pn2tavix'
field Version "${version//./\\.}-1"
field Architecture "$arch"
field Maintainer '[^<>]+ <[^<>@ ]+@[^<> ]+>'
field Section 'sound'
field Priority 'optional'
# Computed by dpkg-shlibdeps from the program's libraries: the C run-time always, and the C++
# run-time only where it is not linked into the program.
field Depends '(.*, )?libc6 \(>= [0-9.]+\)(, .*)?'
if [ "$linking" = static-c++ ]; then
  if dpkg-deb -f "$deb" Depends | grep -q libstdc; then fail "Depends names libstdc++"; else ok; fi
else
  field Depends '(.*, )?libstdc\+\+6 \(>= [0-9.]+\)(, .*)?'
fi
# A short description, then a long one of at least two lines, each indented by one blank and
# at most 80 characters long.
dpkg-deb -f "$deb" Description >"$work/description"
if [ "$(head -n 1 "$work/description")" = "convert PDP-1 music files to tavix text" ] \
  && [ "$(tail -n +2 "$work/description" | grep -c '^ [^ ]')" -ge 2 ] \
  && ! tail -n +2 "$work/description" | grep -qv '^ [^ ]' \
  && ! awk 'length($0) > 80' "$work/description" | grep -q .; then
  ok
else
  fail "the description:"
  sed 's/^/  /' "$work/description"
fi

# The packaged program, unpacked where it cannot touch the system, converts the example; its
# manual page is there, compressed.
dpkg-deb -x "$deb" "$work/root"
if "$work/root/usr/bin/pn2tavix" "$example" >"$work/out" 2>"$work/err" \
  && cmp -s "$work/out" "$expected" && [ ! -s "$work/err" ]; then
  ok
else
  fail "the packaged program converts the example"
fi
if gzip -dc "$work/root/usr/share/man/man1/pn2tavix.1.gz" | grep -q '^\.SH NAME$'; then
  ok
else
  fail "the packaged manual page"
fi

echo "$pass passed, $failed failed"
[ "$failed" -eq 0 ]
