// Registration through the library's exports. Creating and judging through the
// registered class is left to pellicor-submit's test (programs_test.cpp).
#include <climits>
#include <cstdlib>

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

TEST_F(RegistrationTest, RegisterWritesTheClassKeysAndValues) {
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

    std::set<std::string> typeLib = DumpRegistry(HKEY_CLASSES_ROOT, "TypeLib\\{8A41E2C7-5F30-4B9D-A1E6-7C2D9F4B3E05}");
    EXPECT_TRUE(typeLib.count("TypeLib\\{8A41E2C7-5F30-4B9D-A1E6-7C2D9F4B3E05}\\1.0 [] = Pellicor 1.0 Type Library"));
    EXPECT_TRUE(
        typeLib.count("TypeLib\\{8A41E2C7-5F30-4B9D-A1E6-7C2D9F4B3E05}\\1.0\\409\\win32 [] = " + libraryPath()));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "Interface\\{C5B7F013-2E94-4D6A-8B3F-61A0E9D2C784}"));
}

TEST_F(RegistrationTest, UnregisterRemovesProgIdsAndClassButLeavesClsid) {
    ASSERT_EQ(lib().registerServer(), S_OK);
    ASSERT_EQ(lib().unregisterServer(), S_OK);
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "CLSID"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kClass));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Pellicor.Sink"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Pellicor.Sink.1"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "TypeLib\\{8A41E2C7-5F30-4B9D-A1E6-7C2D9F4B3E05}"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Interface\\{C5B7F013-2E94-4D6A-8B3F-61A0E9D2C784}"));
    EXPECT_EQ(lib().unregisterServer(), TYPE_E_REGISTRYACCESS) << "as on the platform: no type library to remove";
}

TEST_F(RegistrationTest, RegisterReplacesAStaleClassKeyWhole) {
    HKEY stale = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, (kClass + "\\LocalServer32").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &stale, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(stale);
    ASSERT_EQ(lib().registerServer(), S_OK);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kClass + "\\LocalServer32"));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kClass + "\\InprocServer32"));
}

TEST_F(RegistrationTest, ProgramIdentifiersNameTheClassOnceRegistered) {
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID(u"Pellicor.Sink", &clsid), CO_E_CLASSSTRING) << "nothing is registered yet";
    IUnknown* object = nullptr;
    EXPECT_EQ(CoCreateInstance(SinkLibrary::CLSID_SinkForTests(), nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              REGDB_E_CLASSNOTREG);

    ASSERT_EQ(lib().registerServer(), S_OK);
    ASSERT_EQ(CLSIDFromProgID(u"Pellicor.Sink", &clsid), S_OK);
    EXPECT_EQ(clsid, SinkLibrary::CLSID_SinkForTests());
    ASSERT_EQ(CLSIDFromProgID(u"Pellicor.Sink.1", &clsid), S_OK);
    EXPECT_EQ(clsid, SinkLibrary::CLSID_SinkForTests());
}

}  // namespace
