// pellicor-regsvr and pellicor-submit as programs: registration through the
// command line, and the sink created from the registry by pellicor-submit.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "registry_dump.h"
#include "rule_lists.h"
#include "run_program.h"
#include "temp_hive.h"

namespace {

const std::string kClass = "CLSID\\{3D0C9A61-7B2E-4F15-9C48-2A6E5B1F0D37}";
const std::string kReply =
    "From: Ann <ann@example.com>\r\nSubject: Out of office\r\nAuto-Submitted: auto-replied\r\n\r\nAway.\r\n";

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

// A copy of the library in `folder`, with the modes given; owned by `owner` if not -1.
std::string PlaceLibrary(const std::filesystem::path& folder, mode_t folderMode, mode_t fileMode, uid_t owner) {
    std::filesystem::create_directories(folder);
    std::filesystem::path library = folder / "libPellicor.so";
    std::filesystem::copy_file(PELLICOR_LIBRARY, library, std::filesystem::copy_options::overwrite_existing);
    EXPECT_EQ(chmod(library.c_str(), fileMode), 0);
    EXPECT_EQ(chmod(folder.c_str(), folderMode), 0);
    if (owner != uid_t(-1)) {
        EXPECT_EQ(chown(library.c_str(), owner, gid_t(-1)), 0);
    }
    return library.string();
}

TEST(Regsvr, RefusesALibraryOthersCouldReplace) {
    struct Case {
        const char* folder;
        mode_t folderMode, fileMode;
        bool foreignOwner;
        const char* refusal;  // null: accepted
    };
    const std::vector<Case> cases = {
        {"private", 0755, 0755, false, nullptr},
        {"sticky", 01777, 0755, false, nullptr},  // like /tmp: others cannot rename our file
        {"writable-file", 0755, 0666, false, "libPellicor.so can be written by users other than its owner (mode 0666)"},
        {"group-file", 0755, 0775, false, "(mode 0775)"},
        {"shared", 0777, 0755, false, "the folder "},
        {"foreign", 0755, 0755, true, "is owned by user 65534, not by root or the user running this program"},
    };
    for (const Case& c : cases) {
        if (c.foreignOwner && geteuid() != 0) continue;  // only root can give a file away
        TempHive hive;
        std::string library =
            PlaceLibrary(hive.folder() / c.folder, c.folderMode, c.fileMode, c.foreignOwner ? 65534 : uid_t(-1));
        ProgramResult run = RunProgram({PELLICOR_REGSVR, library}, hive);
        EXPECT_EQ(run.status, c.refusal ? 1 : 0) << c.folder << ": " << run.err;
        EXPECT_EQ(KeyExists(HKEY_CLASSES_ROOT, kClass + "\\InprocServer32"), !c.refusal) << c.folder;
        if (c.refusal) {
            EXPECT_NE(run.err.find("refusing to load " + library), std::string::npos) << run.err;
            EXPECT_NE(run.err.find(c.refusal), std::string::npos) << c.folder << ": " << run.err;
        }
    }
}

// Judged through the library regsvr registered, then refused once others could replace it.
TEST(Submit, JudgesThroughTheRegisteredLibraryUntilItBecomesReplaceable) {
    TempHive hive;
    WriteRuleList(0, {"@example.com"});
    std::string library = PlaceLibrary(hive.folder() / "lib", 0755, 0755, uid_t(-1));
    ASSERT_EQ(RunProgram({PELLICOR_REGSVR, library}, hive).status, 0);
    ProgramResult judged =
        RunProgram({PELLICOR_SUBMIT, "--from", "<>", "--to", "carol@customer.example"}, hive, kReply);
    EXPECT_EQ(judged.status, 0) << judged.err;
    EXPECT_EQ(judged.out, "deleted\n");

    ASSERT_EQ(chmod(library.c_str(), 0666), 0);
    ProgramResult refused =
        RunProgram({PELLICOR_SUBMIT, "--from", "<>", "--to", "carol@customer.example"}, hive, kReply);
    EXPECT_NE(refused.status, 0);
    EXPECT_NE(refused.err.find("refusing to load " + library), std::string::npos) << refused.err;
    EXPECT_EQ(refused.out, "");
}

// Nothing is registered unless --register asks, and then only from the library
// installed beside the program. A row that registered would leave the sink
// registered for the rows after it: the copy without a library comes first.
TEST(Submit, RegistersTheSinkOnlyWhenAskedAndInstalled) {
    TempHive hive;
    WriteRuleList(0, {"@example.com"});
    WriteRuleList(1, {"@partner.example"});
    std::filesystem::create_directories(hive.folder() / "bin");
    const std::string lonely = (hive.folder() / "bin" / "pellicor-submit").string();  // no library beside it
    std::filesystem::copy_file(PELLICOR_SUBMIT, lonely);
    const std::vector<std::string> envelope = {"--from", "<>", "--to", "carol@customer.example"};
    for (std::vector<std::string> argv :
         {std::vector<std::string>{lonely}, {lonely, "--register"}, {PELLICOR_SUBMIT}}) {
        SCOPED_TRACE(::testing::PrintToString(argv));
        argv.insert(argv.end(), envelope.begin(), envelope.end());
        ProgramResult refused = RunProgram(argv, hive, kReply);
        EXPECT_EQ(refused.status, 2);
        EXPECT_NE(refused.err.find("\"Pellicor.Sink\" is not registered"), std::string::npos) << refused.err;
        EXPECT_NE(refused.err.find("or give --register"), std::string::npos) << refused.err;
        EXPECT_EQ(refused.out, "");
    }
    std::vector<std::string> argv = {PELLICOR_SUBMIT, "--register", "--explain"};
    argv.insert(argv.end(), envelope.begin(), envelope.end());
    ProgramResult judged = RunProgram(argv, hive, kReply);
    EXPECT_EQ(judged.status, 0) << judged.err;
    EXPECT_EQ(judged.out,
              "deleted\nkind: out-of-office\n"
              "rule: auto-replied, reason=\"Auto-Submitted: auto-replied\"\n"
              "list 0 (sender domain @example.com): matched \"@example.com\"\n"
              "list 1 (recipient domain @customer.example): no match\n"
              "list 2 (sender address ann@example.com): no match (no such list, or it cannot be read)\n");
}

}  // namespace
