#!/usr/bin/env bash
# Times pn2tavix-check on a folder of many small pieces against pn2tavix run once per piece, as
# a shell loop over an archive would: the checker must take about as long or less.
# Usage: bench/check_folder.sh [--count N] [--runs N] [--build DIR]
# The pieces (seeds 1 to N, valid music, whole voices up to at least 2 KB: 2.0 to 11.7 KB,
# 5.8 KB on average for 10,000) are made once, in DIR/bench-data/pieces-N (or under
# $PN2TAVIX_BENCH_DATA).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/release
count=10000
runs=3
while [ $# -gt 0 ]; do
  case $1 in
    --count) count=$2; shift ;;
    --runs) runs=$2; shift ;;
    --build) build=$2; shift ;;
    -h | --help) sed -n '2,7p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "check_folder.sh: unknown argument $1 (try --help)" >&2; exit 1 ;;
  esac
  shift
done
for p in pn2tavix pn2tavix-check bench/gen_music bench/bench_timer; do
  [ -x "$build/$p" ] || { echo "check_folder.sh: $build/$p is not built" >&2; exit 1; }
done
data=${PN2TAVIX_BENCH_DATA:-$build/bench-data}
pieces=$data/pieces-$count
if [ ! -f "$pieces/piece-$(printf '%05d' "$count").pdp1" ]; then
  mkdir -p "$pieces"
  "$build/bench/gen_music" --pieces "$count" 2K "$pieces"
fi
bytes=$(cat "$pieces"/*.pdp1 | wc -c)
echo "== $count pieces, $bytes bytes: pn2tavix once per piece against pn2tavix-check on the folder"
echo "   ($runs runs each, alternating; medians)"
out=$("$build/bench/bench_timer" "$runs" \
  sh -c 'for f in "$1"/*.pdp1; do "$0" "$f" >/dev/null || exit 1; done' "$build/pn2tavix" "$pieces" \
  ::: sh -c '"$0" "$1" 2>/dev/null' "$build/pn2tavix-check" "$pieces")
one=$(sed -n 1p <<<"$out" | sed -E 's/.*median_s=([0-9.]+).*/\1/')
check=$(sed -n 2p <<<"$out" | sed -E 's/.*median_s=([0-9.]+).*/\1/')
awk -v one="$one" -v check="$check" -v n="$count" 'BEGIN {
  printf "   pn2tavix per piece %.2f s (%.2f ms each)   pn2tavix-check %.2f s   ratio %.3f\n",
         one, one / n * 1e3, check, check / one }'
