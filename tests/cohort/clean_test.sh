#!/usr/bin/env bash
# Runs the cohort workflow on a simulated study with blanks (contaminants and carry-over), pooled
# QCs every three samples, a smooth intensity drift of up to 40 % per compound and two batches
# with an offset, then scores the clean table against the truth (tools/clean_check.py): blank
# contaminants removed, compounds kept, QC CV back to the injection spread, fold changes
# recovered, QCs together in the PCA. The same run with the drift correction switched off must
# miss the QC CV bound, so that the figure shows the correction's work.
#
#   tests/cohort/clean_test.sh [BUILD_DIR]
set -euo pipefail
REPO=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=$(cd "${1:-$REPO/build}" && pwd)
T=$(mktemp -d /tmp/torva-clean.XXXXXX)
trap 'rm -rf "$T"' EXIT

mkdir "$T/cohort"
"$BUILD/tools/simulate_cohort" -o "$T/cohort" -n 24 -g 2 -c 120 -r 10 -s 5 --qc-every 3 --blanks 2 --batches 2 \
  --batch-offset 0.3 --intensity-drift 0.4 --injection-cv 0.05 --contaminants 12 --carry-over 6
cd "$T"
run() {
  local out=$1
  shift
  snakemake -s "$REPO/workflow/Snakefile" --cores 2 --config samples="$T/cohort/samples.tsv" outdir="$out" \
    bin_dir="$BUILD" "$@" > "$out.log" 2>&1 || { tail -n 30 "$out.log" >&2; exit 1; }
}
start=$(date +%s)
run "$T/out"
echo "workflow with the clean step: $(($(date +%s) - start)) s for $(($(wc -l < "$T/cohort/samples.tsv") - 1)) injections"
for file in features_clean.tsv clean_log.txt export/metaboanalyst.csv export/features_long.tsv clean/pca.tsv; do
  [ -s "$T/out/$file" ] || { echo "FAILED: the workflow wrote no $file" >&2; exit 1; }
done
sed 's/^/  /' "$T/out/clean_log.txt" | cut -c1-200
python3 "$REPO/tools/clean_check.py" "$T/out" "$T/cohort" --injection-cv 0.05
# Without the drift correction the QCs keep the drift's spread.
"$BUILD/clean/torva-clean" --sheet "$T/out/work/clean_sheet.tsv" --table "$T/out/features.tsv" --out "$T/nodrift" \
  --no-drift 2> /dev/null
cp "$T/out/features.tsv" "$T/nodrift/"
if python3 "$REPO/tools/clean_check.py" "$T/nodrift" "$T/cohort" --injection-cv 0.05 > "$T/nodrift.txt"; then
  echo "FAILED: the table without drift correction meets every bound; the simulated drift is too small" >&2
  exit 1
fi
grep "median QC CV" "$T/nodrift.txt" | sed 's/^/without drift correction: /'
# A sheet whose design columns are wrong stops the workflow, naming the line.
printf 'sample\tfile\ttype\torder\na\ta.mzML\tsample\t1\nb\tb.mzML\tqc\t1\n' > "$T/bad.tsv"
if snakemake -s "$REPO/workflow/Snakefile" -n --config samples="$T/bad.tsv" outdir="$T/bad" > "$T/bad.log" 2>&1 ||
  ! grep -q "line 3: order 1 is already given on line 2" "$T/bad.log"; then
  echo "FAILED: the workflow did not refuse a sheet giving one injection order twice" >&2
  exit 1
fi
echo "CLEAN TEST PASSED"
