#!/usr/bin/env python3
"""Compares a torva feature table (--detect resolver --features) with an OpenMS
FeatureFinderMetabo featureXML of the same run.

A peer feature is found when a torva feature lies within --ppm of its m/z and
its retention time is within --rt minutes of the torva apex or inside the torva
feature's edges. Prints recall, the Spearman correlation of the matched areas
(torva area against the peer's intensity, which is its monoisotopic trace's
area), and the largest disagreements each way, for checking in the raw data.
With --mzml (the MS1 spectra the peer read), each peer feature also gets an
S/N of its own from the raw data, measured the same way for every tool: the
highest extracted intensity (within --ppm) within 3 scans of its time, less the
20th percentile of the extracted trace over 1 minute either side (of its
centroids, when they are in more than half of those spectra; else 0), over the noise of its m/z region: the lower
quartile of the intensities of all MS1 centroids within the same 50 m/z.
Recall is then also given for the peer features with S/N of 10 or more, the
ones a resolver must not miss; a flat background ion, which the peer may
report, has an S/N near 0, and so has a plateau of centroids at the
instrument's threshold. A bump on an ion present all run long can still reach
S/N 10; the last figures leave out the peer features whose apex is under 3
times their extracted trace's median over the whole run (the issue's measure of
background).
Uses only the Python standard library."""
import argparse
import bisect
import re
import sys

from peer_data import read_ms1, spearman


def read_peer(path):
    text = open(path, encoding="utf-8").read()
    features = []
    for block in re.finditer(r"<feature id=.*?</feature>", text, re.S):
        body = block.group(0)
        head = body.split("<convexhull")[0]
        rt = re.search(r'<position dim="0">([^<]+)</position>', head)
        mz = re.search(r'<position dim="1">([^<]+)</position>', head)
        intensity = re.search(r"<intensity>([^<]+)</intensity>", head)
        if rt and mz and intensity:
            features.append({"mz": float(mz.group(1)), "rt": float(rt.group(1)) / 60.0,
                             "intensity": float(intensity.group(1))})
    return features


def read_ours(path):
    lines = open(path, encoding="utf-8").read().splitlines()
    head = lines[0].split("\t")
    rows = []
    for line in lines[1:]:
        row = dict(zip(head, line.split("\t")))
        if row.get("status") == "not_found":
            continue
        rows.append({k: (float(row[k]) if k not in ("feature_id", "polarity", "target", "status", "ion",
                                                    "ms2_scans") else row[k]) for k in row})
    return rows




