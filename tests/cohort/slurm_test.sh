#!/usr/bin/env bash
# Runs the cohort workflow through SLURM on this machine and checks it against
# a local run: starts munged, slurmctld and slurmd with a generated single-node
# configuration in a temporary folder, runs the workflow with the SLURM
# profile, checks that the per-sample jobs ran as SLURM jobs and that the
# cohort tables equal the local run's, then stops the daemons it started.
#
#   tests/cohort/slurm_test.sh [BUILD_DIR]
#
# With slurmdbd and mariadb-server installed, it also starts a MariaDB server
# and slurmdbd of its own and checks the jobs with sacct; without them it
# checks slurmctld's job-completion log and says so.
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
stop() {
  # Only the daemons this script started, by their recorded process ids.
  for pidfile in "$T/slurmd.pid" "$T/slurmctld.pid" "$T/slurmdbd.pid" "$T/mariadb.pid" "$T/munge/munged.pid"; do
    [ -s "$pidfile" ] || continue
    pid=$(cat "$pidfile")
    kill "$pid" 2> /dev/null || continue
    for _ in $(seq 30); do kill -0 "$pid" 2> /dev/null || break; sleep 0.5; done
  done
  rm -rf "$T"
}
trap stop EXIT

# munge with its own key. The accounting clients (sacct, sacctmgr) find munged
# only at its standard socket, so with slurmdbd the test's munged takes that
# socket when no other munged holds it; otherwise it keeps a socket of its own
# and the test goes without accounting.
ACCOUNTED=0
SOCKET="$T/munge/munge.socket"
if command -v slurmdbd > /dev/null && command -v mariadbd > /dev/null && command -v mariadb-install-db > /dev/null; then
  if [ -e /run/munge/munge.socket.2 ]; then
    echo "note: another munged holds /run/munge/munge.socket.2; running without slurmdbd"
  elif mkdir -p /run/munge 2> /dev/null && [ -w /run/munge ]; then
    ACCOUNTED=1
    SOCKET=/run/munge/munge.socket.2
  fi
fi
mkdir -m 700 "$T/munge"
dd if=/dev/urandom of="$T/munge/munge.key" bs=1024 count=1 status=none
chmod 400 "$T/munge/munge.key"
munged -f --key-file="$T/munge/munge.key" --socket="$SOCKET" --pid-file="$T/munge/munged.pid" \
  --log-file="$T/munge/munged.log" --seed-file="$T/munge/munged.seed" ||
  cannot "munged did not start: $(tail -n 3 "$T/munge/munged.log" 2> /dev/null)"

# A single-node cluster on free ports.
HOST=$(hostname -s)
NODE=$(slurmd -C | head -n 1 | sed "s/^NodeName=[^ ]*/NodeName=$HOST/")
PORT=$((20000 + RANDOM % 20000))
mkdir -p "$T/state" "$T/spool"
export SLURM_CONF="$T/slurm.conf"

# Job accounting for sacct: slurmdbd on a MariaDB server of its own, when both
# are installed (Debian slurmdbd mariadb-server); otherwise the controller's
# job-completion log stands in.
ACCOUNTING="AccountingStorageType=accounting_storage/none"
if [ "$ACCOUNTED" -eq 1 ]; then
  DBPORT=$((PORT + 2))
  mkdir "$T/db"
  mariadb-install-db --no-defaults --user="$(id -un)" --datadir="$T/db" --auth-root-authentication-method=normal \
    > "$T/mariadb-install.log" 2>&1 || cannot "mariadb-install-db failed: $(tail -n 3 "$T/mariadb-install.log")"
  mariadbd --no-defaults --user="$(id -un)" --datadir="$T/db" --socket="$T/db.sock" --port="$DBPORT" \
    --bind-address=127.0.0.1 --pid-file="$T/mariadb.pid" --log-error="$T/mariadb.log" > "$T/mariadb.out" 2>&1 &
  for _ in $(seq 60); do [ -S "$T/db.sock" ] && break; sleep 1; done
  [ -S "$T/db.sock" ] || cannot "mariadbd did not start: $(tail -n 3 "$T/mariadb.log" 2> /dev/null)"
  mariadb --no-defaults -S "$T/db.sock" -u root -e \
    "CREATE USER 'slurm'@'127.0.0.1' IDENTIFIED BY 'torvatest'; GRANT ALL ON slurm_acct_db.* TO 'slurm'@'127.0.0.1';"
  cat > "$T/slurmdbd.conf" << CONF
