#!/usr/bin/env bash
# Do the scan's flags mean what they say? Simulates data sets with known
# neutral and effect SNPs, runs the documented workflow on each and prints,
# per statistic, the neutral SNPs flagged at the 99% and 95% levels, the
# power at the 1% empirical cut and lambda (XtX: the median of the data over
# that of the null SNPs), for three matrices side by side: the true one, the
# plain average of matrix estimation and the workflow's rescaled one.
#
#   bash bench/validity.sh [--quick] [--direct] [--build DIR] [--out DIR]
#                          [--sets "A1 B1 ..."] [--matrices "calibrated true plain"] [-j N]
#                          [--chains N] [--iterations I] [--genome SNPS] [--calibrate N]
#
# Sets where the drift outweighs the effect (6 populations in 3 groups, or 12
# on a random tree; copies 40..60; 2,000 neutral SNPs and 100 with the effect
# 0.1 of variable 1 of 2):
#   A1, A2  peltra2-simulate --pops 6 --groups 3, seeds 601, 602
#   B1, B2  the same with --pops 12 --tree, seeds 1201, 1202
#   P1      pooled reads (pools of 40 copies, coverage 20..60), 6
#           populations in 3 groups, seed 701; the scan gives Z (pooled, one variable: no XtX)
# Sets where the effect is strong against the drift (2,100 SNPs; the effect
# 0.15; tree branches 0.002..0.02):
#   W1, W5, W10  20 populations, copies 20..58, 1%, 5%, 10% of the SNPs with
#           the effect of variable 1 of 2, seeds 2001, 2005, 2010
#   V5      12 populations, copies 40..60, two variables, 5% with the effect
#           of variable 2, seed 1205
#   Q5      pooled reads, 8 populations (pools of 40 copies, coverage
#           20..60), one variable, 5% with the effect, seed 805; Z only
# Per set and replicate r: matrix estimation "peltra2 -k 10000 -r r" on the
# set's 2,100 SNPs (--chains N --iterations I: N chains of I iterations, seeds
# r, r+1, ..., in a folder of their own), "peltra2-matrix" (plain) and
# "peltra2-matrix --counts -e data.env" (calibrated) on the genome, then
# "peltra2-scan -k 20000 -X --calibrate N" of the 2,100 SNPs with each
# matrix (--calibrate, default 5000: with 1,000 the 99% quantile rests on 10
# null SNPs, and the share of neutral SNPs above it moves by up to a point
# from one null set to the next). The genome is what a user rescales on:
# the 2,100 SNPs followed by
# the rest of a run of the same simulation with --genome SNPs (default
# 21,000; 2100: the set alone), the same share of them with the effect. The
# matrix's own error shrinks with it; scanning 2,100 of them is enough to
# measure the flags. --quick
# scans the first 300 neutral SNPs and the 100 effect SNPs, with
# --calibrate 300 (the matrices still come from all SNPs): 700 test runs per
# scan instead of 7,100. --direct runs peltra2 -t itself, two at a
# time, with the null SNPs, seeds and options peltra2-scan would use (so the
# same numbers; bench/validity.py), a check that the table does not depend
# on the scan's own machinery. Uses the peltra2 and tools of an existing
# build (--build, default: build at the top of the repository), runs under
# nice, and keeps everything in --out (default: build-validity), so that a
# second call reuses finished steps.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
out="$root/build-validity"
sets="A1 A2 B1 B2 W1 W5 W10 V5 Q5"
matrices="calibrated true plain"
quick=0
jobs=2
direct=0
chains=1
iterations=10000
genome=21000
calibrate=5000
while [ $# -gt 0 ]; do
  case "$1" in
    --quick) quick=1 ;;
    --build) build=$(cd "$2" && pwd); shift ;;
    --out) out="$2"; shift ;;
    --sets) sets="$2"; shift ;;
    --matrices) matrices="$2"; shift ;;
    -j) jobs="$2"; shift ;;
    --direct) direct=1 ;;
    --chains) chains="$2"; shift ;;
    --iterations) iterations="$2"; shift ;;
    --genome) genome="$2"; shift ;;
    --calibrate) calibrate="$2"; shift ;;
    -h|--help) sed -n '2,49p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "unknown option $1 (see --help)" >&2; exit 1 ;;
  esac
  shift
