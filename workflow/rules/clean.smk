# The cohort table readied for statistics (torva-clean): blank and QC filters, drift
# correction along the injection order, normalisation, imputation, and the exports. On by
# default when the sample sheet names QCs or blanks (`clean: auto`).

localrules: clean_sheet


def clean_wanted():
    setting = str(config.get("clean", "auto")).strip().lower()
    if setting in ("true", "yes", "on", "1"):
        return True
    if setting in ("false", "no", "off", "0"):
        return False
    if setting != "auto":
        raise WorkflowError(f"clean: {setting!r} is not auto, true or false")
    return DESIGN is not None and any(kind in ("qc", "blank") for kind, _, _ in DESIGN.values())


def clean_outputs():
    if not clean_wanted():
        return []
    return [os.path.join(OUT, "features_clean.tsv"), os.path.join(OUT, "clean_log.txt"),
            os.path.join(OUT, "export", "metaboanalyst.csv"), os.path.join(OUT, "export", "features_long.tsv")] + \
           [os.path.join(OUT, "clean", name) for name in
            ("removed.tsv", "qc_cv.tsv", "drift_fit.tsv", "pca.tsv", "pca_explained.tsv")]


def on_off(key):
    return str(config.get(key, True)).strip().lower() not in ("false", "no", "off", "0")


def clean_options():
    """Every setting of torva-clean, spelt out."""
    options = []
    if not on_off("clean_blank_filter"):
        options.append("--no-blank-filter")
    options.append(f"--blank-ratio {config.get('clean_blank_ratio', 3)}")
    if not on_off("clean_qc_filter"):
        options.append("--no-qc-filter")
    options.append(f"--qc-max-cv {config.get('clean_qc_max_cv', 30)}")
    options.append(f"--qc-min-fraction {config.get('clean_qc_min_fraction', 0.5)}")
    if not on_off("clean_drift"):
        options.append("--no-drift")
    options.append(f"--drift-span {config.get('clean_drift_span', 0.75)}")
    options.append(f"--normalise {config.get('clean_normalise', 'none')}")
    options.append(f"--impute {config.get('clean_impute', 'none')}")
    options.append(f"--impute-fraction {config.get('clean_impute_fraction', 0.5)}")
    return " ".join(options)


rule clean_sheet:
    output:
        os.path.join(WORK, "clean_sheet.tsv"),
    run:
        with open(output[0], "w") as sheet:
            sheet.write("sample\tfile\tgroup\ttype\torder\tbatch\n")
            for index, (name, (path, group)) in enumerate(SAMPLES.items()):
                kind, order, batch = DESIGN[name] if DESIGN else ("sample", index + 1, "1")
                sheet.write(f"{name}\t{path}\t{group}\t{kind}\t{order}\t{batch}\n")


rule clean:
    input:
        sheet=os.path.join(WORK, "clean_sheet.tsv"),
        table=os.path.join(OUT, "features.tsv"),
        # The compound step rewrites features.tsv with its columns: clean after it.
        compounds=compound_targets(),
    output:
        os.path.join(OUT, "features_clean.tsv"),
        os.path.join(OUT, "clean_log.txt"),
        os.path.join(OUT, "export", "metaboanalyst.csv"),
        os.path.join(OUT, "export", "features_long.tsv"),
        [os.path.join(OUT, "clean", name) for name in
         ("removed.tsv", "qc_cv.tsv", "drift_fit.tsv", "pca.tsv", "pca_explained.tsv")],
    log:
        os.path.join(WORK, "logs", "clean.log"),
    params:
        options=clean_options(),
    resources:
        mem_mb=2000,
    shell:
        "{CLEAN:q} --sheet {input.sheet:q} --table {input.table:q} --out {OUT:q} {params.options} 2> {log:q}"