AuthType=auth/munge
AuthInfo=socket=$SOCKET
DbdHost=localhost
DbdPort=$((PORT + 3))
SlurmUser=$(id -un)
PidFile=$T/slurmdbd.pid
LogFile=$T/slurmdbd.log
StorageType=accounting_storage/mysql
StorageHost=127.0.0.1
StoragePort=$DBPORT
StorageUser=slurm
StoragePass=torvatest
StorageLoc=slurm_acct_db
CONF
  chmod 600 "$T/slurmdbd.conf"
  ACCOUNTING="AccountingStorageType=accounting_storage/slurmdbd
AccountingStorageHost=localhost
AccountingStoragePort=$((PORT + 3))"
fi
cat > "$SLURM_CONF" << CONF
ClusterName=torvatest
SlurmctldHost=$HOST(127.0.0.1)
SlurmUser=$(id -un)
SlurmctldPort=$PORT
SlurmdPort=$((PORT + 1))
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$SOCKET
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
$ACCOUNTING
JobCompType=jobcomp/filetxt
JobCompLoc=$T/jobcomp.log
$NODE NodeAddr=127.0.0.1 State=UNKNOWN
PartitionName=main Nodes=$HOST Default=YES MaxTime=INFINITE State=UP
CONF
if [ -f "$T/slurmdbd.conf" ]; then
  slurmdbd || cannot "slurmdbd did not start: $(tail -n 3 "$T/slurmdbd.log" 2> /dev/null)"
  for _ in $(seq 30); do sacctmgr -i add cluster torvatest > "$T/sacctmgr.log" 2>&1 && break; sleep 1; done
  sacctmgr -n list cluster format=cluster 2> /dev/null | grep -q torvatest ||
    cannot "slurmdbd does not answer: $(tail -n 3 "$T/slurmdbd.log" 2> /dev/null) $(cat "$T/sacctmgr.log")"
fi
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
# Each per-sample SLURM job asks for THREADS CPUs and runs torva on them; the
# tables must not depend on it.
THREADS=$(( $(nproc) >= 2 ? 2 : 1 ))
run "$T/slurm" torva_threads="$THREADS" --profile "$REPO/workflow/profiles/slurm"

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
if [ -f "$T/slurmdbd.conf" ]; then
  # The controller hands finished jobs to slurmdbd in the background.
  for _ in $(seq 30); do
    sacct -n -X -P -o JobID,JobName,State,AllocCPUS > "$T/sacct.txt" 2> "$T/sacct.err" || true
    ran=$(grep -cE "\\|torva-(torva|fill)\\|COMPLETED\\|$THREADS\$" "$T/sacct.txt" || true)
    [ "$ran" -ge "$expected" ] && break
    sleep 1
  done
  echo "sacct: $ran of $expected per-sample jobs COMPLETED on $THREADS CPUs ($(wc -l < "$T/sacct.txt") SLURM jobs in all)"
else
  # sacct reads the accounting database (slurmdbd); without one, the
  # controller's job-completion log holds the same records.
  sacct -n -X > /dev/null 2> "$T/sacct.err" || true
  echo "sacct unavailable here ($(head -n 1 "$T/sacct.err"); slurmdbd or mariadb-server not installed);" \
    "checking slurmctld's job-completion log"
  ran=$(grep -E 'Name=torva-(torva|fill) ' "$T/jobcomp.log" | grep 'JobState=COMPLETED' | grep -c " ProcCnt=$THREADS " ||
    true)
  echo "job-completion log: $ran of $expected per-sample jobs COMPLETED on $THREADS CPUs"
fi
if [ "$ran" -ne "$expected" ]; then
  echo "FAILED: expected $expected completed per-sample SLURM jobs on $THREADS CPUs" >&2
  status=1
fi
# ... and torva used the CPUs its job was given.
used=$(grep -cE "/torva -i .* --threads $THREADS " "$T/slurm.log" || true)
if [ "$used" -lt "$SAMPLES" ]; then
  echo "FAILED: the per-sample torva runs did not use --threads $THREADS under SLURM" >&2
  status=1
fi
[ "$status" -eq 0 ] && echo "SLURM TEST PASSED"
exit "$status"
