// A save replaces the three lists as one: a reader in another process, reading
// the lists the way the sink does, never finds one missing or half written.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "window_fixture.h"

extern char** environ;

namespace {

struct Reader {
    pid_t pid = -1;
    FILE* output = nullptr;
    int input = -1;
};

Reader StartReader(const std::vector<std::string>& counts) {
    int toReader[2], fromReader[2];
    if (pipe(toReader) != 0 || pipe(fromReader) != 0)
        throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toReader[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fromReader[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, toReader[1]);
    posix_spawn_file_actions_addclose(&actions, fromReader[0]);
    std::vector<char*> argv = {const_cast<char*>(SETUP_LIST_READER)};
    for (const std::string& count : counts)
        argv.push_back(const_cast<char*>(count.c_str()));
    argv.push_back(nullptr);
    Reader reader;
    if (posix_spawn(&reader.pid, SETUP_LIST_READER, &actions, nullptr, argv.data(), environ) != 0)
        throw std::runtime_error("cannot start the reader");
    posix_spawn_file_actions_destroy(&actions);
    close(toReader[0]);
    close(fromReader[1]);
    reader.input = toReader[1];
    reader.output = fdopen(fromReader[0], "r");
    return reader;
}

std::string ReadLine(FILE* file) {
    char line[256] = {};
    if (!std::fgets(line, sizeof line, file))
        return {};
    return line;
}

}  // namespace

TEST_F(WindowTest, ReaderNeverSeesAListMissingWhileTheWindowSaves) {
    StoreRuleList(0, {"@a.example", "@b.example", "@c.example"});
    StoreRuleList(1, {"@partner.example", "@other.example"});
    StoreRuleList(2, {"boss@example.com", "ceo@example.com"});
    Open();

    Reader reader = StartReader({"3", "2", "2"});
    ASSERT_EQ(ReadLine(reader.output), "ready\n");
    for (int save = 0; save < 500; ++save)
        form->RefreshRegistry();
    close(reader.input);
    std::string result = ReadLine(reader.output);
    std::fclose(reader.output);
    int status = 0;
    waitpid(reader.pid, &status, 0);

    long reads = 0, missing = -1, partial = -1;
    ASSERT_EQ(std::sscanf(result.c_str(), "reads=%ld missing=%ld partial=%ld", &reads, &missing, &partial), 3)
        << result;
    EXPECT_GT(reads, 3);
    EXPECT_EQ(missing, 0);
    EXPECT_EQ(partial, 0);
    EXPECT_TRUE(toolkit.messageBoxes.empty());
    EXPECT_EQ(StoredRuleList(0).size(), 3u);
}
