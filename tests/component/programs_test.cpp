// pellicor-regsvr and pellicor-submit as programs: registration through the
// command line, and the sink created from the registry by pellicor-submit.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "registry_dump.h"
#include "rule_lists.h"
#include "temp_hive.h"

namespace {

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

std::string slurp(const std::filesystem::path& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

Result run(const std::vector<std::string>& argv, const TempHive& hive, const std::string& input = "") {
    std::filesystem::path in = hive.folder() / "in", out = hive.folder() / "out", err = hive.folder() / "err";
    std::ofstream(in, std::ios::binary) << input;
    std::string command = "PELLICOR_REGISTRY='" + hive.path().string() + "'";
    for (const std::string& arg : argv) command += " '" + arg + "'";
    command += " <'" + in.string() + "' >'" + out.string() + "' 2>'" + err.string() + "'";
    int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(out), slurp(err)};
}

const std::string kClass = "CLSID\\{3D0C9A61-7B2E-4F15-9C48-2A6E5B1F0D37}";
const std::string kReply = "From: Ann <ann@example.com>\r\nSubject: Out of office\r\nAuto-Submitted: auto-replied\r\n\r\nAway.\r\n";

TEST(Regsvr, RegistersAndUnregistersWithStatusAndExitCode) {
    TempHive hive;
    Result registered = run({PELLICOR_REGSVR, PELLICOR_LIBRARY}, hive);
    EXPECT_EQ(registered.status, 0) << registered.err;
    EXPECT_NE(registered.out.find("DllRegisterServer"), std::string::npos);
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kClass + "\\InprocServer32"));

    Result removed = run({PELLICOR_REGSVR, "/u", PELLICOR_LIBRARY}, hive);
    EXPECT_EQ(removed.status, 0) << removed.err;
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kClass));

    Result again = run({PELLICOR_REGSVR, "/u", PELLICOR_LIBRARY}, hive);
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.err.find("failed with status 0x8002801C"), std::string::npos) << again.err;

    Result missing = run({PELLICOR_REGSVR, "/nonexistent/libNothing.so"}, hive);
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("cannot load"), std::string::npos);
    EXPECT_EQ(run({PELLICOR_REGSVR}, hive).status, 2);
    EXPECT_EQ(run({PELLICOR_REGSVR, "/x", PELLICOR_LIBRARY}, hive).status, 2);
}

TEST(Submit, JudgesThroughTheRegisteredLibrary) {
    TempHive hive;
    AddRule("ExtOOFdisabledDomains", "@example.com");
    ASSERT_EQ(run({PELLICOR_REGSVR, PELLICOR_LIBRARY}, hive).status, 0);
    Result judged = run({PELLICOR_SUBMIT, "--from", "<>", "--to", "carol@customer.example"}, hive, kReply);
    EXPECT_EQ(judged.status, 0) << judged.err;
    EXPECT_EQ(judged.out, "deleted\n");
}

TEST(Submit, UnregisteredSinkWithoutAnInstalledLibraryExitsTwo) {
    TempHive hive;
    // A copy of the program with no library beside it.
    std::filesystem::create_directories(hive.folder() / "bin");
    std::filesystem::path lonely = hive.folder() / "bin" / "pellicor-submit";
    std::filesystem::copy_file(PELLICOR_SUBMIT, lonely);
    Result result = run({lonely.string(), "--from", "<>", "--to", "carol@customer.example"}, hive, kReply);
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find("\"Pellicor.Sink\" is not registered"), std::string::npos) << result.err;
    EXPECT_EQ(result.out, "");
}

}  // namespace
