#!/usr/bin/env python3
"""Compares the centroids torva takes from a run's profile spectra
(bench/centroid_dump, a table of num, ms_level, rt, representation, mz,
intensity) with those of another peak picker written as mzML (OpenMS
PeakPickerHiRes). Spectra are matched by scan number (the peer's nativeID
"scan=N"), and only those torva read as profile are compared.

For each spectrum, the peer's peaks of at least --floor (a fraction) of its
base peak are looked for among ours within --ppm; printed per MS level and
analyzer (the filter line's first word): the peer's peaks, how many of them we
report, the median and the median absolute m/z difference (ours less the
peer's, ppm), and the median intensity ratio (ours over the peer's); and how
many of our centroids above the same floor the peer does not report. The
analyzer is the first word of the filter line as torva read it.
Uses only the Python standard library."""
import argparse
import bisect
import re
import statistics

from peer_data import array_of, spectra_of


def nearest(sorted_mz, mz, ppm):
    """The index of the m/z of `sorted_mz` nearest to `mz` within `ppm`, or None."""
    k = bisect.bisect_left(sorted_mz, mz)
    best = None
    for j in (k - 1, k):
        if 0 <= j < len(sorted_mz) and abs(sorted_mz[j] - mz) / mz * 1e6 <= ppm:
            if best is None or abs(sorted_mz[j] - mz) < abs(sorted_mz[best] - mz):
                best = j
    return best


def read_peer(path):
    """{scan number: (level, filter line's first word, [(mz, intensity)])} of an mzML file."""
    spectra = {}
    for element, params, arrays in spectra_of(path):
        level = int(params["MS:1000511"].get("value")) if "MS:1000511" in params else 1
        filter_line = params["MS:1000512"].get("value") if "MS:1000512" in params else ""
        found = re.search(r"scan=(\d+)", element.get("id", ""))
        if found:
            spectra[int(found.group(1))] = (level, filter_line.split(" ")[0] if filter_line else "?",
                                            sorted(zip(array_of(arrays, "mz", ()), array_of(arrays, "int", ()))))
    return spectra


def read_ours(path):
    """{scan number: (analyzer, representation, [(mz, intensity)])} of a centroid_dump table."""
    spectra = {}
    lines = open(path, encoding="utf-8").read().splitlines()
    for line in lines[1:]:
        num, _level, analyzer, _rt, representation, mz, intensity = line.split("\t")
        entry = spectra.setdefault(int(num), (analyzer, representation, []))
        entry[2].append((float(mz), float(intensity)))
    for entry in spectra.values():
        entry[2].sort()
    return spectra


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("ours")
    parser.add_argument("peer")
    parser.add_argument("--ppm", type=float, default=5.0)
    parser.add_argument("--floor", type=float, default=0.01)
    args = parser.parse_args()
    ours = read_ours(args.ours)
    peer = read_peer(args.peer)
    groups = {}
    for num, (analyzer, representation, centroids) in sorted(ours.items()):
        if representation != "profile" or num not in peer:
            continue
        level, _, peaks = peer[num]
        g = groups.setdefault((level, analyzer), {"spectra": 0, "peer": 0, "found": 0, "ppm": [], "ratio": [],
                                                  "ours": 0, "extra": 0})
        g["spectra"] += 1
        if not peaks:
            continue
        base = max(i for _, i in peaks)
        floor = args.floor * base
        our_mz = [m for m, _ in centroids]
        for mz, intensity in peaks:
            if intensity < floor:
                continue
            g["peer"] += 1
            best = nearest(our_mz, mz, args.ppm)
            if best is not None:
                g["found"] += 1
                g["ppm"].append((our_mz[best] - mz) / mz * 1e6)
                g["ratio"].append(centroids[best][1] / intensity)
        peer_mz = [m for m, _ in peaks]
        for mz, intensity in centroids:
            if intensity < floor:
                continue
            g["ours"] += 1
            if nearest(peer_mz, mz, args.ppm) is None:
                g["extra"] += 1
    print("level\tanalyzer\tspectra\tpeer_peaks\tfound\tfound_pct\tmedian_ppm\tmedian_abs_ppm\tmedian_ratio\t"
          "our_peaks\tnot_in_peer")
    for (level, analyzer), g in sorted(groups.items()):
        pct = 100.0 * g["found"] / g["peer"] if g["peer"] else float("nan")
        med = statistics.median(g["ppm"]) if g["ppm"] else float("nan")
        med_abs = statistics.median(abs(x) for x in g["ppm"]) if g["ppm"] else float("nan")
        ratio = statistics.median(g["ratio"]) if g["ratio"] else float("nan")
        print("%d\t%s\t%d\t%d\t%d\t%.1f\t%.3f\t%.3f\t%.3f\t%d\t%d" % (
            level, analyzer, g["spectra"], g["peer"], g["found"], pct, med, med_abs, ratio, g["ours"], g["extra"]))


if __name__ == "__main__":
    main()
