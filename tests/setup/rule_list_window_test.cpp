// Loading, saving and the button states of the rule list window. The states run
// over the scripted toolkit and over Qt, whose controls read their widgets.
#include <QApplication>
#include <QListWidget>

#include "qt_toolkit.h"
#include "window_fixture.h"

namespace text = install_form_text;

namespace {

template <typename Toolkit>
class WindowStateTest : public WindowFixture<Toolkit> {
protected:
    static constexpr bool kQt = std::is_same_v<Toolkit, QtToolkit>;
    void OpenShown() {
        this->Open();
        if constexpr (kQt) this->toolkit.Show(), QApplication::processEvents();
    }
    // As the user selects: over Qt on the widget, so the toolkit must pass the click on.
    void Select(int list, int16_t row) {
        ListBox& box = *this->form->List1[static_cast<size_t>(list)];
        if constexpr (kQt) qobject_cast<QListWidget*>(QtWidgetOf(box))->setCurrentRow(row);
        else Click(box, row);
    }
};

using Toolkits = ::testing::Types<ScriptedToolkit, QtToolkit>;
TYPED_TEST_SUITE(WindowStateTest, Toolkits);

}  // namespace

// Each row is loaded into the window opened on the first: names trimmed, empty
// ones dropped, "*" shown as the any-domain item in list 0 alone, sorted without
// regard to case. A list led by "*" keeps its Export as the row before left it.
TYPED_TEST(WindowStateTest, LoadShowsTheStoredListsWithTheirButtonStates) {
    struct Case {
        const char* name;
        std::vector<std::string> stored[3], shown[3];
        const char* enabled[3];
        bool anyDomain;  // list 0 locked, under its own caption
    };
    const char* const none = "Add, Import";
    const Case cases[] = {
        {"empty hive", {}, {}, {"Add, Add * (any domain), Import", none, none}, false},
        {"any domain beside others",
         {{"@b.example", "*"}, {}, {}},
         {{"* (any domain)", "@b.example"}, {}, {}},
         {"Add, Delete All, Add * (any domain), Import", none, none},
         false},
        {"any domain alone",
         {{"*"}, {"@partner.example"}, {}},
         {{"* (any domain)"}, {"@partner.example"}, {}},
         {"Delete All", "Add, Delete All, Import, Export", none},
         true},
        {"trimmed and sorted",
         {{"  @spaced.example ", "   ", "*legacy"}, {"*", "@B.example", "@a.example", "@c.example"}, {"*"}},
         {{"*legacy", "@spaced.example"}, {"*", "@a.example", "@B.example", "@c.example"}, {"*"}},
         {"Add, Delete All, Add * (any domain), Import", "Add, Delete All, Import, Export", "Add, Delete All, Import"},
         false},
    };
    this->OpenShown();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (int k = 0; k < 3; ++k) {
            if (c.stored[k].empty()) RegDeleteKeyA(HKEY_LOCAL_MACHINE, RuleListKey(k));
            else StoreRuleList(k, c.stored[k]);
        }
        this->form->RefreshLists();
        const char* const captions[] = {c.anyDomain ? text::kCaption0AnyDomain : text::kCaption0, text::kCaption1,
                                        text::kCaption2};
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(this->Items(k), c.shown[k]) << k;
            EXPECT_EQ(this->EnabledButtons(k), c.enabled[k]) << k;
            EXPECT_EQ(this->form->Label1[static_cast<size_t>(k)]->Caption(), captions[k]) << k;
        }
        EXPECT_EQ(this->form->List1[0]->Enabled(), !c.anyDomain);
    }
}

TYPED_TEST(WindowStateTest, OnlyOneListHoldsASelectionAndTheWindowsOwnChangesMakeNone) {
    StoreRuleList(0, {"@a.example", "@b.example"});
    StoreRuleList(1, {"@c.example"});
    this->OpenShown();
    this->Select(0, 1);
    EXPECT_EQ(this->EnabledButtons(0), "Add, Edit, Delete, Delete All, Add * (any domain), Import, Export");
    this->Select(1, 0);
    EXPECT_EQ(this->form->List1[0]->ListIndex(), -1);
    EXPECT_EQ(this->form->List1[1]->ListIndex(), 0);
    EXPECT_EQ(this->EnabledButtons(0), "Add, Delete All, Add * (any domain), Import, Export");
    EXPECT_EQ(this->EnabledButtons(1), "Add, Edit, Delete, Delete All, Import, Export");

    this->form->RefreshLists();
    for (size_t k = 0; k < 3; ++k) EXPECT_EQ(this->form->List1[k]->ListIndex(), -1) << k;
    EXPECT_EQ(this->EnabledButtons(1), "Add, Delete All, Import, Export");
}

TEST_F(WindowTest, NothingReachesALockedListZeroButDeleteAll) {
    StoreRuleList(0, {"*"});
    StoreRuleList(1, {"@partner.example"});
    Open();
    for (Button* button :
         {form->Command1[0].get(), form->Command5.get(), form->Command7[0].get(), form->Command8[0].get()})
        Click(*button);
    Click(*form->List1[0], 0);
    EXPECT_TRUE(toolkit.inputBoxes.empty());
    EXPECT_TRUE(toolkit.messageBoxes.empty());
    EXPECT_TRUE(toolkit.fileDialogs.empty());
    EXPECT_EQ(form->List1[0]->ListIndex(), -1);

    toolkit.messageAnswers = {vbYes};
    Click(*form->Command4[0]);
    EXPECT_TRUE(Items(0).empty());
    EXPECT_TRUE(form->List1[0]->Enabled());
    EXPECT_EQ(EnabledButtons(0), "Add, Add * (any domain), Import");
    EXPECT_EQ(form->Label1[0]->Caption(), text::kCaption0);
    EXPECT_EQ(StoredRuleList(1), Names({"@partner.example"}));
}

// Deleting one entry of list 2 saves all three lists whole, as shown.
TEST_F(WindowTest, SaveStoresWhatIsShown) {
    StoreRuleList(0, {"  @spaced.example ", "   ", "*legacy"});
    StoreRuleList(1, {"*", "@B.example", "@a.example"});
    StoreRuleList(2, {"*", "x@y.example"});
    Open();
    Click(*form->List1[2], 1);
    toolkit.messageAnswers = {vbYes};
    Click(*form->Command3[2]);
    EXPECT_EQ(StoredRuleList(0), Names({"*", "@spaced.example"}));
    EXPECT_EQ(StoredRuleList(1), Names({"*", "@B.example", "@a.example"}));
    EXPECT_EQ(StoredRuleList(2), Names({"*"}));
    EXPECT_EQ(Items(0), Names({"* (any domain)", "@spaced.example"}));
}

TEST_F(WindowTest, FailedSaveKeepsWhatWasStoredAndSaysSo) {
    StoreRuleList(0, {"@kept.example"});
    StoreRuleList(1, {"@also-kept.example"});
    Open();
    // A value name longer than the registry allows: list 0 and 1 are rewritten
    // before list 2 refuses it.
    toolkit.inputAnswers = {std::string(200, 'a') + "@" + std::string(16383, 'b')};
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

TEST_F(WindowTest, TitleExitAndTheLabelThatOpensTheMakersAddress) {
    Open();
    EXPECT_EQ(toolkit.title(), "Pellicor setup");
    Click(*form->Label6);
    ASSERT_EQ(toolkit.opened.size(), 1u);
    EXPECT_TRUE(toolkit.opened[0].find(".example.com") != std::string::npos);
    Click(*form->Command6);
    EXPECT_TRUE(toolkit.closed());
}
