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

#include "pellicor_version.h"
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

    // Polls the screen until it shows text (or no longer does); false after five seconds.
    bool WaitFor(const std::string& text, bool shown = true) {
        for (int i = 0; i < 500; ++i) {
            if ((Screen().find(text) != std::string::npos) == shown) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    // Polls until the window has exited: its session, the server's only one, is gone.
    bool WaitForExit() {
        for (int i = 0; i < 500; ++i) {
            if (Shell(tmux_ + "has-session 2>&1").find("no server") != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

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

    TempHive hive;
    std::string tmux_;
};

}  // namespace

// Each step presses a button and waits for what it opens, sends keys (tmux
// send-keys arguments, one command each), waits for a text to show or to go, and
// checks the list stored then.
TEST_F(TerminalWindowTest, EveryCommandWorksFromTheKeyboardWithTheWindowsTextsAndResults) {
    struct Step {
        const char* press;
        int section;
        std::string opens;
        std::vector<std::string> keys;
        std::string until;
        bool gone;
        int list;  // -1: not checked
        std::vector<std::string> stored;
    };
    const std::string domain = "Add new e-mail domain:", edit = "Edit this e-mail domain:",
                      address = "Add new e-mail address:", anyDomain = "You are about to disable any OOF reply",
                      sure = "Are you sure you want to delete ";
    const Step steps[] = {
        // Add, refused and then accepted.
        {"Add", 0, domain, {"BSpace", "-l nodomain", "Enter"}, "nodomain", false, -1, {}},
        {nullptr, 0, "", {"-N 8 BSpace", "-l '@één.example'", "Enter"}, domain, true, 0, {"@één.example"}},
        {nullptr, 0, "", {}, "│ @één.example", false, -1, {}},
        {"Edit", 0, edit, {"-N 12 BSpace", "-l '@two.example'", "Enter"}, edit, true, 0, {"@two.example"}},
        // The focus stays on Edit: Space edits again instead of reaching Delete All.
        {nullptr, 0, "", {"Space"}, edit, false, -1, {}},
        {nullptr, 0, "", {"Escape"}, edit, true, 0, {"@two.example"}},
        // "Add * (any domain)": No is the default, Yes replaces the list; Delete All undoes it.
        {"Add * (any domain)", 0, anyDomain, {"Enter"}, anyDomain, true, 0, {"@two.example"}},
        {nullptr, 0, "", {"Enter"}, anyDomain, false, -1, {}},
        {nullptr, 0, "", {"Tab Enter"}, "Any OOF reply will be deleted, regardless", false, 0, {"*"}},
        {"Delete All", 0, sure + "all items from the list?", {"y"}, "deleted if the sender", false, 0, {}},
        {"Add", 2, address, {"BSpace", "-l b@x.example", "Enter"}, address, true, 2, {"b@x.example"}},
        {"Add", 2, address, {"BSpace", "-l a@x.example", "Enter"}, address, true, 2, {"a@x.example", "b@x.example"}},
        {"Delete", 2, sure + "the selected item from the list?", {"y"}, sure, true, 2, {"b@x.example"}},
        // Export list 2 to a new file named in the dialog, import it into list 1
        // through Tab completion from the folder's listing; the import cuts the
        // address to its domain part.
        {"Export", 2, "Pellicor - Select/Create a file to export to", {"-l out.txt", "Enter"}, "Select/", true, -1, {}},
        {"Import", 1, "Pellicor - Open a file to import from", {}, "out.txt", false, -1, {}},
        {nullptr, 0, "", {"-l ou", "Tab"}, hive.folder().string() + "/out.txt", false, -1, {}},
        {nullptr, 0, "", {"Enter"}, "Open a file", true, 1, {"@x.example"}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.press ? step.press : step.until);
        if (step.press) {
            FocusOn(step.press, step.section);
            ASSERT_FALSE(HasFatalFailure());
            Keys("Enter");
            ASSERT_TRUE(WaitFor(step.opens)) << Screen();
        }
        for (const std::string& keys : step.keys) Keys(keys);
        ASSERT_TRUE(WaitFor(step.until, !step.gone)) << Screen();
        if (step.list >= 0) {
            EXPECT_EQ(StoredRuleList(step.list), step.stored) << Screen();
        }
    }
    EXPECT_EQ(ReadWholeFile(hive.folder() / "out.txt"), "b@x.example\r\n");

    FocusOn("Exit", 3);
    Keys("Enter");
    EXPECT_TRUE(WaitForExit());
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
        {"--version", 0, "PellicorSetup " PELLICOR_VERSION "\n"},
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
