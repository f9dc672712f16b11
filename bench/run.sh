#!/usr/bin/env bash
# Times whole peltra2 runs on simulated data and runs the micro-benchmarks.
#
#   bash bench/run.sh [--quick] [--reps N] [--build DIR] [--bin PELTRA2] [--no-micro] [--only PATTERN]
#
# Builds in Release (default build dir: build-bench at the top of the
# repository), makes the data with peltra2-simulate from fixed seeds, runs
# every job N times (default 3) under /usr/bin/time -v and prints a table of
# medians: wall time, user CPU time and peak memory. Matrix-estimation jobs
# also get the time per iteration: (median wall of the job - median wall of
# the same start-up with -k 1) / (iterations - 1). --quick shortens the long
# jobs (fewer iterations); --only runs the jobs whose name matches PATTERN;
# --bin times another peltra2 binary (an older build, for a before/after
# comparison) on the same data. The scan job (bench/scan.sh) times
# peltra2-scan against a plain loop of peltra2 -t.
# Figures are medians; on a loaded machine they are noisy, and the load
# averages printed before and after show how loaded it was.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-bench"
reps=3
quick=0
micro=1
only=""
other_bin=""
while [ $# -gt 0 ]; do
  case "$1" in
    --quick) quick=1 ;;
    --reps) reps="$2"; shift ;;
    --build) build="$2"; shift ;;
    --no-micro) micro=0 ;;
    --only) only="$2"; shift ;;
    --bin) other_bin=$(cd "$(dirname "$2")" && pwd)/$(basename "$2"); shift ;;
    -h|--help) sed -n '2,19p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "unknown option $1 (see --help)" >&2; exit 1 ;;
  esac
  shift
done

for tool in cmake /usr/bin/time awk sort; do
  command -v "$tool" >/dev/null || { echo "bench/run.sh needs $tool" >&2; exit 1; }
done

echo "== build (Release) in $build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DPELTRA_BUILD_BENCH=ON \
  -DPELTRA_BUILD_TESTS=OFF >/dev/null
targets="peltra2 peltra2-simulate"
targets="$targets peltra2-scan-tools"  # the scan job
[ "$micro" = 1 ] && targets="$targets peltra2-bench"
# shellcheck disable=SC2086
cmake --build "$build" -j2 --target $targets >/dev/null

bin="${other_bin:-$build/peltra2}"
sim="$build/tools/peltra2-simulate"
data="$build/bench-data"
mkdir -p "$data"
cd "$data"

# ---- data (fixed seeds; made once, kept in the build dir) ----
simulate() {  # prefix, simulator options...
  local prefix=$1
  shift
  [ -s "$prefix.counts" ] || "$sim" --out "$prefix" "$@" >/dev/null
}
echo "== data in $data"
simulate t10 --pops 10 --loci 1 --env 2 --seed 1001
simulate t40 --pops 40 --loci 1 --env 2 --seed 1002
simulate z10 --pops 10 --loci 1 --env 1 --seed 1003
simulate m10 --pops 10 --loci 100000 --seed 1004
simulate m40 --pops 40 --loci 20000 --seed 1005
simulate p10 --pops 10 --loci 10000 --pooled --pool-size 40 --max-coverage 100 --seed 1006
simulate pz10 --pops 10 --loci 1 --env 1 --pooled --pool-size 40 --max-coverage 100 --seed 1007

if [ "$quick" = 1 ]; then
  k_matrix=100; k_pool_matrix=20; k_pool_z=20000
else
  k_matrix=1000; k_pool_matrix=100; k_pool_z=100000
fi

# ---- timing ----
results="$data/results.txt"
: >"$results"

median() { sort -g | awk '{v[NR]=$1} END {if (NR == 0) print "nan"; else if (NR % 2) print v[(NR+1)/2]; else print (v[NR/2]+v[NR/2+1])/2}'; }

