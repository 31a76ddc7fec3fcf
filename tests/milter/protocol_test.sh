#!/usr/bin/env bash
# pellicor-milter against miltertest: the judged replies, odd input, a stop by
# SIGTERM that is prompt and leaves nothing behind, and a sink that is not registered.
# Usage: protocol_test.sh MILTER REG REGSVR LIBRARY
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
milter=$1
export PELLICOR_REG=$2 PELLICOR_REGSVR=$3 PELLICOR_LIBRARY=$4
. "$here/milter_env.sh"
# Skipped where miltertest is missing, except in CI, which installs it.
command -v miltertest >/dev/null || { echo "miltertest is not installed"; exit $([ "${CI:-}" = true ] && echo 1 || echo 77); }

work=$(mktemp -d /tmp/pellicor-milter-test-XXXXXX)
milter_pid=""
cleanup() {
    [ -n "$milter_pid" ] && stop_process "$milter_pid"
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

fail() { echo "FAIL: $*" >&2; [ -f "$work/milter.log" ] && cat "$work/milter.log" >&2; exit 1; }

run_suite() {  # SINK-STATE [MODE]
    local socket="unix:$work/milter.sock" mode=${2:-discard}
    "$milter" -f -p "$socket" -P "$work/milter.pid" -m "$mode" 2>"$work/milter.log" &
    milter_pid=$!
    wait_for_file "$work/milter.sock" 50 || fail "the milter did not open its socket"
    miltertest -D socket="$socket" -D sink="$1" -D mode="$mode" -s "$here/protocol.lua" || fail "miltertest ($1 sink, $mode)"
    # SIGHUP logs the counters and the milter goes on.
    kill -HUP "$milter_pid"
    sleep 0.3
    kill -0 "$milter_pid" || fail "SIGHUP stopped the milter"
    grep -q "counters: judged=" "$work/milter.log" || fail "SIGHUP did not log the counters"

    # SIGTERM: gone well within libmilter's 5-second poll, socket and pid file removed.
    local started=$(date +%s%N)
    kill -TERM "$milter_pid"
    wait "$milter_pid" || fail "the milter exited with status $?"
    milter_pid=""
    local elapsed_ms=$(( ($(date +%s%N) - started) / 1000000 ))
    [ "$elapsed_ms" -lt 2000 ] || fail "stopping took ${elapsed_ms} ms"
    [ ! -e "$work/milter.sock" ] || fail "socket left behind"
    [ ! -e "$work/milter.pid" ] || fail "pid file left behind"
    grep -q "stopped" "$work/milter.log" || fail "no stop line in the log"
}

# Bad command lines: one line on stderr, non-zero status.
for args in "" "-p" "-p tcp:1@x" "-p inet:0@127.0.0.1" "-x" "-p unix:$work/s -u no-such-user-here" "-p unix:$work/s -m drop"; do
    if "$milter" $args -f 2>"$work/err"; then fail "accepted: $args"; fi
    [ "$(wc -l <"$work/err")" -eq 1 ] || fail "not one line for '$args': $(cat "$work/err")"
done

export PELLICOR_REGISTRY="$work/hive.sqlite"
run_suite missing
grep -q "NOQUEUE: Pellicor.Sink is not registered in $PELLICOR_REGISTRY: run pellicor-regsvr " "$work/milter.log" \
    || fail "the missing sink was not logged in words"
grep -q "counters: judged=1 recognised=1 condemned=0 failed=1 (mode discard)" "$work/milter.log" \
    || fail "the failure was not counted"

register_sink
write_test_rules
run_suite registered
[ "$(grep -c "discarded out-of-office reply" "$work/milter.log")" -eq 6 ] || fail "expected 6 discard lines"
grep -q "from=<away2@condemned.example> to=<bob@outside.example>" "$work/milter.log" || fail "discard line lacks the addresses"
grep -q "counters: judged=13 recognised=11 condemned=6 failed=0 (mode discard)" "$work/milter.log" \
    || fail "wrong counters: $(grep counters: "$work/milter.log" | tail -n 1)"

for mode in hold monitor; do
    run_suite registered $mode
    [ "$(grep -c "discarded out-of-office reply" "$work/milter.log")" -eq 0 ] || fail "$mode mode discarded"
done
grep -q "would discard out-of-office reply from=<> to=<bob@outside.example>" "$work/milter.log" \
    || fail "monitor mode did not log the reply it would discard"
grep -q "condemned=1 failed=0 (mode monitor)" "$work/milter.log" || fail "monitor mode did not count the reply"

# -s: the counters are logged every so often without being asked; -s 0 never.
for interval in 1 0; do
    "$milter" -f -p "unix:$work/milter.sock" -s $interval 2>"$work/milter.log" &
    milter_pid=$!
    sleep 2.5
    lines=$(grep -c "counters: judged=0" "$work/milter.log" || true)
    stop_process "$milter_pid"
    milter_pid=""
    if [ $interval -eq 1 ]; then [ "$lines" -ge 2 ] || fail "-s 1 logged the counters $lines times in 2.5 s"
    else [ "$lines" -eq 0 ] || fail "-s 0 logged the counters"; fi
done

# A socket left by a killed milter is replaced; a live one is refused.
# (In a subshell, so that the shell does not report the killed job.)
(
    "$milter" -f -p "unix:$work/milter.sock" 2>/dev/null &
    wait_for_file "$work/milter.sock" 50 && kill -KILL $!
    wait $! 2>/dev/null
) || true
[ -S "$work/milter.sock" ] || fail "no stale socket to test with"
"$milter" -f -p "unix:$work/milter.sock" 2>"$work/milter.log" &
milter_pid=$!
sleep 0.5
kill -0 "$milter_pid" || fail "a stale socket stopped the milter"
if "$milter" -f -p "unix:$work/milter.sock" 2>"$work/err"; then fail "a second milter took a live socket"; fi
grep -q "another milter is listening" "$work/err" || fail "no reason given for the live socket"
echo "protocol tests passed"
