// Loading, saving and the button states of the rule list window.
#include "window_fixture.h"

namespace text = install_form_text;

TEST_F(WindowTest, EmptyStoreShowsThreeEmptyListsReadyForAddAndImport) {
    Open();
    EXPECT_EQ(toolkit.title(), "Pellicor setup");
    for (int k = 0; k < 3; ++k) EXPECT_TRUE(Items(k).empty()) << k;
    EXPECT_EQ(EnabledButtons(0), "Add, Add * (any domain), Import");
    EXPECT_EQ(EnabledButtons(1), "Add, Import");
    EXPECT_EQ(EnabledButtons(2), "Add, Import");
    EXPECT_TRUE(form->List1[0]->Enabled());
    const char* const captions[] = {text::kCaption0, text::kCaption1, text::kCaption2};
    for (size_t k = 0; k < 3; ++k) EXPECT_EQ(form->Label1[k]->Caption(), captions[k]) << k;
    EXPECT_TRUE(form->Command6->Enabled());
}

TEST_F(WindowTest, StoredAnyDomainEntryLocksListZero) {
    StoreRuleList(0, {"*"});
    StoreRuleList(1, {"@partner.example"});
    Open();
    EXPECT_EQ(Items(0), Names({"* (any domain)"}));
    EXPECT_FALSE(form->List1[0]->Enabled());
    EXPECT_EQ(EnabledButtons(0), "Delete All");
    EXPECT_EQ(form->Label1[0]->Caption(), text::kCaption0AnyDomain);

    // Nothing on screen reaches list 0 while it is locked: no prompt opens.
    Click(*form->Command1[0]);
    Click(*form->Command5);
    Click(*form->Command7[0]);
    Click(*form->Command8[0]);
    Click(*form->List1[0], 0);
    EXPECT_TRUE(toolkit.inputBoxes.empty());
    EXPECT_TRUE(toolkit.messageBoxes.empty());
    EXPECT_TRUE(toolkit.fileDialogs.empty());
    EXPECT_EQ(form->List1[0]->ListIndex(), -1);

    // Delete All is the way out.
    toolkit.messageAnswers = {vbYes};
    Click(*form->Command4[0]);
    EXPECT_TRUE(Items(0).empty());
    EXPECT_TRUE(form->List1[0]->Enabled());
    EXPECT_EQ(EnabledButtons(0), "Add, Add * (any domain), Import");
    EXPECT_EQ(form->Label1[0]->Caption(), text::kCaption0);
    EXPECT_EQ(StoredRuleList(1), Names({"@partner.example"}));
}

TEST_F(WindowTest, AnyDomainBesideOtherEntriesKeepsListZeroOpenAndExportAsItWas) {
    StoreRuleList(0, {"@b.example", "*"});
    Open();
    EXPECT_EQ(Items(0), Names({"* (any domain)", "@b.example"}));
    EXPECT_TRUE(form->List1[0]->Enabled());
    EXPECT_EQ(form->Label1[0]->Caption(), text::kCaption0);
    // Export starts disabled and nothing enables it while "*" leads the list.
    EXPECT_EQ(EnabledButtons(0), "Add, Delete All, Add * (any domain), Import");
}

TEST_F(WindowTest, LoadTrimsNamesDropsEmptyOnesAndSaveStoresWhatIsShown) {
    StoreRuleList(0, {"  @spaced.example ", "   ", "*legacy"});
    StoreRuleList(1, {"*", "@B.example", "@a.example", "@c.example"});
    StoreRuleList(2, {"*"});
    Open();
    EXPECT_EQ(Items(0), Names({"*legacy", "@spaced.example"}));
    EXPECT_EQ(Items(1), Names({"*", "@a.example", "@B.example", "@c.example"}));
    EXPECT_EQ(Items(2), Names({"*"}));

    // Deleting one entry of list 2 saves all three lists whole.
    StoreRuleList(2, {"*", "x@y.example"});
    form->RefreshLists();
    Click(*form->List1[2], 1);
    toolkit.messageAnswers = {vbYes};
    Click(*form->Command3[2]);
    EXPECT_EQ(StoredRuleList(0), Names({"*", "@spaced.example"}));
    EXPECT_EQ(StoredRuleList(1), Names({"*", "@B.example", "@a.example", "@c.example"}));
    EXPECT_EQ(StoredRuleList(2), Names({"*"}));
    EXPECT_EQ(Items(0), Names({"* (any domain)", "@spaced.example"}));
}

TEST_F(WindowTest, OnlyOneListHoldsASelection) {
    StoreRuleList(0, {"@a.example", "@b.example"});
    StoreRuleList(1, {"@c.example"});
    Open();
    EXPECT_EQ(EnabledButtons(0), "Add, Delete All, Add * (any domain), Import, Export");

    Click(*form->List1[0], 1);
    EXPECT_EQ(EnabledButtons(0), "Add, Edit, Delete, Delete All, Add * (any domain), Import, Export");
    Click(*form->List1[1], 0);
    EXPECT_EQ(form->List1[0]->ListIndex(), -1);
    EXPECT_EQ(form->List1[1]->ListIndex(), 0);
    EXPECT_EQ(EnabledButtons(0), "Add, Delete All, Add * (any domain), Import, Export");
    EXPECT_EQ(EnabledButtons(1), "Add, Edit, Delete, Delete All, Import, Export");

    form->RefreshLists();
    for (int k = 0; k < 3; ++k) EXPECT_EQ(form->List1[static_cast<size_t>(k)]->ListIndex(), -1) << k;
    EXPECT_EQ(EnabledButtons(1), "Add, Delete All, Import, Export");
}

TEST_F(WindowTest, FailedSaveKeepsWhatWasStoredAndSaysSo) {
    StoreRuleList(0, {"@kept.example"});
    StoreRuleList(1, {"@also-kept.example"});
    Open();
    // A value name longer than the registry allows: list 0 and 1 are rewritten
    // before list 2 refuses it.
    std::string tooLong = std::string(200, 'a') + "@" + std::string(16383, 'b');
    toolkit.inputAnswers = {tooLong};
    Click(*form->Command1[2]);

    ASSERT_EQ(toolkit.messageBoxes.size(), 1u);
    const std::string& message = toolkit.messageBoxes[0].prompt;
    EXPECT_TRUE(message.starts_with("The change was not saved: ")) << message;
    EXPECT_LT(message.size(), 400u);
    EXPECT_EQ(StoredRuleList(0), Names({"@kept.example"}));
    EXPECT_EQ(StoredRuleList(1), Names({"@also-kept.example"}));
    EXPECT_FALSE(RuleListExists(2));
    EXPECT_TRUE(Items(2).empty());
    EXPECT_EQ(Items(0), Names({"@kept.example"}));
}

TEST_F(WindowTest, ExitClosesTheWindowAndTheLabelOpensTheMakersAddress) {
    Open();
    Click(*form->Label6);
    ASSERT_EQ(toolkit.opened.size(), 1u);
    EXPECT_TRUE(toolkit.opened[0].find(".example.com") != std::string::npos);
    Click(*form->Command6);
    EXPECT_TRUE(toolkit.closed());
}