# Runs one job reps times in a scratch directory; records wall, user, sys
# and peak RSS of each repetition. Result files are removed between
# repetitions so that every run starts alike.
run_job() {  # name, iterations (0: not per-iteration), peltra2 options...
  local name=$1 iters=$2
  shift 2
  if [ -n "$only" ] && [[ "$name" != *$only* ]]; then return; fi
  local dir="$data/run-$name"
  rm -rf "$dir"
  mkdir -p "$dir"
  local r
  for r in $(seq "$reps"); do
    (cd "$dir" && rm -f ./*.bf ./*.cor ./*.xtx ./*.freqs &&
      /usr/bin/time -v -o time.txt "$bin" "$@" >stdout.txt 2>stderr.txt) || {
      echo "job $name failed:" >&2
      tail -5 "$dir/stdout.txt" "$dir/stderr.txt" >&2
      exit 1
    }
    awk -v name="$name" -v iters="$iters" -F': ' '
      /Elapsed \(wall clock\)/ {
        n = split($2, p, ":"); w = 0
        for (i = 1; i <= n; i++) w = w * 60 + p[i]
      }
      /User time/ {u = $2}
      /System time/ {s = $2}
      /Maximum resident set size/ {m = $2}
      END {printf "%s %s %.3f %.3f %.3f %d\n", name, iters, w, u, s, m}' "$dir/time.txt" >>"$results"
  done
  printf '  %-28s done (%d runs)\n' "$name" "$reps"
}

echo "== timing $bin"
echo "== load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "== whole runs ($reps repetitions each)"
D="$data"
# Test mode: one SNP, Sigma fixed, 100000 iterations.
run_job test-bf-K10 0 -t -p 10 -k 100000 -n 2 -i "$D/t10.counts" -e "$D/t10.env" -m "$D/t10.matrix" -X -c -r 11 -o res
run_job test-bf-K40 0 -t -p 40 -k 100000 -n 2 -i "$D/t40.counts" -e "$D/t40.env" -m "$D/t40.matrix" -X -c -r 11 -o res
run_job test-z-K10 0 -t -z -p 10 -k 100000 -n 1 -i "$D/z10.counts" -e "$D/z10.env" -m "$D/z10.matrix" -r 11 -o res
# Matrix estimation; the -k 1 runs give the start-up time to subtract.
run_job matrix-K10-L100000 "$k_matrix" -p 10 -k "$k_matrix" -r 12 -i "$D/m10.counts"
run_job matrix-K10-L100000-k1 1 -p 10 -k 1 -r 12 -i "$D/m10.counts"
run_job matrix-K40-L20000 "$k_matrix" -p 40 -k "$k_matrix" -r 13 -i "$D/m40.counts"
run_job matrix-K40-L20000-k1 1 -p 40 -k 1 -r 13 -i "$D/m40.counts"
# Pooled mode: 40 allele copies per pool, coverage 1 to 100.
run_job pooled-matrix-K10-L10000 "$k_pool_matrix" -x -s "$D/p10.samplesize" -p 10 -k "$k_pool_matrix" -r 14 -i "$D/p10.counts"
run_job pooled-matrix-K10-L10000-k1 1 -x -s "$D/p10.samplesize" -p 10 -k 1 -r 14 -i "$D/p10.counts"
run_job pooled-matrix-K10-L10000-l "$k_pool_matrix" -x -l -s "$D/p10.samplesize" -p 10 -k "$k_pool_matrix" -r 14 -i "$D/p10.counts"
run_job pooled-matrix-K10-L10000-l-k1 1 -x -l -s "$D/p10.samplesize" -p 10 -k 1 -r 14 -i "$D/p10.counts"
run_job pooled-z-K10 0 -x -t -s "$D/pz10.samplesize" -p 10 -k "$k_pool_z" -n 1 -i "$D/pz10.counts" -e "$D/pz10.env" -m "$D/pz10.matrix" -r 15 -o res
run_job pooled-z-K10-l 0 -x -l -t -s "$D/pz10.samplesize" -p 10 -k "$k_pool_z" -n 1 -i "$D/pz10.counts" -e "$D/pz10.env" -m "$D/pz10.matrix" -r 15 -o res
echo "== load average after: $(cut -d' ' -f1-3 /proc/loadavg)"

# ---- table ----
echo
echo "== whole runs: medians of $reps (wall and CPU in seconds, peak RSS in MB)"
printf '%-30s %8s %8s %8s %8s %8s %14s\n' job wall min max user peakMB "ms/iteration"
jobs=$(awk '{print $1}' "$results" | awk '!seen[$0]++')
for j in $jobs; do
  [[ "$j" == *-k1 ]] && continue
  w=$(awk -v j="$j" '$1 == j {print $3}' "$results" | median)
  lo=$(awk -v j="$j" '$1 == j {print $3}' "$results" | sort -g | head -1)
  hi=$(awk -v j="$j" '$1 == j {print $3}' "$results" | sort -g | tail -1)
  u=$(awk -v j="$j" '$1 == j {print $4}' "$results" | median)
  m=$(awk -v j="$j" '$1 == j {print $6}' "$results" | median)
  iters=$(awk -v j="$j" '$1 == j {print $2; exit}' "$results")
  per="-"
  if [ "$iters" -gt 1 ] && grep -q "^$j-k1 " "$results"; then
    w1=$(awk -v j="$j-k1" '$1 == j {print $3}' "$results" | median)
    per=$(awk -v w="$w" -v w1="$w1" -v n="$iters" 'BEGIN {printf "%.1f", (w - w1) * 1000 / (n - 1)}')
  fi
  printf '%-30s %8.3f %8.3f %8.3f %8.3f %8.1f %14s\n' "$j" "$w" "$lo" "$hi" "$u" "$(awk -v m="$m" 'BEGIN {print m / 1024}')" "$per"
done

# A genome scan: peltra2-scan against a plain loop of peltra2 -t over the
# same 200 SNPs (bench/scan.sh), at -j1 and -j2.
if [ -z "$only" ] || [[ scan == *$only* ]]; then
  echo
  echo "== scan: peltra2-scan against a plain loop of peltra2 -t (medians of $reps; seconds)"
  bash "$root/bench/scan.sh" --bin "$bin" --tools "$build/tools" --data "$data/scan" --reps "$reps"
fi

if [ "$micro" = 1 ] && [ -z "$only" ]; then
  echo
  echo "== micro-benchmarks (median of $reps repetitions; CPU time is the figure to read on a loaded machine)"
  "$build/bench/peltra2-bench" --benchmark_repetitions="$reps" --benchmark_report_aggregates_only=true \
    --benchmark_min_time=0.2 2>/dev/null | grep -E '^(Benchmark|-|BM_.*_median|BM_.*(BigO|RMS))'
fi

echo
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(awk '/MemTotal/ {printf "%.1f GB", $2 / 1048576}' /proc/meminfo)"
