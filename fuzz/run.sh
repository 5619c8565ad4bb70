#!/usr/bin/env bash
# Fuzzes convert() for SECONDS seconds, each input under a time and a memory limit, starting
# from the end-to-end test inputs. A finding is saved under build/fuzz/findings/ and the script
# fails. Usage: fuzz/run.sh SECONDS [more libFuzzer flags]
set -euo pipefail
seconds=${1:?usage: fuzz/run.sh SECONDS [libFuzzer flags]}
shift
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

build=build/fuzz
target=$build/fuzz/pn2tavix_fuzz
[ -f "$build/CMakeCache.txt" ] || cmake --preset fuzz
cmake --build --preset fuzz -j"$(nproc)" >"$build/build.log" 2>&1 || { cat "$build/build.log"; exit 1; }

# The corpus grows across runs; the test inputs are copied in afresh each time, so new cases
# reach the fuzzer without waiting for it to rediscover them.
corpus=$build/corpus
seeds=$build/seeds
findings=$build/findings
rm -rf "$seeds"
mkdir -p "$corpus" "$seeds" "$findings"
while IFS= read -r -d '' input; do
  cp "$input" "$seeds/$(echo "${input#tests/golden/}" | tr / _)"
done < <(find tests/golden -name '*.in' -print0)

# AddressSanitizer holds freed memory back to catch late uses, 256 MiB of it by default; that
# alone would reach the RSS limit, so it keeps less. Settings given by the caller still win.
export ASAN_OPTIONS="quarantine_size_mb=32${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
# -malloc_limit_mb catches a single allocation of that size; the run as a whole is held to
# -rss_limit_mb. The converter's own bound is lower (64 MiB, checked by the hostile-input test).
set -x
"$target" "$corpus" "$seeds" \
  -dict=fuzz/pn2tavix.dict \
  -max_total_time="$seconds" \
  -timeout=2 \
  -rss_limit_mb=256 \
  -malloc_limit_mb=64 \
  -max_len=16384 \
  -print_final_stats=1 \
  -artifact_prefix="$findings/" \
  "$@"
