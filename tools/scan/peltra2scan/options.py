"""Command line of peltra2-scan: its own options, the test-mode options that
pass through to every peltra2 run, and the statistic columns they select."""

import argparse
import os
import re
import shlex
import shutil
import textwrap

from peltra2tools import inputs, outputs, options
from peltra2tools.messages import ToolError

PROG = "peltra2-scan"

# peltra2 takes seeds of magnitude 1 .. 1073741781; SNP i runs with base + i.
MAX_SEED = 1073741781
# The largest -p, -k or -n peltra2 reads as given.
LARGEST_INT = 2147483647
# peltra2-scan --version prints this tool's name and the line of this file
# (written by the build next to the scripts).
VERSION_FILE = "peltra2-version"
# Test mode discards the first 5000 iterations; a run of no more takes no sample.
BURN_IN = 5000
FLAG_LEVELS = ("95", "99", "99.9")

USAGE_EPILOG = """\
Every SNP of the count file is tested by its own run of peltra2 -t; the
jobs (-j at a time) each run a batch of consecutive SNPs. SNP i (counted
from 1) runs with the seed S + i, so any SNP can be rerun alone with the same
result:
  peltra2 -t -i snp_i.counts -r S+i <the same test options>
A stopped scan (Ctrl-C, a lost connection, a reboot) resumes where it stopped
when the same command is given again: finished SNPs are not run again.

Job arrays: --part I/N scans the I-th of N equal slices of the SNPs, with the
seeds and SNP numbers they have in the whole scan; then
  peltra2-scan merge -o TABLE PART_TABLE...
joins the N slice tables into the table of the whole scan, and
  peltra2-scan calibrate -o OUT TABLE <the scan's options> --calibrate N
calibrates it as the whole scan with --calibrate N would have. Slurm job
scripts: tools/scan/slurm/ in the source tree.

The table (-o) starts with a "#peltra2-scan scan" line naming the scan (its
seed, options and input digests), then a header and one row per SNP in input
order: snp (index), name, the statistic columns (BF_1, rho_1, r_1, ... or Z, rho_1; XtX), with
--calibrate a flag column per statistic, and status ("ok", or "failed: " and
peltra2's message; the statistics of a failed SNP are NA).

Exit status: 0 once the table is written, also when some SNPs failed (their
status says why and they are listed on standard error); 1 on an error, with
no table, also when no SNP succeeded; 128 + the signal number when interrupted.

Several machines sharing the file system: --sshloginfile FILE runs the SNPs
over the ssh logins listed in FILE (GNU parallel's format, e.g. "8/node17";
the line ":" is this machine). peltra2, the scripts, the inputs and the work
folder must have the same absolute paths on every machine. Machines whose
login fails are named and left out; a batch whose login fails later runs on
another machine. --parallel-options passes more options to GNU parallel.
"""


OptionError = ToolError
Parser = options.Parser


def version_line():
    return options.version_line(PROG, os.path.join(os.path.dirname(os.path.realpath(__file__)), ".."))


