#!/usr/bin/env bash
# The cohort page of a features.tsv of 2,000,000 rows (some 60 MB; kept whole
# its rows would take about 500 MB) is written within 300 MB of address space:
# the tables are read no further than the page's bounds, and what they leave
# out is named on standard error.
#   tests/view_cohort_bound_test.sh TORVA_VIEW
set -euo pipefail
view=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
limit_kb=307200
rows=2000000

printf 'sample\tfile\tgroup\na\ta.mzXML\tx\nb\tb.mzXML\tx\n' > "$work/samples.tsv"
awk -v rows="$rows" 'BEGIN {
  print "feature_id\tmz\trt\tn_samples\ta\tb";
  for (k = 0; k < rows; ++k) printf "F%d\t%.5f\t%.4f\t2\t5000.0\t6000.0\n", k, 100 + k / 1000, k / 100000;
}' > "$work/features.tsv"

status=0
(ulimit -v "$limit_kb"; MALLOC_ARENA_MAX=1 "$view" --cohort "$work" --out "$work/cohort.html" 2>"$work/err.txt") ||
  status=$?
left=$((rows - 200000))
echo "features.tsv of $rows rows ($(wc -c < "$work/features.tsv") bytes): status $status"
if [ "$status" -ne 0 ] || [ ! -s "$work/cohort.html" ] ||
  ! grep -q "the page shows the first 200000 features of features.tsv; the $left after them were left out" \
    "$work/err.txt"; then
  cat "$work/err.txt"
  exit 1
fi
echo "the page written within $((limit_kb / 1024)) MB, the $left features after the first 200000 named"
