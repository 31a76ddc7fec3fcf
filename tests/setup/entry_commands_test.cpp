// Add, Edit, Delete, Delete All and "Add * (any domain)" through the scripted toolkit.
#include "window_fixture.h"

namespace {
constexpr unsigned kConfirmStyle = vbYesNo | vbExclamation | vbDefaultButton2;
}

// Per list, what Add takes: each refused answer reopens the box with the answer
// cleaned of separators and asterisks; one that cleans to nothing ends the command
// as Cancel does. An entry equal to one of its list without regard to case, as the
// registry compares names (beyond ASCII too), is not added again but selected. A
// box opens on the at sign with the caret after it; what is added is selected, and
// the first save into the empty hive creates every list key.
TEST_F(WindowTest, AddTakesOnlyANewEntryOfItsListsFormCleanedOfSeparatorsAndAsterisks) {
    Open();
    const std::string longest = std::string(200, 'a') + "@example.com";
    const std::string tooLong = std::string(201, 'b') + "@example.com";
    const std::string jurgen = "J\xC3\xBCrgen@example.com";
    struct Case {
        int list;
        std::vector<std::string> answers;
        std::vector<std::string> defaults;  // of the boxes shown, in turn
        std::vector<std::string> stored;    // the list afterwards
        const char* selected;               // afterwards; "" for nothing
    };
    const Case cases[] = {
        // A domain begins with the at sign; only the first one counts.
        {1, {"example.com", "x@example.com", "@"}, {"@", "example.com", "x@example.com"}, {"@"}, "@"},
        {0, {"@a@b.example"}, {"@"}, {"@a@b.example"}, "@a@b.example"},
        // An address has 1 to 200 characters before it.
        {2, {"@example.com", tooLong, "x@"}, {"@", "@example.com", tooLong}, {"x@"}, "x@"},
        {2, {jurgen}, {"@"}, {jurgen, "x@"}, jurgen.c_str()},
        {2, {longest}, {"@"}, {jurgen, longest, "x@"}, longest.c_str()},
        {2, {"J\xC3\x9CRGEN@EXAMPLE.com"}, {"@"}, {jurgen, longest, "x@"}, jurgen.c_str()},
        {0, {" @a, b;c/d\\e*.example "}, {"@"}, {"@a@b.example", "@abcde.example"}, "@abcde.example"},
        {0, {"@A@B.example"}, {"@"}, {"@a@b.example", "@abcde.example"}, "@a@b.example"},
        {1, {" ,;*/\\"}, {"@"}, {"@"}, ""},
        {1, {""}, {"@"}, {"@"}, ""},
        // Another list's entry is no duplicate.
        {1, {"@abcde.example"}, {"@"}, {"@", "@abcde.example"}, "@abcde.example"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answers.front());
        const size_t first = toolkit.inputBoxes.size();
        toolkit.inputAnswers.assign(c.answers.begin(), c.answers.end());
        Click(*form->Command1[static_cast<size_t>(c.list)]);
        std::vector<std::string> defaults;
        for (size_t i = first; i < toolkit.inputBoxes.size(); ++i)
            defaults.push_back(toolkit.inputBoxes[i].defaultText);
        EXPECT_EQ(defaults, c.defaults);
        EXPECT_EQ(toolkit.inputBoxes[first].prompt, c.list == 2
                                                        ? "Add new e-mail address:\r\r  Example:\rsomeone@example.com"
                                                        : "Add new e-mail domain:\r\r  Example:\r@example.com");
        EXPECT_EQ(toolkit.inputBoxes[first].title, "Pellicor setup");
        EXPECT_TRUE(toolkit.inputBoxes[first].caretAfterDefault);
        EXPECT_EQ(StoredRuleList(c.list), c.stored);
        EXPECT_EQ(Items(c.list).size(), c.stored.size());
        for (int k = 0; k < 3; ++k) EXPECT_TRUE(RuleListExists(k)) << k;
        const ListBox& box = *form->List1[static_cast<size_t>(c.list)];
        EXPECT_EQ(box.List(box.ListIndex()), c.selected);
        if (box.ListIndex() >= 0) {
            EXPECT_TRUE(form->Command2[static_cast<size_t>(c.list)]->Enabled() &&
                        form->Command3[static_cast<size_t>(c.list)]->Enabled());
        }
    }
    EXPECT_TRUE(toolkit.messageBoxes.empty());
    // The window's own comparison, beyond ASCII too: the registry would hide a fault in it.
    EXPECT_TRUE(form->ExistsInList("@A@B.EXAMPLE", 0));
    EXPECT_FALSE(form->ExistsInList("@a@b.example", 1));
    EXPECT_TRUE(form->ExistsInList("J\xC3\x9CRGEN@EXAMPLE.COM", 2));
    EXPECT_FALSE(form->ExistsInList("Jurgen@example.com", 2));
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

// Delete, Delete All and "Add * (any domain)" ask first: No changes nothing,
// Yes changes their list alone.
TEST_F(WindowTest, DestructiveCommandsAskFirstAndNoChangesNothing) {
    StoreRuleList(0, {"@a.example", "@b.example"});
    StoreRuleList(1, {"@c.example", "@d.example"});
    StoreRuleList(2, {"boss@example.com"});
    Open();
    struct Case {
        int list;
        int16_t selected;  // -1: nothing selected first
        Button* button;
        const char* prompt;
        std::vector<std::string> stored;  // after Yes
        const char* enabledAfter;
    };
    const Case cases[] = {
        {1,
         1,
         form->Command3[1].get(),
         "Are you sure you want to delete the selected item from the list?",
         {"@c.example"},
         "Add, Delete All, Import, Export"},
        {2, -1, form->Command4[2].get(), "Are you sure you want to delete all items from the list?", {}, "Add, Import"},
        {0,
         -1,
         form->Command5.get(),
         "You are about to disable any OOF reply, regardless of its originator e-mail address domain.\r"
         "Only OOF reply addressed to a recipient whose e-mail domain matches any item placed in the "
         "exception list, will be delivered.\r\rAll items from the topmost list will be deleted.\r\rContinue?",
         {"*"},
         "Delete All"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button->Caption());
        const std::vector<std::string> before[] = {StoredRuleList(0), StoredRuleList(1), StoredRuleList(2)};
        if (c.selected >= 0) Click(*form->List1[static_cast<size_t>(c.list)], c.selected);
        toolkit.messageAnswers = {vbNo};
        Click(*c.button);
        ASSERT_FALSE(toolkit.messageBoxes.empty());
        EXPECT_EQ(toolkit.messageBoxes.back().prompt, c.prompt);
        EXPECT_EQ(toolkit.messageBoxes.back().style, kConfirmStyle);
        for (int k = 0; k < 3; ++k) EXPECT_EQ(StoredRuleList(k), before[k]) << "after No, list " << k;

        toolkit.messageAnswers = {vbYes};
        Click(*c.button);
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(StoredRuleList(k), k == c.list ? c.stored : before[k]) << "after Yes, list " << k;
        EXPECT_TRUE(RuleListExists(c.list));
        EXPECT_EQ(EnabledButtons(c.list), c.enabledAfter);
    }
}
