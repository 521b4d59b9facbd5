#!/usr/bin/env python3
"""Reads a gnps.mgf export back through OpenMS (FileConverter, Debian package `topp`) and compares every
spectrum OpenMS read with the MGF's own block: precursor m/z, charge, retention time, MS level, the number
of peaks, each peak's m/z and intensity.

Usage: mgf_read_by_openms.py GNPS.mgf [WORKDIR]
Prints one line per quantity with the blocks that agree; exits 1 when any block disagrees or OpenMS read a
different number of spectra.
"""
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from peer_data import array_of, spectra_of  # noqa: E402


def read_mgf(path):
    blocks, block = [], None
    with open(path) as handle:
        for line in handle:
            line = line.strip()
            if line == "BEGIN IONS":
                block = {"peaks": []}
            elif line == "END IONS":
                blocks.append(block)
                block = None
            elif block is not None and "=" in line:
                key, value = line.split("=", 1)
                block[key] = value
            elif block is not None and line:
                mz, intensity = line.split()[:2]
                block["peaks"].append((float(mz), float(intensity)))
    return blocks


def read_mzml(path):
    spectra = []
    for _, params, arrays in spectra_of(path):
        spectrum = {"level": None, "rt": None, "precursor": None, "charge": None}
        for accession, param in params.items():
            value = param.get("value")
            if accession == "MS:1000511":
                spectrum["level"] = int(value)
            elif accession == "MS:1000016":
                factor = 60.0 if param.get("unitAccession") == "UO:0000031" else 1.0
                spectrum["rt"] = float(value) * factor
            elif accession == "MS:1000744":
                spectrum["precursor"] = float(value)
            elif accession == "MS:1000041":
                spectrum["charge"] = int(value)
        spectrum["peaks"] = list(zip(array_of(arrays, "mz", ()), array_of(arrays, "int", ())))
        spectra.append(spectrum)
    return spectra


def close(a, b, relative):
    return abs(a - b) <= relative * max(abs(a), abs(b), 1e-12)


def main(argv):
    if len(argv) not in (2, 3):
        print(__doc__, file=sys.stderr)
        return 2
    mgf = argv[1]
    work = argv[2] if len(argv) == 3 else tempfile.mkdtemp(prefix="mgf_openms_")
    converted = os.path.join(work, "read_by_openms.mzML")
    subprocess.run(["FileConverter", "-in", mgf, "-out", converted, "-no_progress"], check=True,
                   stdout=subprocess.DEVNULL)
    blocks, spectra = read_mgf(mgf), read_mzml(converted)
    print("blocks\t%d\tspectra read by OpenMS\t%d" % (len(blocks), len(spectra)))
    checks = {"precursor m/z": 0, "charge": 0, "retention time": 0, "ms level": 0, "peak count": 0,
              "peaks (m/z 1e-9, intensity 1e-6 relative)": 0}
    for block, spectrum in zip(blocks, spectra):
        charge = int(block["CHARGE"].rstrip("+-")) * (-1 if block["CHARGE"].endswith("-") else 1)
        checks["precursor m/z"] += close(float(block["PEPMASS"].split()[0]), spectrum["precursor"] or 0, 1e-9)
        checks["charge"] += abs(charge) == abs(spectrum["charge"] or 0)
        checks["retention time"] += close(float(block["RTINSECONDS"]), spectrum["rt"] or 0, 1e-9)
        checks["ms level"] += int(block["MSLEVEL"]) == spectrum["level"]
        checks["peak count"] += len(block["peaks"]) == len(spectrum["peaks"])
        checks["peaks (m/z 1e-9, intensity 1e-6 relative)"] += len(block["peaks"]) == len(spectrum["peaks"]) and all(
            close(a[0], b[0], 1e-9) and close(a[1], b[1], 1e-6) for a, b in zip(block["peaks"], spectrum["peaks"]))
    failed = len(blocks) != len(spectra)
    for name, agreeing in checks.items():
        print("%s\t%d of %d" % (name, agreeing, len(blocks)))
        failed = failed or agreeing != len(blocks)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
