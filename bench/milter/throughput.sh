#!/usr/bin/env bash
# Postfix throughput, one run on this machine, through (a) no milter, (b) the
# do-nothing milter, (c) pellicor-milter with rule lists of 1,000 entries each, and
# (b2) the do-nothing milter taking in the envelope and header fields as (c) does,
# which tells what receiving them costs apart from judging.
# smtp-source sends 2,000 out-of-office replies in 10 sessions from a file with LF
# line ends; each reply walks all three lists and is delivered (its sender is the
# last entry of list 3), so every mode delivers the same mail.
# The modes run in turn ROUNDS times (default 5). Other work on the machine moves
# single runs by 20% or more, so the medians are compared, and so are the ratios
# within each round (modes a few seconds apart see much the same machine).
# Each line also gives the milter's resident memory after its run.
# Usage (as root): bench/milter/throughput.sh [BUILD-DIR]   (default: build)
# ENTRIES=32767 (the most a list holds) and SESSIONS=64 (as many milter threads)
# are the large cases. STORE=database keeps the rules in a database on a private
# PostgreSQL server instead of the file; the milter reads it as the read-only role.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
export PELLICOR_REG=$build/bin/pellicor-reg PELLICOR_REGSVR=$build/bin/pellicor-regsvr
export PELLICOR_LIBRARY=$build/lib/libPellicor.so
. "$root/tests/milter/milter_env.sh"
. "$root/tests/milter/postfix_instance.sh"
[ "$(id -u)" -eq 0 ] || { echo "throughput.sh: run as root (it starts Postfix)" >&2; exit 1; }
messages=${MESSAGES:-2000}
sessions=${SESSIONS:-10}
rounds=${ROUNDS:-5}
entries=${ENTRIES:-1000}  # per rule list; a smaller number shows what the lookups cost

store=${STORE:-file}
case $store in file | database) ;; *) echo "throughput.sh: STORE is file or database, not $store" >&2; exit 1 ;; esac

work=$(mktemp -d /tmp/pellicor-bench-XXXXXX)
chmod 755 "$work"
# The database's server runs as postfix, the milter's user: only it reaches the socket.
export PELLICOR_POSTGRES_USER=postfix
postgres_server="$root/tests/support/postgres_server.sh"
stop_all() {
    postfix_instance_stop
    [ "$store" = file ] || "$postgres_server" stop "$work/postgres"
    rm -rf "$work"
}
trap stop_all EXIT
trap 'exit 1' INT TERM HUP

# The hive: the sink and three lists of $entries entries (1,000 by default).
mkdir -p "$work/hive"
if [ "$store" = file ]; then
    export PELLICOR_REGISTRY=$work/hive/registry.sqlite
    reader=$PELLICOR_REGISTRY
else
    "$postgres_server" start "$work/postgres" >/dev/null
    runuser -u postfix -- psql -q -h "$work/postgres" -U pellicor_admin -d postgres -v ON_ERROR_STOP=1 \
        -c "CREATE DATABASE pellicor OWNER pellicor_writer" \
        -c "\\c pellicor" -c "ALTER DEFAULT PRIVILEGES FOR ROLE pellicor_writer GRANT SELECT ON TABLES TO pellicor_reader"
    export PELLICOR_REGISTRY="postgresql:///pellicor?host=$work/postgres&user=pellicor_writer"
    reader="postgresql:///pellicor?host=$work/postgres&user=pellicor_reader"
fi
# The milter runs as postfix, which may not see into the build tree: register a copy.
mkdir -p "$work/lib"
cp "$PELLICOR_LIBRARY" "$work/lib/"
chmod -R a+rX "$work/lib"
export PELLICOR_LIBRARY="$work/lib/$(basename "$PELLICOR_LIBRARY")"
register_sink
{
    echo "Windows Registry Editor Version 5.00"
    for list in ExtOOFdisabledDomains ExtOOFenabledRecipientDomains ExtOOFEnabledSenderAddresses; do
        echo
        echo "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orlenby\\Pellicor\\$list]"
        for i in $(seq -w 1 $((entries - 1))); do
            case $list in
                ExtOOFdisabledDomains) echo "\"@d$i.example\"=\"\"" ;;
                ExtOOFenabledRecipientDomains) echo "\"@r$i.example\"=\"\"" ;;
                *) echo "\"s$i@condemned.example\"=\"\"" ;;
            esac
        done
        case $list in
            ExtOOFdisabledDomains) echo '"@condemned.example"=""' ;;
            ExtOOFenabledRecipientDomains) echo '"@r1000.example"=""' ;;
            *) echo '"exempt@condemned.example"=""' ;;
        esac
    done
} >"$work/rules.reg"
"$PELLICOR_REG" import "$work/rules.reg" >/dev/null
for list in ExtOOFdisabledDomains ExtOOFenabledRecipientDomains ExtOOFEnabledSenderAddresses; do
    count=$("$PELLICOR_REG" query "$rules_key\\$list" | grep -c REG_SZ || true)
    [ "$count" -eq "$entries" ] || { echo "throughput.sh: $list holds $count entries, not $entries" >&2; exit 1; }
