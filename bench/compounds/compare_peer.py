#!/usr/bin/env python3
"""Compares torva's compound grouping with OpenMS MetaboliteAdductDecharger's on the same run.

Usage: compare_peer.py OURS.tsv PEER.featureXML [--truth RUN.ions.tsv] [--ppm 10] [--seconds 6] [--list N]

OURS.tsv: torva's feature table with compound_id and ion (torva --detect resolver --compounds).
PEER.featureXML: the decharger's feature map (-out_fm) of FeatureFinderMetabo's features; features of one
  group share the "Group" value, their ion is "dc_charge_adducts" (e.g. H1, Na1, H-1O-1, H2).
The peer's features (each one a whole isotope pattern) are matched to our monoisotopic rows (ion without
"13C"): m/z within --ppm, apex within --seconds, nearest m/z, each row at most once. Prints:
  matched       peer features matched to one of our rows
  peer_pairs    pairs of matched features the peer groups together, and how many of them we group too
  our_pairs     pairs of matched rows we group together, and how many of them the peer groups too
  labels        matched features both tools give an ion label, and how many labels agree
With --truth (a simulate_compounds run): each tool's monoisotopic features matched to the true ions (the
same rule) and scored: pairs of one compound grouped together (recall), pairs grouped together that are of
one compound (precision), and ion labels right among the compounds with two or more ions matched.
--list N prints up to N disagreements of each kind (feature m/z and minutes).
"""
import bisect
import csv
import sys
import xml.etree.ElementTree as ET
from collections import defaultdict

# The decharger's adduct compositions in torva's names (the default ion list, positive mode).
PEER_NAMES = {
    "H1": "[M+H]+", "Na1": "[M+Na]+", "K1": "[M+K]+", "H4N1": "[M+NH4]+", "H-1O-1": "[M+H-H2O]+",
    "H2": "[M+2H]2+",
}


def read_peer(path):
    features = []
    for _, element in ET.iterparse(path):
        if element.tag != "feature":
            continue
        positions = {p.get("dim"): float(p.text) for p in element.findall("position")}
        params = {p.get("name"): p.get("value") for p in element.findall("UserParam")}
        charge = element.find("charge")
        features.append({
            "rt": positions["0"], "mz": positions["1"],
            "charge": int(charge.text) if charge is not None else 0,
            "group": params.get("Group", ""), "adduct": params.get("dc_charge_adducts", ""),
        })
        element.clear()
    sizes = defaultdict(int)
    for f in features:
        sizes[f["group"]] += 1
    for f in features:
        f["grouped"] = bool(f["group"]) and sizes[f["group"]] > 1
        f["label"] = PEER_NAMES.get(f["adduct"], f["adduct"]) if f["grouped"] else ""
    return features


def read_ours(path):
    with open(path, newline="") as handle:
        rows = [r for r in csv.DictReader(handle, delimiter="\t") if "13C" not in r.get("ion", "")]
    sizes = defaultdict(int)
    for r in rows:
        sizes[r["compound_id"]] += 1
    out = []
    for r in rows:
        out.append({"rt": float(r["rt"]) * 60, "mz": float(r["mz"]), "group": r["compound_id"],
                    "grouped": sizes[r["compound_id"]] > 1, "label": r["ion"], "id": r["feature_id"],
                    "area": float(r.get("area") or 0)})
    return out


def match(items, targets, ppm, seconds):
    """items -> index of the nearest target in m/z within ppm and seconds, each target once (largest first)."""
    order = sorted(range(len(targets)), key=lambda k: targets[k]["mz"])
    mzs = [targets[k]["mz"] for k in order]
    candidates = []
    for i, item in enumerate(items):
        tol = item["mz"] * ppm * 1e-6
        best = None
        for k in order[bisect.bisect_left(mzs, item["mz"] - tol):bisect.bisect_right(mzs, item["mz"] + tol)]:
            if abs(targets[k]["rt"] - item["rt"]) > seconds:
                continue
            error = abs(targets[k]["mz"] - item["mz"])
            if best is None or error < best[0]:
                best = (error, k)
        if best is not None:
            candidates.append((best[0], i, best[1]))
    result, taken = {}, set()
    for _, i, k in sorted(candidates):
        if k not in taken:
            taken.add(k)
            result[i] = k
    return result


