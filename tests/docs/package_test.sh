#!/usr/bin/env bash
# The Debian package that "cpack -G DEB" builds from the build folder: its contents (listed in
# the test's output), its control fields, its changelog and copyright files, and the packaged
# program at work; or, with --lintian, what lintian finds in it.
# Usage: package_test.sh [--lintian] CPACK BUILD_DIR CONFIG VERSION EXAMPLE_INPUT EXAMPLE_OUTPUT
#                        LINKING CHANGELOG LICENSE
# (LINKING: "static-c++" when the C++ run-time is linked into the program, else "dynamic";
# CHANGELOG and LICENSE: the project's CHANGELOG.md and LICENSE)
# Exits 77 (skipped) without dpkg-deb and dpkg-shlibdeps (Debian: dpkg, dpkg-dev), and with
# --lintian also without lintian.
set -u
lintian_only=0
if [ "${1:-}" = --lintian ]; then
  lintian_only=1
  shift
fi
cpack=$1
build=$2
config=$3
version=$4
example=$5
expected=$6
linking=$7
changelog=$8
license=$9
tools="dpkg-deb dpkg-shlibdeps dpkg"
[ $lintian_only -eq 1 ] && tools="$tools lintian"
for tool in $tools; do
  if ! command -v $tool >/dev/null; then
    echo "$tool is not installed: the Debian package is not checked"
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

if [ $lintian_only -eq 1 ]; then
  # Every error and warning fails; the overrides shipped in the package, each with its reason,
  # and the informational tags are shown.
  lintian --fail-on error,warning --display-info --show-overrides "$deb" 2>&1 \
    | grep -v '^running with root privileges' | tee "$work/lintian"
  if [ "${PIPESTATUS[0]}" -eq 0 ]; then ok; else fail "lintian finds errors or warnings"; fi
  echo "$pass passed, $failed failed"
  [ "$failed" -eq 0 ]
  exit
fi

echo "Contents of $(basename "$deb"):"
dpkg-deb -c "$deb" | tee "$work/contents"
awk '{print $6}' "$work/contents" | grep -v '/$' | sort >"$work/files"
cat >"$work/wanted" <<'LIST'
./usr/bin/pn2tavix
./usr/bin/pn2tavix-check
./usr/bin/pn2tavix-midi
./usr/share/doc/pn2tavix/README.md
./usr/share/doc/pn2tavix/changelog.Debian.gz
./usr/share/doc/pn2tavix/copyright
./usr/share/doc/pn2tavix/docs/input-language.md
./usr/share/doc/pn2tavix/docs/output-format.md
./usr/share/doc/pn2tavix/docs/web.md
./usr/share/doc/pn2tavix/web/screenshot.png
./usr/share/lintian/overrides/pn2tavix
./usr/share/man/man1/pn2tavix-check.1.gz
./usr/share/man/man1/pn2tavix-midi.1.gz
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

# The Debian changelog is made from CHANGELOG.md: an entry for each release, and the newest
# one is this version, with CHANGELOG.md's items in their order (blanks and line breaks aside)
# and the release's date.
doc=$work/root/usr/share/doc/pn2tavix
gzip -dc "$doc/changelog.Debian.gz" >"$work/changelog"
release_heading='^## \[?[0-9][^] ]*\]? +- +[0-9]{4}-[0-9]{2}-[0-9]{2} *$'
newest=$(grep -Enm1 "$release_heading" "$changelog")  # LINE:## [VERSION] - DATE
newest_version=$(sed -E 's/^[0-9]+:## \[?([^] ]*).*/\1/' <<<"$newest")
newest_date=$(grep -Eo '[0-9]{4}-[0-9]{2}-[0-9]{2}' <<<"$newest")
tail -n +"$((${newest%%:*} + 1))" "$changelog" | awk '
  /^## / { exit }
  /^[-*] / { if (item != "") print item; item = substr($0, 3); next }
  /^[ \t]+[^ \t]/ && item != "" { item = item " " $0; next }
  { if (item != "") print item; item = "" }
  END { if (item != "") print item }' | tr -s ' \t' ' ' | sed 's/^ //; s/ $//' >"$work/items.wanted"
awk 'NR == 1 { next }
  /^ -- / { if (item != "") print item; exit }
  /^  \* / { if (item != "") print item; item = substr($0, 5); next }
  /^    [^ ]/ { item = item " " substr($0, 5) }' "$work/changelog" >"$work/items.packaged"
trailer=$(grep -m1 '^ -- ' "$work/changelog")
day=$(LC_ALL=C date -u -R -d "$newest_date" | cut -c1-16)  # "Mon, 07 Dec 2026"
if [ "$newest_version" = "$version" ] && [ -s "$work/items.wanted" ] \
  && [ "$(head -n 1 "$work/changelog")" = "pn2tavix ($version-1) unstable; urgency=medium" ] \
  && diff "$work/items.wanted" "$work/items.packaged" \
  && grep -Eqx " -- [^<>]+ <[^<>@ ]+@[^<> ]+>  $day [0-9]{2}:[0-9]{2}:00 \+0000" <<<"$trailer" \
  && [ "$(grep -c '^pn2tavix (' "$work/changelog")" \
    -eq "$(grep -Ec "$release_heading" "$changelog")" ]; then
  ok
else
  fail "the packaged changelog is not CHANGELOG.md's (newest release: '${newest#*:}'):"
  sed 's/^/  /' "$work/changelog"
fi

# The copyright file in Debian's machine-readable format, with LICENSE's text as the body of
# its License field.
awk '/^License: MIT$/ { body = 1; next } body && /^ / { print } body && !/^ / { exit }' \
  "$doc/copyright" | sed 's/^ //; s/^\.$//' >"$work/license.packaged"
if [ "$(head -n 1 "$doc/copyright")" \
  = "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" ] \
  && grep -qx 'Upstream-Name: pn2tavix' "$doc/copyright" \
  && grep -A1 -x 'Files: \*' "$doc/copyright" | grep -qx 'Copyright: [0-9].*' \
  && sed '1,/^Copyright/d' "$license" | sed '/./,$!d' | cmp -s - "$work/license.packaged"; then
  ok
else
  fail "the copyright file:"
  sed 's/^/  /' "$doc/copyright"
fi

echo "$pass passed, $failed failed"
[ "$failed" -eq 0 ]
