# Per-sample jobs: the untargeted torva run, and the gap-filling pass on the
# targets torva-align picked for the sample. Each uses the threads Snakemake
# gives it (`torva_threads`, or --set-threads torva=N fill=N); under the SLURM
# profile that is the job's --cpus-per-task. The reports do not depend on it.

rule torva:
    input:
        lambda wildcards: SAMPLES[wildcards.sample][0],
    output:
        os.path.join(WORK, "summaries", "{sample}.tsv"),
    log:
        os.path.join(WORK, "logs", "torva", "{sample}.log"),
    params:
        options=config.get("torva_options", ""),
    threads: int(config.get("torva_threads", 1))
    resources:
        mem_mb=2000,
    shell:
        "{TORVA:q} -i {input:q} -s {output:q} --threads {threads} {params.options} > {log:q} 2>&1"


rule fill:
    input:
        run=lambda wildcards: SAMPLES[wildcards.sample][0],
        targets=os.path.join(WORK, "align", "targets", "{sample}.tsv"),
    output:
        os.path.join(WORK, "filled", "{sample}.tsv"),
    log:
        os.path.join(WORK, "logs", "fill", "{sample}.log"),
    params:
        options=config.get("torva_options", ""),
    threads: int(config.get("torva_threads", 1))
    resources:
        mem_mb=2000,
    shell:
        # Nothing to fill: an empty report (torva without targets would search every peak).
        "if [ -s {input.targets:q} ]; then "
        "{TORVA:q} -i {input.run:q} --targets {input.targets:q} -s {output:q} --threads {threads} {params.options} "
        "> {log:q} 2>&1; "
        "else {TORVA:q} --empty-summary {output:q}; "
        "echo 'no gaps to fill' > {log:q}; fi"
