// Import and export through the scripted toolkit, and the file parser on its own.
#include <filesystem>

#include <ktmw32.h>

#include "rule_list_file.h"
#include "window_fixture.h"

TEST(RuleListFileTest, SplitsFieldsAtTabsAndCutsEntriesByList) {
    std::string file = "Jo Bloggs\t jo@Example.com \tsales\r\n\r\n@a@b.example\tno at sign\rend@\n  @last.example  ";
    EXPECT_EQ(ParseRuleListFile(file, 0), Names({"@Example.com", "@a@b.example", "@", "@last.example"}));
    EXPECT_EQ(ParseRuleListFile(file, 1), ParseRuleListFile(file, 0));
    EXPECT_EQ(ParseRuleListFile(file, 2), Names({"jo@Example.com", "@a@b.example", "end@", "@last.example"}));
    EXPECT_EQ(ParseRuleListFile("inner space@x .example \r", 2), Names({"inner space@x .example"}));
    EXPECT_TRUE(ParseRuleListFile("", 0).empty());
    EXPECT_TRUE(ParseRuleListFile("\r\n\r\r\n\t\t", 2).empty());
}

TEST(RuleListFileTest, FormatEndsEveryLineWithCrLfAndLeavesOutTheAnyDomainEntry) {
    EXPECT_EQ(FormatRuleListFile(Names({"* (any domain)", "*", "@a.example", "*x"})), "@a.example\r\n*x\r\n");
    EXPECT_EQ(FormatRuleListFile({}), "");
}

TEST_F(WindowTest, ImportAddsNewEntriesOnceAndSavesAll) {
    StoreRuleList(0, {"@known.example"});
    Open();
    auto file = hive.folder() / "domains.txt";
    WriteFile(file, "someone@KNOWN.example\tname\r\n@new.example\r@NEW.example\rx@other.example\t@third.example");
    toolkit.fileNames = {file.string()};
    Click(*form->Command7[0]);
    ASSERT_EQ(toolkit.fileDialogs.size(), 1u);
    EXPECT_EQ(toolkit.fileDialogs[0].title, "Pellicor - Open a file to import from");
    EXPECT_EQ(toolkit.fileDialogs[0].filter, "Text (*.txt) | *.txt");
    EXPECT_EQ(StoredRuleList(0), Names({"@known.example", "@new.example", "@other.example", "@third.example"}));
    EXPECT_TRUE(toolkit.messageBoxes.empty());
}

TEST_F(WindowTest, ImportIntoTheAddressListTakesWholeAddresses) {
    Open();
    auto file = hive.folder() / "addresses.txt";
    WriteFile(file, "  Boss@Example.com \r\nboss@example.com\r\nplain text\r\n");
    toolkit.fileNames = {file.string()};
    Click(*form->Command7[2]);
    EXPECT_EQ(StoredRuleList(2), Names({"Boss@Example.com"}));
}

TEST_F(WindowTest, ImportWithNothingNewLeavesTheRegistryAlone) {
    Open();
    auto file = hive.folder() / "empty.txt";
    WriteFile(file, "no entries here\r\n\r\n");
    toolkit.fileNames = {file.string(), ""};
    Click(*form->Command7[1]);
    Click(*form->Command7[1]);  // cancelled
    EXPECT_FALSE(RuleListExists(1));
    EXPECT_TRUE(toolkit.messageBoxes.empty());
}

TEST_F(WindowTest, ImportFromAnUnreadableFileSaysSoAndChangesNothing) {
    StoreRuleList(1, {"@kept.example"});
    Open();
    toolkit.fileNames = {(hive.folder() / "missing.txt").string(), hive.folder().string()};
    Click(*form->Command7[1]);
    Click(*form->Command7[1]);  // a folder opens but cannot be read
    ASSERT_EQ(toolkit.messageBoxes.size(), 2u);
    EXPECT_NE(toolkit.messageBoxes[0].prompt.find("missing.txt"), std::string::npos);
    EXPECT_TRUE(toolkit.messageBoxes[0].prompt.starts_with("Nothing was imported"));
    EXPECT_TRUE(toolkit.messageBoxes[1].prompt.starts_with("Nothing was imported"));
    EXPECT_EQ(StoredRuleList(1), Names({"@kept.example"}));
}

