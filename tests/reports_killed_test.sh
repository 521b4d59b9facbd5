#!/usr/bin/env bash
# Fault injection: torva is killed (SIGKILL) at random moments of a run that
# writes all three reports (-s -o -m) over the reports of an earlier run.
# Under each report's name there must be, every time, either nothing, the
# earlier report, or the complete new one: never a cut file.
#   tests/reports_killed_test.sh TORVA SIMULATOR [SEEDS]
set -euo pipefail
torva=$1
simulator=$2
seeds=${3:-20}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$simulator" -o "$work/run.mzXML" -n 900 -k 400 -c 40 -s 5 >/dev/null
run() { "$torva" -i "$work/run.mzXML" --quiet --threads 2 "$@" >/dev/null 2>&1; }

# The complete reports of this run, and different earlier ones.
mkdir "$work/complete" "$work/earlier"
run -C 20000 -s "$work/complete/s.tsv" -o "$work/complete/o.tsv" -m "$work/complete/m.tsv"
run -C 900000 -s "$work/earlier/s.tsv" -o "$work/earlier/o.tsv" -m "$work/earlier/m.tsv" --map-range 100:200:5
for r in s o m; do
  cmp -s "$work/complete/$r.tsv" "$work/earlier/$r.tsv" && { echo "earlier and new $r reports are alike"; exit 1; }
done

# How long a whole run takes, in milliseconds: the kills fall within it.
start=$(date +%s%N)
mkdir "$work/timed"
run -C 20000 -s "$work/timed/s.tsv" -o "$work/timed/o.tsv" -m "$work/timed/m.tsv"
span=$(( ($(date +%s%N) - start) / 1000000 ))
[ "$span" -gt 0 ] || span=1

RANDOM=1
failures=0
for seed in $(seq 1 "$seeds"); do
  out=$work/seed$seed
  mkdir "$out"
  # Half of the runs find earlier reports under the names.
  if [ $((seed % 2)) -eq 0 ]; then cp "$work"/earlier/*.tsv "$out"/; fi
  # Up to a fifth past the measured span, so that some runs complete.
  delay=$(( RANDOM % (span + span / 5) ))
  "$torva" -i "$work/run.mzXML" --quiet --threads 2 -C 20000 -s "$out/s.tsv" -o "$out/o.tsv" -m "$out/m.tsv" \
    >/dev/null 2>&1 &
  pid=$!
  sleep "$(printf '%d.%03d' $((delay / 1000)) $((delay % 1000)))"
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  for r in s o m; do
    file=$out/$r.tsv
    if [ ! -e "$file" ]; then
      state=absent
    elif cmp -s "$file" "$work/complete/$r.tsv"; then
      state=complete
    elif cmp -s "$file" "$work/earlier/$r.tsv"; then
      state=earlier
    else
      echo "seed $seed (killed after $delay ms of $span): $r.tsv is cut or mixed ($(wc -c < "$file") bytes)"
      failures=$((failures + 1))
      continue
    fi
    echo "seed $seed (killed after $delay ms of $span): $r.tsv $state"
  done
done
[ "$failures" -eq 0 ] && echo "every report absent, earlier or complete in $seeds killed runs"
exit $(( failures > 0 ))
