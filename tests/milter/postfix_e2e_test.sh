#!/usr/bin/env bash
# End to end with a real Postfix: a private instance on loopback relays to smtp-sink,
# pellicor-milter judges every message through the registered sink, swaks sends.
# Condemned out-of-office replies must never reach smtp-sink; everything else must.
# Then hold mode (the reply waits in the hold queue) and monitor mode (it is delivered).
# Everything started here is stopped again, whatever happens.
# Usage: postfix_e2e_test.sh MILTER REG REGSVR LIBRARY   (as root; 77 = skipped)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
milter=$1
export PELLICOR_REG=$2 PELLICOR_REGSVR=$3 PELLICOR_LIBRARY=$4
. "$here/milter_env.sh"
. "$here/postfix_instance.sh"

# Skipped without root or the tools, except in CI, which has both.
skip() { echo "$*"; exit $([ "${CI:-}" = true ] && echo 1 || echo 77); }
[ "$(id -u)" -eq 0 ] || skip "needs root to start Postfix"
for tool in postfix postconf smtp-sink smtp-source swaks script; do
    command -v "$tool" >/dev/null || skip "$tool is not installed"
done

work=$(mktemp -d /tmp/pellicor-e2e-XXXXXX)
trap 'postfix_instance_stop; rm -rf "$work"' EXIT
trap 'exit 1' INT TERM HUP
fail() {
    echo "FAIL: $*" >&2
    echo "--- mail log" >&2; cat "$work/log/maillog" >&2 2>/dev/null || true
    echo "--- milter log" >&2; cat "$work/milter.log" >&2 2>/dev/null || true
    exit 1
}

# The hive: sink registered, rule lists written; the milter runs as postfix.
mkdir -p "$work/hive"
export PELLICOR_REGISTRY="$work/hive/registry.sqlite"
# The milter runs as postfix, which may not see into the build tree: register a copy.
mkdir -p "$work/lib"
cp "$PELLICOR_LIBRARY" "$work/lib/"
chmod -R a+rX "$work/lib"
export PELLICOR_LIBRARY="$work/lib/$(basename "$PELLICOR_LIBRARY")"
register_sink || fail "cannot register the sink"
write_test_rules || fail "cannot write the rule lists"
chown -R postfix: "$work/hive"

postfix_instance_start "$work" "unix:$work/milter/milter.sock" "$milter" -u postfix || fail "cannot start the Postfix instance"

send() {  # CASE ENVELOPE-SENDER FROM-HEADER RECIPIENTS [swaks options...]
    local tag=$1 sender=$2 from=$3 to=$4
    shift 4
    swaks --silent 2 --server 127.0.0.1 --port "$smtpd_port" --helo test.localdomain \
        --from "$sender" --to "$to" --header "From: $from" --header "X-Test-Case: $tag" "$@" \
        >"$work/swaks.$tag.log" 2>&1 || fail "swaks could not send $tag: $(tail -n 3 "$work/swaks.$tag.log")"
}
out_of_office=(--header "Subject: Out of Office: back on Monday" --header "Auto-Submitted: auto-replied")

# A client that hangs up in the middle of the header: nothing crashes.
exec 3<>"/dev/tcp/127.0.0.1/$smtpd_port"
printf 'EHLO test\r\nMAIL FROM:<>\r\nRCPT TO:<bob@outside.example>\r\nDATA\r\nAuto-Submitted: auto-replied\r\nX-Half: ' >&3
sleep 0.5
exec 3>&-

send condemned '<>' away@condemned.example bob@outside.example "${out_of_office[@]}"
send condemned-envelope away2@condemned.example away2@condemned.example bob@outside.example "${out_of_office[@]}"
send normal alice@condemned.example alice@condemned.example bob@outside.example --header "Subject: Lunch?"
send exempt-recipient '<>' away@condemned.example carol@partner.example "${out_of_office[@]}"
send exempt-sender '<>' boss@condemned.example bob@outside.example "${out_of_office[@]}"
send other-domain '<>' away@elsewhere.example bob@outside.example "${out_of_office[@]}"
send bounce '<>' MAILER-DAEMON@condemned.example bob@outside.example \
    --header "Subject: Undelivered Mail Returned to Sender" \
    --header "Content-Type: multipart/report; report-type=delivery-status; boundary=b"
# Odd header fields and body: judged like any other reply (this one is condemned).
send odd-header '<>' away@condemned.example bob@outside.example "${out_of_office[@]}" \
    --header "X-Odd: $(printf 'caf\xe9 \x01 end')" --header "X-Long: $(head -c 20000 /dev/zero | tr '\0' x)" \
    --body "$(printf 'line one\nline \xff two\n')"
