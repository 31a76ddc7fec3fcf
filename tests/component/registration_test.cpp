// Registration through the library's exports, and the registrar's script format
// on its own: what a script writes and removes, and that a malformed one writes
// nothing. Creating and judging through the registered class is left to
// pellicor-submit's test (programs_test.cpp).
#include <climits>
#include <cstdlib>

#include "oaidl.h"
#include "registration_script.h"
#include "registry_dump.h"
#include "sink_library.h"
#include "temp_hive.h"

namespace {

const std::string kClass = "CLSID\\{3D0C9A61-7B2E-4F15-9C48-2A6E5B1F0D37}";

std::string libraryPath() {
    char resolved[PATH_MAX];
    return realpath(PELLICOR_LIBRARY, resolved) ? resolved : PELLICOR_LIBRARY;
}

class RegistrationTest : public SinkLibraryTest {
protected:
    TempHive hive;
};

// Registration replaces a stale class key whole; unregistration takes all it wrote
// but the CLSID key. Finding the class by its program identifier is pellicor-submit's.
TEST_F(RegistrationTest, RegisterWritesTheClassKeysAndValuesAndUnregisterRemovesThem) {
    HKEY stale = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, (kClass + "\\LocalServer32").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &stale, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(stale);
    ASSERT_EQ(lib().registerServer(), S_OK);
    std::set<std::string> expected = {
        kClass,
        kClass + " [] = Sink Class",
        kClass + "\\ProgID",
        kClass + "\\ProgID [] = Pellicor.Sink.1",
        kClass + "\\VersionIndependentProgID",
        kClass + "\\VersionIndependentProgID [] = Pellicor.Sink",
        kClass + "\\Programmable",
        kClass + "\\InprocServer32",
        kClass + "\\InprocServer32 [] = " + libraryPath(),
        kClass + "\\InprocServer32 [ThreadingModel] = Free",
        kClass + "\\TypeLib",
        kClass + "\\TypeLib [] = {8A41E2C7-5F30-4B9D-A1E6-7C2D9F4B3E05}",
    };
    EXPECT_EQ(DumpRegistry(HKEY_CLASSES_ROOT, kClass), expected);

    std::set<std::string> progIds = DumpRegistry(HKEY_CLASSES_ROOT, "Pellicor.Sink");
    progIds.merge(DumpRegistry(HKEY_CLASSES_ROOT, "Pellicor.Sink.1"));
    std::set<std::string> expectedProgIds = {
        "Pellicor.Sink",          "Pellicor.Sink [] = Sink Class",
        "Pellicor.Sink\\CLSID",   "Pellicor.Sink\\CLSID [] = {3D0C9A61-7B2E-4F15-9C48-2A6E5B1F0D37}",
        "Pellicor.Sink\\CurVer",  "Pellicor.Sink\\CurVer [] = Pellicor.Sink.1",
        "Pellicor.Sink.1",        "Pellicor.Sink.1 [] = Sink Class",
        "Pellicor.Sink.1\\CLSID", "Pellicor.Sink.1\\CLSID [] = {3D0C9A61-7B2E-4F15-9C48-2A6E5B1F0D37}",
    };
    EXPECT_EQ(progIds, expectedProgIds);

    const std::string typeLib = "TypeLib\\{8A41E2C7-5F30-4B9D-A1E6-7C2D9F4B3E05}";
    const std::string sinkInterface = "Interface\\{C5B7F013-2E94-4D6A-8B3F-61A0E9D2C784}";
    std::set<std::string> typeLibKeys = DumpRegistry(HKEY_CLASSES_ROOT, typeLib);
    EXPECT_TRUE(typeLibKeys.count(typeLib + "\\1.0 [] = Pellicor 1.0 Type Library"));
    EXPECT_TRUE(typeLibKeys.count(typeLib + "\\1.0\\409\\win32 [] = " + libraryPath()));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, sinkInterface));

    ASSERT_EQ(lib().unregisterServer(), S_OK);
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "CLSID"));
    for (const std::string& key :
         {kClass, std::string("Pellicor.Sink"), std::string("Pellicor.Sink.1"), typeLib, sinkInterface})
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, key)) << key;
    EXPECT_EQ(lib().unregisterServer(), TYPE_E_REGISTRYACCESS) << "as on the platform: no type library to remove";
}

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
	NoRemove Bare
	{
		Leaf = s 'y'
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
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "Bare")) << "NoRemove, with nothing else keeping it";
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Bare\\Leaf"));
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
