// pellicor-submit's command line, message reading and exit statuses, with the
// event fired at a stand-in that records what the sink would have seen.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include <unistd.h>

#include "mail_reads.h"
#include "submit_command.h"

namespace {

// What the sink was given, read as the sink reads it.
struct Seen {
    int events = 0;
    std::string sender, recipients;
    bool marked = false;
};

Seen seen;

// Deletes every marked message, as a sink with "*" in list 0 and nothing else would.
HRESULT recordingSink(IMailMsgProperties* message, platform::smtp::Verdict* verdict, bool, std::string&) {
    seen = {seen.events + 1, StringProperty(message, IMMPID_MP_SENDER_ADDRESS_SMTP), RecipientsOf(message),
            MarkerOf(message) == "ExOOF"};
    if (seen.marked) message->PutDWORD(IMMPID_MP_MESSAGE_STATUS, MP_STATUS_ABORT_DELIVERY);
    *verdict = platform::smtp::ReadVerdict(message);
    return S_OK;
}

struct Outcome {
    int status;
    std::string out, err;
};

// Runs the command with `input` on standard input.
Outcome run(std::vector<std::string> args, const std::string& input = "") {
    seen = Seen{};
    std::FILE* in = std::tmpfile();
    std::fwrite(input.data(), 1, input.size(), in);
    std::rewind(in);
    std::ostringstream out, err;
    int status = pellicor::submit::RunSubmit(args, recordingSink, in, out, err);
    std::fclose(in);
    return {status, out.str(), err.str()};
}

bool oneLine(const std::string& text) { return !text.empty() && text.find('\n') == text.size() - 1; }

const char kAutoReply[] = "From: Ann <ann@example.com>\r\nAuto-Submitted: auto-replied\r\n\r\nAway\r\n";
const char kOrdinary[] = "From: Ann <ann@example.com>\r\nSubject: lunch\r\n\r\nNoon?\r\n";

// The verdict is the only line; the sink sees the sender, the recipients and the
// marker as the options and the message give them.
TEST(Submit, PrintsTheVerdictOfWhatTheSinkSaw) {
    char path[] = "/tmp/pellicor-submit-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, kAutoReply, sizeof kAutoReply - 1), ssize_t(sizeof kAutoReply - 1));
    close(fd);
    const struct {
        std::vector<std::string> args;
        const char* input;
        const char* sender;
        const char* recipients;
        bool marked;
    } cases[] = {
        {{"--from", "", "--to", "bob@partner.example"}, kAutoReply, "ann@example.com", "bob@partner.example ", true},
        {{"--from=<relay@example.org>", "--to=b@c"}, kOrdinary, "relay@example.org", "b@c ", false},
        {{"--marker", "on", "--from", "a@b", "--to", "c@d"}, kOrdinary, "a@b", "c@d ", true},
        {{"--marker", "off", "--from", "a@b", "--to", "c@d"}, kAutoReply, "a@b", "c@d ", false},
        {{"--marker", "auto", "--from=<>", "--to", "e@f", "--to=c@d"}, kAutoReply, "ann@example.com", "e@f c@d ", true},
        {{"--from", "", "--to", "b@c", path}, "", "ann@example.com", "b@c ", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1]);
        Outcome result = run(c.args, c.input);
        EXPECT_EQ(result.status, pellicor::submit::kExitOk);
        EXPECT_EQ(result.out, c.marked ? "deleted\n" : "delivered\n");
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(seen.sender, c.sender);
        EXPECT_EQ(seen.recipients, c.recipients);
        EXPECT_EQ(seen.marked, c.marked);
    }
    unlink(path);
}

TEST(Submit, RefusesBadInputWithOneLineAndStatus2) {
    const std::vector<std::vector<std::string>> bad = {
        {"--from", "a@b"},              // no recipient
        {"--to", "c@d"},                // no sender
        {"--from", "a@b", "--to", ""},  // empty recipient
        {"--from", "a@b", "--to", "c@d", "--marker", "maybe"},
        {"--from", "a@b", "--to", "c@d", "--bcc", "e@f"},
        {"--from", "a@b", "--to", "c@d", "--to"},
        {"--from", "a@b", "--from", "x@y", "--to", "c@d"},
        {"--from", "a@b", "--to", "c@d", "one.eml", "two.eml"},
        {"--from", "a\r\nb@c", "--to", "c@d"},
        {"--from", "a@b", "--to", "c@d", "/nonexistent/message.eml"},
        {"--from", "a@b", "--to", "c@d", "/"},
    };
    for (const auto& args : bad) {
        Outcome result = run(args, kOrdinary);
        EXPECT_EQ(result.status, pellicor::submit::kExitBadInput) << result.err;
        EXPECT_TRUE(oneLine(result.err)) << result.err;
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(seen.events, 0);
    }
}

TEST(Submit, AcceptsSixtyFourMebibytesAndRefusesOneByteMore) {
    std::string message = kOrdinary;
    message.resize(pellicor::submit::kMaxMessageBytes, 'x');
    EXPECT_EQ(run({"--from", "a@b", "--to", "c@d"}, message).out, "delivered\n");
    message.push_back('x');
    Outcome over = run({"--from", "a@b", "--to", "c@d"}, message);
    EXPECT_EQ(over.status, pellicor::submit::kExitBadInput);
    EXPECT_NE(over.err.find("64 MiB"), std::string::npos);
    EXPECT_EQ(seen.events, 0);
}

}  // namespace
