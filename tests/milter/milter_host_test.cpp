// The milter's own logic below the protocol: its command line and how it puts a
// message back together from the pieces the MTA sends.
#include <gtest/gtest.h>

#include "milter_options.h"
#include "milter_outcome.h"
#include "pellicor_version.h"
#include "received_message.h"

namespace {

using namespace std::string_literals;
using pellicor::milter::MilterOptions;
using pellicor::milter::ParseMilterOptions;
using pellicor::milter::ReceivedMessage;

std::optional<MilterOptions> Parse(std::vector<const char*> args, std::string& error) {
    MilterOptions options;
    auto problem = ParseMilterOptions(std::vector<std::string>(args.begin(), args.end()), options);
    if (!problem) return options;
    error = *problem;
    return std::nullopt;
}

TEST(MilterOptions, AcceptsEveryOption) {
    std::string error;
    auto options = Parse(
        {"-p", "inet:8891@127.0.0.1", "-u", "pellicor", "-f", "-P", "/run/p.pid", "-m", "hold", "--stats-interval=60"},
        error);
    ASSERT_TRUE(options) << error;
    EXPECT_EQ(options->mode, pellicor::milter::Mode::Hold);
    EXPECT_EQ(options->statsSeconds, 60u);
    EXPECT_EQ(options->socket, "inet:8891@127.0.0.1");
    EXPECT_EQ(options->user, "pellicor");
    EXPECT_TRUE(options->foreground);
    EXPECT_EQ(options->pidFile, "/run/p.pid");
}

// Every socket form libmilter takes, and the file behind the unix ones.
TEST(MilterOptions, SocketFormsAndTheirFiles) {
    const struct {
        const char* socket;
        const char* file;
    } cases[] = {
        {"unix:/run/m.sock", "/run/m.sock"},
        {"local:/run/m.sock", "/run/m.sock"},
        {"/run/m.sock", "/run/m.sock"},
        {"inet:1@127.0.0.1", ""},
        {"inet6:8891@[::1]", ""},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_TRUE(Parse({"-p", c.socket}, error)) << c.socket << ": " << error;
        EXPECT_EQ(pellicor::milter::UnixSocketPath(c.socket), c.file) << c.socket;
    }
}

TEST(MilterOptions, RejectsWithOneLineReason) {
    for (std::vector<const char*> args : std::vector<std::vector<const char*>>{{},
                                                                               {"-p"},
                                                                               {"-p", ""},
                                                                               {"-p", "tcp:25"},
                                                                               {"-p", "inet:@127.0.0.1"},
                                                                               {"-p", "inet:0@127.0.0.1"},
                                                                               {"-p", "inet:70000@127.0.0.1"},
                                                                               {"-p", "inet:x1@127.0.0.1"},
                                                                               {"-p", "unix:/s", "-q"},
                                                                               {"-p", "unix:/s", "-u"},
                                                                               {"-p", "unix:/s", "-m", "delete"},
                                                                               {"-p", "unix:/s", "-s", "-1"},
                                                                               {"-p", "unix:/s", "stray"},
                                                                               {"-p", "unix:/s", "--mode"}}) {
        std::string error;
        EXPECT_FALSE(Parse(args, error)) << (args.empty() ? "(none)" : args.back());
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(error.find('\n'), std::string::npos);
    }
}

TEST(MilterOptions, HelpAndVersionAnswerAlone) {
    std::string error;
    for (const char* flag : {"-h", "--help", "-V", "--version"}) {
        auto options = Parse({flag}, error);
        ASSERT_TRUE(options) << flag << ": " << error;
        EXPECT_NE(options->answer.find(flag[1] == 'V' || flag[2] == 'v' ? PELLICOR_VERSION : "usage:"), std::string::npos)
            << flag;
    }
}

// What each mode does with each judgement, and what the counters make of it.
TEST(MilterOutcome, ActionsAndCountersByMode) {
    using pellicor::milter::Action;
    using pellicor::milter::Judgement;
    using pellicor::milter::Mode;
    Judgement normal, condemned, failed, failedAfterDeleting;
    condemned.recognised = condemned.deleted = true;
    failed.failed = true;
    failedAfterDeleting.recognised = failedAfterDeleting.deleted = failedAfterDeleting.failed = true;
    struct Case {
        Judgement judgement;
        Mode mode;
        Action action;
    } cases[] = {
        {normal, Mode::Discard, Action::Accept},       {condemned, Mode::Discard, Action::Discard},
        {condemned, Mode::Hold, Action::Quarantine},   {condemned, Mode::Monitor, Action::WouldDiscard},
        {failed, Mode::Discard, Action::AcceptFailed}, {failedAfterDeleting, Mode::Hold, Action::AcceptFailed},
    };
    pellicor::milter::Counters counters;
    for (const Case& c : cases) {
        EXPECT_EQ(pellicor::milter::ActionFor(c.judgement, c.mode), c.action) << ModeName(c.mode);
        counters.Count(c.judgement, c.action);
    }
    counters.CountUnjudged();
    EXPECT_EQ(counters.Line(Mode::Monitor), "counters: judged=6 recognised=4 condemned=3 failed=3 (mode monitor)");
}

// Error lines name what failed, where, and what to do, and keep the status.
TEST(MilterOutcome, FailureReasonsInWords) {
    using pellicor::milter::Step;
    setenv("PELLICOR_REGISTRY", "/tmp/hive.sqlite", 1);
    struct Case {
        Step step;
        HRESULT hr;
        std::vector<std::string> words;
    } cases[] = {
        {Step::CreateSink,
         static_cast<HRESULT>(0x800401F3),
         {"Pellicor.Sink is not registered in /tmp/hive.sqlite: run pellicor-regsvr /", "(0x800401F3)"}},
        {Step::CreateSink, static_cast<HRESULT>(0x800401F8), {"cannot be loaded (no such file)", "(0x800401F8)"}},
        {Step::MessageEvent, static_cast<HRESULT>(0x800401F8), {"message component", "(no such file)"}},
        {Step::Marker, static_cast<HRESULT>(0x8007000E), {"out of memory", "(0x8007000E)"}},
    };
    for (const Case& c : cases) {
        std::string reason = pellicor::milter::FailureReason(c.step, c.hr, "no such file");
        for (const std::string& word : c.words) EXPECT_NE(reason.find(word), std::string::npos) << reason;
    }
    unsetenv("PELLICOR_REGISTRY");
}

// Header lines as sent but ended with CRLF, folds included; body line ends made
// CRLF even when a CR and its LF come in different pieces.
TEST(ReceivedMessage, EveryLineEndsWithCrlf) {
    ReceivedMessage message;
    message.AddHeader("From", "away@example.com", false);
    message.AddHeader("Subject", " kept as sent", true);
    message.AddHeader("X-Folded", "first\n\tsecond", false);
    message.AddHeader("X-Crlf", "one\r\n two", false);
    const std::string pieces[] = {"one\ntwo\r", "\nthree\n", std::string("nul\0byte\xFF\n", 10)};
    for (const std::string& piece : pieces)
        message.AddBody(reinterpret_cast<const unsigned char*>(piece.data()), piece.size());
    EXPECT_EQ(message.content(),
              "From: away@example.com\r\n"
              "Subject: kept as sent\r\n"
              "X-Folded: first\r\n\tsecond\r\n"
              "X-Crlf: one\r\n two\r\n"
              "\r\none\r\ntwo\r\nthree\r\nnul\0byte\xFF\r\n"s);
}

TEST(ReceivedMessage, TakeContentStartsAfresh) {
    ReceivedMessage message;
    message.SetSender("s@example.com");
    message.AddRecipient("r1@example.com");
    message.AddRecipient("r2@example.com");
    message.AddHeader("A", "1", false);
    EXPECT_EQ(message.TakeContent(), "A: 1\r\n");
    EXPECT_EQ(message.content(), "");
    message.AddHeader("B", "2", false);
    message.EndHeaders();
    EXPECT_EQ(message.content(), "B: 2\r\n\r\n");
    EXPECT_EQ(message.recipients(), (std::vector<std::string>{"r1@example.com", "r2@example.com"}));
    EXPECT_EQ(message.sender(), "s@example.com");
}

}  // namespace
