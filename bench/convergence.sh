#!/usr/bin/env bash
# Does convergence of matrix estimation matter for the scan's flags? One
# simulated genome (10 populations on a random tree, 0.5% of the SNPs with
# the effect 0.1 of variable 1 of 2), scanned with "peltra2-scan -k 20000 -X
# --calibrate 1000" and these matrices, each rescaled by "peltra2-matrix
# --counts" on all SNPs:
#   quick   one chain of 10,000 iterations on the first --quick-snps SNPs
#   avg     the average of four chains of --iterations on the first
#           --est-snps SNPs (seeds 1 to 4)
#   c1..c4  each of those chains alone (--chain-scans: how many)
#   true    the matrix that drew the data
# and prints, per statistic and matrix, the neutral SNPs flagged at 99% and
# 95%, the power and lambda (bench/validity.py rows), then the overlap of the
# flags of each chain's matrix with those of the average.
#
#   bash bench/convergence.sh [--snps N] [--quick-snps N] [--est-snps N] [--scan-snps N]
#                             [--iterations I] [--chain-scans N] [--build DIR] [--out DIR]
#
# Defaults: 10,000 SNPs, 1,000 for the quick chain, 2,000 for the four
# chains of 100,000 iterations, 2 chain scans; --scan-snps N scans the first
# N neutral SNPs and all the effect SNPs instead of every SNP (the matrices
# are still rescaled on all of them); --build: build at the top of the
# repository; --out: build-convergence. Runs under nice and reuses finished
# steps. The genome of 100,000 SNPs:
#   bash bench/convergence.sh --snps 100000 --quick-snps 10000 --est-snps 5000 --scan-snps 5000
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
out="$root/build-convergence"
snps=10000 quick_snps=1000 est_snps=2000 scan_snps=0 iterations=100000 chain_scans=2
while [ $# -gt 0 ]; do
  case "$1" in
    --snps) snps="$2"; shift ;;
    --quick-snps) quick_snps="$2"; shift ;;
    --est-snps) est_snps="$2"; shift ;;
    --scan-snps) scan_snps="$2"; shift ;;
    --iterations) iterations="$2"; shift ;;
    --chain-scans) chain_scans="$2"; shift ;;
    --build) build=$(cd "$2" && pwd); shift ;;
    --out) out="$2"; shift ;;
    -h|--help) sed -n '2,25p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "unknown option $1 (see --help)" >&2; exit 1 ;;
  esac
  shift
done
tools="$build/tools"
for f in "$build/peltra2" "$tools/peltra2-simulate" "$tools/peltra2-matrix" "$tools/peltra2-scan"; do
  [ -x "$f" ] || { echo "missing $f: build first (cmake --build $build)" >&2; exit 1; }
done
helper="/usr/bin/python3 $root/bench/validity.py"
mkdir -p "$out"
cd "$out"
run() { echo "+ $*" >&2; nice -n 10 "$@"; }

[ -s data.matrix ] || run "$tools/peltra2-simulate" --pops 10 --loci $snps --tree --env 2 --beta 0.1 \
    --effect-fraction 0.005 --seed 3001 --out data >/dev/null
head -n $((2 * quick_snps)) data.counts > quick.counts
head -n $((2 * est_snps)) data.counts > est.counts
cp data.matrix true.matrix
scanned=data.counts effect=data.effect_loci
if [ "$scan_snps" -gt 0 ]; then
  [ -s scan.counts ] || $helper subsample data.counts data.effect_loci $scan_snps scan
  scanned=scan.counts effect=scan.effect_loci
fi
if [ ! -s quick.out ]; then
  run "$build/peltra2" -i quick.counts -p 10 -k 10000 -r 1 > quick.tmp
  mv quick.tmp quick.out
fi
for c in 1 2 3 4; do
  if [ ! -s chain$c.out ]; then
    run "$build/peltra2" -i est.counts -p 10 -k $iterations -r $c > chain$c.tmp
    mv chain$c.tmp chain$c.out
  fi
done
matrix() {  # name chain outputs...
  local name=$1; shift
  [ -s $name.matrix ] || run "$tools/peltra2-matrix" "$@" --counts data.counts -o $name.matrix 2> $name.log
}
matrix quick quick.out
matrix avg chain1.out chain2.out chain3.out chain4.out
names="true quick avg"
for c in $(seq 1 $chain_scans); do matrix c$c chain$c.out; names="$names c$c"; done
args=()
for m in $names; do
  [ -s scan.$m.tsv ] || run "$tools/peltra2-scan" -i $scanned -p 10 -m $m.matrix -e data.env -n 2 -k 20000 -X \
      --calibrate 1000 -j 2 --no-bar --work scan.$m.work -o scan.$m.tsv 2> scan.$m.log
  args+=("$m=scan.$m.tsv")
done
echo "Per statistic, for the matrices $names: neutral SNPs above the null's 99% and 95%"
echo "quantiles, power at the 1% cut, effect SNPs flagged (%), lambda."
$helper rows conv $effect "${args[@]}"
echo
echo "Largest R-hat of each estimate:"
for m in $names; do [ -s $m.log ] && echo "$m: $(grep -o 'largest R-hat is [0-9.]*' $m.log || echo 'none above 1.01')"; done
echo
echo "Flags at 99%: neutral SNPs flagged, and the share of the average's flagged SNPs flagged too;"
echo "columns avg, then the chains alone."
chains=()
for c in $(seq 1 $chain_scans); do chains+=(scan.c$c.tsv); done
$helper overlap $effect scan.avg.tsv "${chains[@]}"