def build_parser():
    p = Parser(
        prog=PROG, formatter_class=argparse.RawDescriptionHelpFormatter,
        description="Test every SNP of a multi-locus count file with peltra2 -t, in parallel, "
                    "into one table.",
        epilog=USAGE_EPILOG)
    p.add_argument("--version", action="version", version=version_line())
    t = p.add_argument_group("peltra2 test options (passed to every run)")
    t.add_argument("-i", dest="counts", metavar="COUNTS", required=True,
                   help="count file with any number of SNPs (two lines each)")
    t.add_argument("-p", dest="pops", type=int, metavar="K", required=True, help="number of populations")
    t.add_argument("-k", dest="iterations", type=int, metavar="ITER", required=True,
                   help="iterations per SNP (more than %d)" % BURN_IN)
    t.add_argument("-m", dest="matrix", metavar="MATRIX", required=True, help="covariance matrix file")
    t.add_argument("-e", dest="env", metavar="ENV", required=True, help="environment file")
    t.add_argument("-n", dest="nenv", type=int, metavar="N", required=True,
                   help="number of environmental variables")
    t.add_argument("-z", dest="z", action="store_true", help="Z statistic instead of Bayes factors")
    t.add_argument("-c", dest="cor", action="store_true", help="correlation columns")
    t.add_argument("-X", dest="xtx", action="store_true", help="XtX column")
    t.add_argument("-f", dest="freqs", action="store_true",
                   help="frequency output, kept per SNP in the work folder (freqs/<i>.freqs)")
    t.add_argument("-x", dest="pool", action="store_true", help="pooled mode (Z statistic)")
    t.add_argument("-s", dest="samplesize", metavar="FILE", help="sample-size file of pooled mode")
    t.add_argument("-l", dest="lookup", action="store_true", help="pooled likelihood from a lookup table")

    s = p.add_argument_group("scan options")
    s.add_argument("-o", dest="table", metavar="TABLE",
                   help="table to write (default: the count file's name with .scan.tsv, in the "
                        "current folder)")
    s.add_argument("--names", metavar="FILE", help="SNP names, one per line, in the count file's order")
    s.add_argument("--seed", type=int, default=0, metavar="S",
                   help="base seed: SNP i runs with seed S + i (default 0)")
    s.add_argument("-j", "--jobs", metavar="N",
                   help="runs at a time: a number, or as GNU parallel's -j: N%%, +N, -N "
                        "(default: one per core)")
    s.add_argument("--batch-size", type=int, metavar="B",
                   help="SNPs per job, run one after another (default: from the number of SNPs "
                        "and of jobs, about %d batches per job, at most %d SNPs)" % (4, 1000))
    s.add_argument("--part", metavar="I/N",
                   help="scan only the I-th of N equal slices of the SNPs (for job arrays); "
                        "join the slice tables with peltra2-scan merge")
    s.add_argument("--work", metavar="DIR",
                   help="work folder: records of the finished SNPs, GNU parallel's job log (joblog) (default: the count file's "
                        "name with .scan, in the current folder)")
    s.add_argument("--sshloginfile", metavar="FILE",
                   help="spread the runs over the machines listed in FILE (GNU parallel's --sshloginfile); "
                        "a batch whose login fails runs again on another machine")
    s.add_argument("--ssh", metavar="CMD", default="ssh",
                   help="the ssh command (default ssh); peltra2-scan adds -o BatchMode=yes and connection "
                        "and keep-alive timeouts, which -o options in CMD override")
    s.add_argument("--parallel-options", metavar="OPTS", default="",
                   help="more options for GNU parallel, in one word, as a shell splits them "
                        "(e.g. \"--retries 5 --delay 0.1\")")
    s.add_argument("--peltra2", metavar="PATH",
                   help="the peltra2 program (default: the one built next to this script, else on PATH)")
    s.add_argument("--no-bar", action="store_true", help="no progress bar even on a terminal")

    c = p.add_argument_group("calibration")
    c.add_argument("--calibrate", type=int, metavar="N",
                   help="also scan N null SNPs simulated with the matrix, the data's sample sizes and "
                        "ancestral frequencies; report the 95%%, 99%% and 99.9%% quantiles of every "
                        "statistic and flag the SNPs above the chosen one")
    c.add_argument("--calibration-seed", type=int, default=1, metavar="C",
                   help="seed of the null simulation (default 1)")
    c.add_argument("--flag-level", choices=FLAG_LEVELS, default="99",
                   help="quantile above which a SNP is flagged (default 99)")
    c.add_argument("--quantiles", metavar="FILE",
                   help="where the quantiles go (default: TABLE with .quantiles.tsv for .tsv)")
    return p


def default_peltra2():
    here = os.path.dirname(os.path.realpath(__file__))
    for cand in (os.path.join(here, "..", "..", "peltra2"), os.path.join(here, "..", "peltra2")):
        if os.path.isfile(cand) and os.access(cand, os.X_OK):
            return os.path.realpath(cand)
    return shutil.which("peltra2")


def readable_file(path, what):
    if not os.path.isfile(path):
        raise OptionError("%s %s does not exist or is not a file" % (what, path))
    if not os.access(path, os.R_OK):
        raise OptionError("%s %s cannot be read" % (what, path))
    return os.path.abspath(path)


def not_stdout(opt, path):
    """Refuses - for a table: it is written to a file, never to standard output."""
    if path == "-":
        raise OptionError("%s -: the table is written to a file, not to standard output; give a file name" % opt)


