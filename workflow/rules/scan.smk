# The scan: every SNP tested with the matrix held fixed, as slices of the
# count file (peltra2-scan --part I/N) merged into one table, then
# calibrated on null SNPs simulated with the matrix.

wildcard_constraints:
    slice=r"[1-9][0-9]*",

MERGED = R + "/scan/merged.tsv" if CALIBRATE else TABLE


def scan_inputs(**more):
    return optional(counts=COUNTS, matrix=R + "/matrix.txt", env=setting("env"),
                    sample_sizes=SAMPLE_SIZES, **more)


def work_folder(name):
    """Shell lines that set $work to the job's peltra2-scan work folder.

    Its name carries a digest of the job's settings and inputs: a job stopped
    half way finds its folder again and resumes, while changed settings or
    inputs start in a new folder (peltra2-scan refuses a folder made with
    others) and the stale folders of the same job are removed."""
    base = R + "/scan/work/" + name
    return (
        "key=$( (echo '{params.options} {params.seed} {params.calibration}'; cat {input})"
        " | sha256sum | cut -c1-16) && work=" + base + ".$key"
        " && for d in " + base + ".*; do"
        " if [ \"$d\" != \"$work\" ] && [ -e \"$d/peltra2-scan.work\" ]; then rm -rf \"$d\"; fi; done && "
    )


# The test options and files every scanned SNP runs with.
SCAN_RUN = (
    " --peltra2 " + PELTRA2 + " -j {threads} --no-bar --work \"$work\""
    " -i {input.counts} -p " + POPS + " -m {input.matrix} -e {input.env} -n " + VARIABLES
    + " {params.options} {params.pooled} --seed {params.seed}"
)


rule scan_slice:
    input:
        **scan_inputs(names=SNP_NAMES),
    output:
        R + "/scan/slice{slice}.tsv",
    params:
        options=test_options(),
        pooled=sample_size_option,
        seed=setting("scan_seed"),
        calibration="",
        names=lambda w, input: "--names " + input.names if SNP_NAMES else "",
    threads: setting("scan_threads")
    log:
        LOGS + "/scan_slice{slice}.log",
    shell:
        work_folder("slice{wildcards.slice}")
        + SCAN + " --part {wildcards.slice}/" + str(SLICES) + SCAN_RUN
        + " {params.names} -o {output} 2> {log} && rm -rf \"$work\""


# Waits for every slice; refuses a missing or doubled one.
rule merge:
    input:
        expand(R + "/scan/slice{slice}.tsv", slice=range(1, SLICES + 1)),
    output:
        MERGED,
    log:
        LOGS + "/merge.log",
    shell:
        SCAN + " merge -o {output} {input} 2> {log}"


if CALIBRATE:

    # The merged table with a flag column per statistic, and the quantiles
    # with lambda: the same as the whole scan's with --calibrate.
    rule calibrate:
        input:
            **scan_inputs(merged=MERGED),
        output:
            table=TABLE,
            quantiles=QUANTILES,
        params:
            options=test_options(),
            pooled=sample_size_option,
            seed=setting("scan_seed"),
            calibration="--calibrate %d --calibration-seed %d --flag-level %s"
            % (CALIBRATE, setting("calibration_seed"), setting("flag_level")),
        threads: setting("scan_threads")
        log:
            LOGS + "/calibrate.log",
        shell:
            work_folder("calibration")
            + SCAN + " calibrate -o {output.table} --quantiles {output.quantiles} {input.merged}"
            + SCAN_RUN + " {params.calibration} 2> {log} && rm -rf \"$work\""
