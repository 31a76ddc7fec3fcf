// A save replaces the three lists as one: a reader in another process, reading
// the lists the way the sink does, never finds one missing or half written.
#include <chrono>
#include <cstdio>
#include <future>
#include <string>
#include <thread>

#include <ktmw32.h>

#include "clsRegistry.h"
#include "window_fixture.h"

TEST_F(WindowTest, ReaderNeverSeesAListMissingWhileTheWindowSaves) {
    StoreRuleList(0, {"@a.example", "@b.example", "@c.example"});
    StoreRuleList(1, {"@partner.example", "@other.example"});
    StoreRuleList(2, {"boss@example.com", "ceo@example.com"});
    Open();

    // The reader reads until its input closes; it prints "ready" once it has read every list.
    const std::string output = (hive.folder() / "reader.txt").string();
    FILE* reader = popen((std::string(SETUP_LIST_READER) + " 3 2 2 >'" + output + "'").c_str(), "w");
    ASSERT_NE(reader, nullptr);
    for (int wait = 0; wait < 1000 && ReadFile(output).empty(); ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(ReadFile(output), "ready\n");
    for (int save = 0; save < 500; ++save) form->RefreshRegistry();
    EXPECT_EQ(pclose(reader), 0);

    const std::string result = ReadFile(output);
    long reads = 0, missing = -1, partial = -1;
    ASSERT_EQ(std::sscanf(result.c_str(), "ready reads=%ld missing=%ld partial=%ld", &reads, &missing, &partial), 3)
        << result;
    EXPECT_GT(reads, 3);
    EXPECT_EQ(missing, 0);
    EXPECT_EQ(partial, 0);
    EXPECT_TRUE(toolkit.messageBoxes.empty());
    EXPECT_EQ(StoredRuleList(0).size(), 3u);
}

TEST_F(WindowTest, AChangeFromAnotherProgramIsNeverUndoneBySavingTheStaleLists) {
    StoreRuleList(1, {"@mine.example"});
    Open();
    StoreRuleList(1, {"@theirs.example"});  // another program, while the window is open
    toolkit.inputAnswers = {"@new.example"};
    Click(*form->Command1[0]);
    ASSERT_EQ(toolkit.messageBoxes.size(), 1u);
    EXPECT_EQ(toolkit.messageBoxes[0].prompt,
              "The rule lists were changed by another program. The window now shows them; make your change again.");
    EXPECT_EQ(StoredRuleList(1), Names({"@theirs.example"}));
    EXPECT_TRUE(StoredRuleList(0).empty());
    EXPECT_EQ(Items(1), Names({"@theirs.example"}));
    // Once shown, the change can be made again.
    toolkit.inputAnswers = {"@new.example"};
    Click(*form->Command1[0]);
    EXPECT_EQ(toolkit.messageBoxes.size(), 1u);
    EXPECT_EQ(StoredRuleList(0), Names({"@new.example"}));
}

TEST_F(WindowTest, AChangeCommittedWhileTheSaveWaitsForTheRegistryIsNotOverwritten) {
    StoreRuleList(1, {"@mine.example"});
    Open();
    // Another program holds the registry with its change written but not yet
    // committed when the save begins, and commits while the save waits for it.
    std::promise<void> holding;
    std::thread other([&holding] {
        HANDLE transaction = CreateTransaction(nullptr, nullptr, 0, 0, 0, 0, nullptr);
        clsRegistry(transaction)
            .SetKeyValue(PredefinedKeyArgument(HKEY_LOCAL_MACHINE), RuleListKey(1), "@theirs.example", REG_SZ, "");
        holding.set_value();
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
    ASSERT_EQ(toolkit.messageBoxes.size(), 1u);
    EXPECT_EQ(toolkit.messageBoxes[0].prompt,
              "The rule lists were changed by another program. The window now shows them; make your change again.");
}