def check(o):
    """Checks the options as peltra2 would, before any run; makes paths absolute."""
    for opt, value in (("-p", o.pops), ("-k", o.iterations), ("-n", o.nenv)):
        # peltra2 would read a larger number cut to 32 bits, another number.
        if value > LARGEST_INT:
            raise OptionError("%s %d: peltra2 takes at most %d" % (opt, value, LARGEST_INT))
    if o.pops < 1:
        raise OptionError("-p must be at least 1")
    if o.iterations <= BURN_IN:
        raise OptionError("-k must exceed %d: test mode takes its first sample at iteration %d"
                          % (BURN_IN, BURN_IN + 1))
    if o.nenv < 1:
        raise OptionError("-n must be at least 1")
    if o.pool:
        if not o.samplesize:
            raise OptionError("pooled mode (-x) needs the sample-size file (-s)")
        if o.cor or o.freqs or o.xtx:
            raise OptionError("pooled mode (-x) allows none of -c, -f, -X")
        if o.nenv != 1:
            raise OptionError("pooled mode (-x) supports a single environmental variable (-n 1)")
    if o.seed < 0:
        raise OptionError("--seed must be 0 or more")
    if o.calibration_seed < 0:
        # A negative seed would draw the null SNPs of its absolute value.
        raise OptionError("--calibration-seed must be 0 or more")
    for opt, path in (("-o", o.table), ("--quantiles", o.quantiles)):
        not_stdout(opt, path)
    if o.batch_size is not None and o.batch_size < 1:
        raise OptionError("--batch-size must be at least 1")
    if o.jobs is not None and job_slots(o.jobs) is None:
        raise OptionError("-j %s: give a number of jobs, or N%%, +N or -N" % o.jobs)
    try:
        shlex.split(o.parallel_options)
    except ValueError as e:
        raise OptionError("--parallel-options %s: %s" % (o.parallel_options, e))
    o.part = parse_part(o.part) if o.part else None
    if o.part and o.calibrate is not None:
        raise OptionError("--part cannot be combined with --calibrate (every part would scan the same "
                          "null SNPs); merge the slices, then run peltra2-scan calibrate on the merged table")
    if o.quantiles and o.calibrate is None:
        raise OptionError("--quantiles names the file of a calibration: give --calibrate N with it, or leave it out")
    if o.calibrate is not None and o.calibrate < 20:
        raise OptionError("--calibrate needs at least 20 null SNPs (1000 or more for the 99.9% quantile)")
    # Messages name the files as given; the runs get absolute paths.
    stem = os.path.basename(o.counts) + ".scan" + (".part%d-of-%d" % o.part if o.part else "")
    o.table = o.table or stem + ".tsv"
    o.work = o.work or stem
    if not o.quantiles:
        o.quantiles = (o.table[:-4] if o.table.endswith(".tsv") else o.table) + ".quantiles.tsv"
    o.given = argparse.Namespace(**vars(o))
    o.counts = readable_file(o.counts, "count file")
    o.matrix = readable_file(o.matrix, "matrix file")
    o.env = readable_file(o.env, "environment file")
    if o.samplesize:
        o.samplesize = readable_file(o.samplesize, "sample-size file")
    if o.names:
        o.names = readable_file(o.names, "names file")
    if o.sshloginfile:
        o.sshloginfile = readable_file(o.sshloginfile, "ssh login file")
    o.peltra2 = o.peltra2 or default_peltra2()
    if not o.peltra2 or not os.path.isfile(o.peltra2) or not os.access(o.peltra2, os.X_OK):
        raise OptionError("cannot find the peltra2 program; give it with --peltra2")
    o.given.peltra2 = o.peltra2
    o.peltra2 = os.path.abspath(o.peltra2)
    # Outputs go to the current folder, like peltra2's result files.
    o.table, o.work, o.quantiles = (os.path.abspath(p) for p in (o.table, o.work, o.quantiles))
    check_safe_outputs(o.given)
    check_inputs(o.given)
    return o


def check_safe_outputs(o):
    """No output may be an input or another output; the table and the
    quantiles file must be writable. o: the options as given."""
    ins = [("-i", o.counts), ("-m", o.matrix), ("-e", o.env), ("-s", o.samplesize), ("--names", o.names),
           ("--sshloginfile", o.sshloginfile), ("--peltra2", o.peltra2),
           ("TABLE", getattr(o, "scan_table", None))]
    outs = [("-o", o.table)] + ([("--quantiles", o.quantiles)] if o.calibrate is not None else [])
    outputs.check(outs, ins, folders=[("--work", o.work)])


def check_inputs(o):
    """The matrix, environment and sample-size files, each as peltra2 reads
    it (extra fields or lines told): refused here, before any run, with the
    file, line and field named. o: the options as given."""
    inputs.read_matrix(o.matrix, o.pops)
    inputs.read_numbers(o.env, o.pops, o.nenv, "environment file")
    if o.samplesize:
        inputs.read_pool_sizes(o.samplesize, o.pops)


def parse_part(text):
    m = re.fullmatch(r"([0-9]+)/([0-9]+)", text)
    if not m or not 1 <= int(m.group(1)) <= int(m.group(2)):
        raise OptionError("--part %s: give I/N with 1 <= I <= N, e.g. --part 3/10" % text)
    return int(m.group(1)), int(m.group(2))


def part_range(part, n):
    """SNPs first .. last (from 1) of slice I of N of n SNPs."""
    if not part:
        return 1, n
    i, parts = part
    return (i - 1) * n // parts + 1, i * n // parts


