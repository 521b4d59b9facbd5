#!/usr/bin/env python3
"""Writes a synthetic cohort of summary reports for the torva-align benchmark.

    make_cohort_summaries.py TORVA DIR SAMPLES FEATURES [SEED]

DIR/sheet.tsv lists the samples; DIR/summaries/<sample>.tsv holds FEATURES rows each: 90 % of a
shared compound list (m/z within 2 ppm, time drifted per sample by a shift of up to 0.15 min plus
a wave of up to 0.05 min, apex scatter 0.01 min), the rest features of the sample alone. The
summaries' head line is the one the torva executable TORVA writes (torva --empty-summary).
"""
import math
import os
import random
import subprocess
import sys
import tempfile


def main():
    torva, out, samples, features = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
    rng = random.Random(int(sys.argv[5]) if len(sys.argv) > 5 else 1)
    os.makedirs(f"{out}/summaries", exist_ok=True)
    compounds = [(rng.uniform(100, 1000), rng.uniform(1, 29), rng.lognormvariate(15, 1.5)) for _ in range(features)]
    with tempfile.TemporaryDirectory() as scratch:
        subprocess.run([torva, "--empty-summary", f"{scratch}/head.tsv"], check=True)
        with open(f"{scratch}/head.tsv") as empty:
            head = empty.read()
    with open(f"{out}/sheet.tsv", "w") as sheet:
        sheet.write("sample\tfile\tgroup\n")
        for s in range(samples):
            name = f"s{s + 1:04d}"
            sheet.write(f"{name}\t{name}.mzXML\t{'AB'[s % 2]}\n")
            shift, wave, phase = rng.uniform(-0.15, 0.15), rng.uniform(0, 0.05), rng.uniform(0, 2 * math.pi)
            rows = []
            for mz, rt, area in compounds:
                if len(rows) < 0.9 * features and rng.random() < 0.92:
                    t = rt + shift + wave * math.sin(2 * math.pi * rt / 30 + phase) + rng.gauss(0, 0.01)
                    rows.append((mz * (1 + rng.uniform(-2e-6, 2e-6)), t, area * rng.uniform(0.8, 1.2)))
            while len(rows) < features:
                rows.append((rng.uniform(100, 1000), rng.uniform(1, 29), rng.lognormvariate(13, 1)))
            rows.sort()
            with open(f"{out}/summaries/{name}.tsv", "w") as report:
                report.write(head)
                report.writelines(f"{mz:.5f}\t{t:.5f}\t{a:.5f}\t1\t1\t2\t0.0[100.0000-1000.0000]\n"
                                  for mz, t, a in rows)


if __name__ == "__main__":
    main()
