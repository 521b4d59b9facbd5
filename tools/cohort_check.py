#!/usr/bin/env python3
"""Scores a cohort feature table against the truth of simulate_cohort.

    cohort_check.py COHORT_DIR TRUTH_DIR [--mz-tol DA] [--rt-tol MIN] [--fold-tol LOG2]
                    [--min-found PCT] [--max-qc-cv PCT] [--max-rt-residual SEC]

A compound's time is the median of its apex times over the samples (the
cohort's time axis); with a drift of a few seconds that is its undrifted time.
Prints the figures and exits with 1 when one misses its bound:
  - found compounds (a row within the tolerances of the compound's m/z and time) that appear as
    exactly one row: at least 95 %
  - rows that match no compound, isotope (M+1, M+2) or water loss: at most 10 %
  - found compounds with a fold change whose log2 ratio of group means lies within 0.3 of the
    truth: at least 90 %
  - empty cells of rows of compounds present in every sample: at most 2 %
  - with --min-found: compounds found, at least PCT %
  - with --max-qc-cv: the median over found compounds of the coefficient of variation of the
    areas of the QC samples (group QC), at most PCT %; printed beside it, the same median over the
    truth's apex heights, which is what the QC injections themselves spread (a floor for any table)
  - with --max-rt-residual: the median distance of a sample's corrected apex time
    (feature_rt.tsv through rt_correction.tsv) to its row's time, detected cells only, at
    most SEC seconds
"""
import argparse
import bisect
import csv
import math
import sys


def read_tsv(path):
    with open(path, newline="") as handle:
        return list(csv.DictReader(handle, delimiter="\t"))


def median(values):
    ordered = sorted(values)
    n = len(ordered)
    return ordered[n // 2] if n % 2 else 0.5 * (ordered[n // 2 - 1] + ordered[n // 2])


def cv_percent(values):
    """Coefficient of variation (sample standard deviation over the mean), percent; 0 for a mean of 0."""
    mean = sum(values) / len(values)
    sd = math.sqrt(sum((v - mean) ** 2 for v in values) / (len(values) - 1))
    return 100.0 * sd / mean if mean > 0 else 0.0


def quantile(values, q):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(q * len(ordered)))]


def apply_correction(grid, time):
    """A sample's correction table (measured, corrected) applied as torva-align does."""
    if time <= grid[0][0]:
        return time + grid[0][1] - grid[0][0]
    if time >= grid[-1][0]:
        return time + grid[-1][1] - grid[-1][0]
    k = bisect.bisect_right([g[0] for g in grid], time)
    (x0, y0), (x1, y1) = grid[k - 1], grid[k]
    return y0 + (time - x0) / (x1 - x0) * (y1 - y0) if x1 > x0 else y0


def rt_residuals(cohort, sheet, rows):
    """Distances (seconds) of the samples' apex times to their rows' times, before and
    after correction, over detected cells; None without the tables."""
    try:
        times = read_tsv(f"{cohort}/feature_rt.tsv")
        filled = read_tsv(f"{cohort}/gap_filled.tsv")
        table = read_tsv(f"{cohort}/rt_correction.tsv")
    except FileNotFoundError:
        return None
    grids = {}
    for entry in table:
        grids.setdefault(entry["sample"], []).append((float(entry["rt"]), float(entry["rt_corrected"])))
    before, after = [], []
    for row, measured, gap in zip(rows, times, filled):
        for s in sheet:
            name = s["sample"]
            if measured[name] == "" or gap[name] == "1" or name not in grids:
                continue
            t = float(measured[name])
            before.append(60.0 * abs(t - float(row["rt"])))
            after.append(60.0 * abs(apply_correction(grids[name], t) - float(row["rt"])))
    return (before, after) if after else None


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("cohort")
    parser.add_argument("truth")
    parser.add_argument("--mz-tol", type=float, default=0.01)
    parser.add_argument("--rt-tol", type=float, default=0.15, help="minutes, against the cohort's time")
    parser.add_argument("--fold-tol", type=float, default=0.3)
    parser.add_argument("--min-found", type=float, help="percent of the compounds")
    parser.add_argument("--max-qc-cv", type=float, help="percent")
    parser.add_argument("--max-rt-residual", type=float, help="seconds")
    args = parser.parse_args()

    compounds = read_tsv(f"{args.truth}/truth_compounds.tsv")
    presence = read_tsv(f"{args.truth}/truth_samples.tsv")
    sheet = read_tsv(f"{args.cohort}/samples.tsv")
    rows = read_tsv(f"{args.cohort}/features.tsv")
    groups = sorted({s["group"] for s in sheet if s["group"] != "QC"})
    qc_samples = [s["sample"] for s in sheet if s["group"] == "QC"]
    absent = {(p["compound"]) for p in presence if p["present"] == "0"}
    drifted = {}
    for p in presence:
        drifted.setdefault(p["compound"], []).append(float(p["rt_min"]))

    def near(row, mz, rt):
        return abs(float(row["mz"]) - mz) <= args.mz_tol and abs(float(row["rt"]) - rt) <= args.rt_tol

    matched_rows = set()
    qc_cvs = []
    found = exact = 0
    fold_checked = fold_good = 0
    full_cells = full_empty = 0
    for compound in compounds:
        mz, rt = float(compound["mz"]), median(drifted[compound["compound"]])
        # The monoisotopic ion, its isotopes M+1 and M+2, and its water loss.
        isotope = float(compound["isotope_mz"])
        ions = [mz, isotope, 2 * isotope - mz]
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
        qc_areas = [float(row[s]) for s in qc_samples if row[s] != ""]
        if len(qc_areas) >= 2 and len(qc_areas) == len(qc_samples):
            qc_cvs.append(cv_percent(qc_areas))
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
    if args.min_found is not None:
        figures.append(("compounds found (share)", f"{share(found, len(compounds)):.1f} %",
                        share(found, len(compounds)) >= args.min_found))
    if qc_samples:
        value = median(qc_cvs) if qc_cvs else float("nan")
        figures.append((f"median QC CV ({len(qc_samples)} QC samples, {len(qc_cvs)} compounds)", f"{value:.1f} %",
                        None if args.max_qc_cv is None else bool(qc_cvs) and value <= args.max_qc_cv))
        # What the injections themselves spread, drawn at random per QC injection: a floor no integration goes
        # under (the spectra's scatter adds to it).
        truth_qc = {}
        for p in presence:
            if p["sample"] in qc_samples and p["present"] == "1" and "apex_intensity" in p:
                truth_qc.setdefault(p["compound"], []).append(float(p["apex_intensity"]))
        truth_cvs = [cv_percent(heights) for heights in truth_qc.values()
                     if len(heights) == len(qc_samples) >= 2]
        if truth_cvs:
            figures.append(("median QC CV of the truth's apex heights (the injections' own spread)",
                            f"{median(truth_cvs):.1f} %", None))
    residuals = rt_residuals(args.cohort, sheet, rows)
    if residuals is not None:
        before, after = residuals
        figures.append(("apex time to the row's time before correction (median, 95 %, max)",
                        f"{median(before):.1f} s, {quantile(before, 0.95):.1f} s, {max(before):.1f} s", None))
        figures.append(("apex time to the row's time after correction (median, 95 %, max)",
                        f"{median(after):.2f} s, {quantile(after, 0.95):.1f} s, {max(after):.1f} s",
                        None if args.max_rt_residual is None else median(after) <= args.max_rt_residual))
    ok = True
    for name, value, passed in figures:
        mark = "" if passed is None else ("  ok" if passed else "  MISSED")
        print(f"{name}: {value}{mark}")
        ok = ok and passed is not False
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