done
chown -R postfix: "$work/hive"

printf '%s\n' "From: exempt@condemned.example" "To: bob@outside.example" \
    "Subject: Out of Office: back on Monday" "Auto-Submitted: auto-replied" "" \
    "I am away until Monday and will read your mail when I am back." >"$work/reply.txt"

run() {  # NAME MILTER-COMMAND...
    local name=$1 dir="$work/$1.$round"
    shift
    mkdir -p "$dir"
    if [ $# -gt 0 ]; then
        postfix_instance_start "$dir" "unix:$dir/milter/milter.sock" "$@"
    else
        postfix_instance_start "$dir" ""
    fi
    local start end
    start=$(date +%s.%N)
    smtp-source -s "$sessions" -m "$messages" -F "$work/reply.txt" -f exempt@condemned.example \
        -t bob@outside.example "127.0.0.1:$smtpd_port"
    postfix_instance_drain 600
    end=$(date +%s.%N)
    local delivered rss=0
    delivered=$(grep -c "status=sent" "$dir/log/maillog" || true)
    # The milter's resident memory once every message has been judged.
    [ -n "$milter_pid" ] && rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$milter_pid/status" 2>/dev/null || echo 0)
    # And, on a database, how many connections the milter holds to it.
    local connections=""
    if [ "$store" = database ] && [ "$name" = pellicor ]; then
        connections=$(runuser -u postfix -- psql -tA -h "$work/postgres" -U pellicor_admin -d postgres \
            -c "SELECT count(*) FROM pg_stat_activity WHERE usename = 'pellicor_reader'")
        connections=" $connections database connections"
    fi
    postfix_instance_stop
    awk -v n="$name" -v m="$messages" -v d="$delivered" -v s="$start" -v e="$end" -v r="$rss" -v c="$connections" \
        'BEGIN { printf "%-10s %6d messages %6d delivered %8.2f s %8.1f messages/s %7.1f MB milter%s\n",
                 n, m, d, e - s, m / (e - s), r / 1024, c }' |
        tee -a "$work/results"
}

for round in $(seq 1 "$rounds"); do
    run none
    run nothing "$build/bin/nothing-milter"
    run envelope "$build/bin/nothing-milter" -e
    run pellicor env PELLICOR_REGISTRY="$reader" "$build/bin/pellicor-milter" -u postfix
done
# Targets: 0.97 of the do-nothing milter up to 1,000 entries per list, 0.9 beyond.
target=$([ "$entries" -le 1000 ] && echo 0.97 || echo 0.90)
awk -v rounds="$rounds" -v target="$target" '
    function median(list, n,    sorted, i, j, t) {
        for (i = 1; i <= n; i++) sorted[i] = list[i]
        for (i = 2; i <= n; i++) for (j = i; j > 1 && sorted[j - 1] > sorted[j]; j--) {
            t = sorted[j]; sorted[j] = sorted[j - 1]; sorted[j - 1] = t
        }
        return n % 2 ? sorted[(n + 1) / 2] : (sorted[n / 2] + sorted[n / 2 + 1]) / 2
    }
    { n[$1]++; rate[$1, n[$1]] = $8; runs[$1] = runs[$1] " " $8 }
    END {
        split("none nothing envelope pellicor", modes, " ")
        for (m = 1; m <= 4; m++) {
            for (i = 1; i <= n[modes[m]]; i++) list[i] = rate[modes[m], i]
            med[modes[m]] = median(list, n[modes[m]])
            printf "%-10s median %8.1f messages/s  (runs:%s)\n", modes[m], med[modes[m]], runs[modes[m]]
        }
        for (i = 1; i <= rounds; i++) { byNothing[i] = rate["pellicor", i] / rate["nothing", i]
                                        byEnvelope[i] = rate["pellicor", i] / rate["envelope", i] }
        printf "pellicor / nothing  = %.3f of the medians, %.3f the median of the rounds (target >= %s)\n",
            med["pellicor"] / med["nothing"], median(byNothing, rounds), target
        printf "pellicor / envelope = %.3f of the medians, %.3f the median of the rounds\n",
            med["pellicor"] / med["envelope"], median(byEnvelope, rounds)
    }' "$work/results"
