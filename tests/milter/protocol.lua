-- pellicor-milter over the milter protocol, without an MTA. Run by
-- protocol_test.sh with -D socket=... -D sink=registered|missing.

local function check(ok, what)
    if not ok then error(what, 2) end
end

local function open()
    local conn = mt.connect(socket, 50, 0.1)
    check(conn ~= nil, "cannot connect to " .. socket)
    check(mt.negotiate(conn, nil, nil, nil) == nil, "negotiation failed")
    return conn
end

-- Sends one message on `conn` and returns the milter's final reply.
local function send(conn, m)
    local bare = m.from:gsub("^<(.*)>$", "%1")
    check(mt.macro(conn, SMFIC_MAIL, "{mail_addr}", bare) == nil, "macro")
    check(mt.mailfrom(conn, m.from) == nil, "MAIL FROM")
    for _, rcpt in ipairs(m.rcpts) do check(mt.rcptto(conn, rcpt) == nil, "RCPT TO") end
    for _, h in ipairs(m.headers) do check(mt.header(conn, h[1], h[2]) == nil, "header " .. h[1]) end
    if not mt.test_option(conn, SMFIP_NOEOH) then check(mt.eoh(conn) == nil, "EOH") end
    if not mt.test_option(conn, SMFIP_NOBODY) then
        check(mt.bodystring(conn, m.body or "Hello.\r\n") == nil, "body")
    end
    check(mt.eom(conn) == nil, "EOM")
    return mt.getreply(conn)
end

-- Sends `m` alone on a fresh connection and checks the reply.
local function expect(name, m, wanted)
    local conn = open()
    local reply = send(conn, m)
    mt.disconnect(conn)
    check(reply == wanted, string.format("%s: reply %s, expected %s", name, tostring(reply), tostring(wanted)))
    mt.echo("ok " .. name)
end

local function reply(from, to, extra)
    local headers = {{"From", from}, {"To", to}, {"Subject", "Out of Office: back Monday"},
                     {"Auto-Submitted", "auto-replied"}}
    for _, h in ipairs(extra or {}) do table.insert(headers, h) end
    return {from = "<>", rcpts = {"<" .. to .. ">"}, headers = headers}
end

local DISCARD = SMFIR_DISCARD
local ACCEPT = SMFIR_ACCEPT

-- Hold and monitor modes: a condemned reply is accepted, held first in hold mode.
if mode == "hold" or mode == "monitor" then
    local conn = open()
    check(send(conn, reply("away@condemned.example", "bob@outside.example")) == ACCEPT, mode .. ": not accepted")
    check(mt.eom_check(conn, MT_QUARANTINE) == (mode == "hold"), mode .. ": quarantine request wrong")
    mt.disconnect(conn)
    expect(mode .. " leaves exempt replies alone", reply("away@condemned.example", "carol@partner.example"), ACCEPT)
    mt.echo("ok " .. mode .. " mode")
    return
end

-- The negotiation skips what the filter does not need.
local conn = open()
check(mt.test_option(conn, SMFIP_NOCONNECT), "connect info not skipped")
check(mt.test_option(conn, SMFIP_NOHELO), "HELO not skipped")
check(mt.test_option(conn, SMFIP_NOBODY), "body not skipped, though the marker reads header fields only")
check(mt.test_option(conn, SMFIP_NOEOH), "end of headers not skipped")
mt.disconnect(conn)

if sink == "missing" then
    -- Nothing registered: the failure is logged and the message delivered.
    expect("unregistered sink accepts", reply("away@condemned.example", "bob@outside.example"), ACCEPT)
    return
end

local many = reply("away@condemned.example", "bob@outside.example")
for i = 1, 999 do table.insert(many.rcpts, string.format("<r%d@partner.example>", i)) end

-- Each on a connection of its own: name, message, the reply wanted.
for _, c in ipairs({
    {"condemned reply", reply("away@condemned.example", "bob@outside.example"), DISCARD},
    {"condemned reply with an envelope sender",
     {from = "<away2@condemned.example>", rcpts = {"<bob@outside.example>"},
      headers = {{"From", "away2@condemned.example"}, {"Auto-Submitted", "auto-replied"}}}, DISCARD},
    {"normal mail",
     {from = "<alice@condemned.example>", rcpts = {"<bob@outside.example>"},
      headers = {{"From", "alice@condemned.example"}, {"Subject", "Lunch?"}}}, ACCEPT},
    {"exempt recipient domain", reply("away@condemned.example", "carol@partner.example"), ACCEPT},
    {"exempt sender address", reply("boss@condemned.example", "bob@outside.example"), ACCEPT},
    {"reply from a domain not listed", reply("away@elsewhere.example", "bob@outside.example"), ACCEPT},
    {"bounce",
     {from = "<>", rcpts = {"<bob@outside.example>"},
      headers = {{"From", "MAILER-DAEMON@condemned.example"},
                 {"Content-Type", "multipart/report; report-type=delivery-status; boundary=x"},
                 {"Subject", "Undelivered Mail Returned to Sender"}}}, ACCEPT},
    -- Odd input is judged like any other message, and never crashes the filter.
    -- (miltertest itself cannot send an empty name or a header of a few kilobytes.)
    {"malformed and 8-bit header fields",
     reply("away@condemned.example", "bob@outside.example",
           {{"X-Odd", "caf\xE9 \r bare CR"}, {"No-Colon-Here yes", ""}, {"X-Long", string.rep("x", 900)}}), DISCARD},
    {"a thousand recipients, the first one counts", many, DISCARD},
}) do expect(c[1], c[2], c[3]) end

-- Two messages on one connection: the second starts afresh.
conn = open()
check(send(conn, reply("away@condemned.example", "bob@outside.example")) == DISCARD, "first of two")
check(send(conn, reply("away@condemned.example", "carol@partner.example")) == ACCEPT, "second of two")
mt.disconnect(conn)
mt.echo("ok two messages on one connection")

-- A client that hangs up mid-message, then a message aborted by the MTA.
conn = open()
check(mt.mailfrom(conn, "<>") == nil, "MAIL FROM")
check(mt.rcptto(conn, "<bob@outside.example>") == nil, "RCPT TO")
check(mt.header(conn, "Auto-Submitted", "auto-replied") == nil, "header")
mt.disconnect(conn, false)
conn = open()
check(mt.mailfrom(conn, "<>") == nil, "MAIL FROM")
check(mt.header(conn, "From", "away@condemned.example") == nil, "header")
check(mt.abort(conn) == nil, "abort")
check(send(conn, reply("away@elsewhere.example", "bob@outside.example")) == ACCEPT, "after the abort")
mt.disconnect(conn)
expect("still judging after hang-ups", reply("away@condemned.example", "bob@outside.example"), DISCARD)
