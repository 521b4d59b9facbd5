#!/usr/bin/env python3
"""Scores a cleaned cohort table (torva-clean) against the truth of simulate_cohort's study design.

    clean_check.py COHORT_DIR TRUTH_DIR --injection-cv F [--mz-tol DA] [--rt-tol MIN] [--fold-tol LOG2]

COHORT_DIR holds features.tsv (as aligned), features_clean.tsv and clean/pca.tsv; TRUTH_DIR the
simulated cohort (truth_compounds.tsv, truth_contaminants.tsv, truth_injections.tsv). A row stands
for a compound or contaminant when its m/z and time lie within the tolerances of its
monoisotopic ion. Prints the figures and exits with 1 when one misses its bound:
  - contaminants of the blanks found in features.tsv that are gone from the clean table: >= 95 %
  - compounds found in features.tsv that are still in the clean table: >= 98 %
  - median QC CV of the compounds' rows in the clean table: within 2 points of the injection
    spread (--injection-cv, as a relative standard deviation)
  - changed compounds whose log2 ratio of group means (study samples) lies within --fold-tol of
    the truth: >= 95 %
  - the QCs' mean distance to one another in the PCA (PC1, PC2) smaller than that of the samples
    of each group
"""
import argparse
import csv
import math
import statistics
import sys


def read_tsv(path):
    with open(path, newline="") as handle:
        return list(csv.DictReader(handle, delimiter="\t"))


def cv(values):
    values = [v for v in values if v is not None]
    if len(values) < 2 or statistics.fmean(values) <= 0:
        return None
    return 100.0 * statistics.stdev(values) / statistics.fmean(values)


def mean_distance(points):
    pairs = [(a, b) for i, a in enumerate(points) for b in points[i + 1:]]
    return statistics.fmean(math.dist(a, b) for a, b in pairs) if pairs else float("nan")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("cohort")
    parser.add_argument("truth")
    parser.add_argument("--injection-cv", type=float, required=True)
    parser.add_argument("--mz-tol", type=float, default=0.01)
    parser.add_argument("--rt-tol", type=float, default=0.15, help="minutes, against the undrifted time")
    parser.add_argument("--fold-tol", type=float, default=0.3)
    args = parser.parse_args()

    compounds = read_tsv(f"{args.truth}/truth_compounds.tsv")
    contaminants = read_tsv(f"{args.truth}/truth_contaminants.tsv")
    injections = {row["sample"]: row for row in read_tsv(f"{args.truth}/truth_injections.tsv")}
    before = read_tsv(f"{args.cohort}/features.tsv")
    after = read_tsv(f"{args.cohort}/features_clean.tsv")
    pca = read_tsv(f"{args.cohort}/clean/pca.tsv")
    qcs = [name for name, row in injections.items() if row["type"] == "qc"]
    groups = sorted({row["group"] for row in injections.values() if row["type"] == "sample"})

    def hits(rows, mz, rt):
        return [r for r in rows if abs(float(r["mz"]) - mz) <= args.mz_tol and abs(float(r["rt"]) - rt) <= args.rt_tol]

    def area(row, sample):
        return float(row[sample]) if row[sample] != "" else None

    def best(rows):  # the row seen in most samples
        return max(rows, key=lambda r: int(r["n_samples"]))

    found_contaminants = removed_contaminants = 0
    for contaminant in contaminants:
        mz, rt = float(contaminant["mz"]), float(contaminant["rt_min"])
        if hits(before, mz, rt):
            found_contaminants += 1
            removed_contaminants += not hits(after, mz, rt)
    found = kept = 0
    cv_before, cv_after = [], []
    fold_checked = fold_good = 0
    for compound in compounds:
        mz, rt = float(compound["mz"]), float(compound["rt_min"])
        if not hits(before, mz, rt):
            continue
        found += 1
        cv_before.append(cv([area(best(hits(before, mz, rt)), q) for q in qcs]))
        rows = hits(after, mz, rt)
        if not rows:
            continue
        kept += 1
        row = best(rows)
        cv_after.append(cv([area(row, q) for q in qcs]))
        fold = float(compound["fold_change"])
        if fold != 1.0 and len(groups) >= 2:
            means = []
            for group in (groups[0], groups[-1]):
                values = [area(row, s) for s, i in injections.items() if i["type"] == "sample" and i["group"] == group]
                values = [v for v in values if v is not None]
                means.append(statistics.fmean(values) if values else 0.0)
            fold_checked += 1
            if means[0] > 0 and means[1] > 0 and abs(math.log2(means[1] / means[0]) - math.log2(fold)) <= args.fold_tol:
                fold_good += 1
    median_before = statistics.median([c for c in cv_before if c is not None])
    median_after = statistics.median([c for c in cv_after if c is not None])
    noise = 100.0 * args.injection_cv

    cross = [float(r["cv_cross"]) for r in read_tsv(f"{args.cohort}/clean/qc_cv.tsv") if r["kept"] == "1" and r["cv_cross"]]
    points = {row["sample"]: (float(row["pc1"]), float(row["pc2"])) for row in pca}
    qc_distance = mean_distance([points[q] for q in qcs if q in points])
    group_distance = {g: mean_distance([points[s] for s, i in injections.items()
                                        if i["type"] == "sample" and i["group"] == g and s in points]) for g in groups}

    def share(a, b):
        return 100.0 * a / b if b else 0.0

    figures = [
        ("contaminants removed", f"{share(removed_contaminants, found_contaminants):.1f} % "
         f"({removed_contaminants} of {found_contaminants} in the aligned table)",
         found_contaminants > 0 and share(removed_contaminants, found_contaminants) >= 95),
        ("compounds kept", f"{share(kept, found):.1f} % ({kept} of {found} in the aligned table)",
         share(kept, found) >= 98),
        ("median QC CV", f"{median_before:.1f} % as aligned, {median_after:.1f} % clean "
         f"(injection spread {noise:.1f} %)", median_after <= noise + 2),
        ("median QC CV cross-validated (each QC corrected by the other QCs' curve)",
         f"{statistics.median(cross):.1f} %" if cross else "not computed", None),
        ("fold changes within %.1f of the truth (log2)" % args.fold_tol,
         f"{share(fold_good, fold_checked):.1f} % ({fold_good} of {fold_checked})",
         fold_checked > 0 and share(fold_good, fold_checked) >= 95),
        ("PCA mean distance", f"QCs {qc_distance:.2f}, " + ", ".join(f"{g} {d:.2f}" for g, d in group_distance.items()),
         all(qc_distance < d for d in group_distance.values())),
    ]
    ok = True
    for name, value, passed in figures:
        print(f"{name}: {value}{'' if passed is None else '  ok' if passed else '  MISSED'}")
        ok = ok and passed is not False
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
