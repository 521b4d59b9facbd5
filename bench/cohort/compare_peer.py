#!/usr/bin/env python3
"""Compares a cohort feature table of torva-align with OpenMS's consensus features.

    compare_peer.py FEATURES_TSV CONSENSUS_XML RUN_MZML [RUN_MZML ...] [--ppm 5] [--rt-tol 0.1]
                    [--min-sn 10] [--show 10]

The peer's features are the consensus elements of FeatureLinkerUnlabeledQT over
FeatureFinderMetabo's featureXML files, one map per run, in the order of the
table's sample columns. Each peer feature's signal-to-noise is measured in the
raw data of its first run as bench/compare_peer.py measures it for single runs
(the highest extracted intensity within 3 scans of its time, less the trace's
baseline over a minute either side, over the larger of its m/z region's noise
floor and the trace's scan-to-scan jitter). Recall is also given without the
peer features whose apex is under 3 times their extracted trace's median over
the whole run (bumps on an ion present all run long: the issue's measure of
background). A peer feature is found when a row of the table lies within --ppm
and --rt-tol (minutes) of it. Prints the recall of the peer's features with S/N
of --min-sn or more, the Spearman correlation of the areas of the matched
features (per sample: our area against the peer's intensity), and the largest
disagreements each way for checking by hand.
"""
import argparse
import csv
import os
import sys
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from compare_peer import apex_over_median, raw_sn, region_floors  # noqa: E402
from peer_data import read_ms1, spearman  # noqa: E402


def local(tag):
    return tag.rsplit("}", 1)[-1]


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("features")
    parser.add_argument("consensus")
    parser.add_argument("runs", nargs="+")
    parser.add_argument("--ppm", type=float, default=5)
    parser.add_argument("--rt-tol", type=float, default=0.1)
    parser.add_argument("--min-sn", type=float, default=10)
    parser.add_argument("--show", type=int, default=10)
    args = parser.parse_args()

    with open(args.features, newline="") as handle:
        reader = csv.reader(handle, delimiter="\t")
        head = next(reader)
        rows = list(reader)
    samples = len(args.runs)
    ours = [(float(r[1]), float(r[2]), [float(c) if c else None for c in r[len(head) - samples:]], r) for r in rows]

    peer = []
    for element in ET.parse(args.consensus).getroot().iter():
        if local(element.tag) != "consensusElement":
            continue
        centroid = next(c for c in element if local(c.tag) == "centroid")
        cells = [None] * samples
        for member in element.iter():
            if local(member.tag) == "element" and int(member.get("map")) < samples:
                cells[int(member.get("map"))] = float(member.get("it"))
        peer.append((float(centroid.get("mz")), float(centroid.get("rt")) / 60.0, cells))

    spectra = read_ms1(args.runs[0])
    floor_at = region_floors(spectra)

    def near(mz_a, rt_a, mz_b, rt_b):
        return abs(mz_a - mz_b) <= args.ppm * 1e-6 * mz_b and abs(rt_a - rt_b) <= args.rt_tol

    strong = found = 0
    peaks = peaks_found = 0
    missed = []
    pairs_ours, pairs_peer = [], []
    peer_matched_rows = set()
    for mz, rt, cells in peer:
        sn = raw_sn(spectra, floor_at, mz, rt, args.ppm)
        hits = [k for k, (omz, ort, _, _) in enumerate(ours) if near(omz, ort, mz, rt)]
        peer_matched_rows.update(hits)
        if sn >= args.min_sn:
            strong += 1
            ratio = apex_over_median(spectra, mz, rt, args.ppm)
            if ratio >= 3:
                peaks += 1
                peaks_found += bool(hits)
            if hits:
                found += 1
            else:
                missed.append((max(c or 0 for c in cells), mz, rt, sn, ratio))
        if hits:
            best = min(hits, key=lambda k: abs(ours[k][1] - rt))
            for s in range(samples):
                if cells[s] is not None and ours[best][2][s] is not None:
                    pairs_ours.append(ours[best][2][s])
                    pairs_peer.append(cells[s])
    extra = [(max(c or 0 for c in o[2]), o[0], o[1]) for k, o in enumerate(ours) if k not in peer_matched_rows]
    print(f"peer consensus features: {len(peer)}; with S/N >= {args.min_sn:g}: {strong}")
    print(f"our rows: {len(ours)}")
    print(f"recall of the peer's features with S/N >= {args.min_sn:g}: {found} of {strong}"
          f" ({100.0 * found / strong if strong else 0:.1f} %), within {args.ppm:g} ppm and {args.rt_tol:g} min")
    print(f"of them not background (apex at least 3 x the run-long trace's median): {peaks_found} of {peaks}"
          f" ({100.0 * peaks_found / peaks if peaks else 0:.1f} %)")
    print(f"Spearman of matched areas ({len(pairs_ours)} cells): {spearman(pairs_ours, pairs_peer):.3f}")
    print(f"our rows matching no peer feature: {len(extra)}")
    print(f"largest peer features (S/N >= {args.min_sn:g}) we did not report (intensity, m/z, rt min, S/N, "
          "apex over the run-long median):")
    for it, mz, rt, sn, ratio in sorted(missed, reverse=True)[: args.show]:
        print(f"  {it:.3g}\t{mz:.5f}\t{rt:.3f}\t{sn:.1f}\t{ratio:.2f}")
    print("largest rows of ours the peer did not report (area, m/z, rt min):")
    for area, mz, rt in sorted(extra, reverse=True)[: args.show]:
        print(f"  {area:.3g}\t{mz:.5f}\t{rt:.3f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
