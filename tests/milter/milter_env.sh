# Shared by the milter tests: a private hive with the sink registered and the
# rule lists the tests expect. Needs PELLICOR_REG, PELLICOR_REGSVR, PELLICOR_LIBRARY.

rules_key='HKLM\SOFTWARE\Orlenby\Pellicor'

# Registers the sink in the hive named by PELLICOR_REGISTRY.
register_sink() {
    "$PELLICOR_REGSVR" "$PELLICOR_LIBRARY" >/dev/null
}

add_rule() {  # KEY ENTRY
    "$PELLICOR_REG" add "$rules_key\\$1" /v "$2" /t REG_SZ /d "" /f >/dev/null
}

# Replies from condemned.example are deleted, except to partner.example and from
# boss@condemned.example.
write_test_rules() {
    add_rule ExtOOFdisabledDomains @condemned.example
    add_rule ExtOOFenabledRecipientDomains @partner.example
    add_rule ExtOOFEnabledSenderAddresses boss@condemned.example
}

# Waits up to $2 tenths of a second for the file $1 to appear.
wait_for_file() {
    local tries=$2
    while [ ! -e "$1" ] && [ "$tries" -gt 0 ]; do sleep 0.1; tries=$((tries - 1)); done
    [ -e "$1" ]
}

# Stops process $1 with SIGTERM, then SIGKILL after $2 tenths of a second.
stop_process() {
    local pid=$1 tries=${2:-50}
    kill -0 "$pid" 2>/dev/null || return 0
    kill -TERM "$pid" 2>/dev/null
    while kill -0 "$pid" 2>/dev/null && [ "$tries" -gt 0 ]; do sleep 0.1; tries=$((tries - 1)); done
    kill -0 "$pid" 2>/dev/null && kill -KILL "$pid" 2>/dev/null
    return 0
}
