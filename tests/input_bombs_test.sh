#!/usr/bin/env bash
# Decompression and decoding bombs: small files whose arrays would expand to
# gigabytes. Each run must stay within 200 MB of address space (ulimit -v),
# keep the good spectra beside the bomb, write its summary, name the cut on
# standard error and end with status 2. (One malloc arena: the address space
# that per-thread arenas reserve is no memory used.) torva reads no mzData: the
# mzData bombs go through the reader alone (bench/parse_only), when given.
#   tests/input_bombs_test.sh TORVA [PARSE_ONLY]
set -euo pipefail
torva=$1
parse_only=${2:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
limit_kb=204800

python3 - "$work" <<'PY'
import base64, gzip, struct, sys, zlib

work = sys.argv[1]

def zlib_of_zeros(count):
    packer = zlib.compressobj(9)
    chunk = bytes(1 << 20)
    out = []
    while count > 0:
        take = min(count, len(chunk))
        out.append(packer.compress(chunk[:take]))
        count -= take
    out.append(packer.flush())
    return b"".join(out)

def cv(accession, value=""):
    return '<cvParam cvRef="MS" accession="%s" name="x" value="%s"/>' % (accession, value)

def good_spectrum(index):
    mz = base64.b64encode(struct.pack("<4d", 100.0, 200.0, 300.0, 400.0)).decode()
    inten = base64.b64encode(struct.pack("<4d", 5e5, 6e5, 7e5, 8e5 + index)).decode()
    return ('<spectrum index="%d" id="scan=%d" defaultArrayLength="4">' % (index, index + 1) + cv("MS:1000511", "1") +
            cv("MS:1000016", str(index)) + '<binaryDataArrayList count="2">' +
            '<binaryDataArray encodedLength="0">' + cv("MS:1000523") + cv("MS:1000514") + "<binary>" + mz +
            "</binary></binaryDataArray>" + '<binaryDataArray encodedLength="0">' + cv("MS:1000523") +
            cv("MS:1000515") + "<binary>" + inten + "</binary></binaryDataArray></binaryDataArrayList></spectrum>\n")

def bomb_spectrum(index, storage, text):
    mz = base64.b64encode(struct.pack("<4d", 100.0, 200.0, 300.0, 400.0)).decode()
    return ('<spectrum index="%d" id="scan=%d" defaultArrayLength="0">' % (index, index + 1) + cv("MS:1000511", "1") +
            cv("MS:1000016", str(index)) + '<binaryDataArrayList count="2">' +
            '<binaryDataArray encodedLength="0">' + cv("MS:1000523") + cv("MS:1000514") + "<binary>" + mz +
            "</binary></binaryDataArray>" + '<binaryDataArray encodedLength="0">' + storage + cv("MS:1000515") +
            "<binary>" + text + "</binary></binaryDataArray></binaryDataArrayList></spectrum>\n")

def mzml(spectra):
    return ('<?xml version="1.0" encoding="utf-8"?>\n<mzML><run id="r"><spectrumList count="41">\n' + "".join(spectra) +
            "</spectrumList></run></mzML>\n")

def with_good(bomb):
    return mzml([good_spectrum(i) for i in range(20)] + [bomb] + [good_spectrum(i) for i in range(21, 41)])

def write(name, text, compress=False):
    data = text.encode() if isinstance(text, str) else text
    if compress:
        data = gzip.compress(data, 6)
    open(work + "/" + name, "wb").write(data)

numpress_pic_zlib = cv("MS:1002747")
write("numpress_1e8.mzML", with_good(bomb_spectrum(20, numpress_pic_zlib, base64.b64encode(zlib_of_zeros(10**8)).decode())))
write("numpress_1e9.mzML", with_good(bomb_spectrum(20, numpress_pic_zlib, base64.b64encode(zlib_of_zeros(10**9)).decode())))
write("zlib_1e8.mzML", with_good(bomb_spectrum(20, cv("MS:1000523") + cv("MS:1000574"),
                                                base64.b64encode(zlib_of_zeros(10**8)).decode())))

# 512 MiB of base64 text inside gzip, in mzML and in mzXML (peaksCount 4).
def gz_stream(name, head, tail, filler_bytes):
    packer = zlib.compressobj(6, zlib.DEFLATED, 31)
    out = [packer.compress(head.encode())]
    chunk = b"A" * (1 << 20)
    for _ in range(filler_bytes >> 20):
        out.append(packer.compress(chunk))
    out.append(packer.compress(tail.encode()))
    out.append(packer.flush())
    open(work + "/" + name, "wb").write(b"".join(out))

doc = with_good(bomb_spectrum(20, cv("MS:1000523"), "@@FILL@@"))
head, tail = doc.split("@@FILL@@")
gz_stream("text_512m.mzML.gz", head, tail, 512 << 20)

peaks = base64.b64encode(struct.pack(">8f", 100, 5e5, 200, 6e5, 300, 7e5, 400, 8e5)).decode()
def scan(num, text):
    return ('<scan num="%d" msLevel="1" peaksCount="4" retentionTime="PT%dS">'
            '<peaks precision="32" byteOrder="network" pairOrder="m/z-int">%s</peaks></scan>\n' % (num, num, text))
doc = ('<?xml version="1.0"?>\n<mzXML><msRun>\n' + "".join(scan(n, peaks) for n in range(1, 21)) +
       scan(21, peaks + "@@FILL@@") + "".join(scan(n, peaks) for n in range(22, 42)) + "</msRun></mzXML>\n")
head, tail = doc.split("@@FILL@@")
gz_stream("peaks_512m.mzXML.gz", head, tail, 512 << 20)

# mzData: 512 MiB of text in an array of length 4, and in an array without a length.
def mzdata_array(element, values, length):
    text = base64.b64encode(struct.pack("<%df" % len(values), *values)).decode()
    return ('<%s><data precision="32" endian="little"%s>%s</data></%s>' %
            (element, ' length="%d"' % length if length else "", text, element))
def mzdata_spectrum(num, mz_array):
    return ('<spectrum id="%d"><spectrumDesc><spectrumSettings><spectrumInstrument msLevel="1">'
            '<cvParam cvLabel="psi" name="TimeInMinutes" value="%g"/></spectrumInstrument></spectrumSettings>'
            '</spectrumDesc>%s%s</spectrum>\n' % (num, num / 60.0, mz_array,
                                                   mzdata_array("intenArrayBinary", [5e5, 6e5, 7e5, 8e5], 4)))
good = mzdata_array("mzArrayBinary", [100, 200, 300, 400], 4)
for name, length in (("data_512m.mzData.gz", 4), ("data_512m_no_length.mzData.gz", 0)):
    bomb = mzdata_array("mzArrayBinary", [100, 200, 300, 400], length).replace("</data>", "@@FILL@@</data>")
    doc = ('<?xml version="1.0" encoding="UTF-8"?>\n<mzData version="1.05">\n<spectrumList count="41">\n' +
           "".join(mzdata_spectrum(n, good) for n in range(1, 21)) + mzdata_spectrum(21, bomb) +
           "".join(mzdata_spectrum(n, good) for n in range(22, 42)) + "</spectrumList>\n</mzData>\n")
    head, tail = doc.split("@@FILL@@")
    gz_stream(name, head, tail, 512 << 20)
PY

failures=0
for input in numpress_1e8.mzML numpress_1e9.mzML zlib_1e8.mzML text_512m.mzML.gz peaks_512m.mzXML.gz; do
  status=0
  (ulimit -v "$limit_kb"; MALLOC_ARENA_MAX=1 "$torva" -i "$work/$input" --threads 1 --quiet -s "$work/summary.tsv" \
    >/dev/null 2>"$work/err.txt") || status=$?
  size=$(wc -c < "$work/$input")
  lines=$( [ -f "$work/summary.tsv" ] && wc -l < "$work/summary.tsv" || echo 0)
  cut=$(grep -c "holds\|more than" "$work/err.txt" || true)
  echo "$input ($size bytes): status $status, summary of $lines lines, $cut cut named on standard error"
  if [ "$status" -ne 2 ] || [ "$lines" -lt 2 ] || [ "$cut" -lt 1 ] || grep -q "out of memory" "$work/err.txt"; then
    cat "$work/err.txt"
    failures=$((failures + 1))
  fi
  rm -f "$work/summary.tsv"
done
if [ -n "$parse_only" ]; then
  for input in data_512m.mzData.gz data_512m_no_length.mzData.gz; do
    status=0
    (ulimit -v "$limit_kb"; MALLOC_ARENA_MAX=1 "$parse_only" "$work/$input" >/dev/null 2>"$work/err.txt") || status=$?
    size=$(wc -c < "$work/$input")
    read=$(grep -o "[0-9]* spectra" "$work/err.txt" || echo "no spectra")
    cut=$(grep -c "scan 21: .*holds" "$work/err.txt" || true)
    echo "$input ($size bytes, read alone): status $status, $read read, $cut cut named on standard error"
    if [ "$status" -ne 2 ] || [ "$read" != "41 spectra" ] || [ "$cut" -ne 1 ]; then
      cat "$work/err.txt"
      failures=$((failures + 1))
    fi
  done
fi
[ "$failures" -eq 0 ] && echo "every bomb read within $((limit_kb / 1024)) MB, its good spectra reported"
exit $(( failures > 0 ))
