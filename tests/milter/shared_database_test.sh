#!/usr/bin/env bash
# Several pellicor-milters ("mail servers") judging with one rules database: a change
# made with pellicor-reg or in the terminal window reaches every milter within a
# second; the database stopped and started again under traffic changes no verdict;
# a milter reading a hot standby follows the primary; a milter started while the
# database is down delivers everything and says why. The PostgreSQL servers are the
# test's own (it stops and starts them), in a temporary folder.
# Usage: shared_database_test.sh MILTER REG REGSVR LIBRARY [SETUP]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
milter=$1
export PELLICOR_REG=$2 PELLICOR_REGSVR=$3 PELLICOR_LIBRARY=$4
setup=${5:+$(realpath "$5")}
. "$here/milter_env.sh"
servers=$here/../support/postgres_server.sh
reply_script=$here/condemned_reply.lua

# Skipped where a tool is missing, except in CI, which installs them all.
missing() { echo "$1"; exit "$([ "${CI:-}" = true ] && echo 1 || echo 77)"; }
command -v miltertest >/dev/null || missing "miltertest is not installed"
command -v psql >/dev/null || missing "psql is not installed"
ls /usr/lib/postgresql/*/bin/pg_basebackup >/dev/null 2>&1 || missing "PostgreSQL's server programs are not installed"
window=yes
if [ -z "$setup" ] || ! command -v tmux >/dev/null; then
    [ "${CI:-}" = true ] && { echo "FAIL: the window case needs PellicorSetup and tmux" >&2; exit 1; }
    window=""
fi

work=$(mktemp -d /tmp/pellicor-shared-db-XXXXXX)
chmod 0711 "$work"  # each server runs as its own user in a folder of its own in here
primary=$work/primary
standby=$work/standby
tmux_socket=$work/tmux.sock  # in the folder, so that it goes with it
declare -A milter_pids=()
cleanup() {
    set +e  # everything is stopped and removed, whatever fails on the way
    local name
    for name in "${!milter_pids[@]}"; do stop_process "${milter_pids[$name]}"; done
    [ -n "$window" ] && tmux -S "$tmux_socket" kill-server 2>/dev/null
    "$servers" stop "$standby" >/dev/null 2>&1
    "$servers" stop "$primary" >/dev/null 2>&1
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

fail() {
    echo "FAIL: $*" >&2
    local log
    for log in "$work"/milter-*.log "$work/window.log"; do
        [ -f "$log" ] && { echo "--- $log" >&2; cat "$log" >&2; }
    done
    exit 1
}

now_ms() { echo $(($(date +%s%N) / 1000000)); }

admin_sql() {  # SERVER-DIR DATABASE STATEMENT
    psql -q -X -h "$1" -U pellicor_admin -d "$2" -v ON_ERROR_STOP=1 -c "$3" >/dev/null
}

reader_uri() { echo "postgresql:///pellicor?host=$1&user=pellicor_reader"; }  # SERVER-DIR

start_milter() {  # NAME SERVER-DIR
    PELLICOR_REGISTRY=$(reader_uri "$2") "$milter" -f -p "unix:$work/$1.sock" 2>"$work/milter-$1.log" &
    milter_pids[$1]=$!
    wait_for_file "$work/$1.sock" 200 || fail "milter $1 did not open its socket"
}

# The milter's verdict on an out-of-office reply from SENDER: accept or discard.
verdict() {  # MILTER SENDER
    local said
    said=$(miltertest -D socket="unix:$work/$1.sock" -D from="$2" -D wanted=either -s "$reply_script" 2>&1) ||
        { echo "miltertest failed: $said"; return 1; }
    case "$said" in
    *"verdict accept"*) echo accept ;;
    *"verdict discard"*) echo discard ;;
    *) echo "no verdict: $said"; return 1 ;;
    esac
}

expect_verdict() {  # MILTER SENDER WANTED WHEN
    local got
    got=$(verdict "$1" "$2") || fail "milter $1, $4: $got"
    [ "$got" = "$3" ] || fail "milter $1, $4: a reply from $2 was given $got, expected $3"
}

# Waits (generously: start-up on a loaded machine) until the milter gives that verdict.
await_verdict() {  # MILTER SENDER WANTED WHAT
    local tries=400 got
    while [ $tries -gt 0 ]; do
        got=$(verdict "$1" "$2") || fail "milter $1, $4: $got"
        [ "$got" = "$3" ] && return 0
        sleep 0.05
        tries=$((tries - 1))
    done
    fail "milter $1 did not $3 a reply from $2 $4"
}

# After a change that turned the verdict on replies from SENDER into WANTED, made
# by the time START (ms), polls each milter named about every 50 ms for the first
# verdict that reflects it; prints each delay and fails over a second. Every later
# reply keeps the new verdict.
change_reached() {  # START SENDER WANTED WHAT MILTER...
    local start=$1 sender=$2 wanted=$3 what=$4
    shift 4
    local -A delay=()
    local name got left=$#
    while [ $left -gt 0 ] && [ $(($(now_ms) - start)) -lt 10000 ]; do
        for name in "$@"; do
            [ -n "${delay[$name]:-}" ] && continue
            got=$(verdict "$name" "$sender") || fail "milter $name, after $what: $got"
            if [ "$got" = "$wanted" ]; then
                delay[$name]=$(($(now_ms) - start))
                left=$((left - 1))
            fi
        done
        sleep 0.05
    done
    for name in "$@"; do
        [ -n "${delay[$name]:-}" ] || fail "$what did not reach milter $name in 10 s"
        echo "$what reached milter $name in ${delay[$name]} ms"
        [ "${delay[$name]}" -le 1000 ] || fail "$what took ${delay[$name]} ms to reach milter $name"
        expect_verdict "$name" "$sender" "$wanted" "the reply after $what"
    done
}

count_lines() { grep -c -- "$2" "$work/milter-$1.log" || true; }  # MILTER TEXT

# Waits up to 30 s for a line in the milter's log.
await_line() {  # MILTER TEXT
    local tries=300
    while [ "$(count_lines "$1" "$2")" -eq 0 ] && [ $tries -gt 0 ]; do sleep 0.1; tries=$((tries - 1)); done
    [ "$(count_lines "$1" "$2")" -gt 0 ] || fail "milter $1 did not log \"$2\" in 30 s"
}

# Sends replies to the milters for SECONDS, or until the command run in the
# background with PID ends (PID 0: none); each must get the verdict the rules gave
# before: replies from away@ delivered, from away3@ discarded.
traffic() {  # SECONDS PID MILTER...
    local until=$(($(now_ms) + $1 * 1000)) pid=$2 name
    shift 2
    while [ "$(now_ms)" -lt $until ]; do
        for name in "$@"; do
            expect_verdict "$name" away@condemned.example accept "with the database $phase"
            expect_verdict "$name" away3@condemned.example discard "with the database $phase"
            sent=$((sent + 2))
        done
        if [ "$pid" -ne 0 ] && ! kill -0 "$pid" 2>/dev/null; then break; fi
    done
}

# --- One database, the rules written as the writing role, read by two milters as the reading role.
"$servers" start "$primary" >/dev/null
admin_sql "$primary" postgres "CREATE DATABASE pellicor OWNER pellicor_writer"
admin_sql "$primary" pellicor \
    "ALTER DEFAULT PRIVILEGES FOR ROLE pellicor_writer GRANT SELECT ON TABLES TO pellicor_reader"
export PELLICOR_REGISTRY="postgresql:///pellicor?host=$primary&user=pellicor_writer"
register_sink
write_test_rules
start_milter a "$primary"
start_milter b "$primary"
for name in a b; do
    await_verdict $name away@condemned.example discard "after starting"
    expect_verdict $name away@elsewhere.example accept "a reply from a domain not listed"
done

# --- A change made with pellicor-reg reaches both.
add_rule ExtOOFEnabledSenderAddresses away@condemned.example
change_reached "$(now_ms)" away@condemned.example accept "a change made with pellicor-reg" a b

# --- A change made in the terminal window reaches both.
if [ -n "$window" ]; then
    tmux_() { tmux -S "$tmux_socket" "$@"; }
    screen() { tmux_ capture-pane -p 2>&1; }
    # Waits up to 10 s until the screen shows TEXT (or, with "gone", no longer does).
    await_screen() {  # TEXT [gone]
        local tries=500 shown
        while [ $tries -gt 0 ]; do
            shown=no
            screen | grep -qF -- "$1" && shown=yes
            if [ "${2:-}" = gone ]; then [ $shown = no ] && return 0; else [ $shown = yes ] && return 0; fi
            sleep 0.02
            tries=$((tries - 1))
        done
        fail "the window $([ "${2:-}" = gone ] && echo still shows || echo does not show) \"$1\": $(screen)"
    }
    # Tabs to the button of that caption in the row of buttons of list SECTION (3: the last row).
    focus_on() {  # CAPTION SECTION
        local tries
        for tries in $(seq 60); do
            screen | awk -v want="<$1>" -v section="$2" '
                /Import|Exit/ { if (row == section && index($0, want)) found = 1; row++ }
                END { exit !found }' && return 0
            tmux_ send-keys Tab
            sleep 0.03
        done
        fail "no focus on $1 in the window: $(screen)"
    }
    tmux_ new-session -d -x 80 -y 24 "cd $work && exec env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
LANG=C.UTF-8 PELLICOR_REGISTRY='$PELLICOR_REGISTRY' '$setup' --terminal 2>$work/window.log"
    await_screen "[Exit]"
    await_screen "boss@condemned.example"  # the lists read from the database
    expect_verdict a away2@condemned.example discard "before the window's change"
    focus_on Add 2
    tmux_ send-keys Enter
    await_screen "Add new e-mail address:"
    tmux_ send-keys BSpace
    tmux_ send-keys -l away2@condemned.example
    await_screen away2@condemned.example
    start=$(now_ms)
    tmux_ send-keys Enter  # stored when the dialog closes
    change_reached "$start" away2@condemned.example accept "a change made in the window" a b
    await_screen "Add new e-mail address:" gone
    focus_on Exit 3
    tmux_ send-keys Enter
    tries=100
    while tmux_ has-session 2>/dev/null && [ $tries -gt 0 ]; do sleep 0.05; tries=$((tries - 1)); done
    tmux_ has-session 2>/dev/null && fail "the window did not close: $(screen)"
    [ ! -s "$work/window.log" ] || fail "the window said: $(cat "$work/window.log")"
else
    echo "the window case was skipped: no PellicorSetup or no tmux"
fi

# --- The database stopped and started again while replies keep coming.
for name in a b; do expect_verdict $name away3@condemned.example discard "before the stop"; done
sent=0
# Runs postgres_server.sh ACTION on the primary while replies keep coming to both
# milters, for at most SECONDS.
under_traffic() {  # ACTION SECONDS PHASE-WHILE PHASE-AFTER
    "$servers" "$1" "$primary" &
    local job=$!
    phase=$3
    traffic "$2" $job a b
    wait $job || fail "the database did not $1"
    phase=$4
}
under_traffic pause 30 "stopping" "stopped"
traffic 3 0 a b
under_traffic resume 60 "starting" "started again"
# The milters wait a while between attempts to reach it: up to ten seconds.
deadline=$(($(now_ms) + 30000))
for name in a b; do
    until [ "$(count_lines $name "rules database reachable again")" -gt 0 ]; do
        [ "$(now_ms)" -lt $deadline ] || fail "milter $name did not log that the database was back within 30 s"
        traffic 1 0 a b
    done
done
echo "$sent replies judged while the database was stopped and started again, each as the rules said"
for name in a b; do
    [ "$(count_lines $name "rules database unreachable since .*; judging with the rules read at ")" -eq 1 ] ||
        fail "milter $name did not log the unreachable database once"
    [ "$(count_lines $name "rules database reachable again")" -eq 1 ] ||
        fail "milter $name did not log once that the database was back"
    [ "$(count_lines $name "unreachable")" -eq 1 ] || fail "milter $name logged the unreachable database more than once"
    # What the database's server says goes to the milter's log too, no line of it apart.
    stray=$(grep -v "^pellicor-milter: " "$work/milter-$name.log" || true)
    [ -z "$stray" ] || fail "milter $name wrote lines outside its log: $stray"
done
add_rule ExtOOFEnabledSenderAddresses away3@condemned.example
change_reached "$(now_ms)" away3@condemned.example accept "a change made after the restart" a b

# --- A milter reading a hot standby, where no notifications arrive, follows the primary.
"$servers" standby "$primary" "$standby" >/dev/null
start_milter c "$standby"
await_verdict c away3@condemned.example accept "reading the standby"
expect_verdict c away4@condemned.example discard "reading the standby"
add_rule ExtOOFEnabledSenderAddresses away4@condemned.example
change_reached "$(now_ms)" away4@condemned.example accept "a change made on the primary" c a b

# --- A milter started while the database is down never read the rules: it delivers
# every reply and says why; once the database is back it judges.
"$servers" pause "$primary"
start_milter d "$primary"
await_line d "no rules were read yet, so every message is delivered"
expect_verdict d away5@condemned.example accept "before it read the rules"
await_line d "cannot read the registry .*judging resumes by itself once it can be read"
! grep -E -- "-wal|restart the milter|holds it locked" "$work/milter-d.log" ||
    fail "milter d gave a file's reasons for a database"
expect_verdict c away5@condemned.example discard "with the primary down"
"$servers" resume "$primary"
await_verdict d away5@condemned.example discard "once the database was back"
await_line d "rules database reachable again"
echo "shared database tests passed"