TEST_F(WindowTest, ExportThenImportRoundTrips) {
    StoreRuleList(0, {"@b.example", "@A.example"});
    StoreRuleList(2, {"x@example.com"});
    Open();
    // "*" joins list 0 from outside; Export stays enabled as it was.
    StoreRuleList(0, {"*", "@b.example", "@A.example"});
    form->RefreshLists();
    ASSERT_TRUE(form->Command8[0]->Enabled());
    auto file = hive.folder() / "list0.txt";
    WriteFile(file, "an older, longer file that must be replaced whole\r\n");
    toolkit.fileNames = {file.string()};
    Click(*form->Command8[0]);
    EXPECT_EQ(toolkit.fileDialogs[0].title, "Pellicor - Select/Create a file to export to");
    EXPECT_EQ(ReadFile(file), "@A.example\r\n@b.example\r\n");

    // Into an empty list 1 and back out again: the same file.
    toolkit.fileNames = {file.string()};
    Click(*form->Command7[1]);
    EXPECT_EQ(StoredRuleList(1), Names({"@A.example", "@b.example"}));
    auto again = hive.folder() / "list1.txt";
    toolkit.fileNames = {again.string()};
    Click(*form->Command8[1]);
    EXPECT_EQ(ReadFile(again), ReadFile(file));

    // Into the list it came from: nothing new.
    toolkit.fileNames = {file.string()};
    Click(*form->Command7[0]);
    EXPECT_EQ(StoredRuleList(0), Names({"*", "@A.example", "@b.example"}));
    EXPECT_EQ(StoredRuleList(2), Names({"x@example.com"}));
}

TEST_F(WindowTest, ExportToAnUnwritablePlaceSaysSoAndLeavesTheFileAlone) {
    StoreRuleList(2, {"x@example.com"});
    Open();
    auto blocked = hive.folder() / "not-a-folder";
    WriteFile(blocked, "");
    auto existing = hive.folder() / "existing.txt";
    WriteFile(existing, "before\r\n");
    // The target is a folder: the temporary file is written, the rename fails.
    std::filesystem::create_directory(hive.folder() / "a-folder.txt");
    toolkit.fileNames = {(blocked / "list.txt").string(), (hive.folder() / "a-folder.txt").string()};
    Click(*form->Command8[2]);
    Click(*form->Command8[2]);
    ASSERT_EQ(toolkit.messageBoxes.size(), 2u);
    EXPECT_TRUE(toolkit.messageBoxes[0].prompt.starts_with("The list was not exported to "));
    EXPECT_TRUE(toolkit.messageBoxes[1].prompt.starts_with("The list was not exported to "));
    EXPECT_EQ(ReadFile(existing), "before\r\n");
    // No temporary file is left behind.
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(hive.folder()))
        files += entry.path().filename().string().starts_with(".") ? 1 : 0;
    EXPECT_EQ(files, 0);
}

TEST_F(WindowTest, ImportStopsAtTheListBoxLimitAndSaysHowManyWereLeftOut) {
    std::string content;
    for (int i = 0; i < kListBoxCapacity + 5; ++i)
        content += "@d" + std::to_string(i) + ".example\r\n";
    content += "@D0.EXAMPLE\r\n";  // a duplicate is not counted as left out
    auto file = hive.folder() / "big.txt";
    WriteFile(file, content);
    Open();
    toolkit.fileNames = {file.string()};
    Click(*form->Command7[1]);
    EXPECT_EQ(form->List1[1]->ListCount(), kListBoxCapacity);
    EXPECT_EQ(StoredRuleList(1).size(), static_cast<size_t>(kListBoxCapacity));
    ASSERT_EQ(toolkit.messageBoxes.size(), 1u);
    EXPECT_NE(toolkit.messageBoxes[0].prompt.find("\r5 entries of"), std::string::npos)
        << toolkit.messageBoxes[0].prompt;

    // A full list takes no typed entry either.
    toolkit.inputAnswers = {"@one-more.example"};
    Click(*form->Command1[1]);
    EXPECT_EQ(toolkit.messageBoxes.size(), 2u);
    EXPECT_EQ(StoredRuleList(1).size(), static_cast<size_t>(kListBoxCapacity));
}

TEST_F(WindowTest, AListLongerThanItsListBoxIsNeverSavedShort) {
    // Written by other means, in one transaction so the seeding stays quick.
    HANDLE transaction = CreateTransaction(nullptr, nullptr, 0, 0, 0, 0, nullptr);
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyTransactedA(HKEY_LOCAL_MACHINE, RuleListKey(1), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                      nullptr, transaction, nullptr),
              ERROR_SUCCESS);
    for (int i = 0; i < kListBoxCapacity + 3; ++i)
        RegSetValueExA(key, ("@d" + std::to_string(i) + ".example").c_str(), 0, REG_SZ, nullptr, 0);
    RegCloseKey(key);
    ASSERT_TRUE(CommitTransaction(transaction));
    CloseHandle(transaction);

    Open();
    EXPECT_EQ(form->List1[1]->ListCount(), kListBoxCapacity);
    toolkit.inputAnswers = {"someone@example.com"};
    Click(*form->Command1[2]);
    ASSERT_EQ(toolkit.messageBoxes.size(), 1u);
    EXPECT_NE(toolkit.messageBoxes[0].prompt.find("not saved"), std::string::npos) << toolkit.messageBoxes[0].prompt;
    EXPECT_EQ(StoredRuleList(1).size(), static_cast<size_t>(kListBoxCapacity) + 3);
    EXPECT_TRUE(StoredRuleList(2).empty());
}
