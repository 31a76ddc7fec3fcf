-- One reply that the test rules condemn, judged by a running pellicor-milter.
-- Run with -D socket=... [-D from=ADDRESS] [-D wanted=accept|either]; fails unless
-- the milter discards it (or, with wanted=accept, accepts it unjudged). With
-- wanted=either it prints "verdict accept" or "verdict discard", and fails on any
-- other reply. The reply comes from away@condemned.example unless from= names another.
local sender = from or "away@condemned.example"
local conn = mt.connect(socket, 50, 0.1)
if conn == nil then error("cannot connect to " .. socket) end
if mt.negotiate(conn, nil, nil, nil) ~= nil then error("negotiation failed") end
if mt.mailfrom(conn, "<>") ~= nil then error("MAIL FROM") end
if mt.rcptto(conn, "<bob@outside.example>") ~= nil then error("RCPT TO") end
for _, h in ipairs({{"From", sender}, {"To", "bob@outside.example"},
                    {"Subject", "Out of Office"}, {"Auto-Submitted", "auto-replied"}}) do
    if mt.header(conn, h[1], h[2]) ~= nil then error("header " .. h[1]) end
end
if not mt.test_option(conn, SMFIP_NOEOH) then mt.eoh(conn) end
if mt.eom(conn) ~= nil then error("EOM") end
local reply = mt.getreply(conn)
mt.disconnect(conn)
if wanted == "either" then
    if reply == SMFIR_ACCEPT then mt.echo("verdict accept")
    elseif reply == SMFIR_DISCARD then mt.echo("verdict discard")
    else error("reply " .. tostring(reply) .. ", neither accept nor discard") end
    return
end
local expected = wanted == "accept" and SMFIR_ACCEPT or SMFIR_DISCARD
if reply ~= expected then error("reply " .. tostring(reply) .. ", expected " .. tostring(expected)) end
