#!/usr/bin/env python3
"""Scores a grouped feature table against the truth of simulate_compounds (<run>.ions.tsv).

Usage: score_compounds.py TRUTH.ions.tsv FEATURES.tsv [--ppm 10] [--seconds 6]

Each feature is matched to the truth ion peak nearest in m/z within --ppm whose apex lies within --seconds;
each truth peak takes at most one feature (the most intense). Prints, one per line:
  labels        matched ions whose ion label is right: the adduct (and " 13Ck") when the compound shows two
                or more ion species among the matched features, else "" (and "13Ck" for its isotopes)
  compounds     matched ions grouped with exactly their compound's other matched ions
  wrong_groups  matched features sharing a compound_id with a feature of another compound (the minority)
  isotopes      matched 13C isotopes above 1 % of their monoisotopic peak that carry a 13C label
  neutral_mass  features with a neutral mass within 5 ppm of the truth (of those with a label and a mass)
  ms2           matched monoisotopic ions the simulator took MS2 scans of, that have ms2_scans > 0
Exit status 0; 1 on bad input.
"""
import csv
import sys
from collections import Counter, defaultdict


def read_tsv(path):
    with open(path, newline="") as handle:
        return list(csv.DictReader(handle, delimiter="\t"))


def main(argv):
    args = [a for a in argv[1:]]
    ppm, seconds = 10.0, 6.0
    if "--ppm" in args:
        i = args.index("--ppm"); ppm = float(args[i + 1]); del args[i:i + 2]
    if "--seconds" in args:
        i = args.index("--seconds"); seconds = float(args[i + 1]); del args[i:i + 2]
    if len(args) != 2:
        print(__doc__, file=sys.stderr)
        return 1
    truth = read_tsv(args[0])
    features = read_tsv(args[1])
    for t in truth:
        t["mz"] = float(t["mz"]); t["apex_rt"] = float(t["apex_rt"]); t["isotope"] = int(t["isotope"])
        t["apex_intensity"] = float(t["apex_intensity"]); t["ms2_scans"] = int(t["ms2_scans"])
        t["neutral_mass"] = float(t["neutral_mass"])
    truth_sorted = sorted(range(len(truth)), key=lambda k: truth[k]["mz"])
    mzs = [truth[k]["mz"] for k in truth_sorted]
    import bisect
    candidates = []
    for f, row in enumerate(features):
        mz, rt = float(row["mz"]), float(row["rt"]) * 60
        tol = mz * ppm * 1e-6
        lo = bisect.bisect_left(mzs, mz - tol)
        best = None
        for k in truth_sorted[lo:bisect.bisect_right(mzs, mz + tol)]:
            if abs(truth[k]["apex_rt"] - rt) > seconds:
                continue
            err = abs(truth[k]["mz"] - mz)
            if best is None or err < best[0]:
                best = (err, k)
        if best is not None:
            candidates.append((float(row.get("area") or 0), f, best[1]))
    match = {}  # feature -> truth
    taken = set()
    for area, f, k in sorted(candidates, key=lambda c: (-c[0], c[1])):
        if k in taken:
            continue
        taken.add(k)
        match[f] = k

    species = defaultdict(set)  # compound -> ion species matched
    for f, k in match.items():
        species[truth[k]["compound"]].add(truth[k]["ion"])
    mono = {(t["compound"], t["ion"]): t for t in truth if t["isotope"] == 0}

    def expected(k):
        t = truth[k]
        base = t["ion"] if len(species[t["compound"]]) >= 2 else ""
        if t["isotope"] == 0:
            return base
        iso = "13C%d" % t["isotope"]
        return base + " " + iso if base else iso

    labels = sum(1 for f, k in match.items() if features[f]["ion"] == expected(k))

    # grouping
    by_id = defaultdict(list)
    for f, k in match.items():
        by_id[features[f]["compound_id"]].append(f)
    wrong = 0
    for cid, members in by_id.items():
        counts = Counter(truth[match[f]]["compound"] for f in members)
        wrong += len(members) - counts.most_common(1)[0][1]
    ids_of = defaultdict(set)
    for f, k in match.items():
        ids_of[truth[k]["compound"]].add(features[f]["compound_id"])
    compounds_ok = 0
    for f, k in match.items():
        c = truth[k]["compound"]
        cid = features[f]["compound_id"]
        if len(ids_of[c]) == 1 and all(truth[match[g]]["compound"] == c for g in by_id[cid]):
            compounds_ok += 1

    iso_total = iso_ok = 0
    for f, k in match.items():
        t = truth[k]
        if t["isotope"] == 0:
            continue
        parent = mono.get((t["compound"], t["ion"]))
        if parent is None or t["apex_intensity"] < 0.01 * parent["apex_intensity"]:
            continue
        iso_total += 1
        iso_ok += "13C" in features[f]["ion"]

    mass_total = mass_ok = 0
    for f, k in match.items():
        nm = float(features[f].get("neutral_mass") or 0)
        if nm <= 0 or not features[f]["ion"].startswith("["):
            continue
        mass_total += 1
        mass_ok += abs(nm - truth[k]["neutral_mass"]) <= 5e-6 * truth[k]["neutral_mass"]

    ms2_total = ms2_ok = 0
    for f, k in match.items():
        if truth[k]["isotope"] == 0 and truth[k]["ms2_scans"] > 0:
            ms2_total += 1
            ms2_ok += int(features[f].get("ms2_scans") or 0) > 0

    n = len(match)

    def line(name, ok, total):
        print("%s\t%d\t%d\t%.4f" % (name, ok, total, ok / total if total else 1.0))

    print("matched\t%d\tof %d features, %d truth peaks" % (n, len(features), len(truth)))
    line("labels", labels, n)
    line("compounds", compounds_ok, n)
    line("wrong_groups", wrong, n)
    line("isotopes", iso_ok, iso_total)
    line("neutral_mass", mass_ok, mass_total)
    line("ms2", ms2_ok, ms2_total)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
