// pellicor-reg's commands, run in-process against a temporary hive.
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "reg_tool.h"
#include "registry_test_util.h"
#include "temp_hive.h"

namespace {

struct Outcome {
    int status;
    std::string out, err;
};

Outcome reg(std::vector<std::string> args, const std::string& input = "") {
    std::ostringstream out, err;
    std::istringstream in(input);
    int status = pellicor::reg::RunReg(args, in, out, err);
    return {status, out.str(), err.str()};
}

std::string utf16le(const std::string& ascii) {
    std::string out = "\xFF\xFE";
    for (char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

const std::string kProduct = "HKLM\\SOFTWARE\\Orlenby\\Pellicor";

class RegTool : public ::testing::Test {
protected:
    std::string file(const char* name) { return (hive.folder() / name).string(); }
    TempHive hive;
};

TEST_F(RegTool, RuleListsRoundTripThroughAddQueryExportDeleteImport) {
    const std::vector<std::pair<std::string, std::string>> entries = {
        {"ExtOOFdisabledDomains", "@example.com"},
        {"ExtOOFdisabledDomains", "*"},
        {"ExtOOFEnabledRecipientDomains", "@partner.example"},
        {"ExtOOFEnabledSenderAddresses", "helpdesk@example.com"},
    };
    for (const auto& [list, entry] : entries) {
        Outcome added = reg({"add", kProduct + "\\" + list, "/v", entry, "/t", "REG_SZ", "/d", "", "/f"});
        ASSERT_EQ(added.status, 0) << added.err;
        EXPECT_EQ(added.out, "The operation completed successfully.\n");
    }
    Outcome before = reg({"query", kProduct, "/s"});
    ASSERT_EQ(before.status, 0);
    EXPECT_EQ(before.out,
              "\n"
              "HKEY_LOCAL_MACHINE\\SOFTWARE\\Orlenby\\Pellicor\n\n"
              "HKEY_LOCAL_MACHINE\\SOFTWARE\\Orlenby\\Pellicor\\ExtOOFdisabledDomains\n"
              "    @example.com    REG_SZ    \n"
              "    *    REG_SZ    \n\n"
              "HKEY_LOCAL_MACHINE\\SOFTWARE\\Orlenby\\Pellicor\\ExtOOFEnabledRecipientDomains\n"
              "    @partner.example    REG_SZ    \n\n"
              "HKEY_LOCAL_MACHINE\\SOFTWARE\\Orlenby\\Pellicor\\ExtOOFEnabledSenderAddresses\n"
              "    helpdesk@example.com    REG_SZ    \n\n");

    ASSERT_EQ(reg({"export", kProduct, file("rules.reg")}).status, 0);
    EXPECT_EQ(ReadWholeFile(file("rules.reg")),
              utf16le("Windows Registry Editor Version 5.00\r\n\r\n"
                      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orlenby\\Pellicor]\r\n\r\n"
                      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orlenby\\Pellicor\\ExtOOFdisabledDomains]\r\n"
                      "\"@example.com\"=\"\"\r\n\"*\"=\"\"\r\n\r\n"
                      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orlenby\\Pellicor\\ExtOOFEnabledRecipientDomains]\r\n"
                      "\"@partner.example\"=\"\"\r\n\r\n"
                      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orlenby\\Pellicor\\ExtOOFEnabledSenderAddresses]\r\n"
                      "\"helpdesk@example.com\"=\"\"\r\n\r\n"));

    ASSERT_EQ(reg({"delete", kProduct, "/f"}).status, 0);
    Outcome gone = reg({"query", kProduct});
    EXPECT_EQ(gone.status, 1);
    EXPECT_EQ(gone.out, "");
    EXPECT_EQ(gone.err, "ERROR: The system was unable to find the specified registry key or value.\n");

    Outcome imported = reg({"import", file("rules.reg")});
    ASSERT_EQ(imported.status, 0) << imported.err;
    EXPECT_EQ(reg({"query", kProduct, "/s"}).out, before.out);  // keys, names and REG_SZ types as they were
}

