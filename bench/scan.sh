#!/usr/bin/env bash
# Times peltra2-scan against a plain loop of peltra2 -t over the same SNPs.
#
#   bash bench/scan.sh --bin PELTRA2 --tools DIR [--data DIR] [--snps N] [--k ITER] [--reps N] [--jobs "1 2"]
#
# DIR holds peltra2-scan and peltra2-simulate. The data (K = 6, one
# environmental variable, simulator seed 2015) is made once in --data. For
# each job count J, every repetition runs the plain loop (J shell loops, each
# over its share of the one-locus files, split beforehand) and the scan
# (-X, seeds 1 .. N, a fresh work folder), under /usr/bin/time; it prints the
# medians of wall and CPU (user + system) time, their ratio scan / loop, and
# the size and file count of the scan's work folder at the end. bench/run.sh
# runs it with its Release build.
set -euo pipefail

bin="" tools="" data="" snps=200 iters=20000 reps=3 jobs_list="1 2"
while [ $# -gt 0 ]; do
  case "$1" in
    --bin) bin=$(realpath "$2"); shift ;;
    --tools) tools=$(realpath "$2"); shift ;;
    --data) data="$2"; shift ;;
    --snps) snps="$2"; shift ;;
    --k) iters="$2"; shift ;;
    --reps) reps="$2"; shift ;;
    --jobs) jobs_list="$2"; shift ;;
    -h|--help) sed -n '2,13p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "unknown option $1 (see --help)" >&2; exit 1 ;;
  esac
  shift
done
[ -n "$bin" ] && [ -n "$tools" ] || { echo "bench/scan.sh needs --bin and --tools (see --help)" >&2; exit 1; }
data=${data:-$(mktemp -d)}
mkdir -p "$data"
cd "$data"

[ -s s$snps.counts ] || "$tools/peltra2-simulate" --pops 6 --loci "$snps" --env 1 --seed 2015 --out s$snps >/dev/null
rm -rf one && mkdir one
awk -v d=one 'NR % 2 == 1 {f = sprintf("%s/%d.counts", d, (NR + 1) / 2)} {print > f} NR % 2 == 0 {close(f)}' s$snps.counts
opts=(-p 6 -k "$iters" -n 1 -m "$data/s$snps.matrix" -e "$data/s$snps.env" -X)

# J shell loops, loop s over SNPs s, s + J, ... (seed = SNP number, as in the scan).
cat >loop.sh <<'LOOP'
j=$1 snps=$2 bin=$3
shift 3
for ((s = 1; s <= j; s++)); do
  for ((i = s; i <= snps; i += j)); do
    "$bin" -t -i "one/$i.counts" -r "$i" -o "loop$s" "$@" >/dev/null || exit 1
  done &
done
wait
LOOP
timed() {  # label, command...
  local label=$1
  shift
  /usr/bin/time -f "$label %e %U %S" -a -o times.txt "$@" >/dev/null 2>&1 || { echo "$label failed" >&2; exit 1; }
}
median() { sort -g | awk '{v[NR]=$1} END {print (NR % 2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }

: >times.txt
: >sizes.txt
echo "== load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
for j in $jobs_list; do
  for r in $(seq "$reps"); do
    rm -f loop*.bf loop*.xtx
    timed "loop-j$j" bash loop.sh "$j" "$snps" "$bin" "${opts[@]}"
    [ "$(cat loop*.bf | wc -l)" = "$snps" ] || { echo "the plain loop failed" >&2; exit 1; }
    rm -rf work scan.tsv
    timed "scan-j$j" "$tools/peltra2-scan" --peltra2 "$bin" -i s$snps.counts "${opts[@]}" --seed 0 -j "$j" \
      --work work -o scan.tsv --no-bar
    echo "j$j $(du -sk work | cut -f1) $(find work | wc -l)" >>sizes.txt
  done
done
echo "== load average after: $(cut -d' ' -f1-3 /proc/loadavg)"

printf '%-8s %9s %9s %9s %9s %10s %10s %12s %8s\n' jobs loop-wall loop-cpu scan-wall scan-cpu wall-ratio cpu-ratio work-KB/SNP files
for j in $jobs_list; do
  lw=$(awk -v l="loop-j$j" '$1 == l {print $2}' times.txt | median)
  lc=$(awk -v l="loop-j$j" '$1 == l {print $3 + $4}' times.txt | median)
  sw=$(awk -v l="scan-j$j" '$1 == l {print $2}' times.txt | median)
  sc=$(awk -v l="scan-j$j" '$1 == l {print $3 + $4}' times.txt | median)
  kb=$(awk -v l="j$j" '$1 == l {print $2}' sizes.txt | median)
  files=$(awk -v l="j$j" '$1 == l {print $3}' sizes.txt | median)
  awk -v j="-j$j" -v lw="$lw" -v lc="$lc" -v sw="$sw" -v sc="$sc" -v kb="$kb" -v n="$snps" -v f="$files" 'BEGIN {
    printf "%-8s %9.2f %9.2f %9.2f %9.2f %10.2f %10.2f %12.2f %8d\n", j, lw, lc, sw, sc, sw / lw, sc / lc, kb / n, f}'
done
