// Import and export through the scripted toolkit, and the file parser on its own.
#include <filesystem>

#include <ktmw32.h>
#include <sys/stat.h>
#include <unistd.h>

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

// Import adds what is new to its list, once, and saves all; with nothing new it
// saves nothing, so it runs first, on the empty hive.
TEST_F(WindowTest, ImportAddsNewEntriesOnceCutForItsListAndSavesOnlyWhenThereAreAny) {
    StoreRuleList(0, {"@known.example"});
    Open();
    struct Case {
        int list;
        const char* content;
        std::vector<std::string> stored;
    };
    const Case cases[] = {
        {1, "no entries here\r\n\r\n", {}},
        {0,
         "someone@KNOWN.example\tname\r\n@new.example\r@NEW.example\rx@other.example\t@third.example",
         {"@known.example", "@new.example", "@other.example", "@third.example"}},
        {2, "  Boss@Example.com \r\nboss@example.com\r\nplain text\r\n", {"Boss@Example.com"}},
    };
    auto file = hive.folder() / "list.txt";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.content);
        WriteFile(file, c.content);
        toolkit.fileNames = {file.string(), ""};
        Click(*form->Command7[static_cast<size_t>(c.list)]);
        Click(*form->Command7[static_cast<size_t>(c.list)]);  // cancelled
        EXPECT_EQ(StoredRuleList(c.list), c.stored);
        EXPECT_EQ(RuleListExists(c.list), !c.stored.empty());
    }
    ASSERT_EQ(toolkit.fileDialogs.size(), 6u);
    EXPECT_EQ(toolkit.fileDialogs[0].title, "Pellicor - Open a file to import from");
    EXPECT_EQ(toolkit.fileDialogs[0].filter, "Text (*.txt) | *.txt");
    EXPECT_TRUE(toolkit.messageBoxes.empty());
}

// Reading the file back is the parser's test; "*" joining list 0 from outside
// leaves its Export enabled as it was.
TEST_F(WindowTest, ExportReplacesTheFileWholeWithTheListAsShown) {
    StoreRuleList(0, {"@b.example", "@A.example"});
    Open();
    StoreRuleList(0, {"*", "@b.example", "@A.example"});
    form->RefreshLists();
    ASSERT_TRUE(form->Command8[0]->Enabled());
    auto file = hive.folder() / "list0.txt";
    WriteFile(file, "an older, longer file that must be replaced whole\r\n");
    toolkit.fileNames = {file.string()};
    Click(*form->Command8[0]);
    EXPECT_EQ(toolkit.fileDialogs[0].title, "Pellicor - Select/Create a file to export to");
    EXPECT_EQ(ReadWholeFile(file), "@A.example\r\n@b.example\r\n");
}

