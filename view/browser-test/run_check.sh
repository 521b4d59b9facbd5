#!/usr/bin/env bash
# One browser check of torva-view, run by CTest:
#   run_check.sh CASE TORVA TORVA_VIEW SOURCE_DIR WORK_DIR REAL_DATA_DIR [TORVA_CLEAN]
# CASE is example (the bundled example run), orbi (a real DDA run; skipped with
# status 77 when the file is absent), cohort (the fixture cohort folder), quant
# (a small simulated targeted cohort, calibrated by torva-quant) or cohort_clean
# (the fixture study with blanks, QCs and two batches, readied by torva-clean,
# whose panels are checked too), features (a simulated DDA run of compounds: the
# feature page's chromatogram, MS1, MS2 and ion panels) or cohort_traces (three
# simulated runs aligned, with torva-compounds' traces overlaid on the cohort page).
set -euo pipefail
case_name=$1 torva=$2 view=$3 source=$4 work=$5 real=$6 clean=${7:-}
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
  quant)
    # A small simulated SRM cohort, measured run by run and calibrated.
    sim="$(dirname "$torva")/tools/simulate_targeted"
    quant="$(dirname "$torva")/quant/torva-quant"
    rm -rf quant_sim && mkdir -p quant_sim/tables quant_sim/out
    "$sim" -o quant_sim -n 3 -q 1
    tail -n +2 quant_sim/samples.tsv | while IFS=$'\t' read -r name file rest; do
      "$torva" -i "quant_sim/$file" -S --quiet --quant quant_sim/targets.tsv --quant-out "quant_sim/tables/$name.quant.tsv" \
        --quant-traces "quant_sim/tables/$name.traces.tsv" > /dev/null
    done
    "$quant" --targets quant_sim/targets.tsv --samples quant_sim/samples.tsv --runs quant_sim/tables --out quant_sim/out 2> quant.log
    "$view" --quant quant_sim/out --out quant.html
    standards=$(sed -n 2p quant_sim/out/calibration.tsv | cut -f10,11 | tr ',\t' '\n\n' | grep -c '=')
    node "$here/check_page.mjs" --page quant.html --kind quant --rows $(($(wc -l < quant_sim/out/calibration.tsv) - 1)) \
      --samples $(($(wc -l < quant_sim/samples.tsv) - 1)) --standards "$standards" --screenshot quant.png --chromium "$chromium"
    ;;
  cohort_clean)
    rm -rf cohort_clean
    cp -r "$source/view/fixtures/cohort_design" cohort_clean
    "$clean" --sheet cohort_clean/sheet.tsv --table cohort_clean/features.tsv --out cohort_clean 2> cohort_clean.log
    "$view" --cohort cohort_clean --out cohort_clean.html
    node "$here/check_page.mjs" --page cohort_clean.html --kind cohort --clean 1 \
      --rows $(($(wc -l < cohort_clean/features.tsv) - 1)) --screenshot cohort_clean.png --chromium "$chromium"
    ;;
  features)
    # A simulated DDA run of compounds (adducts, isotopes, MS2 scans), grouped, with its feature spectra.
    sim="$(dirname "$torva")/tools/simulate_compounds"
    "$sim" -o compounds.mzXML -c 40 -r 6 -s 3 > /dev/null
    "$torva" -i compounds.mzXML --quiet --detect resolver --ppm 5 --features compounds_features.tsv \
      --feature-spectra compounds_spectra.tsv > compounds.log 2>&1
    "$view" --features compounds_features.tsv --spectra compounds_spectra.tsv --out features.html \
      --run-input compounds.mzXML --run-options "--detect resolver --ppm 5 --feature-spectra"
    node "$here/check_panels.mjs" --page features.html --kind features --screenshot features.png --chromium "$chromium"
    ;;
  cohort_traces)
    # Three simulated runs of one compound list, aligned, grouped into compounds with each feature's traces.
    sim="$(dirname "$torva")/tools/simulate_compounds"
    align="$(dirname "$torva")/align/torva-align"
    compounds="$(dirname "$torva")/compound_tool/torva-compounds"
    rm -rf traces_cohort && mkdir -p traces_cohort/reports traces_cohort/out
    printf 'sample\tfile\tgroup\n' > traces_cohort/sheet.tsv
    for k in 1 2 3; do
      "$sim" -o "traces_cohort/s$k.mzXML" -c 30 -r 5 -s "$k" -S 7 -k "$k" > /dev/null
      "$torva" -i "traces_cohort/s$k.mzXML" --quiet --detect resolver --ppm 5 --features "traces_cohort/reports/s$k.tsv" \
        > /dev/null 2>&1
      printf 's%s\t%s\tg%s\n' "$k" "$PWD/traces_cohort/s$k.mzXML" $((k % 2)) >> traces_cohort/sheet.tsv
    done
    "$align" --sheet traces_cohort/sheet.tsv --summaries traces_cohort/reports --out traces_cohort/out --ppm 5 2> align.log
    "$compounds" --cohort traces_cohort/out --traces traces_cohort/out/feature_traces.tsv > compounds.log 2>&1
    "$view" --cohort traces_cohort/out --out cohort_traces.html
    node "$here/check_panels.mjs" --page cohort_traces.html --kind traces --screenshot cohort_traces.png --chromium "$chromium"
    ;;
  *)
    echo "unknown case $case_name" >&2
    exit 2
    ;;
esac
