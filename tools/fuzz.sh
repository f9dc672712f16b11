#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time.
#
#   tools/fuzz.sh [SECONDS] [PARALLEL]
#
# SECONDS per target (default 10), PARALLEL targets at a time (default 1);
# $FUZZ_TARGETS picks some of the targets (default all five).
# The build goes to $FUZZ_BUILD_DIR (default build-fuzz); each target keeps
# the corpus it grows in <build>/corpus/<target> between runs and starts
# from the seeds written below. A finding is saved as <build>/findings/... and
# makes the script fail. One summary line per target: runs, coverage, time.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-10}
parallel=${2:-1}
build=${FUZZ_BUILD_DIR:-build-fuzz}
read -ra targets <<<"${FUZZ_TARGETS:-snpcounts environ matrix samplesize options}"

cmake -S . -B "$build" -DPELTRA_FUZZ=ON -DPELTRA_BUILD_TESTS=OFF \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target fuzz_all -j"$(nproc)" >/dev/null

seeds="$build/seeds"
rm -rf "$seeds"
mkdir -p "$seeds" "$build/findings"

# seed TARGET NAME PREFIX-BYTES TEXT: a file of the prefix (octal escapes)
# followed by the text (printf escapes).
seed() {
  mkdir -p "$seeds/$1"
  { printf -- "$3"; printf -- "$4"; } >"$seeds/$1/$2"
}
# The first byte of a reader input selects NUMPOPS: \000 is 1, \001 is 2, ...
seed snpcounts three '\002' '1\t2\t3\n4\t5\t6\n0\t1\t0\n2\t2\t2\n'
seed snpcounts one '\000' '7\n3\n'
seed snpcounts crlf '\001' '\t5\t\t0\r\n1\t9\r\n'
seed snpcounts extra '\001' '3\t4\t99\n5\t6\textra\n'
seed snpcounts bad '\001' '3\tx\n-1\t2147483648\n'
seed environ two '\002\001' '0.5\t-1.25\t3e-2\n1\t2\t3\t4\n'
seed environ one '\000\000' '-7.5E+2\n'
seed matrix two '\001\000' '1\t0.5\n0.5\t2\n'
seed matrix twice '\001\001' '1\t0\n0\t1\n2\t0.1\t\n0.1\t3\t\n'
seed matrix three '\002\002' '1\t0\t0\n0\t1\t0\n0\t0\t1\n'
seed samplesize three '\002' '10\t20\t30\n'
seed samplesize one '\000' '2\n40\n'
# Options: arguments separated by NUL bytes.
opts() {
  local name=$1
  shift
  mkdir -p "$seeds/options"
  printf '%s\0' "$@" >"$seeds/options/$name"
}
opts matrix -p 4 -k 1000 -i counts.txt
opts bf -t -p 3 -k 6000 -n 2 -e env.txt -m matrix.txt -i snp.txt -r 77
opts z -t -z -c -f -X -p 3 -k 5001 -n 1 -e env.txt -m matrix.txt -i snp.txt -o res
opts pool -x -l -s sizes.txt -p 2 -k 10 -i counts.txt
opts poolz -x -t -s sizes.txt -p 2 -k 6000 -n 1 -e env.txt -m matrix.txt -i counts.txt
opts bad -q -p -1 -k abc -n 12abc -r 4294967297

run_target() {
  local t=$1
  local corpus="$build/corpus/$t" log="$build/fuzz-$t.log"
  local dict=fuzz/fields.dict
  [[ $t == options ]] && dict=fuzz/options.dict
  mkdir -p "$corpus"
  local status=0
  "$build/fuzz/fuzz_$t" "$corpus" "$seeds/$t" -dict="$dict" -max_total_time="$seconds" \
    -max_len=4096 -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$build/findings/$t-" >"$log" 2>&1 || status=$?
  local runs cov secs
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  cov=$(grep -Eo 'cov: [0-9]+ ft: [0-9]+ corp: [0-9]+' "$log" | tail -1)
  secs=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log")
  if ((status != 0)); then
    echo "fuzz_$t: FINDING (status $status), see $log"
    grep -E '^(==[0-9]+==ERROR|SUMMARY|invariant broken|fatal condition)' "$log" | head -5 || true
    return 1
  fi
  echo "fuzz_$t: ${runs:-?} runs in ${secs:-?} s, ${cov:-?}"
}

failed=0
pids=()
for t in "${targets[@]}"; do
  run_target "$t" &
  pids+=($!)
  if ((${#pids[@]} >= parallel)); then
    wait "${pids[0]}" || failed=1
    pids=("${pids[@]:1}")
  fi
done
for p in "${pids[@]}"; do wait "$p" || failed=1; done
exit $failed
