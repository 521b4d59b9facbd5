# The sample sheet: a TSV file, or a folder of runs (one sample per file, no groups).

import csv

from snakemake.exceptions import WorkflowError
import re

RUN_SUFFIXES = (".mzxml", ".mzdata", ".mzml", ".xml")


def read_samples(source):
    """Sample name -> (absolute run path, group), in sheet order."""
    if not source:
        raise WorkflowError("no samples: give --config samples=SHEET (or a folder of runs)")
    samples = {}
    if os.path.isdir(source):
        for name in sorted(os.listdir(source)):
            stem, suffix = os.path.splitext(name)
            if suffix.lower() in RUN_SUFFIXES and os.path.isfile(os.path.join(source, name)):
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
