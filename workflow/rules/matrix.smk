# The covariance matrix: independent estimation chains, then their average
# rescaled to the drift of the SNPs, with the convergence diagnostics.

wildcard_constraints:
    chain=r"[1-9][0-9]*",


# One chain, seed = its number. peltra2 writes pop_spec.out into the folder
# it runs in, so each chain runs in its own; the reports reach the output
# only when the run has ended well.
rule chain:
    input:
        **optional(counts=MATRIX_COUNTS, sample_sizes=SAMPLE_SIZES),
    output:
        R + "/chains/chain{chain}.out",
    params:
        iterations=setting("iterations"),
        pooled='-x -s "$sizes"' if POOLED else "",
    log:
        LOGS + "/chain{chain}.log",
    shell:
        "counts=$(realpath {input.counts}) out=$(realpath -m {output}) log=$(realpath -m {log})"
        + (" sizes=$(realpath {input.sample_sizes})" if POOLED else "") +
        " && mkdir -p " + R + "/chains/run{wildcards.chain} && cd " + R + "/chains/run{wildcards.chain}"
        " && " + PELTRA2 + " -i \"$counts\" -p $(awk 'NR == 1 {{print NF; exit}}' \"$counts\")"
        " -k {params.iterations} -r {wildcards.chain} {params.pooled}"
        " > \"$out.tmp\" 2> \"$log\" && mv \"$out.tmp\" \"$out\""


rule matrix:
    input:
        # the chains may run on a thinned file, the rescaling sees every SNP: its error falls with their
        # number; along each variable's contrast it takes the drift from the core of the SNPs
        **optional(chains=expand(R + "/chains/chain{chain}.out", chain=range(1, CHAINS + 1)),
                   counts=COUNTS, env=setting("env"), sample_sizes=SAMPLE_SIZES),
    output:
        matrix=R + "/matrix.txt",
        diagnostics=R + "/diagnostics.tsv",
        correlation=R + "/correlation.txt",
    params:
        burn_in=lambda w: "-b %d" % setting("burn_in") if setting("burn_in") else "",
        pooled=lambda w, input: "-x " + sample_size_option(w, input) if POOLED else "",
    log:
        LOGS + "/matrix.log",
    shell:
        MATRIX_TOOL + " {input.chains} {params.burn_in} --counts {input.counts} -e {input.env} {params.pooled}"
        " -o {output.matrix} --diagnostics {output.diagnostics} --correlation {output.correlation} 2> {log}"
