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
                if not re.fullmatch(r"[A-Za-z0-9_.+-]+", name) or name in samples:
                    raise WorkflowError(f"sample name {name!r} in {source} is repeated or not a plain file name")
                samples[name] = (os.path.join(base, row["file"]), (row.get("group") or "").strip())
    if not samples:
        raise WorkflowError(f"no samples found in {source}")
    return samples