def pairs_of(indices, key):
    groups = defaultdict(list)
    for i in indices:
        groups[key(i)].append(i)
    return {(a, b) for members in groups.values() for x, a in enumerate(members) for b in members[x + 1:]}


def describe(f):
    return "m/z %.4f at %.2f min (%s)" % (f["mz"], f["rt"] / 60, f["label"] or "no label")


def compare(ours, peer, ppm, seconds, shown):
    matched = match(peer, ours, ppm, seconds)  # peer index -> our index
    print("matched\t%d\tof %d peer features, %d of our monoisotopic rows" % (len(matched), len(peer), len(ours)))
    keys = sorted(matched)
    peer_pairs = {p for p in pairs_of([i for i in keys if peer[i]["grouped"]], lambda i: peer[i]["group"])}
    our_pairs = {p for p in pairs_of([i for i in keys if ours[matched[i]]["grouped"]],
                                     lambda i: ours[matched[i]]["group"])}
    print("peer_pairs\t%d\twe group %d" % (len(peer_pairs), len(peer_pairs & our_pairs)))
    print("our_pairs\t%d\tthe peer groups %d" % (len(our_pairs), len(our_pairs & peer_pairs)))
    both = [i for i in keys if peer[i]["label"] and ours[matched[i]]["label"]]
    agree = [i for i in both if peer[i]["label"] == ours[matched[i]]["label"]]
    print("labels\t%d\tagree %d" % (len(both), len(agree)))
    for name, items in (("peer_only_pair", sorted(peer_pairs - our_pairs)),
                        ("our_only_pair", sorted(our_pairs - peer_pairs))):
        for a, b in items[:shown]:
            print("%s\t%s\t%s\tours %s / %s" % (name, describe(peer[a]), describe(peer[b]),
                                                 describe(ours[matched[a]]), describe(ours[matched[b]])))
    for i in [i for i in both if i not in agree][:shown]:
        print("label_differs\tpeer %s\tours %s %s" % (describe(peer[i]), ours[matched[i]]["id"],
                                                      describe(ours[matched[i]])))


def score(name, items, truth, ppm, seconds):
    monos = [t for t in truth if t["isotope"] == 0]
    matched = match(items, monos, ppm, seconds)
    species = defaultdict(set)
    for i, k in matched.items():
        species[monos[k]["compound"]].add(monos[k]["ion"])
    keys = sorted(matched)
    true_pairs = pairs_of(keys, lambda i: monos[matched[i]]["compound"])
    grouped = pairs_of([i for i in keys if items[i]["grouped"]], lambda i: items[i]["group"])
    labelled = [i for i in keys if len(species[monos[matched[i]]["compound"]]) >= 2]
    right = [i for i in labelled if items[i]["label"] == monos[matched[i]]["ion"]]
    print("truth_%s\tmatched %d of %d ions\tpairs of one compound grouped %d of %d\tgrouped pairs of one "
          "compound %d of %d\tlabels right %d of %d" % (
              name, len(matched), len(monos), len(true_pairs & grouped), len(true_pairs),
              len(true_pairs & grouped), len(grouped), len(right), len(labelled)))


def main(argv):
    args = argv[1:]
    options = {"--ppm": "10", "--seconds": "6", "--truth": None, "--list": "5"}
    for key in list(options):
        if key in args:
            i = args.index(key)
            options[key] = args[i + 1]
            del args[i:i + 2]
    if len(args) != 2:
        print(__doc__, file=sys.stderr)
        return 1
    ours, peer = read_ours(args[0]), read_peer(args[1])
    ppm, seconds = float(options["--ppm"]), float(options["--seconds"])
    compare(ours, peer, ppm, seconds, int(options["--list"]))
    if options["--truth"]:
        with open(options["--truth"], newline="") as handle:
            truth = list(csv.DictReader(handle, delimiter="\t"))
        for t in truth:
            t["mz"] = float(t["mz"]); t["rt"] = float(t["apex_rt"]); t["isotope"] = int(t["isotope"])
        score("ours", ours, truth, ppm, seconds)
        score("peer", peer, truth, ppm, seconds)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
