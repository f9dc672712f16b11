#!/usr/bin/env bash
# Runs the pipeline through the Slurm profile (workflow/profiles/slurm) on
# tiny settings, every job a Slurm job, and checks that it ended with the
# table a direct peltra2-scan gives. Needs a reachable Slurm (sinfo answers;
# a one-node cluster from Debian's slurm-wlm and munge does) and a shared
# file system between this machine and the nodes.
#
#   bash workflow/check-slurm.sh [BUILD_DIR]     # default: build
#
# The profile's cores per job (16) are lowered to 1 so that the check fits
# a small node; everything else is the profile's. The scratch folder is made
# in the current folder (shared with the nodes) and removed on success.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)

if ! sinfo -h >/dev/null 2>&1; then
  echo "check-slurm: no Slurm cluster answers (sinfo failed); start one or set SLURM_CONF" >&2
  exit 1
fi
# Snakemake's Slurm support reads USER to look up the account.
export USER=${USER:-$(id -un)}

work=$(mktemp -d -p "$PWD" slurm-check.XXXXXX)
export PARALLEL_HOME=$work/.parallel
head -n 80 "$top/examples/example.counts" > "$work/small.counts"
cat > "$work/tiny.yaml" <<EOF
programs: $build
counts: small.counts
env: $top/examples/example.env
chains: 2
iterations: 4000
scan_iterations: 6000
slices: 2
calibrate: 20
EOF

echo "check-slurm: $(sinfo -h -o '%P %D node(s) %c CPUs %T' | head -n 1); scratch folder $work"
start=$SECONDS
if ! snakemake -s "$top/workflow/Snakefile" --profile "$top/workflow/profiles/slurm" \
     --directory "$work" --configfile "$work/tiny.yaml" --set-threads scan_slice=1 calibrate=1 \
     > "$work/snakemake.log" 2>&1; then
  tail -n 30 "$work/snakemake.log" >&2
  echo "check-slurm: the pipeline failed; see $work/snakemake.log" >&2
  exit 1
fi
submitted=$(grep -c 'has been submitted with SLURM jobid' "$work/snakemake.log" || true)
grep -E 'has been submitted with SLURM jobid|steps \(100%\) done' "$work/snakemake.log" | sed 's/^/  /'
echo "check-slurm: $submitted Slurm jobs, $((SECONDS - start)) s"

cd "$work"
"$build/tools/peltra2-scan" --peltra2 "$build/peltra2" --no-bar --work direct.work -i small.counts -p 6 \
  -m results/matrix.txt -e "$top/examples/example.env" -n 2 -k 6000 -X --seed 0 \
  --calibrate 20 -o direct.tsv 2> direct.log
if ! cmp -s direct.tsv results/scan.tsv; then
  echo "check-slurm: results/scan.tsv differs from a direct peltra2-scan (direct.tsv) in $work" >&2
  exit 1
fi
echo "check-slurm: the table equals a direct peltra2-scan with the same matrix, byte for byte; report: results/report.html"
cd "$top" && rm -rf "$work"