TEST_F(WindowTest, ImportStopsAtTheListBoxLimitAndSaysHowManyWereLeftOut) {
    std::string content;
    for (int i = 0; i < kListBoxCapacity + 5; ++i) content += "@d" + std::to_string(i) + ".example\r\n";
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

// What cannot be read, or written whole, or is the registry's own is refused with
// the reason; the list is left as it was.
TEST_F(WindowTest, ImportAndExportRefuseWhatTheyCannotUseAndSayWhy) {
    StoreRuleList(1, {"@kept.example"});
    Open();
    const std::filesystem::path folder = hive.folder();
    WriteFile(folder / "not-a-folder", "");
    std::filesystem::create_directory(folder / "a-folder.txt");
    ASSERT_EQ(::mkfifo((folder / "pipe.txt").c_str(), 0600), 0);
    std::filesystem::create_symlink(hive.path(), folder / "hive-link.txt");
    const struct {
        std::filesystem::path file;
        const char* why;  // null: whatever the system says
    } cases[] = {
        {folder / "missing" / "list.txt", nullptr},
        {folder / "not-a-folder" / "list.txt", nullptr},
        {folder / "a-folder.txt", nullptr},
        {folder / "pipe.txt", "it is not a regular file"},
        {hive.path(), "it is the registry's own file"},
        {folder / "hive-link.txt", "it is the registry's own file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        toolkit.messageBoxes.clear();
        toolkit.fileNames = {c.file.string(), c.file.string()};
        Click(*form->Command7[1]);
        Click(*form->Command8[1]);
        ASSERT_EQ(toolkit.messageBoxes.size(), 2u);
        const std::string said[] = {"Nothing was imported from " + c.file.string() + ": ",
                                    "The list was not exported to " + c.file.string() + ": "};
        for (size_t i = 0; i < 2; ++i) {
            const std::string& prompt = toolkit.messageBoxes[i].prompt;
            EXPECT_TRUE(prompt.starts_with(said[i])) << prompt;
            if (c.why) {
                EXPECT_EQ(prompt, said[i] + c.why + ".");
            }
        }
        EXPECT_EQ(StoredRuleList(1), Names({"@kept.example"}));
    }
}

namespace {

struct stat StatOf(const std::filesystem::path& path) {
    struct stat about {};
    ::lstat(path.c_str(), &about);
    return about;
}

// Runs ReplaceFileWhole as the unprivileged user where we are root, so that a
// folder's permissions hold.
bool ReplaceAsUser(const std::filesystem::path& path, const std::string& content) {
    if (::geteuid() != 0) {
        std::string error;
        return ReplaceFileWhole(path.string(), content, error);
    }
    pid_t child = ::fork();
    if (child == 0) {
        std::string error;
        bool ok = ::setgid(65534) == 0 && ::setuid(65534) == 0 && ReplaceFileWhole(path.string(), content, error);
        ::_exit(ok ? 0 : 1);
    }
    return ExitCodeOf(child) == 0;
}

}  // namespace

TEST_F(WindowTest, ExportKeepsTheTargetsModeOwnerAndLinkAndWritesInPlaceWhereNothingCanBeCreated) {
    StoreRuleList(2, {"x@example.com"});
    Open();
    const bool root = ::geteuid() == 0;
    auto privateFile = hive.folder() / "private.txt";
    WriteFile(privateFile, "old\r\n");
    ::chmod(privateFile.c_str(), 0600);
    if (root) {
        ASSERT_EQ(::chown(privateFile.c_str(), 65534, 65534), 0);
    }
    auto target = hive.folder() / "target.txt";
    WriteFile(target, "old\r\n");
    auto link = hive.folder() / "link.txt";
    std::filesystem::create_symlink(target, link);

    toolkit.fileNames = {privateFile.string(), link.string()};
    Click(*form->Command8[2]);
    Click(*form->Command8[2]);
    EXPECT_TRUE(toolkit.messageBoxes.empty());
    EXPECT_EQ(ReadWholeFile(privateFile), "x@example.com\r\n");
    EXPECT_EQ(StatOf(privateFile).st_mode & 07777, 0600u);
    if (root) {
        EXPECT_EQ(StatOf(privateFile).st_uid, 65534u);
    }
    EXPECT_TRUE(S_ISLNK(StatOf(link).st_mode));
    EXPECT_EQ(ReadWholeFile(target), "x@example.com\r\n");

    // A writable file in a folder that takes no new file: written in place.
    ::chmod(hive.folder().c_str(), 0755);
    auto locked = hive.folder() / "locked";
    std::filesystem::create_directory(locked);
    auto inside = locked / "list.txt";
    WriteFile(inside, "a much longer old content\r\n");
    if (root) {
        ASSERT_EQ(::chown(locked.c_str(), 65534, 65534), 0);
        ASSERT_EQ(::chown(inside.c_str(), 65534, 65534), 0);
    }
    ::chmod(locked.c_str(), 0555);
    EXPECT_TRUE(ReplaceAsUser(inside, "new\r\n"));
    EXPECT_EQ(ReadWholeFile(inside), "new\r\n");
    EXPECT_FALSE(ReplaceAsUser(locked / "new.txt", "new\r\n"));
    ::chmod(locked.c_str(), 0755);
}
