// pellicor-regsvr and pellicor-submit as programs: registration through the
// command line, and the sink created from the registry by pellicor-submit.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "registry_dump.h"
#include "rule_lists.h"
#include "run_program.h"
#include "temp_hive.h"

namespace {

const std::string kClass = "CLSID\\{3D0C9A61-7B2E-4F15-9C48-2A6E5B1F0D37}";
const std::string kReply = "From: Ann <ann@example.com>\r\nSubject: Out of office\r\nAuto-Submitted: auto-replied\r\n\r\nAway.\r\n";

TEST(Regsvr, RegistersAndUnregistersWithStatusAndExitCode) {
    TempHive hive;
    ProgramResult registered = RunProgram({PELLICOR_REGSVR, PELLICOR_LIBRARY}, hive);
    EXPECT_EQ(registered.status, 0) << registered.err;
    EXPECT_NE(registered.out.find("DllRegisterServer"), std::string::npos);
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kClass + "\\InprocServer32"));

    ProgramResult removed = RunProgram({PELLICOR_REGSVR, "/u", PELLICOR_LIBRARY}, hive);
    EXPECT_EQ(removed.status, 0) << removed.err;
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kClass));

    ProgramResult again = RunProgram({PELLICOR_REGSVR, "/u", PELLICOR_LIBRARY}, hive);
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.err.find("failed with status 0x8002801C"), std::string::npos) << again.err;

    ProgramResult missing = RunProgram({PELLICOR_REGSVR, "/nonexistent/libNothing.so"}, hive);
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("cannot load"), std::string::npos);
    EXPECT_EQ(RunProgram({PELLICOR_REGSVR}, hive).status, 2);
    EXPECT_EQ(RunProgram({PELLICOR_REGSVR, "/x", PELLICOR_LIBRARY}, hive).status, 2);
}

TEST(Submit, JudgesThroughTheRegisteredLibrary) {
    TempHive hive;
    AddRule("ExtOOFdisabledDomains", "@example.com");
    ASSERT_EQ(RunProgram({PELLICOR_REGSVR, PELLICOR_LIBRARY}, hive).status, 0);
    ProgramResult judged = RunProgram({PELLICOR_SUBMIT, "--from", "<>", "--to", "carol@customer.example"}, hive, kReply);
    EXPECT_EQ(judged.status, 0) << judged.err;
    EXPECT_EQ(judged.out, "deleted\n");
}

TEST(Submit, UnregisteredSinkWithoutAnInstalledLibraryExitsTwo) {
    TempHive hive;
    // A copy of the program with no library beside it.
    std::filesystem::create_directories(hive.folder() / "bin");
    std::filesystem::path lonely = hive.folder() / "bin" / "pellicor-submit";
    std::filesystem::copy_file(PELLICOR_SUBMIT, lonely);
    ProgramResult result = RunProgram({lonely.string(), "--from", "<>", "--to", "carol@customer.example"}, hive, kReply);
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find("\"Pellicor.Sink\" is not registered"), std::string::npos) << result.err;
    EXPECT_EQ(result.out, "");
}

// The library is installed beside the program: still nothing is registered
// unless --register asks for it.
TEST(Submit, RegistersTheSinkOnlyWhenAsked) {
    TempHive hive;
    AddRule("ExtOOFdisabledDomains", "@example.com");
    AddRule("ExtOOFenabledRecipientDomains", "@partner.example");
    ProgramResult refused = RunProgram({PELLICOR_SUBMIT, "--from", "<>", "--to", "carol@customer.example"}, hive, kReply);
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("or give --register"), std::string::npos) << refused.err;
    ProgramResult judged =
        RunProgram({PELLICOR_SUBMIT, "--register", "--explain", "--from", "<>", "--to", "carol@customer.example"}, hive,
                   kReply);
    EXPECT_EQ(judged.status, 0) << judged.err;
    EXPECT_EQ(judged.out,
              "deleted\nkind: out-of-office\n"
              "rule: auto-replied, reason=\"Auto-Submitted: auto-replied\"\n"
              "list 0 (sender domain @example.com): matched \"@example.com\"\n"
              "list 1 (recipient domain @customer.example): no match\n"
              "list 2 (sender address ann@example.com): no match (no such list, or it cannot be read)\n");
}

}  // namespace