many=carol@partner.example
for i in $(seq 1 999); do many+=",r$i@outside.example"; done
send thousand-recipients '<>' away@condemned.example "$many" "${out_of_office[@]}"
# A 50 MB ordinary message.
smtp-source -l 52428800 -m 1 -f alice@condemned.example -t big@outside.example "127.0.0.1:$smtpd_port" \
    || fail "smtp-source could not send the 50 MB message"

postfix_instance_drain 120 || fail "the queue did not empty"

delivered() { grep -l -s "X-Test-Case: $1\$" -r "$work/sink" | head -n 1; }
for tag in condemned condemned-envelope odd-header; do
    [ -z "$(delivered "$tag")" ] || fail "$tag reached the sink"
done
for tag in normal exempt-recipient exempt-sender other-domain bounce thousand-recipients; do
    [ -n "$(delivered "$tag")" ] || fail "$tag did not reach the sink"
done
find "$work/sink" -type f -size +50000k | grep -q . || fail "the 50 MB message did not reach the sink"

# Postfix logs the discards, and so does the milter, one line each.
[ "$(grep -c 'milter triggers DISCARD action' "$work/log/maillog")" -eq 3 ] || fail "Postfix did not log 3 discards"
[ "$(grep -c 'discarded out-of-office reply' "$work/milter.log")" -eq 3 ] || fail "the milter did not log 3 discards"
grep -q "from=<away2@condemned.example> to=<bob@outside.example>" "$work/milter.log" || fail "discard line lacks addresses"
if grep -q "message accepted" "$work/milter.log"; then fail "the milter reported failures"; fi

# The other modes, with the same Postfix: the milter is restarted on its socket.
restart_milter() {  # MODE
    stop_process "$milter_pid"
    "$milter" -u postfix -f -p "unix:$work/milter/milter.sock" -m "$1" 2>"$work/milter.log" &
    milter_pid=$!
    wait_for_file "$work/milter/milter.sock" 50 || fail "the milter did not start in $1 mode"
}

# hold: the condemned reply waits in Postfix's hold queue, with the reason.
restart_milter hold
send held '<>' away@condemned.example bob@outside.example "${out_of_office[@]}"
send held-exempt '<>' away@condemned.example carol@partner.example "${out_of_office[@]}"
held_id=""
for _ in $(seq 1 100); do
    held_id=$(postqueue -c "$postfix_etc" -p 2>/dev/null | sed -n 's/^\([0-9A-F]\{6,\}\)!.*/\1/p' | head -n 1)
    [ -n "$held_id" ] && break
    sleep 0.1
done
[ -n "$held_id" ] || fail "no message on hold: $(postqueue -c "$postfix_etc" -p)"
postcat -c "$postfix_etc" -h -q "$held_id" >"$work/held.txt" 2>&1 || fail "postcat: $(cat "$work/held.txt")"
grep -q "X-Test-Case: held$" "$work/held.txt" || fail "the held message is not the reply: $(cat "$work/held.txt")"
grep -q "$held_id: milter-hold: .*milter triggers HOLD action" "$work/log/maillog" || fail "Postfix did not log the hold"
grep -q "held out-of-office reply from=<> to=<bob@outside.example>" "$work/milter.log" || fail "no hold line"
for _ in $(seq 1 100); do [ -n "$(delivered held-exempt)" ] && break; sleep 0.1; done
[ -n "$(delivered held-exempt)" ] || fail "hold mode kept back an exempt reply"
[ -z "$(delivered held)" ] || fail "the held reply was delivered"
postsuper -c "$postfix_etc" -d ALL hold >/dev/null 2>&1

# monitor: the condemned reply is delivered and logged as "would discard".
restart_milter monitor
send monitored '<>' away@condemned.example bob@outside.example "${out_of_office[@]}"
postfix_instance_drain 60 || fail "the queue did not empty in monitor mode"
[ -n "$(delivered monitored)" ] || fail "monitor mode kept back a reply"
grep -q "would discard out-of-office reply from=<> to=<bob@outside.example>" "$work/milter.log" \
    || fail "monitor mode did not log the reply"
kill -USR1 "$milter_pid"
sleep 0.3
grep -q "counters: judged=1 recognised=1 condemned=1 failed=0 (mode monitor)" "$work/milter.log" \
    || fail "wrong counters in monitor mode: $(grep counters: "$work/milter.log")"
echo "postfix end-to-end test passed"
