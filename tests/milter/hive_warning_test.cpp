#include "hive_warning.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "winerror.h"

namespace {

using pellicor::milter::HiveWarning;
using namespace std::chrono_literals;

TEST(HiveWarning, WarnsOnceThenAtMostOnceAMinuteAndOnceWhenReadingWorksAgain) {
    const struct {
        const char* name;
        std::vector<std::pair<int, bool>> reads;  // seconds from the start, read failed
        std::vector<char> lines;                  // 'w' warning, 'r' readable again
    } cases[] = {
        {"reading works", {{0, false}, {1, false}}, {}},
        {"a failure", {{0, true}}, {'w'}},
        {"failures within a minute", {{0, true}, {1, true}, {59, true}}, {'w'}},
        {"a failure a minute on", {{0, true}, {30, true}, {60, true}, {61, true}, {120, true}}, {'w', 'w', 'w'}},
        {"recovered", {{0, true}, {1, false}, {2, false}}, {'w', 'r'}},
        {"failing anew after a recovery", {{0, true}, {1, false}, {2, true}}, {'w', 'r', 'w'}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> logged;
        HiveWarning warning([&](const std::string& line) { logged.push_back(line); });
        auto start = HiveWarning::Clock::time_point();
        for (auto [at, failed] : c.reads)
            warning.Report("/var/lib/h.sqlite", failed ? "permission denied" : "", start + std::chrono::seconds(at));
        ASSERT_EQ(logged.size(), c.lines.size());
        for (size_t i = 0; i < logged.size(); ++i) {
            const std::string& line = logged[i];
            EXPECT_NE(line.find("/var/lib/h.sqlite"), std::string::npos) << line;
            if (c.lines[i] == 'w') {
                EXPECT_NE(line.find("cannot read the registry"), std::string::npos) << line;
                EXPECT_NE(line.find("permission denied"), std::string::npos) << line;
                EXPECT_NE(line.find("check that"), std::string::npos) << line;
            } else {
                EXPECT_NE(line.find("can be read again"), std::string::npos) << line;
            }
        }
    }
}

TEST(HiveWarning, AdvisesWhatSuitsAFileOrARulesDatabase) {
    const struct {
        const char* path;
        const char* advice;
        const char* wrong;  // advice that suits the other kind of hive only
    } cases[] = {
        {"/var/lib/h.sqlite", "then restart the milter", "by itself"},
        {"postgresql:///pellicor?host=/run/db&user=pellicor_reader", "judging resumes by itself", "-wal"},
        {"postgres://db.example.net/pellicor", "judging resumes by itself", "restart"},
    };
    for (const auto& c : cases) {
        std::string logged;
        HiveWarning warning([&](const std::string& line) { logged = line; });
        warning.Report(c.path, "unreadable");
        EXPECT_NE(logged.find(c.advice), std::string::npos) << logged;
        EXPECT_EQ(logged.find(c.wrong), std::string::npos) << logged;
    }
}

TEST(HiveWarning, GivesReasonsInWords) {
    // The system's reason when it refused, whatever the registry made of it.
    EXPECT_EQ(pellicor::milter::RegistryFailureReason(ERROR_CANTOPEN, EACCES), "Permission denied");
    EXPECT_EQ(pellicor::milter::RegistryFailureReason(ERROR_REGISTRY_IO_FAILED, EIO), "Input/output error");
    for (long status : {ERROR_ACCESS_DENIED, ERROR_CANTOPEN, ERROR_BADDB, ERROR_REGISTRY_IO_FAILED, ERROR_TIMEOUT}) {
        std::string reason = pellicor::milter::RegistryFailureReason(status, 0);
        EXPECT_EQ(reason.find("error"), std::string::npos) << status << ": " << reason;
    }
    // A database has no file to lock or recover: its reasons say what it did.
    for (long status : {ERROR_ACCESS_DENIED, ERROR_BADDB, ERROR_REGISTRY_IO_FAILED, ERROR_TIMEOUT}) {
        std::string reason = pellicor::milter::RegistryFailureReason(status, 0, true);
        EXPECT_NE(reason.find("rules database"), std::string::npos) << status << ": " << reason;
        for (const char* fileWord : {"file", "lock", "recover"})
            EXPECT_EQ(reason.find(fileWord), std::string::npos) << status << ": " << reason;
    }
}

}  // namespace
