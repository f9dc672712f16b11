#!/bin/bash
# Submits a scan as a Slurm job array, the merge of its slices once every
# task has succeeded, and, with --calibrate, the calibration of the merged
# table once the merge has succeeded:
#
#   submit.sh SLICES CPUS PREFIX <peltra2-scan options> [--calibrate N [--calibration-seed C] [--flag-level L]]
#
# Writes PREFIX.partI.tsv (the slices), PREFIX.tsv (the scan) and with
# --calibrate PREFIX.calibrated.tsv and PREFIX.calibrated.quantiles.tsv, all in
# the current folder; each job's log is <job name>-<job id>[_<task>].log there.
# peltra2-scan and GNU parallel must be on PATH (the jobs get this shell's
# environment). Other sbatch settings come from sbatch's environment variables
# (SBATCH_PARTITION, SBATCH_TIMELIMIT, SBATCH_ACCOUNT, ...). Prints the three
# job ids.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
if [ $# -lt 4 ]; then
  sed -n '2,15p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//' >&2
  exit 2
fi
slices=$1 cpus=$2 prefix=$3
shift 3
# The calibration options go to the calibration job only; the jobs choose
# their own slice, jobs, work folders and tables.
scan=() calibration=()
while [ $# -gt 0 ]; do
  case $1 in
    --calibrate|--calibration-seed|--flag-level)
      [ $# -ge 2 ] || { echo "submit.sh: $1 needs a value" >&2; exit 2; }
      calibration+=("$1" "$2"); shift 2 ;;
    --part|-j|--jobs|-o|--work|--quantiles|--sshloginfile)
      echo "submit.sh: $1 is set by the job scripts; leave it out" >&2; exit 2 ;;
    *) scan+=("$1"); shift ;;
  esac
done
submit() { sbatch --parsable "$@" | cut -d';' -f1; }
array=$(submit --array="1-$slices" --cpus-per-task="$cpus" "$here/scan.sbatch" "$prefix" "$slices" "${scan[@]}")
merge=$(submit --dependency="afterok:$array" "$here/merge.sbatch" "$prefix" "$slices")
echo "scan array $array, merge $merge"
if [ ${#calibration[@]} -gt 0 ]; then
  calibrate=$(submit --dependency="afterok:$merge" --cpus-per-task="$cpus" "$here/calibrate.sbatch" \
    "$prefix" "${scan[@]}" "${calibration[@]}")
  echo "calibration $calibrate"
fi
