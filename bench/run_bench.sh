#!/usr/bin/env bash
# Times the built converter against `LC_ALL=C wc -w` on generated music, and against `cat` on
# the bundled Minuet. Every command runs as its own process with standard output to /dev/null;
# the commands of a comparison take turns run by run, so a noisy machine's drift falls on both.
#
# Usage: bench/run_bench.sh [--scale | --small | --all] [--runs N] [--build DIR]
#   (no mode)  the 50 MB file: medians of the converter and of wc -w, their ratio, MB/s and
#              the converter's peak resident memory; then the small-file comparison
#   --scale    the same for 1, 4, 16 and 64 MB files, to show time linear and memory flat
#   --small    only the Minuet against cat, over 300 runs
#   --all      everything
#   --runs N   runs of each command for the large files (default 7)
#   --build D  the build folder holding pn2tavix and bench/ (default build/release)
# Generated inputs are kept in DIR/bench-data (or $PN2TAVIX_BENCH_DATA) and made only once.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/release
runs=7
small_runs=300
mode=main
while [ $# -gt 0 ]; do
  case $1 in
    --scale) mode=scale ;;
    --small) mode=small ;;
    --all) mode=all ;;
    --runs) runs=$2; shift ;;
    --build) build=$2; shift ;;
    -h | --help) sed -n '2,16p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "run_bench.sh: unknown argument $1 (try --help)" >&2; exit 1 ;;
  esac
  shift
done

prog=$build/pn2tavix
gen=$build/bench/gen_music
timer=$build/bench/bench_timer
for p in "$prog" "$gen" "$timer"; do
  [ -x "$p" ] || { echo "run_bench.sh: $p is not built (cmake --build --preset release)" >&2; exit 1; }
done
data=${PN2TAVIX_BENCH_DATA:-$build/bench-data}
mkdir -p "$data"
export LC_ALL=C  # for wc -w; the converter does not look at the locale

# The music file of SIZE decimal megabytes, seed 1, made on first use.
input() {
  local f=$data/music-$1MB-seed1.pdp1
  [ -s "$f" ] || "$gen" $(($1 * 1000000)) 1 >"$f"
  echo "$f"
}

# field LINES N NAME: the value of NAME= on line N of the timer's output.
field() { sed -n "$2p" <<<"$1" | sed -E "s/.*$3=([0-9.]+).*/\1/"; }

# Converter against wc -w on the SIZE MB file; prints one table row.
large_row() {
  local f bytes out
  f=$(input "$1")
  bytes=$(stat -L -c %s "$f")
  out=$("$timer" "$runs" "$prog" "$f" ::: wc -w "$f")
  awk -v mb="$1" -v bytes="$bytes" -v conv="$(field "$out" 1 median_s)" \
    -v wc="$(field "$out" 2 median_s)" -v rss="$(field "$out" 1 peak_rss_kib)" 'BEGIN {
      printf "%5d MB %11d %9.3f %9.3f %7.2f %9.1f %10.4f %9.1f\n", mb, bytes, conv, wc,
             conv / wc, bytes / conv / 1e6, conv / (bytes / 1e6), rss / 1024 }'
}

large_header() {
  echo "Each command $runs times, alternating; medians. MB = 10^6 bytes; output to /dev/null."
  printf "%8s %11s %9s %9s %7s %9s %10s %9s\n" size bytes "conv s" "wc -w s" ratio \
    "conv MB/s" "s per MB" "RSS MiB"
}

main_comparison() {
  echo "== 50 MB: pn2tavix against LC_ALL=C wc -w (target: ratio at most 2, RSS under 16 MiB)"
  large_header
  large_row 50
}

scale() {
  echo "== Scale: 1, 4, 16, 64 MB (target: s per MB and RSS the same on every row)"
  large_header
  for mb in 1 4 16 64; do large_row "$mb"; done
}

small() {
  local minuet=$root/examples/minuet.pdp1 out
  echo "== Small file: pn2tavix against cat on the Minuet, $small_runs runs each, alternating"
  echo "   (target: ratio at most 1.25)"
  out=$("$timer" "$small_runs" "$prog" "$minuet" ::: cat "$minuet")
  awk -v conv="$(field "$out" 1 median_s)" -v cat="$(field "$out" 2 median_s)" \
    -v rss="$(field "$out" 1 peak_rss_kib)" 'BEGIN {
      printf "   pn2tavix %.3f ms   cat %.3f ms   ratio %.2f   pn2tavix RSS %.1f MiB\n",
             conv * 1e3, cat * 1e3, conv / cat, rss / 1024 }'
}

case $mode in
  main) main_comparison; echo; small ;;
  scale) scale ;;
  small) small ;;
  all) main_comparison; echo; scale; echo; small ;;
esac