def region_floors(spectra, width=50.0):
    regions = {}
    for _, mzs, ints in spectra:
        for m, i in zip(mzs, ints):
            if i > 0:
                regions.setdefault(int(m // width), []).append(i)
    everything = sorted(i for values in regions.values() for i in values)
    overall = everything[int(0.25 * (len(everything) - 1))] if everything else 1.0
    floors = {}
    for k, values in regions.items():
        values.sort()
        floors[k] = values[int(0.25 * (len(values) - 1))] if len(values) >= 100 else overall
    return lambda mz: floors.get(int(mz // width), overall)


def raw_sn(spectra, floor_at, mz, rt, ppm):
    times = [s[0] for s in spectra]
    tol = mz * ppm * 1e-6

    def xic(k):
        _, mzs, ints = spectra[k]
        lo = bisect.bisect_left(mzs, mz - tol)
        best = 0.0
        while lo < len(mzs) and mzs[lo] <= mz + tol:
            best = max(best, ints[lo])
            lo += 1
        return best

    centre = min(range(len(times)), key=lambda k: abs(times[k] - rt))
    apex = max(xic(k) for k in range(max(0, centre - 3), min(len(times), centre + 4)))
    window = [xic(k) for k in range(len(times)) if abs(times[k] - rt) <= 1.0]
    present = sorted(v for v in window if v > 0)
    # Centroided data: around a peak the trace is mostly absent; a background
    # ion is present in most spectra (not always: other MS1 scan kinds).
    base = present[int(0.2 * (len(present) - 1))] if len(present) > len(window) / 2 else 0.0
    # The noise: the region's floor, or the scan-to-scan jitter of the trace
    # when it is larger (a background ion of 1e7 counts jitters by 1e5 or more).
    diffs = sorted(abs(b - a) for a, b in zip(window, window[1:]))
    jitter = 1.4826 * diffs[len(diffs) // 2] / 2 ** 0.5 if diffs else 0.0
    return (apex - base) / max(floor_at(mz), jitter, 1.0)






def apex_over_median(spectra, mz, rt, ppm):
    """The highest extracted intensity within 0.1 min of rt over the median of the extracted trace over the whole
    run (spectra without a centroid count as 0): under 3 for a bump on an ion present all run long, the measure
    of background of the issue that asked for the resolver; a peak of an ion absent most of the run has a median
    of 0 (infinite ratio)."""
    tol = mz * ppm * 1e-6
    trace = []
    for t, mzs, ints in spectra:
        lo = bisect.bisect_left(mzs, mz - tol)
        best = 0.0
        while lo < len(mzs) and mzs[lo] <= mz + tol:
            best = max(best, ints[lo])
            lo += 1
        trace.append((t, best))
    values = sorted(v for _, v in trace)
    median = values[len(values) // 2] if values else 0.0
    apex = max([v for t, v in trace if abs(t - rt) <= 0.1] or [0.0])
    return apex / median if median > 0 else float("inf")


def match(peer, ours, ppm, rt):
    by_mz = sorted(range(len(ours)), key=lambda i: ours[i]["mz"])
    mzs = [ours[i]["mz"] for i in by_mz]
    pairs = []
    for p in peer:
        tol = p["mz"] * ppm * 1e-6
        lo = bisect.bisect_left(mzs, p["mz"] - tol)
        best = None
        for k in range(lo, len(mzs)):
            if mzs[k] > p["mz"] + tol:
                break
            o = ours[by_mz[k]]
            inside = o["rt_start"] <= p["rt"] <= o["rt_end"]
            if abs(o["rt"] - p["rt"]) <= rt or inside:
                if best is None or abs(o["rt"] - p["rt"]) < abs(best["rt"] - p["rt"]):
                    best = o
        pairs.append((p, best))
    return pairs


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("features", help="torva feature table")
    parser.add_argument("peer", help="FeatureFinderMetabo featureXML")
    parser.add_argument("--ppm", type=float, default=10)
    parser.add_argument("--rt", type=float, default=0.1, help="minutes")
    parser.add_argument("--show", type=int, default=10, help="disagreements listed each way")
    parser.add_argument("--name", default="")
    parser.add_argument("--mzml", help="the MS1 mzML the peer read: peer S/N from the raw data")
    args = parser.parse_args()
    ours = read_ours(args.features)
    peer = read_peer(args.peer)
    pairs = match(peer, ours, args.ppm, args.rt)
    found = [(p, o) for p, o in pairs if o is not None]
    rho = spearman([o["area"] for _, o in found], [p["intensity"] for p, _ in found])
    recall = 100.0 * len(found) / len(peer) if peer else float("nan")
    line = (f"{args.name}\tpeer {len(peer)}\tours {len(ours)}\tfound {len(found)} ({recall:.1f} %)\t"
            f"spearman {rho:.3f}")
    if args.mzml:
        spectra = read_ms1(args.mzml)
        floor_at = region_floors(spectra)
        for p in peer:
            p["sn"] = raw_sn(spectra, floor_at, p["mz"], p["rt"], args.ppm)
        clear = [(p, o) for p, o in pairs if p["sn"] >= 10]
        clear_found = [(p, o) for p, o in clear if o is not None]
        rho10 = spearman([o["area"] for _, o in clear_found], [p["intensity"] for p, _ in clear_found])
        share = 100.0 * len(clear_found) / len(clear) if clear else float("nan")
        line += (f"\tpeer S/N>=10 {len(clear)}\tfound {len(clear_found)} ({share:.1f} %)\t"
                 f"spearman {rho10:.3f}")
        peaks = [(p, o) for p, o in clear if apex_over_median(spectra, p["mz"], p["rt"], args.ppm) >= 3]
        peaks_found = [(p, o) for p, o in peaks if o is not None]
        rho_peaks = spearman([o["area"] for _, o in peaks_found], [p["intensity"] for p, _ in peaks_found])
        share = 100.0 * len(peaks_found) / len(peaks) if peaks else float("nan")
        line += (f"\tof them not background (apex >= 3 x run median) {len(peaks)}\tfound {len(peaks_found)}"
                 f" ({share:.1f} %)\tspearman {rho_peaks:.3f}")
    print(line)
    missed = sorted((p for p, o in pairs if o is None and p.get("sn", 10) >= 10), key=lambda p: -p["intensity"])
    print("  peer features not found (largest first; with --mzml only those of raw S/N >= 10):")
    for p in missed[:args.show]:
        sn = f" raw S/N {p['sn']:.1f}" if "sn" in p else ""
        print(f"    mz {p['mz']:.5f} rt {p['rt']:.3f} intensity {p['intensity']:.4g}{sn}")
    matched_ids = {id(o) for _, o in found}
    extra = sorted((o for o in ours if id(o) not in matched_ids), key=lambda o: -o["height"])
    peer_sorted = sorted(peer, key=lambda p: p["mz"])
    print("  our features without a peer feature (highest first):")
    for o in extra[:args.show]:
        print(f"    {o['feature_id']} mz {o['mz']:.5f} rt {o['rt']:.3f} [{o['rt_start']:.3f}-{o['rt_end']:.3f}] "
              f"height {o['height']:.4g} sn {o['sn']:.1f} shape {o['shape']:.2f} points {int(o['points'])}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