TEST_F(RegTool, QueryShowsTypesLikeThePlatformTool) {
    const std::string key = kProduct + "\\Misc";
    ASSERT_EQ(reg({"add", key, "/v", "Count", "/t", "REG_DWORD", "/d", "0x1F", "/f"}).status, 0);
    ASSERT_EQ(reg({"add", key, "/v", "Raw", "/t", "reg_binary", "/d", "00ff10", "/f"}).status, 0);
    ASSERT_EQ(reg({"add", key, "/v", "List", "/t", "REG_MULTI_SZ", "/d", "a\\0b", "/f"}).status, 0);
    ASSERT_EQ(reg({"add", key, "/v", "Split", "/t", "REG_MULTI_SZ", "/s", ",", "/d", "x,y", "/f"}).status, 0);
    ASSERT_EQ(reg({"add", key, "/ve", "/d", "text", "/f"}).status, 0);
    EXPECT_EQ(reg({"query", key}).out,
              "\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Orlenby\\Pellicor\\Misc\n"
              "    Count    REG_DWORD    0x1f\n"
              "    Raw    REG_BINARY    00FF10\n"
              "    List    REG_MULTI_SZ    a\\0b\n"
              "    Split    REG_MULTI_SZ    x\\0y\n"
              "    (Default)    REG_SZ    text\n\n");
    EXPECT_EQ(reg({"query", key, "/v", "count"}).out,
              "\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Orlenby\\Pellicor\\Misc\n    Count    REG_DWORD    0x1f\n\n");
    Outcome search = reg({"query", kProduct, "/v", "raw", "/s"});
    EXPECT_NE(search.out.find("End of search: 1 match(es) found."), std::string::npos);
    EXPECT_EQ(reg({"query", key, "/v", "absent"}).status, 1);
    Outcome parent = reg({"query", kProduct});
    EXPECT_EQ(parent.out,
              "\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Orlenby\\Pellicor\n"
              "HKEY_LOCAL_MACHINE\\SOFTWARE\\Orlenby\\Pellicor\\Misc\n");
}

TEST_F(RegTool, BadCommandLinesFailWithOneLine) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {},
             {"frobnicate"},
             {"query"},
             {"query", "HKCU\\Software"},
             {"add", kProduct, "/v", "n", "/t", "REG_DWORD", "/d", "12x"},
             {"add", kProduct, "/v", "n", "/t", "REG_DWORD", "/d", "4294967296"},
             {"add", kProduct, "/v", "n", "/t", "REG_BINARY", "/d", "abc"},
             {"add", kProduct, "/v", "n", "/t", "REG_FANCY"},
             {"add", kProduct, "/v"},
             {"add", kProduct, "/v", "m", "/t", "REG_MULTI_SZ", "/s", "", "/d", "a"},
             {"delete", "HKLM"},
             {"import", "/nonexistent/rules.reg"},
         }) {
        Outcome run = reg(args);
        EXPECT_EQ(run.status, 1) << (args.empty() ? "(none)" : args[0]);
        EXPECT_EQ(run.err.rfind("ERROR: ", 0), 0u) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
    HKEY key;
    EXPECT_EQ(openKey("SOFTWARE\\Orlenby\\Pellicor", key), ERROR_FILE_NOT_FOUND);  // nothing was created
}

TEST_F(RegTool, QuestionsAnsweredNoChangeNothing) {
    ASSERT_EQ(reg({"add", kProduct, "/v", "v", "/d", "old", "/f"}).status, 0);
    Outcome kept = reg({"add", kProduct, "/v", "v", "/d", "new"}, "n\n");
    EXPECT_EQ(kept.status, 1);
    EXPECT_NE(reg({"query", kProduct, "/v", "v"}).out.find("old"), std::string::npos);
    EXPECT_EQ(reg({"add", kProduct, "/v", "v", "/d", "new"}, "yes\n").status, 0);
    EXPECT_NE(reg({"query", kProduct, "/v", "v"}).out.find("new"), std::string::npos);
    EXPECT_EQ(reg({"delete", kProduct}, "").status, 1);  // no answer at all
    EXPECT_EQ(reg({"query", kProduct}).status, 0);
    std::ofstream(file("existing.reg")) << "keep";
    EXPECT_EQ(reg({"export", kProduct, file("existing.reg")}, "no\n").status, 1);
    EXPECT_EQ(ReadWholeFile(file("existing.reg")), "keep");
    EXPECT_EQ(reg({"export", kProduct, file("existing.reg"), "/y"}).status, 0);
}