done

peltra2="$build/peltra2"
tools="$build/tools"
for f in "$peltra2" "$tools/peltra2-simulate" "$tools/peltra2-matrix" "$tools/peltra2-scan"; do
  [ -x "$f" ] || { echo "missing $f: build first (cmake --build $build)" >&2; exit 1; }
done
helper="/usr/bin/python3 $root/bench/validity.py"
mkdir -p "$out"
out=$(cd "$out" && pwd)
if [ "$quick" = 1 ]; then neutral=300; nulls=300; else neutral=0; nulls=$calibrate; fi

run() { echo "+ $*" >&2; nice -n 10 "$@"; }

setup() {  # name: the set's options in globals, its data and matrices made once
  name=$1 extra=() nvar=2 effvar=1
  case "$name" in
    A1|A2) rep=${name#A}; seed=$((600 + rep)); pops=6; copies=40,44,48,52,56,60
           sim=(--groups 3) ;;
    B1|B2) rep=${name#B}; seed=$((1200 + rep)); pops=12
           copies=40,44,48,52,56,60,40,44,48,52,56,60; sim=(--tree) ;;
    P1)    rep=1; seed=701; pops=6; copies=40
           sim=(--groups 3 --pooled --min-coverage 20 --max-coverage 60)
           extra=(-x -s "$out/$name/data.samplesize"); nvar=1 ;;
    W1|W5|W10) rep=1; seed=$((2000 + ${name#W})); pops=20
           copies=20,22,24,26,28,30,32,34,36,38,40,42,44,46,48,50,52,54,56,58
           sim=(--tree --branch-lengths 0.002,0.02 --beta 0.15 --effect-fraction $(( ${name#W} ))e-2) ;;
    V5)    rep=1; seed=1205; pops=12; copies=40,44,48,52,56,60,40,44,48,52,56,60
           sim=(--tree --branch-lengths 0.002,0.02 --beta 0.15 --effect-fraction 0.05 --effect-var 2)
           effvar=2 ;;
    Q5)    rep=1; seed=805; pops=8; copies=40
           sim=(--tree --branch-lengths 0.002,0.02 --beta 0.15 --effect-fraction 0.05
                --pooled --min-coverage 20 --max-coverage 60)
           extra=(-x -s "$out/$name/data.samplesize"); nvar=1 ;;
    *) echo "unknown set $name" >&2; exit 1 ;;
  esac
  case "$name" in  # the sets of today keep their effect; the others give theirs in sim
    A*|B*|P*) sim+=(--beta 0.1 --effect-fraction 0.047619048) ;;
  esac
  mkdir -p "$out/$name"
  cd "$out/$name"
  [ -s data.matrix ] || run "$tools/peltra2-simulate" --pops $pops --loci 2100 --copies $copies \
      "${sim[@]}" --env $nvar --seed $seed --out data >/dev/null
  if [ "$(cat genome.snps 2>/dev/null)" != "$genome" ]; then  # another genome: rescale again
    rm -rf genome.* effects.* scan.*.effects.* calibrated.matrix chains*/calibrated.matrix scan.calibrated.* chains*/scan.calibrated.*
    if [ "$genome" -gt 2100 ]; then
      run "$tools/peltra2-simulate" --pops $pops --loci $genome --copies $copies \
          "${sim[@]}" --env $nvar --seed $seed --out more >/dev/null
      $helper genome data more genome
      $helper effects genome 2100 900 effects
      rm -f more.*
    else
      cp data.counts genome.counts
    fi
    echo "$genome" > genome.snps
  fi
  local est=estimation.out
  if [ "$chains" = 1 ] && [ "$iterations" = 10000 ]; then
    if [ ! -s estimation.out ]; then
      run "$peltra2" -i data.counts -p $pops -k 10000 -r $rep "${extra[@]}" > estimation.tmp
      mv estimation.tmp estimation.out
    fi
  else  # the recipe's chains, in a folder of their own, the matrices and scans beside them
    mkdir -p "chains$chains.k$iterations"
    cd "chains$chains.k$iterations"
    for d in ../data.* ../genome.* ../effects.*; do [ -e "$d" ] && ln -sf "$d" .; done
    est=""
    for c in $(seq $rep $((rep + chains - 1))); do
      if [ ! -s chain$c.out ]; then
        run "$peltra2" -i data.counts -p $pops -k $iterations -r $c "${extra[@]}" > chain$c.tmp
        mv chain$c.tmp chain$c.out
      fi
      est="$est chain$c.out"
    done
  fi
  [ -s plain.matrix ] || run "$tools/peltra2-matrix" $est -o plain.matrix 2> plain.log
  [ -s calibrated.matrix ] || run "$tools/peltra2-matrix" $est --counts genome.counts -e data.env -n $nvar \
      "${extra[@]}" -o calibrated.matrix 2> calibrated.log
  [ -s true.matrix ] || cp data.matrix true.matrix
  counts=data.counts effect=data.effect_loci
  if [ "$neutral" -gt 0 ]; then
    $helper subsample data.counts data.effect_loci $neutral quick
    counts=quick.counts effect=quick.effect_loci
  fi
}

scan() {  # name matrix
  setup "$1"
  local t="scan.$2.$nulls.tsv" stats=(-p $pops -e data.env -n $nvar -k 20000) run_opts=(-j $jobs --no-bar)
  [ -z "${extra[*]}" ] && stats+=(-X)
  if [ -s "$t" ]; then
    :
  elif [ "$direct" = 1 ]; then
    run $helper direct "$tools" "$peltra2" $counts $2.matrix $nulls "$t" "${stats[@]}" "${extra[@]}"
  else
    run "$tools/peltra2-scan" -i $counts -m $2.matrix "${stats[@]}" --calibrate $nulls "${run_opts[@]}" \
      "${extra[@]}" --work "scan.$2.$nulls.work" -o "$t" 2> "scan.$2.$nulls.log"
  fi
  if [ "$quick" = 0 ] && [ "$direct" = 0 ] && [ -s effects.counts ] && [ ! -s "scan.$2.effects.tsv" ]; then
    run "$tools/peltra2-scan" -i effects.counts -m $2.matrix "${stats[@]}" "${run_opts[@]}" "${extra[@]}" \
      --work "scan.$2.effects.work" -o "scan.$2.effects.tsv" 2> "scan.$2.effects.log"
  fi
}

# Set by set, the calibrated scan first, then the true matrix's, then the plain average's.
for s in $sets; do
  for m in $matrices; do scan "$s" "$m"; done
done
: > "$out/rows.md"
: > "$out/contrast.md"
for s in $sets; do
  setup "$s"
  args=()
  for m in true plain calibrated; do args+=("$m=scan.$m.$nulls.tsv+scan.$m.effects.tsv"); done
  $helper rows "$s" $effect "${args[@]}" >> "$out/rows.md"
  $helper contrast "$s" data.env $effvar true.matrix plain.matrix calibrated.matrix >> "$out/contrast.md"
done
echo
echo "Neutral SNPs above the null's 99% and 95% quantiles, power at the 1% empirical cut, effect"
echo "SNPs above the null's 99% quantile (the scan's own flags) (%), lambda; each for the true"
echo "matrix, the plain average and the calibrated matrix."
echo
echo "| set | statistic | 99% true | 99% plain | 99% calib. | 95% true | 95% plain | 95% calib. |" \
     "power true | power plain | power calib. | found true | found plain | found calib. |" \
     "lambda true | lambda plain | lambda calib. |"
echo "|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|"
cat "$out/rows.md"
echo
echo "Variance along the effect variable's contrast over the true matrix's (in brackets: over the"
echo "ratio of their traces between populations), then its least and largest over all contrasts."
echo
echo "| set | plain | calib. |"
echo "|---|---|---|"
cat "$out/contrast.md"
