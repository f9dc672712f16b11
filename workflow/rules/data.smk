# The count files: converted from a VCF or BCF (the scan's, and a thinned
# one for the chains), or the given count file thinned.

CONVERT_FILTERS = "--min-maf {params.min_maf} --min-copies {params.min_copies}"
CONVERT_POOLED = "--pooled --pool-sizes {input.pool_sizes}" if POOLED else ""


if FROM_VCF:

    rule convert:
        input:
            **optional(vcf=setting("vcf"), popmap=setting("popmap"),
                       pool_sizes=setting("pool_sizes") if POOLED else ""),
        output:
            counts=R + "/data/data.counts",
            snps=R + "/data/data.snps",
            names=R + "/data/data.names",
            copies=R + "/data/data.copies",
            **optional(sample_sizes=R + "/data/data.samplesize" if POOLED else ""),
        params:
            min_maf=setting("min_maf"),
            min_copies=setting("min_copies"),
        log:
            LOGS + "/convert.log",
        shell:
            CONVERT + " --vcf {input.vcf} --map {input.popmap} " + CONVERT_FILTERS + " " + CONVERT_POOLED
            + " --out " + R + "/data/data 2> {log}"


    # The same filters, so that the chains see a subset of the scanned SNPs.
    rule thin:
        input:
            **optional(vcf=setting("vcf"), popmap=setting("popmap"),
                       pool_sizes=setting("pool_sizes") if POOLED else ""),
        output:
            R + "/data/thinned.counts",
        params:
            min_maf=setting("min_maf"),
            min_copies=setting("min_copies"),
            thin=THIN,
            seed=setting("thin_seed"),
        log:
            LOGS + "/thin.log",
        shell:
            CONVERT + " --vcf {input.vcf} --map {input.popmap} " + CONVERT_FILTERS + " " + CONVERT_POOLED
            + " --thin-random {params.thin} --seed {params.seed} --out " + R + "/data/thinned 2> {log}"


    # SNP names for the table: the VCF's IDs, chrom:pos where the ID is ".".
    rule snp_ids:
        input:
            R + "/data/data.snps",
        output:
            R + "/data/data.ids",
        log:
            LOGS + "/snp_ids.log",
        shell:
            "awk -F '\\t' 'NR > 1 {{print ($4 == \".\" ? $2 \":\" $3 : $4)}}' {input} > {output} 2> {log}"

else:

    # Evenly spaced SNPs: every ceil(S / thin)-th of the S SNPs, from the first.
    rule thin:
        input:
            counts=COUNTS,
        output:
            R + "/data/thinned.counts",
        params:
            thin=THIN,
        log:
            LOGS + "/thin.log",
        shell:
            "(snps=$(( $(wc -l < {input.counts}) / 2 )); step=$(( (snps + {params.thin} - 1) / {params.thin} ));"
            " awk -v step=$step 'int((NR - 1) / 2) % step == 0' {input.counts} > {output}.tmp"
            " && mv {output}.tmp {output}"
            " && echo \"thin: $(( $(wc -l < {output}) / 2 )) of $snps SNPs (every ${{step}}th)\") 2> {log} >&2"
