// Add, Edit, Delete, Delete All and "Add * (any domain)" through the scripted toolkit.
#include "window_fixture.h"

namespace {
constexpr unsigned kConfirmStyle = vbYesNo | vbExclamation | vbDefaultButton2;
}

TEST_F(WindowTest, AddOpensWithTheAtSignAndTheCaretAfterIt) {
    Open();
    EXPECT_FALSE(form->ExistsInList("@a.example", 0));  // on an empty list
    EXPECT_FALSE(form->ExistsInList("", 2));
    toolkit.inputAnswers = {"@a.example"};
    Click(*form->Command1[0]);
    ASSERT_EQ(toolkit.inputBoxes.size(), 1u);
    EXPECT_EQ(toolkit.inputBoxes[0].defaultText, "@");
    EXPECT_TRUE(toolkit.inputBoxes[0].caretAfterDefault);
    EXPECT_EQ(toolkit.inputBoxes[0].prompt, "Add new e-mail domain:\r\r  Example:\r@example.com");
    EXPECT_EQ(toolkit.inputBoxes[0].title, "Pellicor setup");
    EXPECT_EQ(StoredRuleList(0), Names({"@a.example"}));
    EXPECT_TRUE(RuleListExists(1) && RuleListExists(2)) << "a save in an empty hive creates every list key";
    // The new entry is selected, with its list's Edit and Delete.
    EXPECT_EQ(form->List1[0]->ListIndex(), 0);
    EXPECT_EQ(EnabledButtons(0), "Add, Edit, Delete, Delete All, Add * (any domain), Import, Export");
}

TEST_F(WindowTest, DomainListsRefuseAnEntryThatDoesNotBeginWithTheAtSign) {
    Open();
    toolkit.inputAnswers = {"example.com", "x@example.com", "@"};
    Click(*form->Command1[1]);
    ASSERT_EQ(toolkit.inputBoxes.size(), 3u);
    // Each refusal reopens the box with what was typed, cleaned.
    EXPECT_EQ(toolkit.inputBoxes[1].defaultText, "example.com");
    EXPECT_EQ(toolkit.inputBoxes[2].defaultText, "x@example.com");
    EXPECT_TRUE(toolkit.messageBoxes.empty());
    EXPECT_EQ(StoredRuleList(1), Names({"@"}));
    // Only the first at sign counts.
    toolkit.inputAnswers = {"@a@b.example"};
    Click(*form->Command1[0]);
    EXPECT_EQ(StoredRuleList(0), Names({"@a@b.example"}));
}

TEST_F(WindowTest, AddressListTakesOneToTwoHundredCharactersBeforeTheAtSign) {
    Open();
    std::string longest = std::string(200, 'a') + "@example.com";
    std::string tooLong = std::string(201, 'b') + "@example.com";
    toolkit.inputAnswers = {"@example.com", tooLong, "x@"};
    Click(*form->Command1[2]);
    EXPECT_EQ(toolkit.inputBoxes.size(), 3u);
    EXPECT_EQ(toolkit.inputBoxes[0].prompt, "Add new e-mail address:\r\r  Example:\rsomeone@example.com");
    toolkit.inputAnswers = {longest};
    Click(*form->Command1[2]);
    EXPECT_EQ(StoredRuleList(2), Names({longest.c_str(), "x@"}));
}

TEST_F(WindowTest, TypedEntriesLoseSeparatorsAndAsterisks) {
    Open();
    toolkit.inputAnswers = {" @a, b;c/d\\e*.example "};
    Click(*form->Command1[0]);
    EXPECT_EQ(StoredRuleList(0), Names({"@abcde.example"}));

    // Nothing left after cleaning ends the command like Cancel.
    toolkit.inputAnswers = {" ,;*/\\"};
    Click(*form->Command1[1]);
    toolkit.inputAnswers = {""};
    Click(*form->Command1[1]);
    EXPECT_EQ(toolkit.inputBoxes.size(), 3u);
    EXPECT_TRUE(StoredRuleList(1).empty());
    EXPECT_TRUE(Items(1).empty());
}

