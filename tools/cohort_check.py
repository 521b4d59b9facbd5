#!/usr/bin/env python3
"""Scores a cohort feature table against the truth of simulate_cohort.

    cohort_check.py COHORT_DIR TRUTH_DIR [--mz-tol DA] [--rt-tol MIN] [--fold-tol LOG2]

Prints the figures and exits with 1 when one misses its bound:
  - found compounds (a row within the tolerances of the compound's m/z and time) that appear as
    exactly one row: at least 95 %
  - rows that match no compound, isotope or water loss: at most 10 %
  - found compounds with a fold change whose log2 ratio of group means lies within 0.3 of the
    truth: at least 90 %
  - empty cells of rows of compounds present in every sample: at most 2 %
"""
import argparse
import csv
import math
import sys


def read_tsv(path):
    with open(path, newline="") as handle:
        return list(csv.DictReader(handle, delimiter="\t"))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("cohort")
    parser.add_argument("truth")
    parser.add_argument("--mz-tol", type=float, default=0.01)
    parser.add_argument("--rt-tol", type=float, default=0.15, help="minutes, against the undrifted time")
    parser.add_argument("--fold-tol", type=float, default=0.3)
    args = parser.parse_args()

    compounds = read_tsv(f"{args.truth}/truth_compounds.tsv")
    presence = read_tsv(f"{args.truth}/truth_samples.tsv")
    sheet = read_tsv(f"{args.cohort}/samples.tsv")
    rows = read_tsv(f"{args.cohort}/features.tsv")
    groups = sorted({s["group"] for s in sheet})
    absent = {(p["compound"]) for p in presence if p["present"] == "0"}

    def near(row, mz, rt):
        return abs(float(row["mz"]) - mz) <= args.mz_tol and abs(float(row["rt"]) - rt) <= args.rt_tol

    matched_rows = set()
    found = exact = 0
    fold_checked = fold_good = 0
    full_cells = full_empty = 0
    for compound in compounds:
        mz, rt = float(compound["mz"]), float(compound["rt_min"])
        ions = [mz, float(compound["isotope_mz"])]
        if float(compound["water_loss_mz"]) > 0:
            ions.append(float(compound["water_loss_mz"]))
        for index, row in enumerate(rows):
            if any(near(row, ion, rt) for ion in ions):
                matched_rows.add(index)
        hits = [row for row in rows if near(row, mz, rt)]
        if not hits:
            continue
        found += 1
        exact += len(hits) == 1
        row = max(hits, key=lambda r: int(r["n_samples"]))
        if compound["compound"] not in absent:
            cells = [row[s["sample"]] for s in sheet]
            full_cells += len(cells)
            full_empty += sum(1 for c in cells if c == "")
        fold = float(compound["fold_change"])
        if fold != 1.0 and len(groups) >= 2:
            means = []
            for group in (groups[0], groups[-1]):
                values = [float(row[s["sample"]]) for s in sheet if s["group"] == group and row[s["sample"]] != ""]
                means.append(sum(values) / len(values) if values else 0.0)
            fold_checked += 1
            if means[0] > 0 and means[1] > 0 and abs(math.log2(means[1] / means[0]) - math.log2(fold)) <= args.fold_tol:
                fold_good += 1

    def share(a, b):
        return 100.0 * a / b if b else 0.0

    unmatched = len(rows) - len(matched_rows)
    figures = [
        ("compounds found", f"{found} of {len(compounds)}", None),
        ("found compounds as exactly one row", f"{share(exact, found):.1f} %", share(exact, found) >= 95),
        ("rows matching no compound, isotope or water loss",
         f"{share(unmatched, len(rows)):.1f} % ({unmatched} of {len(rows)})", share(unmatched, len(rows)) <= 10),
        ("fold changes within %.1f of the truth (log2)" % args.fold_tol,
         f"{share(fold_good, fold_checked):.1f} % ({fold_good} of {fold_checked})",
         share(fold_good, fold_checked) >= 90),
        ("empty cells, compounds present in every sample",
         f"{share(full_empty, full_cells):.2f} % ({full_empty} of {full_cells})", share(full_empty, full_cells) <= 2),
    ]
    ok = True
    for name, value, passed in figures:
        mark = "" if passed is None else ("  ok" if passed else "  MISSED")
        print(f"{name}: {value}{mark}")
        ok = ok and passed is not False
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
