#!/usr/bin/env python3
"""Writes a synthetic cohort of summary reports for the torva-align benchmark.

    make_cohort_summaries.py DIR SAMPLES FEATURES [SEED]

DIR/sheet.tsv lists the samples; DIR/summaries/<sample>.tsv holds FEATURES rows each: 90 % of a
shared compound list (m/z within 2 ppm, time drifted per sample by a shift of up to 0.15 min plus
a wave of up to 0.05 min, apex scatter 0.01 min), the rest features of the sample alone.
"""
import math
import os
import random
import sys


def main():
    out, samples, features = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    rng = random.Random(int(sys.argv[4]) if len(sys.argv) > 4 else 1)
    os.makedirs(f"{out}/summaries", exist_ok=True)
    compounds = [(rng.uniform(100, 1000), rng.uniform(1, 29), rng.lognormvariate(15, 1.5)) for _ in range(features)]
    head = "mass\trt\tarea\tpeak max(scan)\tpeak start(scan)\tpeak end(scan)\ttransition\n"
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
