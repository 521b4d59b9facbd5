#!/usr/bin/env bash
# One browser check of torva-view, run by CTest:
#   run_check.sh CASE TORVA TORVA_VIEW SOURCE_DIR WORK_DIR REAL_DATA_DIR
# CASE is example (the bundled example run), orbi (a real DDA run; skipped with
# status 77 when the file is absent) or cohort (the fixture cohort folder).
set -euo pipefail
case_name=$1 torva=$2 view=$3 source=$4 work=$5 real=$6
here="$source/view/browser-test"
chromium=${CHROMIUM:-/usr/bin/chromium}
if [ ! -x "$chromium" ]; then
  echo "Chromium not found at $chromium: install the Debian package chromium (see README) or set CHROMIUM" >&2
  exit 1
fi
if [ ! -d "$here/node_modules/puppeteer-core" ]; then
  # ctest reports the check as skipped (status 77), not passed.
  echo "SKIPPED: the npm packages of the browser checks are not installed: run 'npm ci' in view/browser-test (see README)"
  exit 77
fi
mkdir -p "$work"
cd "$work"

# Checks the page against a summary: row count, and the first feature's start and end scans.
check_run_page() {
  local summary=$1 page=$2 shot=$3
  local rows start end
  rows=$(($(wc -l < "$summary") - 1))
  start=$(sed -n 2p "$summary" | cut -f5)
  end=$(sed -n 2p "$summary" | cut -f6)
  node "$here/check_page.mjs" --page "$page" --kind run --rows "$rows" --screenshot "$shot" \
    --start-scan "${start:-0}" --end-scan "${end:-0}" --chromium "$chromium"
}

case "$case_name" in
  example)
    "$torva" -i "$source/examples/example.mzXML" -s summary.tsv -o transitions.tsv -m map.tsv > torva.log
    "$view" --summary summary.tsv --transitions transitions.tsv --map map.tsv --out example.html \
      --run-input example.mzXML --run-options "-s -o -m"
    check_run_page summary.tsv example.html example.png
    ;;
  orbi)
    input="$real/orbi_dda_filterline.mzXML"
    if [ ! -f "$input" ]; then
      echo "skipped: $input is absent"
      exit 77
    fi
    "$torva" -i "$input" -d -l -c -s orbi_summary.tsv -o orbi_transitions.tsv -m orbi_map.tsv > orbi.log
    "$view" --summary orbi_summary.tsv --transitions orbi_transitions.tsv --map orbi_map.tsv --out orbi.html \
      --run-input orbi_dda_filterline.mzXML --run-options "-d -l -c -s -o -m"
    check_run_page orbi_summary.tsv orbi.html orbi.png
    ;;
  cohort)
    folder="$source/view/fixtures/cohort"
    "$view" --cohort "$folder" --out cohort.html
    node "$here/check_page.mjs" --page cohort.html --kind cohort --rows $(($(wc -l < "$folder/features.tsv") - 1)) \
      --screenshot cohort.png --chromium "$chromium"
    ;;
  *)
    echo "unknown case $case_name" >&2
    exit 2
    ;;
esac
