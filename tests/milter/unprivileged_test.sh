#!/usr/bin/env bash
# pellicor-milter under an unprivileged user (-u nobody) on a hive in a folder
# only root may write: it keeps judging after another SQLite program was the last
# to close the hive, and on a hive whose WAL a killed writer left for recovery;
# it never waits long on a hive it cannot read; links its user plants where the
# pid file and socket go are never followed.
# Usage: unprivileged_test.sh MILTER REG REGSVR LIBRARY HOLD_READ_MARKS
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
milter=$1 hold_read_marks=$5
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
holder_pid=""
cleanup() {
    [ -n "$milter_pid" ] && stop_process "$milter_pid"
    [ -n "$writer_pid" ] && kill -KILL "$writer_pid" 2>/dev/null
    [ -n "$holder_pid" ] && kill -KILL "$holder_pid" 2>/dev/null
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

start_milter() {  # [OPTION...]: on $socket, as nobody
    "$milter" -f -u nobody -p "$socket" "$@" 2>"$work/milter.log" &
    milter_pid=$!
    wait_for_file "${socket#unix:}" 50 || fail "the milter did not open its socket"
}

judged_ms=0
judge() {  # WHAT [accept]: one condemned reply must be discarded (or accepted); sets judged_ms
    local started=$(date +%s%N)
    miltertest -D socket="$socket" -D wanted="${2:-discard}" -s "$here/condemned_reply.lua" >"$work/mt.log" 2>&1 ||
        { cat "$work/mt.log" >&2; fail "$1: the reply was not judged"; }
    judged_ms=$(( ($(date +%s%N) - started) / 1000000 ))
    echo "$1: judged in $judged_ms ms"
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

# c. The shared index held so that every reader must try again (as while a writer
# recovers it): the reply goes through unjudged at once, not after SQLite's ten
# seconds of tries, and is judged again once the index is free.
start_milter
judge "before the index is held"
"$hold_read_marks" "$hive" >"$work/held" &
holder_pid=$!
wait_for_file_text() { local tries=50; while ! grep -q "$2" "$1" && [ "$tries" -gt 0 ]; do sleep 0.1; tries=$((tries - 1)); done; }
wait_for_file_text "$work/held" held
grep -q held "$work/held" || fail "the read marks could not be held"
judge "with the index held" accept
[ "$judged_ms" -lt 1000 ] || fail "a reply waited $judged_ms ms on a hive it could not read"
grep -q "cannot read the registry $hive: it could not be read in time" "$work/milter.log" ||
    fail "no warning for the hive that could not be read in time"
kill -KILL "$holder_pid"
wait "$holder_pid" 2>/dev/null || true
holder_pid=""
judge "with the index free again"
stop_process "$milter_pid"
milter_pid=""

# d. A hive the milter's user may not read: replies go through unjudged, the log
# says why, in the system's words, in one line however many arrive, and says so
# again when it can be read.
chmod 0600 "$hive"
start_milter
judge "an unreadable hive" accept
judge "an unreadable hive again" accept
[ "$(grep -c "cannot read the registry $hive: Permission denied; .*check that" "$work/milter.log")" -eq 1 ] ||
    fail "not one warning, in the system's words, for the unreadable hive"
chmod 0644 "$hive"
judge "the hive readable again"
grep -q "the registry $hive can be read again" "$work/milter.log" || fail "no line when the hive became readable"
stop_process "$milter_pid"
milter_pid=""

# e. The pid file and the socket in a folder the milter's user may write, where
# that user planted links to a root-only file: the milter replaces the pid file's
# link and starts, and refuses the socket's in one line; the file the links point
# to is never written nor given away.
run="$work/run" secret="$work/secret"
mkdir "$run"
chown nobody "$run"
echo "root only" >"$secret"
chmod 0600 "$secret"
plant() { ln -s "$secret" "$1" && chown -h nobody "$1"; }
secret_untouched() {
    [ "$(stat -c '%U %a %s' "$secret")" = "root 600 10" ] || fail "$1: the link's target was written or given away"
}
plant "$run/milter.pid"
socket="unix:$run/milter.sock"
start_milter -P "$run/milter.pid"
[ ! -L "$run/milter.pid" ] && [ "$(cat "$run/milter.pid")" = "$milter_pid" ] ||
    fail "the pid file is not a file of the milter's own holding its pid"
[ "$(stat -c %U "$run/milter.pid")" = nobody ] || fail "the pid file is not the milter user's"
secret_untouched "a link at the pid file"
judge "with the pid file's link replaced"
stop_process "$milter_pid"
milter_pid=""

rm -f "$run/milter.sock"
plant "$run/milter.sock"
timeout 10 "$milter" -f -u nobody -p "$socket" 2>"$work/milter.log" && fail "the milter started on a link at its socket"
[ "$(wc -l <"$work/milter.log")" -eq 1 ] && grep -q "is not a socket: remove it" "$work/milter.log" ||
    fail "the milter did not refuse the socket's link in one clear line"
secret_untouched "a link at the socket"
echo "unprivileged milter tests passed"
