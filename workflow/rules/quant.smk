# Targeted quantitation (given `targets`): each sample's transitions measured by
# torva --quant, then torva-quant's calibration curves and concentrations under
# OUTDIR/quant/, and the page of curves and chromatograms.

QUANT = os.path.join(OUT, "quant")
TORVA_QUANT = os.path.join(BIN, "quant", "torva-quant")


def quant_targets():
    outputs = [os.path.join(QUANT, name) for name in ("quant_long.tsv", "concentrations.tsv", "calibration.tsv")]
    if config.get("view", True) and os.access(VIEW, os.X_OK):
        outputs.append(os.path.join(QUANT, "quant.html"))
    return outputs


rule quant_run:
    input:
        run=lambda wildcards: SAMPLES[wildcards.sample][0],
        targets=config.get("targets", ""),
    output:
        table=os.path.join(WORK, "quant", "{sample}.quant.tsv"),
        traces=os.path.join(WORK, "quant", "{sample}.traces.tsv"),
    log:
        os.path.join(WORK, "logs", "quant", "{sample}.log"),
    params:
        options=config.get("quant_options", ""),
    threads: int(config.get("torva_threads", 1))
    resources:
        mem_mb=2000,
    shell:
        "{TORVA:q} -i {input.run:q} --quant {input.targets:q} --quant-out {output.table:q} "
        "--quant-traces {output.traces:q} --threads {threads} {params.options} > {log:q} 2>&1"


rule quant_cohort:
    input:
        targets=config.get("targets", ""),
        sheet=str(config.get("samples", "")),
        tables=expand(os.path.join(WORK, "quant", "{sample}.quant.tsv"), sample=SAMPLES),
        traces=expand(os.path.join(WORK, "quant", "{sample}.traces.tsv"), sample=SAMPLES),
    output:
        [os.path.join(QUANT, name) for name in ("quant_long.tsv", "concentrations.tsv", "calibration.tsv",
                                                 "traces.tsv")],
    log:
        os.path.join(WORK, "logs", "quant_cohort.log"),
    params:
        concentrations=(f"--concentrations {config['concentrations']}" if config.get("concentrations") else ""),
        options=config.get("quant_cohort_options", ""),
    shell:
        "{TORVA_QUANT:q} --targets {input.targets:q} --samples {input.sheet:q} --runs {WORK:q}/quant "
        "--out {QUANT:q} {params.concentrations} {params.options} 2> {log:q}"


rule quant_view:
    input:
        os.path.join(QUANT, "calibration.tsv"),
        os.path.join(QUANT, "traces.tsv"),
    output:
        os.path.join(QUANT, "quant.html"),
    log:
        os.path.join(WORK, "logs", "quant_view.log"),
    shell:
        "{VIEW:q} --quant {QUANT:q} --out {output:q} 2> {log:q}"
