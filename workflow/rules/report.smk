# The pictures (chains' trace, the matrix's heat map, the scan along the
# genome) and one HTML page that holds them with the diagnostics, lambda
# and the flagged SNPs.


rule trace:
    input:
        **optional(chains=expand(R + "/chains/chain{chain}.out", chain=range(1, CHAINS + 1)),
                   names=POP_NAMES),
    output:
        R + "/pictures/trace.png",
    params:
        names=lambda w, input: "--names " + input.names if POP_NAMES else "",
        burn_in=lambda w: "-b %d" % setting("burn_in") if setting("burn_in") else "",
    log:
        LOGS + "/trace.log",
    shell:
        PLOT + " trace {input.chains} {params.names} {params.burn_in} -o {output} 2> {log}"


rule heatmap:
    input:
        **optional(matrix=R + "/matrix.txt", names=POP_NAMES),
    output:
        R + "/pictures/heatmap.png",
    params:
        names=lambda w, input: "--names " + input.names if POP_NAMES else "",
    log:
        LOGS + "/heatmap.log",
    shell:
        PLOT + " heatmap {input.matrix} {params.names} -o {output} 2> {log}"


rule scan_picture:
    input:
        **optional(table=TABLE, quantiles=QUANTILES if CALIBRATE else "", snps=SNP_TABLE),
    output:
        R + "/pictures/scan.png",
    params:
        snps=lambda w, input: "--snps " + input.snps if SNP_TABLE else "",
        thresholds=lambda w, input: "--quantiles " + input.quantiles if CALIBRATE else "--no-thresholds",
    log:
        LOGS + "/scan_picture.log",
    shell:
        PLOT + " scan {input.table} {params.snps} {params.thresholds} -o {output} 2> {log}"


rule report:
    input:
        **optional(table=TABLE, quantiles=QUANTILES if CALIBRATE else "", snps=SNP_TABLE,
                   diagnostics=R + "/diagnostics.tsv", matrix_log=LOGS + "/matrix.log",
                   trace=R + "/pictures/trace.png", heatmap=R + "/pictures/heatmap.png",
                   scan=R + "/pictures/scan.png"),
    output:
        R + "/report.html",
    params:
        title="peltra2 scan of " + (setting("counts") or setting("vcf")),
        level=setting("flag_level"),
    log:
        LOGS + "/report.log",
    shell:
        "python3 " + os.path.join(workflow.basedir, "scripts", "report.py") + " --title {params.title:q}"
        " --table {input.table} --diagnostics {input.diagnostics} --matrix-log {input.matrix_log}"
        " --trace {input.trace} --heatmap {input.heatmap} --scan {input.scan} --flag-level {params.level}"
        + (" --quantiles {input.quantiles}" if CALIBRATE else "") + (" --snps {input.snps}" if SNP_TABLE else "")
        + " -o {output} 2> {log}"
