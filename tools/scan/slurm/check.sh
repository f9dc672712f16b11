#!/bin/bash
# Checks the job scripts on a running Slurm (one node is enough): a small
# scan submitted with submit.sh (an array of 3 slices, the merge, the
# calibration) and with allocation.sbatch (2 tasks) must give, byte for byte,
# the tables and quantiles of the same scan run whole on this machine.
#
#   bash check.sh BUILD_DIR        (sbatch, squeue and scontrol on PATH)
#
# Works in a temporary folder, kept (with the job logs) when a check fails.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=$(cd "${1:?usage: bash check.sh BUILD_DIR}" && pwd)
export PATH=$build/tools:$PATH
for p in peltra2-scan peltra2-simulate parallel sbatch squeue scontrol; do
  command -v "$p" >/dev/null || { echo "check.sh: $p is not on PATH" >&2; exit 1; }
done
scontrol ping | grep -q UP || { echo "check.sh: no Slurm controller answers (scontrol ping)" >&2; exit 1; }
dir=$(mktemp -d "${TMPDIR:-/tmp}/peltra2-slurm-check.XXXXXX")
cd "$dir"
peltra2-simulate --pops 4 --loci 45 --env 1 --seed 5 --out data >/dev/null
opts=(-i data.counts -p 4 -m data.matrix -e data.env -n 1 -k 6000 -X --seed 9)
cal=(--calibrate 40 --calibration-seed 3)

echo "== the whole scan on this machine"
peltra2-scan "${opts[@]}" --no-bar -o local.tsv --work local.work 2>/dev/null
peltra2-scan "${opts[@]}" "${cal[@]}" --no-bar -o whole.tsv --work whole.work 2>/dev/null

wait_for() {  # job ids: until none is pending or running
  local deadline=$((SECONDS + 900))
  while [ -n "$(squeue -h -j "$(IFS=,; echo "$*")" 2>/dev/null)" ]; do
    [ $SECONDS -lt $deadline ] || { echo "check.sh: jobs $* still queued after 15 minutes" >&2; exit 1; }
    sleep 2
  done
}
fails=0
same() {
  if cmp -s "$1" "$2"; then echo "same: $1 $2"; else echo "DIFFERENT: $1 $2"; fails=$((fails + 1)); fi
}

echo "== submit.sh 3 2 arr ..."
ids=$(bash "$here/submit.sh" 3 2 arr "${opts[@]}" "${cal[@]}")
echo "$ids"
wait_for $(echo "$ids" | tr -c '0-9\n' ' ')
same arr.tsv local.tsv
same arr.calibrated.tsv whole.tsv
same arr.calibrated.quantiles.tsv whole.quantiles.tsv
ls ./*.log

echo "== sbatch --nodes=1 --ntasks=2 --cpus-per-task=1 allocation.sbatch alloc ..."
job=$(sbatch --parsable --nodes=1 --ntasks=2 --cpus-per-task=1 "$here/allocation.sbatch" alloc \
  "${opts[@]}" "${cal[@]}" | cut -d';' -f1)
echo "job $job"
wait_for "$job"
same alloc.tsv local.tsv
same alloc.calibrated.tsv whole.tsv
same alloc.calibrated.quantiles.tsv whole.quantiles.tsv

if [ $fails -gt 0 ]; then
  echo "check.sh: $fails files differ; see the logs in $dir" >&2
  exit 1
fi
cd / && rm -rf "$dir"
echo "check.sh: the job scripts give the tables of the whole scan"
