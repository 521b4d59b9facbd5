"""What the peer comparisons share: the MS1 spectra of an mzML file, read with
the standard library alone, and the Spearman correlation of two lists."""
import base64
import gzip
import struct
import xml.etree.ElementTree as ET
import zlib


def _local(tag):
    return tag.rsplit("}", 1)[-1]


def decode_array(element):
    """("mz", "int" or "other", the values) of an mzML binaryDataArray element (32- or 64-bit floats,
    zlib-compressed or not)."""
    params = {p.get("accession") for p in element.iter() if _local(p.tag) == "cvParam"}
    data = next((c.text or "" for c in element if _local(c.tag) == "binary"), "")
    raw = base64.b64decode(data.strip()) if data.strip() else b""
    if "MS:1000574" in params and raw:
        raw = zlib.decompress(raw)
    fmt = "d" if "MS:1000523" in params else "f"
    values = struct.unpack("<%d%s" % (len(raw) // struct.calcsize(fmt), fmt), raw)
    kind = "mz" if "MS:1000514" in params else "int" if "MS:1000515" in params else "other"
    return kind, values


def _minutes(start):
    """The scan start time of a cvParam element, in minutes (seconds unless it says minutes)."""
    value = float(start.get("value"))
    in_minutes = start.get("unitAccession") == "UO:0000031" or start.get("unitName") == "minute"
    return value if in_minutes else value / 60.0


def spectra_of(path):
    """Each spectrum of an mzML file (gzip-compressed when its name ends in .gz), in file order: its
    spectrum element, its cvParams by accession, and its arrays as decode_array gives them. The element is
    cleared after its turn."""
    opener = gzip.open if path.endswith(".gz") else open
    with opener(path, "rb") as handle:
        arrays = []
        for _, element in ET.iterparse(handle, events=("end",)):
            tag = _local(element.tag)
            if tag == "binaryDataArray":
                arrays.append(decode_array(element))
            elif tag == "spectrum":
                params = {p.get("accession"): p for p in element.iter() if _local(p.tag) == "cvParam"}
                yield element, params, arrays
                arrays = []
                element.clear()


def array_of(arrays, kind, default=None):
    """The values of the first array of `kind` ("mz" or "int"), else `default`."""
    return next((values for k, values in arrays if k == kind), default)


def read_ms1(path):
    """(rt minutes, sorted m/z list, intensity list) of every MS1 spectrum of an
    mzML file (gzip-compressed when its name ends in .gz), in time order."""
    spectra = []
    for _, params, arrays in spectra_of(path):
        level = int(params["MS:1000511"].get("value")) if "MS:1000511" in params else 1
        start = params.get("MS:1000016")
        rt = _minutes(start) if start is not None else 0.0
        mz, intensity = array_of(arrays, "mz"), array_of(arrays, "int")
        if level == 1 and mz is not None and intensity is not None:
            pairs = sorted(zip(mz, intensity))
            spectra.append((rt, [p[0] for p in pairs], [p[1] for p in pairs]))
    spectra.sort(key=lambda s: s[0])
    return spectra


def ranks(values):
    """Ranks from 1, ties sharing their mean rank."""
    order = sorted(range(len(values)), key=values.__getitem__)
    result = [0.0] * len(values)
    i = 0
    while i < len(order):
        j = i
        while j + 1 < len(order) and values[order[j + 1]] == values[order[i]]:
            j += 1
        for k in range(i, j + 1):
            result[order[k]] = (i + j) / 2.0 + 1
        i = j + 1
    return result


def spearman(a, b):
    """Spearman's rank correlation; NaN for fewer than 3 pairs or a constant list."""
    n = len(a)
    if n < 3:
        return float("nan")
    ra, rb = ranks(a), ranks(b)
    ma, mb = sum(ra) / n, sum(rb) / n
    cov = sum((x - ma) * (y - mb) for x, y in zip(ra, rb))
    va = sum((x - ma) ** 2 for x in ra)
    vb = sum((y - mb) ** 2 for y in rb)
    return cov / (va * vb) ** 0.5 if va > 0 and vb > 0 else float("nan")
