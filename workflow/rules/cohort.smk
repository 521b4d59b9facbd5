# Cohort jobs: the sheet as used, alignment (with the gap-filling targets), the
# final table with its gaps filled, and the visual report.

localrules: sheet, view, quant_view


def report_target():
    if config.get("view", True) and os.access(VIEW, os.X_OK):
        return [os.path.join(OUT, "cohort.html")]
    return []


rule sheet:
    output:
        os.path.join(WORK, "sheet.tsv"),
    run:
        with open(output[0], "w") as sheet:
            sheet.write("sample\tfile\tgroup\n")
            for name, (path, group) in SAMPLES.items():
                sheet.write(f"{name}\t{path}\t{group}\n")


rule align:
    input:
        sheet=os.path.join(WORK, "sheet.tsv"),
        reports=expand(os.path.join(WORK, "reports", "{sample}.tsv"), sample=SAMPLES),
    output:
        os.path.join(WORK, "align", "features.tsv"),
        expand(os.path.join(WORK, "align", "targets", "{sample}.tsv"), sample=SAMPLES),
    log:
        os.path.join(WORK, "logs", "align.log"),
    params:
        options=config.get("align_options", ""),
    resources:
        mem_mb=4000,
    shell:
        "{ALIGN:q} --sheet {input.sheet:q} --summaries {WORK:q}/reports --out {WORK:q}/align "
        "{params.options} 2> {log:q}"


rule table:
    input:
        sheet=os.path.join(WORK, "sheet.tsv"),
        reports=expand(os.path.join(WORK, "reports", "{sample}.tsv"), sample=SAMPLES),
        filled=expand(os.path.join(WORK, "filled", "{sample}.tsv"), sample=SAMPLES),
    output:
        [os.path.join(OUT, name) for name in
         ("features.tsv", "samples.tsv", "feature_rt.tsv", "gap_filled.tsv", "rt_correction.tsv")],
    log:
        os.path.join(WORK, "logs", "table.log"),
    params:
        options=config.get("align_options", ""),
    resources:
        mem_mb=4000,
    shell:
        "{ALIGN:q} --sheet {input.sheet:q} --summaries {WORK:q}/reports --filled {WORK:q}/filled "
        "--out {OUT:q} {params.options} 2> {log:q}"


rule view:
    input:
        os.path.join(OUT, "features.tsv"),
        clean_outputs(),
        compound_targets(),
    output:
        os.path.join(OUT, "cohort.html"),
    log:
        os.path.join(WORK, "logs", "view.log"),
    shell:
        "{VIEW:q} --cohort {OUT:q} --out {output:q} 2> {log:q}"
