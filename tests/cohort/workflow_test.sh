#!/usr/bin/env bash
# Runs the cohort workflow end to end on a small simulated cohort with two
# cores, scores the table against the truth, and checks that a second run
# from scratch writes the same bytes, and that the same cohort stored as mzML
# gives the same table. The workflow runs at its defaults: the feature pipeline
# per sample, its gap filling, torva-align on the feature tables.
#
#   tests/cohort/workflow_test.sh [BUILD_DIR]
set -euo pipefail
REPO=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=$(cd "${1:-$REPO/build}" && pwd)
T=$(mktemp -d /tmp/torva-cohort.XXXXXX)
trap 'rm -rf "$T"' EXIT

# The sample sheet rules alone: folders of (gzip-compressed) runs, sheet order.
python3 "$REPO/tests/cohort/samples_test.py"

mkdir "$T/cohort"
"$BUILD/tools/simulate_cohort" -o "$T/cohort" -n 8 -g 2 -c 80 -r 10 -s 3
mkdir "$T/cohort_mzml"
"$BUILD/tools/simulate_cohort" -o "$T/cohort_mzml" -n 8 -g 2 -c 80 -r 10 -s 3 -F mzml
cd "$T"
run() {
  snakemake -s "$REPO/workflow/Snakefile" --cores 2 --config samples="${2:-$T/cohort}/samples.tsv" outdir="$1" \
    bin_dir="$BUILD" > "$1.log" 2>&1 || { tail -n 30 "$1.log" >&2; exit 1; }
}
start=$(date +%s)
run "$T/out"
echo "workflow: $(($(date +%s) - start)) s for 8 samples"
python3 "$REPO/tools/cohort_check.py" "$T/out" "$T/cohort"
# Each feature's traces across the samples, and the page that overlays them.
[ "$(wc -l < "$T/out/feature_traces.tsv")" -gt "$(wc -l < "$T/out/features.tsv")" ] ||
  { echo "FAILED: feature_traces.tsv holds fewer traces than features" >&2; exit 1; }
if [ -f "$T/out/cohort.html" ]; then
  grep -q 'id="traces-panel"' "$T/out/cohort.html" || { echo "FAILED: cohort.html has no traces" >&2; exit 1; }
fi
run "$T/again"
for table in samples.tsv features.tsv feature_rt.tsv gap_filled.tsv rt_correction.tsv feature_traces.tsv; do
  sed "s|$T/again|$T/out|g" "$T/again/$table" | cmp -s - "$T/out/$table" ||
    { echo "FAILED: $table differs between two runs" >&2; exit 1; }
done
run "$T/mzml" "$T/cohort_mzml"
for table in features.tsv feature_rt.tsv gap_filled.tsv rt_correction.tsv; do
  cmp -s "$T/mzml/$table" "$T/out/$table" || { echo "FAILED: $table differs between mzML and mzXML runs" >&2; exit 1; }
done
echo "WORKFLOW TEST PASSED"
