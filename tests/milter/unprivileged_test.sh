#!/usr/bin/env bash
# pellicor-milter under an unprivileged user (-u nobody) on a hive in a folder
# only root may write: it keeps judging after another SQLite program was the last
# to close the hive, and on a hive whose WAL a killed writer left for recovery.
# Usage: unprivileged_test.sh MILTER REG REGSVR LIBRARY
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
milter=$1
export PELLICOR_REG=$2 PELLICOR_REGSVR=$3 PELLICOR_LIBRARY=$4
. "$here/milter_env.sh"
need_ci() { echo "$1"; exit $([ "${CI:-}" = true ] && echo 1 || echo 77); }
command -v miltertest >/dev/null || need_ci "miltertest is not installed"
command -v sqlite3 >/dev/null || need_ci "sqlite3 is not installed"
[ "$(id -u)" -eq 0 ] || need_ci "needs root, to run the milter as nobody"
id nobody >/dev/null 2>&1 || need_ci "no user nobody"

work=$(mktemp -d /tmp/pellicor-milter-user-XXXXXX)
chmod 0755 "$work"
milter_pid=""
writer_pid=""
cleanup() {
    [ -n "$milter_pid" ] && stop_process "$milter_pid"
    [ -n "$writer_pid" ] && kill -KILL "$writer_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

fail() { echo "FAIL: $*" >&2; [ -f "$work/milter.log" ] && cat "$work/milter.log" >&2; exit 1; }

export PELLICOR_REGISTRY="$work/hive/registry.sqlite"
register_sink
write_test_rules
hive=$PELLICOR_REGISTRY
socket="unix:$work/milter.sock"

start_milter() {
    "$milter" -f -u nobody -p "$socket" 2>"$work/milter.log" &
    milter_pid=$!
    wait_for_file "$work/milter.sock" 50 || fail "the milter did not open its socket"
}

judge() {  # WHAT [accept]: one condemned reply must be discarded (or accepted), and soon
    local started=$(date +%s%N)
    miltertest -D socket="$socket" -D wanted="${2:-discard}" -s "$here/condemned_reply.lua" >"$work/mt.log" 2>&1 ||
        { cat "$work/mt.log" >&2; fail "$1: the reply was not judged"; }
    echo "$1: judged in $(( ($(date +%s%N) - started) / 1000000 )) ms"
}

# a. Another program closes the hive last; its -wal and -shm must not go away.
# The milter has judged nothing yet, so no connection of its own holds the hive.
start_milter
sqlite3 "$hive" "pragma integrity_check" >/dev/null
[ -e "$hive-wal" ] && [ -e "$hive-shm" ] || fail "the -wal and -shm files went with the other program"
judge "after another program closed the hive"
stop_process "$milter_pid"
milter_pid=""

# b. A writer killed with its transaction committed to the WAL but not written back,
# the shared index left stale: the first reader must recover the WAL.
sqlite3 "$hive" "pragma wal_checkpoint(truncate)" >/dev/null  # all in the database file, as after a checkpoint
mkfifo "$work/sql"
sqlite3 "$hive" <"$work/sql" >/dev/null 2>&1 &
writer_pid=$!
exec 3>"$work/sql"
echo "pragma wal_autocheckpoint=0; update keys set written = written + 1 where id = 0; select 1;" >&3
sleep 0.5
kill -KILL "$writer_pid"
wait "$writer_pid" 2>/dev/null || true
writer_pid=""
exec 3>&-
[ -s "$hive-wal" ] || fail "no WAL left by the killed writer"
truncate -s 32 "$hive-wal"  # as if killed as it began the WAL anew: its header alone
start_milter
judge "on a WAL left for recovery"
judge "again"
stop_process "$milter_pid"
milter_pid=""

# c. A hive the milter's user may not read: replies go through unjudged, the log
# says why in one line however many arrive, and says so again when it can be read.
chmod 0600 "$hive"
start_milter
judge "an unreadable hive" accept
judge "an unreadable hive again" accept
[ "$(grep -c "cannot read the registry $hive: .*check that" "$work/milter.log")" -eq 1 ] ||
    fail "not one warning for the unreadable hive"
chmod 0644 "$hive"
judge "the hive readable again"
grep -q "the registry $hive can be read again" "$work/milter.log" || fail "no line when the hive became readable"
echo "unprivileged milter tests passed"
