# Compounds of the cohort: the rows of features.tsv grouped into compounds (co-elution, areas correlated
# across samples, 13C isotopes, the ions of the ion list), the MS2 spectra of every sample's run linked to
# them, the compound columns written into features.tsv before the sample columns, and the exports for
# molecular networking (GNPS), SIRIUS and mzTab-M under OUTDIR/export/; and each feature's chromatogram in
# every sample (OUTDIR/feature_traces.tsv), which the cohort page overlays.

COMPOUNDS = os.path.join(BIN, "compound_tool", "torva-compounds")
EXPORTS = [os.path.join(OUT, "export", name) for name in ("gnps.mgf", "gnps_quant.csv", "sirius.ms", "cohort.mztab")]
TRACES = os.path.join(OUT, "feature_traces.tsv")


def compound_targets():
    return EXPORTS + [TRACES] if config.get("compounds", True) else []


rule compounds:
    input:
        table=os.path.join(OUT, "features.tsv"),
        samples=os.path.join(OUT, "samples.tsv"),
        times=os.path.join(OUT, "feature_rt.tsv"),
    output:
        EXPORTS,
        traces=TRACES,
    log:
        os.path.join(WORK, "logs", "compounds.log"),
    params:
        tool=COMPOUNDS,
        cohort=OUT,
        export=os.path.join(OUT, "export"),
        options=config.get("compound_options", ""),
    resources:
        mem_mb=4000,
    shell:
        # torva-compounds adds the compound columns to features.tsv in place (a second run replaces them).
        "mkdir -p {params.export:q} && {params.tool:q} --cohort {params.cohort:q} --export {params.export:q} "
        "--traces {output.traces:q} {params.options} > {log:q} 2>&1"
