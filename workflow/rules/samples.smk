# The sample sheet: a TSV file, or a folder of runs (one sample per file, no groups,
# in the natural order of their names: sample2 before sample10; .mzML.gz and
# .mzXML.gz runs too).

import csv

from snakemake.exceptions import WorkflowError
import re

RUN_SUFFIXES = (".mzxml", ".mzdata", ".mzml", ".xml")
GZIP_SUFFIX = ".gz"


def run_stem(name):
    """The sample name of a run file in a folder, or None when it is no run:
    run.mzML, run.mzXML.gz and run.mzML.gz are all sample `run`."""
    base = name[: -len(GZIP_SUFFIX)] if name.lower().endswith(GZIP_SUFFIX) else name
    stem, suffix = os.path.splitext(base)
    if suffix.lower() not in RUN_SUFFIXES or not stem:
        return None
    if base != name and suffix.lower() not in (".mzml", ".mzxml"):
        return None
    return stem


def natural_key(name):
    """Orders names as a person would: sample2 before sample10."""
    return [int(part) if part.isdigit() else part for part in re.split(r"(\d+)", name)]


def read_samples(source):
    """Sample name -> (absolute run path, group), in sheet order."""
    if not source:
        raise WorkflowError("no samples: give --config samples=SHEET (or a folder of runs)")
    samples = {}
    if os.path.isdir(source):
        runs = [(run_stem(name), name) for name in os.listdir(source)]
        runs = [(stem, name) for stem, name in runs if stem is not None]
        for stem, name in sorted(runs, key=lambda run: (natural_key(run[0]), run[1])):
            if os.path.isfile(os.path.join(source, name)):
                if stem in samples:
                    raise WorkflowError(f"two runs named {stem} in {source}")
                samples[stem] = (os.path.abspath(os.path.join(source, name)), "")
    else:
        base = os.path.dirname(os.path.abspath(source))
        with open(source, newline="") as sheet:
            rows = csv.DictReader(sheet, delimiter="\t")
            if not rows.fieldnames or "sample" not in rows.fieldnames or "file" not in rows.fieldnames:
                raise WorkflowError(f"sample sheet {source} needs a header with 'sample' and 'file'")
            for row in rows:
                name = (row["sample"] or "").strip()
                if not name:
                    continue
                if not re.fullmatch(r"[A-Za-z0-9_.+-]+", name) or ".." in name or name in samples:
                    raise WorkflowError(f"sample name {name!r} in {source} is repeated or not a plain file name")
                samples[name] = (os.path.join(base, row["file"]), (row.get("group") or "").strip())
    if not samples:
        raise WorkflowError(f"no samples found in {source}")
    return samples


INJECTION_TYPES = ("sample", "qc", "blank", "standard")


def read_design(source):
    """Sample name -> (type, order, batch), in sheet order, from the optional columns `type`
    (sample, qc, blank, standard), `order` (injection order, whole numbers from 1, each once) and
    `batch`; absent columns mean every injection a sample, sheet order and one batch. None for a
    folder of runs or a sheet with none of the three columns. Faults name the sheet's line."""
    if not source or os.path.isdir(source):
        return None
    design = {}
    with open(source, newline="") as sheet:
        rows = csv.DictReader(sheet, delimiter="\t")
        columns = rows.fieldnames or []
        if not any(column in columns for column in ("type", "order", "batch")):
            return None
        orders = {}
        for row in rows:
            line = rows.line_num
            name = (row.get("sample") or "").strip()
            if not name:
                continue
            kind = (row.get("type") or "sample").strip().lower() if "type" in columns else "sample"
            if kind not in INJECTION_TYPES:
                raise WorkflowError(f"sample sheet {source} line {line}: type {row.get('type')!r} is not one of "
                                    + ", ".join(INJECTION_TYPES))
            order = len(design) + 1
            if "order" in columns:
                text = (row.get("order") or "").strip()
                if not text.isdigit() or int(text) < 1:
                    raise WorkflowError(f"sample sheet {source} line {line}: order {text!r} is not a whole "
                                        "number of at least 1")
                order = int(text)
                if order in orders:
                    raise WorkflowError(f"sample sheet {source} line {line}: order {order} is already given "
                                        f"on line {orders[order]}")
                orders[order] = line
            batch = (row.get("batch") or "").strip() if "batch" in columns else "1"
            if not batch:
                raise WorkflowError(f"sample sheet {source} line {line}: empty batch")
            design[name] = (kind, order, batch)
    return design
