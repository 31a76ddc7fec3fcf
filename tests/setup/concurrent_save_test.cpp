// A save replaces the three lists as one: a reader in another process, reading
// them through the registry, never finds one missing or half written.
#include <chrono>
#include <cstdio>
#include <future>
#include <string>
#include <thread>

#include <ktmw32.h>
#include <poll.h>
#include <unistd.h>

#include "clsRegistry.h"
#include "window_fixture.h"

TEST_F(WindowTest, ReaderNeverSeesAListMissingWhileTheWindowSaves) {
    const std::vector<std::string> lists[] = {Names({"@a.example", "@b.example", "@c.example"}),
                                              Names({"@other.example", "@partner.example"}),
                                              Names({"boss@example.com", "ceo@example.com"})};
    for (int k = 0; k < 3; ++k) StoreRuleList(k, lists[k]);
    Open();

    // The reader reads until `stop` closes, says so once it has read every list,
    // and reports its reads and those that found a list other than stored.
    int stop[2], report[2];
    ASSERT_EQ(pipe(stop), 0);
    ASSERT_EQ(pipe(report), 0);
    const pid_t reader = fork();
    if (reader == 0) {
        close(stop[1]);
        long reads = 0, wrong = 0;
        pollfd stopped = {stop[0], POLLIN, 0};
        do {
            for (int k = 0; k < 3; ++k, ++reads) wrong += StoredRuleList(k) != lists[k] ? 1 : 0;
            if (reads == 3 && write(report[1], "r", 1) != 1) _exit(1);
        } while (poll(&stopped, 1, 0) == 0);
        dprintf(report[1], "%ld %ld", reads, wrong);
        _exit(0);
    }
    close(stop[0]);
    close(report[1]);
    char ready = 0;
    ASSERT_EQ(read(report[0], &ready, 1), 1);
    for (int save = 0; save < 500; ++save) form->RefreshRegistry();
    close(stop[1]);
    FILE* result = fdopen(report[0], "r");
    long reads = 0, wrong = -1;
    EXPECT_EQ(std::fscanf(result, "%ld %ld", &reads, &wrong), 2);
    std::fclose(result);
    EXPECT_EQ(ExitCodeOf(reader), 0);
    EXPECT_GT(reads, 3);
    EXPECT_EQ(wrong, 0);
    EXPECT_TRUE(toolkit.messageBoxes.empty());
    EXPECT_EQ(StoredRuleList(0), lists[0]);
}

// Another program changes list 1 after the load: before the save, or while the
// save waits for the registry it holds with the change written but not committed.
TEST_F(WindowTest, AChangeFromAnotherProgramIsNeverUndoneBySavingTheStaleLists) {
    for (bool whileSaving : {false, true}) {
        SCOPED_TRACE(whileSaving ? "committed while the save waits" : "committed before the save");
        StoreRuleList(0, {});
        StoreRuleList(1, {"@mine.example"});
        Open();
        toolkit.messageBoxes.clear();
        std::promise<void> holding;
        std::thread other([&holding, whileSaving] {
            HANDLE transaction = whileSaving ? CreateTransaction(nullptr, nullptr, 0, 0, 0, 0, nullptr) : nullptr;
            clsRegistry(transaction)
                .SetKeyValue(PredefinedKeyArgument(HKEY_LOCAL_MACHINE), RuleListKey(1), "@theirs.example", REG_SZ, "");
            holding.set_value();
            if (!whileSaving) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            CommitTransaction(transaction);
            CloseHandle(transaction);
        });
        holding.get_future().wait();
        toolkit.inputAnswers = {"@new.example"};
        Click(*form->Command1[0]);
        other.join();
        EXPECT_EQ(StoredRuleList(1), Names({"@mine.example", "@theirs.example"}));
        EXPECT_TRUE(StoredRuleList(0).empty());
        EXPECT_EQ(toolkit.messageBoxes.size(), 1u);  // no ASSERT: the other row still runs
        EXPECT_EQ(toolkit.messageBoxes.empty() ? "" : toolkit.messageBoxes[0].prompt,
                  "The rule lists were changed by another program. The window now shows them; make your change "
                  "again.");
        EXPECT_EQ(Items(1), Names({"@mine.example", "@theirs.example"}));
        // Once shown, the change can be made again.
        toolkit.inputAnswers = {"@new.example"};
        Click(*form->Command1[0]);
        EXPECT_EQ(toolkit.messageBoxes.size(), 1u);
        EXPECT_EQ(StoredRuleList(0), Names({"@new.example"}));
    }
}
