// The registrar's script format: what a script writes and removes, and that a
// malformed one writes nothing.
#include <gtest/gtest.h>

#include "oaidl.h"
#include "registration_script.h"
#include "registry_dump.h"
#include "temp_hive.h"

namespace {

using platform::atl::ApplyRegistrationScript;
using platform::atl::ParseRegistrationScript;
using platform::atl::Script;

HRESULT apply(const std::string& text, bool doRegister, std::string* error = nullptr) {
    Script script;
    std::string problem;
    if (!ParseRegistrationScript(text, {{"MODULE", "/opt/x/lib.so"}}, script, problem)) {
        if (error) *error = problem;
        return DISP_E_EXCEPTION;
    }
    return ApplyRegistrationScript(script, doRegister);
}

const char kScript[] = R"(HKCR
{
	NoRemove Kept
	{
		ForceRemove Owned = s 'It''s %MODULE%'
		{
			val Model = s 'Free'
			val Count = d '0x10'
			'Quoted Key'
		}
		Plain = s 'x'
	}
})";

TEST(RegistrationScript, RegisterWritesKeysValuesAndReplacementsAndUnregisterHonoursTheMarks) {
    TempHive hive;
    ASSERT_EQ(apply(kScript, true), S_OK);
    std::set<std::string> expected = {
        "Kept",
        "Kept\\Owned",
        "Kept\\Owned [] = It's /opt/x/lib.so",
        "Kept\\Owned [Model] = Free",
        "Kept\\Owned [Count] = <type 4>",
        "Kept\\Owned\\Quoted Key",
        "Kept\\Plain",
        "Kept\\Plain [] = x",
    };
    EXPECT_EQ(DumpRegistry(HKEY_CLASSES_ROOT, "Kept"), expected);

    for (const char* extra : {"Kept\\Owned\\Added\\Deeper", "Kept\\Plain\\Foreign"}) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, extra, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }
    ASSERT_EQ(apply(kScript, false), S_OK);
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "Kept")) << "NoRemove";
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Kept\\Owned")) << "ForceRemove takes everything below";
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "Kept\\Plain\\Foreign")) << "a plain key with foreign subkeys stays";
}

TEST(RegistrationScript, MalformedScriptsFailAndWriteNothing) {
    const char* bad[] = {
        "HKCR { A = s 'x' ",                     // missing brace
        "HKCR { A = s 'unterminated }",          // open quote
        "HKXX { A }",                            // unknown root
        "HKCR { A = q 'x' }",                    // unknown type
        "HKCR { A = d 'twelve' }",               // not a number
        "HKCR { A = s '%UNKNOWN%' }",            // unknown replacement
        "HKCR { val A = s 'x' }",                // value straight under the root
        "HKCR { A { B = s 'x' } } }",            // stray brace
        "HKCR { 'A\\B' }",                       // backslash in a name
        "HKCR { Good = s 'x' } HKCR { Bad = }",  // fault after a good part
    };
    for (const char* text : bad) {
        TempHive hive;
        std::string error;
        EXPECT_EQ(apply(text, true, &error), DISP_E_EXCEPTION) << text;
        EXPECT_FALSE(error.empty()) << text;
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "A")) << text;
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Good")) << text;
    }
    std::string deep = "HKCR {";
    for (int i = 0; i < 100; ++i) deep += " K {";
    for (int i = 0; i < 100; ++i) deep += " }";
    deep += " }";
    Script script;
    std::string error;
    EXPECT_FALSE(ParseRegistrationScript(deep, {}, script, error)) << "nesting is bounded";
}

}  // namespace
