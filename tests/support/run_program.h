// Runs one of the project's programs as a child process on a throwaway hive.
#pragma once
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "temp_hive.h"

struct ProgramResult {
    int status = -1;  // the exit code; -1 when the program did not exit normally
    std::string out;
    std::string err;
};

inline std::string ReadWholeFile(const std::filesystem::path& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

// Waits for the child and gives its exit code; -1 when it did not exit normally.
inline int ExitCodeOf(pid_t child) {
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs `argv` with `input` on standard input and collects what it writes. The child
// is told the hive explicitly, so that it can never reach the machine's own.
inline ProgramResult RunProgram(const std::vector<std::string>& argv, const TempHive& hive,
                                const std::string& input = "") {
    std::filesystem::path inPath = hive.folder() / "stdin", outPath = hive.folder() / "stdout",
                          errPath = hive.folder() / "stderr";
    std::ofstream(inPath, std::ios::binary) << input;
    pid_t child = fork();
    if (child == 0) {
        int in = open(inPath.c_str(), O_RDONLY);
        int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(in, 0), dup2(out, 1), dup2(err, 2);
        setenv("PELLICOR_REGISTRY", hive.path().c_str(), 1);
        std::vector<char*> args;
        for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    int status = ExitCodeOf(child);
    return {status, ReadWholeFile(outPath), ReadWholeFile(errPath)};
}