TEST_F(RegTool, RefusesTheHiveItselfAsImportOrExportFile) {
    ASSERT_EQ(reg({"add", kProduct, "/v", "v", "/d", "kept", "/f"}).status, 0);
    std::string hivePath = hive.path().string();
    std::filesystem::create_symlink(hivePath, file("link.reg"));
    std::filesystem::create_hard_link(hivePath, file("hard.reg"));
    for (const std::string& name :
         {hivePath, hivePath + "-wal", file("link.reg"), file("hard.reg"), file("./registry.sqlite")}) {
        for (const auto& args :
             std::vector<std::vector<std::string>>{{"import", name}, {"export", kProduct, name, "/y"}}) {
            SCOPED_TRACE(args[0] + " " + name);
            Outcome run = reg(args);
            EXPECT_EQ(run.status, 1);
            EXPECT_NE(run.err.find("the registry's own database"), std::string::npos) << run.err;
        }
    }
    EXPECT_NE(reg({"query", kProduct, "/v", "v"}).out.find("kept"), std::string::npos);
}

TEST_F(RegTool, DeleteValuesAndWholeTrees) {
    ASSERT_EQ(reg({"add", kProduct + "\\A\\B\\C", "/v", "deep", "/f"}).status, 0);
    ASSERT_EQ(reg({"add", kProduct, "/v", "one", "/f"}).status, 0);
    ASSERT_EQ(reg({"add", kProduct, "/v", "two", "/f"}).status, 0);
    EXPECT_EQ(reg({"delete", kProduct, "/v", "ONE", "/f"}).status, 0);
    EXPECT_EQ(reg({"delete", kProduct, "/v", "one", "/f"}).status, 1);
    EXPECT_EQ(reg({"delete", kProduct, "/va", "/f"}).status, 0);
    HKEY key;
    ASSERT_EQ(openKey("SOFTWARE\\Orlenby\\Pellicor", key), ERROR_SUCCESS);
    EXPECT_TRUE(valueNames(key).empty());
    EXPECT_EQ(subkeyNames(key), std::vector<std::string>{"A"});
    RegCloseKey(key);
    EXPECT_EQ(reg({"delete", kProduct + "\\A", "/f"}).status, 0);
    EXPECT_EQ(openKey("SOFTWARE\\Orlenby\\Pellicor\\A", key), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegTool, ImportReadsEightBitFilesAndAppliesAllOrNothing) {
    std::ofstream(file("ok.reg"), std::ios::binary)
        << "\xEF\xBB\xBFWindows Registry Editor Version 5.00\n\n"
           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orlenby\\Pellicor\\ExtOOFdisabledDomains]\n"
           "\"@example.com\"=\"\"\n"
           "\"quoted \\\"name\\\"\"=\"back\\\\slash\"\n"
           "\"long\"=hex:00,01,02,\\\n"
           "  03,04\n"
           "\"path\"=hex(2):25,00,58,00,25,00,00,00\n\n"
           "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Orlenby\\Nothing]\n";
    Outcome ok = reg({"import", file("ok.reg")});
    ASSERT_EQ(ok.status, 0) << ok.err;
    const char* const list = "SOFTWARE\\Orlenby\\Pellicor\\ExtOOFdisabledDomains";
    EXPECT_EQ(valuesAt(list), (std::vector<std::string>{"@example.com", "quoted \"name\"", "long", "path"}));
    for (const auto& [name, type, data] :
         {std::tuple<const char*, DWORD, std::string>{"quoted \"name\"", REG_SZ, {"back\\slash\0", 11}},
          {"long", REG_BINARY, {"\0\1\2\3\4", 5}},
          {"path", REG_EXPAND_SZ, {"%X%\0", 4}}}) {
        DWORD stored = 0;
        std::string bytes;
        EXPECT_EQ(readValue(list, name, stored, bytes), ERROR_SUCCESS) << name;
        EXPECT_EQ(stored, type) << name;
        EXPECT_EQ(bytes, data) << name;
    }

    // The second key cannot be written (not a root this registry has): nothing is.
    std::ofstream(file("half.reg"), std::ios::binary)
        << "Windows Registry Editor Version 5.00\r\n\r\n"
           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orlenby\\Pellicor\\ExtOOFdisabledDomains]\r\n"
           "\"@example.com\"=-\r\n"
           "\"@new.example\"=\"\"\r\n\r\n"
           "[HKEY_CURRENT_USER\\Software\\Elsewhere]\r\n";
    EXPECT_EQ(reg({"import", file("half.reg")}).status, 1);
    EXPECT_EQ(valuesAt(list), (std::vector<std::string>{"@example.com", "quoted \"name\"", "long", "path"}));
}

