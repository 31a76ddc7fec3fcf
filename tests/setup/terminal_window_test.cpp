// The terminal window driven through tmux as an administrator over SSH would:
// no display, keys sent to a pseudo-terminal, the screen read back as text, the
// stored lists read from the hive.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "window_fixture.h"

namespace {

std::string Shell(const std::string& command) {
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return output;
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
    ::pclose(pipe);
    return output;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

class TerminalWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        tmux_ = "tmux -L pellicor-terminal-" + std::to_string(::getpid()) + " ";
        std::string program = "cd " + hive.folder().string() +
                              " && exec env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM LANG=C.UTF-8 "
                              "PELLICOR_REGISTRY=" +
                              hive.path().string() + " " PELLICOR_SETUP;
        Shell(tmux_ + "new-session -d -x 80 -y 24 '" + program + " 2>" + (hive.folder() / "stderr").string() + "'");
        ASSERT_TRUE(WaitFor("[Exit]")) << Screen();
    }
    void TearDown() override {
        if (HasFailure())
            std::fprintf(stderr, "The window's standard error: %s\n", ReadWholeFile(hive.folder() / "stderr").c_str());
        Shell(tmux_ + "kill-server 2>/dev/null");
    }

    std::string Screen() { return Shell(tmux_ + "capture-pane -p"); }
    void Keys(const std::string& keys) { Shell(tmux_ + "send-keys " + keys); }
    void Type(const std::string& text) { Shell(tmux_ + "send-keys -l '" + text + "'"); }