def job_slots(jobs, cores=None):
    """The number of jobs at a time that -j asks for (None if unreadable)."""
    cores = cores or os.cpu_count() or 1
    if jobs is None:
        return cores
    m = re.fullmatch(r"([+-]?)([0-9]+)(%?)", jobs)
    if not m:
        return None
    sign, v, pct = m.group(1), int(m.group(2)), m.group(3)
    if pct:
        return None if sign else max(1, cores * v // 100)
    if sign:
        return max(1, cores + v if sign == "+" else cores - v)
    return v if v > 0 else cores


def slots(o):
    """How many batches run at a time: -j on this machine, or the sum over
    the machines of an ssh login file ("N/host"; a host without N counts as
    many as this machine's cores)."""
    here = job_slots(o.jobs)
    if not o.sshloginfile:
        return here
    total = 0
    with open(o.sshloginfile) as f:
        for line in f:
            line = line.split("#", 1)[0].strip()
            if line:
                m = re.match(r"([0-9]+)/", line)
                total += int(m.group(1)) if m else here
    return max(1, total)


def z_statistic(o):
    return o.z or o.pool


def peltra2_args(o):
    """The options every run gets, besides -t, -i, -o and -r."""
    a = ["-p", str(o.pops), "-k", str(o.iterations), "-m", o.matrix, "-e", o.env, "-n", str(o.nenv)]
    for flag, on in (("-z", o.z), ("-c", o.cor), ("-X", o.xtx), ("-f", o.freqs), ("-x", o.pool), ("-l", o.lookup)):
        if on:
            a.append(flag)
    if o.samplesize:
        a += ["-s", o.samplesize]
    return a


def result_columns(o):
    """Names of the fields of the result line, and of the XtX line."""
    if z_statistic(o):
        cols = ["Z"] + (["rho_1"] if o.cor else [])
    else:
        cols = []
        for i in range(1, o.nenv + 1):
            cols += ["BF_%d" % i] + (["rho_%d" % i, "r_%d" % i] if o.cor else [])
    return cols, (["XtX"] if o.xtx else [])


def parse(argv):
    return check(build_parser().parse_args(argv))


def parse_calibrate(argv):
    """peltra2-scan calibrate -o OUT [--quantiles Q] [--work DIR] TABLE <the scan's options> --calibrate N"""
    p = build_parser()
    p.prog = PROG + " calibrate"
    p.usage = ("%(prog)s -o OUT [--quantiles Q] [--work DIR] TABLE\n"
               "           -i COUNTS <the scan's test options and --seed>\n"
               "           --calibrate N [--calibration-seed C] [--flag-level L]")
    p.description = textwrap.fill(
        "Calibrate the table of a scan made in slices (peltra2-scan merge's output): scan the null SNPs "
        "and write the table and quantiles that the whole scan run with --calibrate N would have "
        "written, byte for byte.", 79)
    p.epilog = textwrap.fill(
        "The test options and --seed must be those of the scan: the table's first line records them, "
        "with the digests of its input files, and a table of another scan is refused. The null scan "
        "lives in the work folder (default: the count file's name with .scan.calibration, in the "
        "current folder) and resumes like a scan. -j, --sshloginfile and the other scan options apply "
        "to the null scan.", 79)
    p.add_argument("scan_table", metavar="TABLE", help="the scan's table (merged from its slices)")
    o = p.parse_args(argv)
    if not o.table:
        p.error("the calibrated table (-o OUT) is required")
    if o.calibrate is None:
        p.error("--calibrate N (the number of null SNPs) is required")
    if o.part:
        raise OptionError("--part: calibrate the merged table of the whole scan")
    readable_file(o.scan_table, "scan table")
    if not o.work:
        o.work = os.path.basename(o.counts) + ".scan.calibration"
    o = check(o)  # messages name the table as given
    o.scan_table = os.path.abspath(o.scan_table)
    return o


def parse_merge(argv):
    """peltra2-scan merge -o TABLE PART_TABLE..."""
    p = Parser(prog=PROG + " merge",
               description="Join the tables of the slices of a scan (--part I/N) into the table "
                           "of the whole scan, checking that every slice is there once.")
    p.add_argument("--version", action="version", version=version_line())
    p.add_argument("-o", dest="table", metavar="TABLE", required=True, help="table to write")
    p.add_argument("parts", nargs="+", metavar="PART_TABLE", help="the slice tables, in any order")
    o = p.parse_args(argv)
    not_stdout("-o", o.table)
    outputs.check([("-o", o.table)], [("slice table", path) for path in o.parts])
    return o