TEST_F(RegTool, MalformedFilesNameTheLine) {
    const std::string v5 = "Windows Registry Editor Version 5.00\n", a = v5 + "[HKLM\\A]\n",
                      bad = "the text is not valid UTF-8";
    const std::vector<std::pair<std::string, std::string>> files = {
        {"", "not a registry file"},
        {"REGEDIT5\n", "not a registry file"},
        {v5 + "\"v\"=\"x\"\n", "line 2: a value comes before any key"},
        {v5 + "[HKLM\\A\n", "line 2: a key line must end"},
        {a + "\"v\"=dword:123456789\n", "line 3: dword"},
        {a + "\"v\"=hex:0g\n", "line 3: hex data"},
        {a + "\"v\"=hex:00,\\", "line 3: the data continues"},
        {a + "\"v=\"x\"\n", "line 3: "},
        {a + "\"v\"=\"x\n", "line 3: the string"},
        {v5 + "[HKLM\\" + std::string(256, 'k') + "]\n", "line 2: a key name is longer"},
        // Text that would be stored changed: cut at a NUL, or with U+FFFD for bad code.
        {a + "\"a" + std::string(1, '\0') + "b\"=\"\"\n", "line 3: the text has a NUL"},
        {a + "\"v\"=\"\xFF\"\n", "line 3: " + bad},
        {v5 + "[HKLM\\\xC0\xAF]\n", "line 2: " + bad},
        {a + "\"\xED\xA0\x80\"=\"\"\n", "line 3: " + bad},
        {a + "\"v\"=\"\xE2\x82\"\n", "line 3: " + bad},
        {utf16le("Windows Registry Editor Version 5.00\r\n[HKLM\\A]\r\n\"") + std::string("\x00\xD8", 2) +
             utf16le("\"=\"\"\r\n").substr(2),
         "line 3: the text has a UTF-16 surrogate"},
    };
    for (const auto& [text, reason] : files) {
        std::vector<pellicor::reg::RegFileKey> keys;
        std::string error;
        EXPECT_FALSE(pellicor::reg::ParseRegFile(text, keys, error)) << text;
        EXPECT_EQ(error.rfind(reason, 0), 0u) << error;
    }
}

TEST_F(RegTool, ImportRefusesBadTextAndFilesThatAreNotRegular) {
    std::ofstream(file("nul.reg"), std::ios::binary)
        << "Windows Registry Editor Version 5.00\n[" << kProduct << "]\n\"ok\"=\"\"\n"
        << std::string("\"cut\0short\"=\"\"\n", 15);
    ASSERT_EQ(mkfifo(file("fifo.reg").c_str(), 0600), 0);
    const std::vector<std::pair<std::string, std::string>> cases = {
        {file("nul.reg"), file("nul.reg") + ": line 4: the text has a NUL character"},
        {file("fifo.reg"), "Cannot import " + file("fifo.reg") + ": it is not a regular file."},
        {hive.folder().string(), "Cannot import " + hive.folder().string() + ": it is not a regular file."},
    };
    for (const auto& [path, message] : cases) {
        Outcome run = reg({"import", path});
        EXPECT_EQ(run.status, 1) << path;
        EXPECT_EQ(run.err, "ERROR: " + message + "\n");
    }
    HKEY key;
    EXPECT_EQ(openKey("SOFTWARE\\Orlenby\\Pellicor", key), ERROR_FILE_NOT_FOUND);  // nothing was imported
}

TEST_F(RegTool, ExportWrapsLongHexAndReadsBack) {
    std::string bytes;
    for (int i = 0; i < 100; ++i) bytes += static_cast<char>(i);
    pellicor::reg::RegFileKey key{u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Blob", false, {{u"blob", false, REG_BINARY, bytes}}};
    std::string written = pellicor::reg::WriteRegFile({key});
    std::string text;
    for (size_t i = 2; i + 1 < written.size(); i += 2) text += written[i];
    std::istringstream lines(text);
    std::string line;
    int continued = 0;
    while (std::getline(lines, line)) {
        EXPECT_LE(line.size(), 81u) << line;  // 80 columns and the CR
        continued += line.size() >= 2 && line[line.size() - 2] == '\\';
    }
    EXPECT_GE(continued, 3);
    std::vector<pellicor::reg::RegFileKey> back;
    std::string error;
    ASSERT_TRUE(pellicor::reg::ParseRegFile(written, back, error)) << error;
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].values.at(0).data, bytes);
}

}  // namespace