    // Polls the screen until it shows text (or no longer does); false after five seconds.
    bool WaitFor(const std::string& text, bool shown = true) {
        for (int i = 0; i < 500; ++i) {
            if ((Screen().find(text) != std::string::npos) == shown) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    bool WaitGone(const std::string& text) { return WaitFor(text, false); }

    // Moves the focus with Tab to the button of that caption in the row of list
    // section (3 for the last row).
    void FocusOn(const std::string& caption, int section) {
        for (int tries = 0; tries < 40; ++tries) {
            int row = 0;
            for (const std::string& line : Lines(Screen())) {
                bool buttons = line.find("Import") != std::string::npos || line.find("Exit") != std::string::npos;
                if (buttons && row == section && line.find("<" + caption + ">") != std::string::npos) return;
                row += buttons ? 1 : 0;
            }
            Keys("Tab");
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
        }
        FAIL() << "no focus on " << caption << " of " << section << "\n" << Screen();
    }

    // Presses the button of that caption in the row of list section; true once
    // the screen shows what it opens.
    bool Press(const std::string& caption, int section, const std::string& opens) {
        FocusOn(caption, section);
        Keys("Enter");
        return !HasFatalFailure() && WaitFor(opens);
    }

    TempHive hive;
    std::string tmux_;
};

}  // namespace

TEST_F(TerminalWindowTest, EveryCommandWorksFromTheKeyboardWithTheWindowsTextsAndResults) {
    // Add, refused and then accepted; the refused answer comes back as the default.
    ASSERT_TRUE(Press("Add", 0, "Add new e-mail domain:")) << Screen();
    Keys("BSpace");
    Type("nodomain");
    Keys("Enter");
    ASSERT_TRUE(WaitFor("nodomain")) << Screen();
    for (int i = 0; i < 8; ++i) Keys("BSpace");
    Type("@één.example");
    Keys("Enter");
    ASSERT_TRUE(WaitGone("Add new e-mail domain:")) << Screen();
    EXPECT_EQ(StoredRuleList(0), Names({"@één.example"}));
    EXPECT_TRUE(WaitFor("│ @één.example")) << Screen();

    // Edit; afterwards the focus stays on Edit, so a second Space edits again
    // instead of reaching Delete All.
    ASSERT_TRUE(Press("Edit", 0, "Edit this e-mail domain:")) << Screen();
    for (int i = 0; i < 12; ++i) Keys("BSpace");
    Type("@two.example");
    Keys("Enter");
    ASSERT_TRUE(WaitGone("Edit this e-mail domain:")) << Screen();
    EXPECT_EQ(StoredRuleList(0), Names({"@two.example"}));
    Keys("Space");
    EXPECT_TRUE(WaitFor("Edit this e-mail domain:")) << Screen();
    EXPECT_EQ(Screen().find("delete all"), std::string::npos);
    Keys("Escape");
    ASSERT_TRUE(WaitGone("Edit this e-mail domain:")) << Screen();

    // "Add * (any domain)": No is the default, Yes replaces the list.
    ASSERT_TRUE(Press("Add * (any domain)", 0, "You are about to disable any OOF reply")) << Screen();
    Keys("Enter");
    ASSERT_TRUE(WaitGone("You are about to disable")) << Screen();
    EXPECT_EQ(StoredRuleList(0), Names({"@two.example"}));
    Keys("Enter");
    ASSERT_TRUE(WaitFor("You are about to disable any OOF reply")) << Screen();
    Keys("Tab Enter");
    ASSERT_TRUE(WaitFor("Any OOF reply will be deleted, regardless")) << Screen();
    EXPECT_EQ(StoredRuleList(0), Names({"*"}));

    // And back with Delete All.
    ASSERT_TRUE(Press("Delete All", 0, "Are you sure you want to delete all items from the list?")) << Screen();
    Keys("y");
    ASSERT_TRUE(WaitFor("OOF reply will be deleted if the sender")) << Screen();
    EXPECT_TRUE(StoredRuleList(0).empty());

    // Two addresses, then Delete with its confirmation.
    for (const char* address : {"b@example.com", "a@example.com"}) {
        ASSERT_TRUE(Press("Add", 2, "Add new e-mail address:")) << Screen();
        Keys("BSpace");
        Type(address);
        Keys("Enter");
        ASSERT_TRUE(WaitGone("Add new e-mail address:")) << Screen();
    }
    EXPECT_EQ(StoredRuleList(2), Names({"a@example.com", "b@example.com"}));
    ASSERT_TRUE(Press("Delete", 2, "Are you sure you want to delete the selected item from the list?")) << Screen();
    Keys("y");
    ASSERT_TRUE(WaitGone("Are you sure")) << Screen();
    EXPECT_EQ(StoredRuleList(2), Names({"b@example.com"}));

    // Export list 2 to a new file named in the dialog, import it into list 1
    // through Tab completion.
    ASSERT_TRUE(Press("Export", 2, "Pellicor - Select/Create a file to export to")) << Screen();
    Type("out.txt");
    Keys("Enter");
    ASSERT_TRUE(WaitGone("Select/Create")) << Screen();
    EXPECT_EQ(ReadWholeFile(hive.folder() / "out.txt"), "b@example.com\r\n");
    ASSERT_TRUE(Press("Import", 1, "Pellicor - Open a file to import from")) << Screen();
    EXPECT_TRUE(WaitFor("out.txt")) << Screen();  // the folder's listing
    Type("ou");
    Keys("Tab");
    ASSERT_TRUE(WaitFor(hive.folder().string() + "/out.txt")) << Screen();
    Keys("Enter");
    ASSERT_TRUE(WaitGone("Open a file")) << Screen();
    // The import cut the address to its domain part, as list 1 takes domains.
    EXPECT_EQ(StoredRuleList(1), Names({"@example.com"}));

    FocusOn("Exit", 3);
    Keys("Enter");
    EXPECT_TRUE(WaitFor("[exited]") || Shell(tmux_ + "list-sessions 2>&1").find("no server") != std::string::npos);
}

TEST_F(TerminalWindowTest, RedrawsForTheNewSizeWhenTheTerminalIsResized) {
    Shell(tmux_ + "resize-window -x 100 -y 30");
    for (int i = 0; i < 500 && Lines(Screen()).size() != 30; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    // The whole first caption now fits one line, and the key line is the last.
    EXPECT_TRUE(WaitFor("OOF reply will be deleted if the sender address domain part matches one in the list:"))
        << Screen();
    std::vector<std::string> lines = Lines(Screen());
    ASSERT_EQ(lines.size(), 30u);
    EXPECT_TRUE(lines.back().starts_with("Tab: next")) << Screen();
}

TEST(SetupCommandLineTest, OptionsAndAMissingTerminal) {
    struct Case {
        const char* arguments;
        int exitCode;
        const char* output;  // the start of what it writes, standard error included
    };
    const Case cases[] = {
        {"--version", 0, "PellicorSetup 1.1.0.8\n"},
        {"--help", 0, "Usage: PellicorSetup [--terminal]\n"},
        {"--bogus", 2, ""},
        {"extra", 2, "PellicorSetup: unexpected argument 'extra'"},
        // No display and no terminal: one line, exit 1, never a core dump.
        {"", 1, "PellicorSetup: no display can be opened and no terminal is attached"},
        {"--terminal", 1, "PellicorSetup: no display can be opened and no terminal is attached"},
    };
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) unsetenv(variable);
    TempHive hive;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        std::vector<std::string> argv = {PELLICOR_SETUP};
        if (*c.arguments) argv.push_back(c.arguments);
        ProgramResult result = RunProgram(argv, hive);
        const std::string output = result.out + result.err;
        EXPECT_EQ(result.status, c.exitCode);
        EXPECT_TRUE(output.starts_with(c.output)) << output;
        if (c.exitCode == 1) {
            EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1) << output;
        }
    }
}
