# A private Postfix instance on loopback, for the end-to-end test and the
# benchmark: its own configuration, queue, data and log directories under WORK,
# smtpd on a free 127.0.0.1 port, every service unchrooted, mail relayed to
# smtp-sink on another loopback port, optionally a milter in front.
# postfix_instance_stop stops everything started here; call it from a trap.

postfix_etc="" postfix_master_pid="" sink_pid="" milter_pid=""
smtpd_port="" sink_port=""

# A loopback port nothing listens on, below the range the kernel hands out to
# outgoing connections (smtp-source's and Postfix's own), which no probe can see.
free_port() {
    local port first
    read -r first _ </proc/sys/net/ipv4/ip_local_port_range
    [ "$first" -gt 11000 ] || first=11000
    while :; do
        port=$((10000 + RANDOM % (first - 10000)))
        (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || { echo "$port"; return; }
    done
}

wait_for_port() {  # PORT TENTHS
    local tries=$2
    until (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; do
        tries=$((tries - 1))
        [ "$tries" -gt 0 ] || return 1
        sleep 0.1
    done
}

write_postfix_config() {  # WORK MILTER-SOCKET
    local work=$1 milter_socket=$2
    cat >"$postfix_etc/main.cf" <<CONF
compatibility_level = 3.6
queue_directory = $work/queue
data_directory = $work/data
command_directory = $(postconf -dh command_directory)
daemon_directory = $(postconf -dh daemon_directory)
meta_directory = $(postconf -dh meta_directory)
shlib_directory = $(postconf -dh shlib_directory)
mail_owner = postfix
setgid_group = postdrop
myhostname = pellicor-test.localdomain
mydomain = localdomain
myorigin = \$myhostname
inet_interfaces = loopback-only
inet_protocols = ipv4
mydestination =
local_recipient_maps =
alias_maps =
alias_database =
mynetworks = 127.0.0.0/8
smtpd_relay_restrictions = permit_mynetworks, reject
relayhost = [127.0.0.1]:$sink_port
smtp_dns_support_level = disabled
smtputf8_enable = no
biff = no
message_size_limit = 60000000
in_flow_delay = 0
maillog_file = $work/log/maillog
maillog_file_prefixes = $work/log
CONF
    # tempfail, not the accept a server should use: here a milter that fails must show.
    if [ -n "$milter_socket" ]; then
        cat >>"$postfix_etc/main.cf" <<CONF
smtpd_milters = $milter_socket
non_smtpd_milters = \$smtpd_milters
milter_default_action = tempfail
milter_protocol = 6
CONF
    fi
    cat >"$postfix_etc/master.cf" <<CONF
127.0.0.1:$smtpd_port inet n - n - - smtpd
pickup    unix  n - n 60   1 pickup
cleanup   unix  n - n -    0 cleanup
qmgr      unix  n - n 300  1 qmgr
rewrite   unix  - - n -    - trivial-rewrite
bounce    unix  - - n -    0 bounce
defer     unix  - - n -    0 bounce
trace     unix  - - n -    0 bounce
verify    unix  - - n -    1 verify
flush     unix  n - n 1000? 0 flush
proxymap  unix  - - n -    - proxymap
smtp      unix  - - n -    - smtp
relay     unix  - - n -    - smtp
showq     unix  n - n -    - showq
error     unix  - - n -    - error
retry     unix  - - n -    - error
discard   unix  - - n -    - discard
anvil     unix  - - n -    1 anvil
scache    unix  - - n -    1 scache
postlog   unix-dgram n - n - 1 postlogd
CONF
}

# postfix_instance_start WORK MILTER-SOCKET [MILTER-COMMAND ARGS...]
# With a command, starts it as "COMMAND -f -p SOCKET ARGS..." (log: WORK/milter.log).
postfix_instance_start() {
    local work=$1 milter_socket=$2
    shift 2
    postfix_etc=$work/etc
    mkdir -p "$postfix_etc" "$work/queue" "$work/data" "$work/log" "$work/sink" "$work/milter"
    chmod 755 "$work"
    chown postfix: "$work/data" "$work/milter"
    chown nobody "$work/sink"
    smtpd_port=$(free_port)
    sink_port=$(free_port)
    [ "$sink_port" != "$smtpd_port" ] || sink_port=$(free_port)

    smtp-sink -u nobody -d "$work/sink/%M." "127.0.0.1:$sink_port" 256 &
    sink_pid=$!
    if [ $# -gt 0 ]; then
        "$@" -f -p "$milter_socket" 2>"$work/milter.log" &
        milter_pid=$!
        local path=${milter_socket#unix:}
        wait_for_file "$path" 50 || { echo "the milter did not start" >&2; return 1; }
    fi
    wait_for_port "$sink_port" 50 || { echo "smtp-sink did not start" >&2; return 1; }

    write_postfix_config "$work" "$milter_socket"
    # postfix prints its complaints only to a terminal or syslog: give it a terminal.
    if ! script -qec "postfix -c '$postfix_etc' check" /dev/null >"$work/check.log" 2>&1 ||
       grep -qi "fatal\|error" "$work/check.log"; then
        cat "$work/check.log" >&2
        return 1
    fi
    script -qec "postfix -c '$postfix_etc' start" /dev/null >"$work/start.log" 2>&1 || { cat "$work/start.log" >&2; return 1; }
    wait_for_file "$work/queue/pid/master.pid" 100 || { cat "$work/start.log" >&2; return 1; }
    postfix_master_pid=$(tr -d ' \n' <"$work/queue/pid/master.pid")
    wait_for_port "$smtpd_port" 100 || { echo "smtpd does not answer" >&2; return 1; }
}

# Waits until the queue is empty, at most SECONDS.
postfix_instance_drain() {
    local tries=$(($1 * 10))
    sleep 0.5
    while [ "$tries" -gt 0 ]; do
        if postqueue -c "$postfix_etc" -p 2>/dev/null | grep -q "Mail queue is empty"; then return 0; fi
        sleep 0.1
        tries=$((tries - 1))
    done
    return 1
}

postfix_instance_stop() {
    if [ -n "$postfix_master_pid" ]; then
        postfix -c "$postfix_etc" stop >/dev/null 2>&1 || true
        # "postfix stop" returns before the master has gone.
        stop_process "$postfix_master_pid" 100
        postfix_master_pid=""
    elif [ -n "$postfix_etc" ] && [ -f "$postfix_etc/main.cf" ]; then
        postfix -c "$postfix_etc" abort >/dev/null 2>&1 || true
    fi
    [ -n "$milter_pid" ] && stop_process "$milter_pid"
    [ -n "$sink_pid" ] && stop_process "$sink_pid"
    milter_pid="" sink_pid=""
}