// Entries compare as the registry compares value names, beyond ASCII too.
TEST_F(WindowTest, AddingAnEntryInAnotherCaseKeepsOneAndSelectsIt) {
    StoreRuleList(0, {"@a.example", "@Mixed.Example", "@z.example"});
    StoreRuleList(2, {"J\xC3\xBCrgen@example.com"});
    Open();
    EXPECT_TRUE(form->ExistsInList("@mixed.EXAMPLE", 0));
    EXPECT_FALSE(form->ExistsInList("@mixed.example", 1));
    EXPECT_TRUE(form->ExistsInList("J\xC3\x9CRGEN@EXAMPLE.COM", 2));
    EXPECT_FALSE(form->ExistsInList("Jurgen@example.com", 2));
    const struct {
        size_t list;
        const char* typed;
        size_t entries;
        int16_t selected;
    } adds[] = {{0, "@MIXED.example", 3, 1}, {2, "J\xC3\x9CRGEN@example.com", 1, 0}};
    for (const auto& add : adds) {
        SCOPED_TRACE(add.typed);
        toolkit.inputAnswers = {add.typed};
        Click(*form->Command1[add.list]);
        EXPECT_EQ(Items(static_cast<int>(add.list)).size(), add.entries);
        EXPECT_EQ(StoredRuleList(static_cast<int>(add.list)).size(), add.entries);
        EXPECT_EQ(form->List1[add.list]->ListIndex(), add.selected);
    }
}

TEST_F(WindowTest, EditReplacesTheSelectedEntry) {
    StoreRuleList(2, {"old@example.com", "other@example.com"});
    Open();
    Click(*form->List1[2], 0);
    toolkit.inputAnswers = {"new@example.com"};
    Click(*form->Command2[2]);
    ASSERT_EQ(toolkit.inputBoxes.size(), 1u);
    EXPECT_EQ(toolkit.inputBoxes[0].prompt, "Edit this e-mail address:");
    EXPECT_EQ(toolkit.inputBoxes[0].defaultText, "old@example.com");
    EXPECT_EQ(StoredRuleList(2), Names({"new@example.com", "other@example.com"}));
    EXPECT_EQ(form->List1[2]->ListIndex(), 0);
}

TEST_F(WindowTest, DeleteAsksFirstAndNoChangesNothing) {
    StoreRuleList(1, {"@a.example", "@b.example"});
    Open();
    Click(*form->List1[1], 1);
    toolkit.messageAnswers = {vbNo};
    Click(*form->Command3[1]);
    ASSERT_EQ(toolkit.messageBoxes.size(), 1u);
    EXPECT_EQ(toolkit.messageBoxes[0].prompt, "Are you sure you want to delete the selected item from the list?");
    EXPECT_EQ(toolkit.messageBoxes[0].style, kConfirmStyle);
    EXPECT_EQ(StoredRuleList(1), Names({"@a.example", "@b.example"}));

    toolkit.messageAnswers = {vbYes};
    Click(*form->Command3[1]);
    EXPECT_EQ(StoredRuleList(1), Names({"@a.example"}));
    EXPECT_EQ(EnabledButtons(1), "Add, Delete All, Import, Export");
}

TEST_F(WindowTest, DeleteAllAsksFirst) {
    StoreRuleList(2, {"a@example.com"});
    Open();
    toolkit.messageAnswers = {vbNo, vbYes};
    Click(*form->Command4[2]);
    EXPECT_EQ(StoredRuleList(2).size(), 1u);
    Click(*form->Command4[2]);
    EXPECT_EQ(toolkit.messageBoxes[1].prompt, "Are you sure you want to delete all items from the list?");
    EXPECT_TRUE(StoredRuleList(2).empty());
    EXPECT_TRUE(RuleListExists(2));
    EXPECT_EQ(EnabledButtons(2), "Add, Import");
}

TEST_F(WindowTest, AnyDomainReplacesListZeroOnlyAfterConfirmation) {
    StoreRuleList(0, {"@a.example", "@b.example"});
    StoreRuleList(1, {"@partner.example"});
    StoreRuleList(2, {"boss@example.com"});
    Open();
    toolkit.messageAnswers = {vbNo};
    Click(*form->Command5);
    EXPECT_EQ(StoredRuleList(0).size(), 2u);

    toolkit.messageAnswers = {vbYes};
    Click(*form->Command5);
    EXPECT_EQ(toolkit.messageBoxes[1].prompt,
              "You are about to disable any OOF reply, regardless of its originator e-mail address domain.\r"
              "Only OOF reply addressed to a recipient whose e-mail domain matches any item placed in the "
              "exception list, will be delivered.\r\rAll items from the topmost list will be deleted.\r\rContinue?");
    EXPECT_EQ(toolkit.messageBoxes[1].style, kConfirmStyle);
    EXPECT_EQ(StoredRuleList(0), Names({"*"}));
    EXPECT_EQ(StoredRuleList(1), Names({"@partner.example"}));
    EXPECT_EQ(StoredRuleList(2), Names({"boss@example.com"}));
    EXPECT_EQ(EnabledButtons(0), "Delete All");
}
