#!/usr/bin/env python3
"""13C redundancy of a grouped feature table: rows whose lighter 13C partner (m/z - 1.0033548/z, z = 1 to
--max-charge) is another row at the same time, while the row itself carries no 13C label.

Usage: isotope_redundancy.py FEATURES.tsv [--ppm 10] [--minutes 0.05] [--max-charge 3]
Reads a feature table (feature_id, mz, rt in minutes, ion) or a cohort features.tsv (mz, rt, ion).
Prints: rows, redundant rows, their share, and pairs (lighter and heavier feature ids).
"""
import bisect
import csv
import sys

STEP = 1.0033548378


def main(argv):
    args = argv[1:]
    ppm, minutes, max_charge = 10.0, 0.05, 3
    if "--ppm" in args:
        i = args.index("--ppm"); ppm = float(args[i + 1]); del args[i:i + 2]
    if "--minutes" in args:
        i = args.index("--minutes"); minutes = float(args[i + 1]); del args[i:i + 2]
    if "--max-charge" in args:
        i = args.index("--max-charge"); max_charge = int(args[i + 1]); del args[i:i + 2]
    if len(args) != 1:
        print(__doc__, file=sys.stderr)
        return 1
    with open(args[0], newline="") as handle:
        rows = list(csv.DictReader(handle, delimiter="\t"))
    rows.sort(key=lambda r: float(r["mz"]))
    mzs = [float(r["mz"]) for r in rows]
    redundant = []
    for b, row in enumerate(rows):
        if "13C" in row.get("ion", ""):
            continue
        mz, rt = mzs[b], float(row["rt"])
        found = None
        for z in range(1, max_charge + 1):
            target = mz - STEP / z
            tol = target * ppm * 1e-6
            for a in range(bisect.bisect_left(mzs, target - tol), bisect.bisect_right(mzs, target + tol)):
                if a != b and abs(float(rows[a]["rt"]) - rt) <= minutes:
                    found = a
                    break
            if found is not None:
                break
        if found is not None:
            redundant.append((rows[found]["feature_id"], row["feature_id"]))
    n = len(rows)
    print("rows\t%d" % n)
    print("redundant\t%d\t%.4f" % (len(redundant), len(redundant) / n if n else 0.0))
    for pair in redundant[:20]:
        print("pair\t%s\t%s" % pair)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
