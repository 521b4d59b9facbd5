#!/usr/bin/env python3
"""Snakemake cluster-status command: prints running, success or failed for a SLURM job id.

Asks scontrol first (it knows recent jobs without an accounting database), then sacct.
"""
import re
import subprocess
import sys

RUNNING = {"PENDING", "CONFIGURING", "RUNNING", "COMPLETING", "SUSPENDED", "REQUEUED", "RESIZING", "STAGE_OUT"}


def state_from_scontrol(job):
    try:
        out = subprocess.run(["scontrol", "-o", "show", "job", job], capture_output=True, text=True, timeout=30)
    except (OSError, subprocess.TimeoutExpired):
        return None
    match = re.search(r"\bJobState=(\S+)", out.stdout)
    return match.group(1) if out.returncode == 0 and match else None


def state_from_sacct(job):
    try:
        out = subprocess.run(["sacct", "-n", "-X", "-P", "-j", job, "-o", "State"], capture_output=True, text=True,
                             timeout=30)
    except (OSError, subprocess.TimeoutExpired):
        return None
    lines = [line.split()[0] for line in out.stdout.splitlines() if line.strip()]
    return lines[0] if out.returncode == 0 and lines else None


def main():
    job = sys.argv[1].split(";")[0]
    state = state_from_scontrol(job) or state_from_sacct(job)
    if state is None or state in RUNNING:
        print("running")  # not known yet: ask again later
    elif state == "COMPLETED":
        print("success")
    else:
        print("failed")


if __name__ == "__main__":
    main()
