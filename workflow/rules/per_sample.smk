# Per-sample jobs: the untargeted torva run, and the gap-filling pass on the
# targets torva-align picked for the sample. Each uses the threads Snakemake
# gives it (`torva_threads`, or --set-threads torva=N fill=N); under the SLURM
# profile that is the job's --cpus-per-task. The reports do not depend on it.
#
# With `detect: resolver` (the default) each run is torva's feature pipeline
# (--detect resolver --features, at `ppm`), and the gap filling asks the same
# pipeline for each target's window (--fill-gaps), so that a filled area is
# integrated between the same kind of edges as a detected one: the peak the
# resolver finds there below the feature minimums, else the window's signal. With `detect: peaks` the
# runs write summary reports (-s) with `peaks_options`, as before the feature
# pipeline existed.


def torva_report_options(output):
    """The report option and the detection options of a per-sample run."""
    if DETECT == "resolver":
        return f"--detect resolver --features {shlex.quote(output)} --ppm {PPM} {config.get('torva_options', '')}"
    return f"-s {shlex.quote(output)} {config.get('peaks_options', '')}"


def empty_report(output):
    """The command that writes a gap-filling report of no targets."""
    if DETECT == "resolver":
        return f": > {shlex.quote(output)}"
    return f"{shlex.quote(TORVA)} --empty-summary {shlex.quote(output)}"


rule torva:
    input:
        lambda wildcards: SAMPLES[wildcards.sample][0],
    output:
        os.path.join(WORK, "reports", "{sample}.tsv"),
    log:
        os.path.join(WORK, "logs", "torva", "{sample}.log"),
    params:
        options=lambda wildcards, output: torva_report_options(output[0]),
    threads: int(config.get("torva_threads", 1))
    resources:
        mem_mb=2000,
    shell:
        "{TORVA:q} -i {input:q} --threads {threads} {params.options} > {log:q} 2>&1"


rule fill:
    input:
        run=lambda wildcards: SAMPLES[wildcards.sample][0],
        targets=os.path.join(WORK, "align", "targets", "{sample}.tsv"),
    output:
        os.path.join(WORK, "filled", "{sample}.tsv"),
    log:
        os.path.join(WORK, "logs", "fill", "{sample}.log"),
    params:
        options=lambda wildcards, output: torva_report_options(output[0])
        + (" --fill-gaps" if DETECT == "resolver" else ""),
        empty=lambda wildcards, output: empty_report(output[0]),
    threads: int(config.get("torva_threads", 1))
    resources:
        mem_mb=2000,
    shell:
        # Nothing to fill: an empty summary (torva --empty-summary), or with the
        # feature pipeline an empty file, which torva-align reads as no gaps
        # (torva without targets would search every peak).
        "if [ -s {input.targets:q} ]; then "
        "{TORVA:q} -i {input.run:q} --threads {threads} --targets {input.targets:q} {params.options} "
        "> {log:q} 2>&1; "
        "else {params.empty}; echo 'no gaps to fill' > {log:q}; fi"
