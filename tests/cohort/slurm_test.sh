#!/usr/bin/env bash
# Runs the cohort workflow through SLURM on this machine and checks it against
# a local run: starts munged, slurmctld and slurmd with a generated single-node
# configuration in a temporary folder, runs the workflow with the SLURM
# profile, checks that the per-sample jobs ran as SLURM jobs and that the
# cohort tables equal the local run's, then stops the daemons it started.
#
#   tests/cohort/slurm_test.sh [BUILD_DIR]
#
# Exit status: 0 passed, 1 failed, 77 when the daemons cannot start here (the
# reason is printed; never a silent skip).
set -euo pipefail
REPO=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=$(cd "${1:-$REPO/build}" && pwd)
SAMPLES=4

cannot() { echo "SLURM TEST NOT RUN: $*" >&2; exit 77; }
for tool in munged slurmctld slurmd sbatch scontrol snakemake; do
  command -v "$tool" > /dev/null || cannot "'$tool' is not installed (apt-get install slurm-wlm munge snakemake)"
done
[ -x "$BUILD/torva" ] && [ -x "$BUILD/align/torva-align" ] || { echo "build torva and torva-align first" >&2; exit 1; }

T=$(mktemp -d /tmp/torva-slurm.XXXXXX)
chmod 755 "$T"
PIDS=()
stop() {
  # Only the daemons this script started, by their recorded process ids.
  for pidfile in "$T/slurmd.pid" "$T/slurmctld.pid" "$T/munge/munged.pid"; do
    [ -s "$pidfile" ] && kill "$(cat "$pidfile")" 2> /dev/null || true
  done
  sleep 1
  rm -rf "$T"
}
trap stop EXIT

# munge with its own key and socket.
mkdir -m 700 "$T/munge"
dd if=/dev/urandom of="$T/munge/munge.key" bs=1024 count=1 status=none
chmod 400 "$T/munge/munge.key"
munged -f --key-file="$T/munge/munge.key" --socket="$T/munge/munge.socket" --pid-file="$T/munge/munged.pid" \
  --log-file="$T/munge/munged.log" --seed-file="$T/munge/munged.seed" ||
  cannot "munged did not start: $(tail -n 3 "$T/munge/munged.log" 2> /dev/null)"

# A single-node cluster on free ports.
HOST=$(hostname -s)
NODE=$(slurmd -C | head -n 1 | sed "s/^NodeName=[^ ]*/NodeName=$HOST/")
PORT=$((20000 + RANDOM % 20000))
mkdir -p "$T/state" "$T/spool"
export SLURM_CONF="$T/slurm.conf"
cat > "$SLURM_CONF" << CONF
ClusterName=torvatest
SlurmctldHost=$HOST(127.0.0.1)
SlurmUser=$(id -un)
SlurmctldPort=$PORT
SlurmdPort=$((PORT + 1))
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$T/munge/munge.socket
StateSaveLocation=$T/state
SlurmdSpoolDir=$T/spool
SlurmctldPidFile=$T/slurmctld.pid
SlurmdPidFile=$T/slurmd.pid
SlurmctldLogFile=$T/slurmctld.log
SlurmdLogFile=$T/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SchedulerType=sched/builtin
SelectType=select/cons_tres
SelectTypeParameters=CR_Core_Memory
ReturnToService=2
MinJobAge=3600
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/filetxt
JobCompLoc=$T/jobcomp.log
$NODE NodeAddr=127.0.0.1 State=UNKNOWN
PartitionName=main Nodes=$HOST Default=YES MaxTime=INFINITE State=UP
CONF
slurmctld -f "$SLURM_CONF" || cannot "slurmctld did not start: $(tail -n 3 "$T/slurmctld.log" 2> /dev/null)"
slurmd -f "$SLURM_CONF" -N "$HOST" || cannot "slurmd did not start: $(tail -n 3 "$T/slurmd.log" 2> /dev/null)"
for _ in $(seq 60); do
  sinfo -h -o %t 2> /dev/null | grep -qE '^(idle|mix|alloc)' && break
  sleep 1
done
sinfo -h -o %t | grep -qE '^(idle|mix|alloc)' ||
  cannot "the node did not come up: $(sinfo -h 2>&1 | head -n 2); $(tail -n 3 "$T/slurmd.log" 2> /dev/null)"
echo "slurm: single-node cluster up on $HOST (ports $PORT, $((PORT + 1)))"

# The same small cohort, locally and through SLURM.
mkdir "$T/cohort"
"$BUILD/tools/simulate_cohort" -o "$T/cohort" -n "$SAMPLES" -c 40 -r 4 -s 5
cd "$T"
run() { snakemake -s "$REPO/workflow/Snakefile" --config samples="$T/cohort/samples.tsv" outdir="$1" \
          bin_dir="$BUILD" view=false "${@:2}" > "$1.log" 2>&1 || { tail -n 30 "$1.log" >&2; exit 1; }; }
run "$T/local" --cores 2
run "$T/slurm" --profile "$REPO/workflow/profiles/slurm"

status=0
for table in features.tsv feature_rt.tsv gap_filled.tsv rt_correction.tsv; do
  if cmp -s "$T/local/$table" "$T/slurm/$table"; then
    echo "same $table locally and through SLURM"
  else
    echo "FAILED: $table differs between the local and the SLURM run" >&2
    status=1
  fi
done

# Every per-sample job (torva and gap filling) ran as a SLURM job.
expected=$((2 * SAMPLES))
if sacct -n -X -P -o JobName,State > "$T/sacct.txt" 2> "$T/sacct.err"; then
  ran=$(grep -cE '^torva-(torva|fill)\|COMPLETED' "$T/sacct.txt" || true)
  echo "sacct: $ran of $expected per-sample jobs COMPLETED"
else
  # sacct reads the accounting database (slurmdbd); without one, the
  # controller's job-completion log holds the same records.
  echo "sacct unavailable here ($(head -n 1 "$T/sacct.err")); checking slurmctld's job-completion log"
  ran=$(grep -E 'Name=torva-(torva|fill) ' "$T/jobcomp.log" | grep -c 'JobState=COMPLETED' || true)
  echo "job-completion log: $ran of $expected per-sample jobs COMPLETED"
fi
if [ "$ran" -ne "$expected" ]; then
  echo "FAILED: expected $expected completed per-sample SLURM jobs" >&2
  status=1
fi
[ "$status" -eq 0 ] && echo "SLURM TEST PASSED"
exit "$status"
