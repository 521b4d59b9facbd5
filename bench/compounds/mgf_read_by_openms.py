#!/usr/bin/env python3
"""Reads a gnps.mgf export back through OpenMS (FileConverter, Debian package `topp`) and compares every
spectrum OpenMS read with the MGF's own block: precursor m/z, charge, retention time, MS level, the number
of peaks, each peak's m/z and intensity.

Usage: mgf_read_by_openms.py GNPS.mgf [WORKDIR]
Prints one line per quantity with the blocks that agree; exits 1 when any block disagrees or OpenMS read a
different number of spectra.
"""
import base64
import os
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET
import zlib

NS = "{http://psi.hupo.org/ms/mzml}"


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


def decode(array):
    params = {p.get("accession"): p for p in array.iter(NS + "cvParam")}
    raw = base64.b64decode(array.find(NS + "binary").text or "")
    if "MS:1000574" in params:
        raw = zlib.decompress(raw)
    kind = "d" if "MS:1000523" in params else "f"
    values = struct.unpack("<%d%s" % (len(raw) // struct.calcsize(kind), kind), raw)
    name = "mz" if "MS:1000514" in params else "intensity" if "MS:1000515" in params else "other"
    return name, values


def read_mzml(path):
    spectra = []
    for _, element in ET.iterparse(path):
        if element.tag != NS + "spectrum":
            continue
        spectrum = {"level": None, "rt": None, "precursor": None, "charge": None}
        for param in element.iter(NS + "cvParam"):
            accession, value = param.get("accession"), param.get("value")
            if accession == "MS:1000511":
                spectrum["level"] = int(value)
            elif accession == "MS:1000016":
                factor = 60.0 if param.get("unitAccession") == "UO:0000031" else 1.0
                spectrum["rt"] = float(value) * factor
            elif accession == "MS:1000744":
                spectrum["precursor"] = float(value)
            elif accession == "MS:1000041":
                spectrum["charge"] = int(value)
        arrays = dict(decode(a) for a in element.iter(NS + "binaryDataArray"))
        spectrum["peaks"] = list(zip(arrays.get("mz", ()), arrays.get("intensity", ())))
        spectra.append(spectrum)
        element.clear()
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
