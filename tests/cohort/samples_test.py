#!/usr/bin/env python3
"""The workflow's sample sheet rules (workflow/rules/samples.smk) on a folder of
runs and on a sheet: gzip-compressed runs taken, folder runs in the natural
order of their names, sheets in their own order.

    tests/cohort/samples_test.py
"""
import os
import sys
import tempfile

RULES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "workflow", "rules", "samples.smk")


def load_rules():
    # The rules need only snakemake's WorkflowError: a stand-in where the
    # Python running this has no snakemake.
    try:
        import snakemake.exceptions  # noqa: F401
    except ImportError:
        import types

        stub = types.ModuleType("snakemake.exceptions")
        stub.WorkflowError = type("WorkflowError", (Exception,), {})
        sys.modules["snakemake"] = types.ModuleType("snakemake")
        sys.modules["snakemake.exceptions"] = stub
    namespace = {"os": os, "__name__": "samples_rules"}
    with open(RULES) as handle:
        exec(compile(handle.read(), RULES, "exec"), namespace)
    return namespace


def main():
    rules = load_rules()
    failures = []

    def check(name, got, expected):
        if got != expected:
            failures.append(f"{name}: got {got!r}, expected {expected!r}")

    with tempfile.TemporaryDirectory() as folder:
        for name in ("s10.mzML.gz", "s2.mzXML.gz", "s1.mzML", "S1b.mzXML", "notes.txt", "table.tsv.gz", "s3.mzData.xml"):
            open(os.path.join(folder, name), "w").close()
        samples = rules["read_samples"](folder)
        check("folder order", list(samples), ["S1b", "s1", "s2", "s3.mzData", "s10"])
        check("gzip run path", samples["s10"][0], os.path.join(folder, "s10.mzML.gz"))
        check("no group", samples["s2"][1], "")

        sheet = os.path.join(folder, "sheet.tsv")
        with open(sheet, "w") as handle:
            handle.write("sample\tfile\tgroup\nexample10\truns/10.mzML\tA\nexample2\truns/2.mzML\tB\nexample1\truns/1.mzML\tA\n")
        samples = rules["read_samples"](sheet)
        check("sheet order", list(samples), ["example10", "example2", "example1"])
        check("sheet path", samples["example2"], (os.path.join(folder, "runs/2.mzML"), "B"))

        twice = os.path.join(folder, "twice")
        os.mkdir(twice)
        for name in ("a.mzML", "a.mzXML.gz"):
            open(os.path.join(twice, name), "w").close()
        try:
            rules["read_samples"](twice)
            failures.append("two runs of one name: accepted")
        except Exception as error:  # the workflow's WorkflowError
            check("two runs of one name", "two runs named a" in str(error), True)

    check("natural key", sorted(["x10", "x9", "x1"], key=rules["natural_key"]), ["x1", "x9", "x10"])
    for failure in failures:
        print("FAILED:", failure, file=sys.stderr)
    print(f"samples rules: {len(failures)} of 7 checks failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
