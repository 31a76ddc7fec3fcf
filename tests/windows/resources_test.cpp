// The resources of the Windows pair as the platform reads them: the version
// blocks through the version API, the registration script and the type library
// through the resource functions. Usage: resources_tests DIR (holding both files).
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace {

std::wstring folder;

// A file's version block, read through the version API; empty when it has none.
struct VersionBlock {
    explicit VersionBlock(const std::wstring& path) {
        DWORD ignored = 0;
        data.resize(GetFileVersionInfoSizeW(path.c_str(), &ignored));
        if (!data.empty() && !GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(data.size()), data.data()))
            data.clear();
    }
    // The value at the query's path, or null when there is none.
    template <typename T>
    const T* Value(const std::wstring& query, UINT& length) {
        void* value = nullptr;
        return VerQueryValueW(data.data(), query.c_str(), &value, &length) ? static_cast<const T*>(value) : nullptr;
    }
    std::vector<BYTE> data;
};

TEST(Resources, VersionBlocksOfThePair) {
    const struct {
        const wchar_t* file;
        DWORD fileType;
        std::vector<std::pair<const wchar_t*, const wchar_t*>> texts;
    } cases[] = {
        {L"Pellicor.dll",
         VFT_DLL,
         {{L"FileVersion", L"1, 1, 0, 8"},
          {L"CompanyName", L"Orlenby"},
          {L"FileDescription", L"Pellicor Module"},
          {L"ProductName", L"Pellicor Module"},
          {L"InternalName", L"Pellicor"},
          {L"OriginalFilename", L"Pellicor.DLL"},
          {L"OLESelfRegister", L""}}},  // present and empty: the library registers itself
        {L"PellicorSetup.exe",
         VFT_APP,
         {{L"FileVersion", L"1.01.0008"},
          {L"ProductVersion", L"1.01.0008"},
          {L"CompanyName", L"Orlenby"},
          {L"FileDescription", L"Pellicor setup"},
          {L"ProductName", L"Pellicor setup"},
          {L"InternalName", L"PellicorSetup"},
          {L"OriginalFilename", L"PellicorSetup.exe"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.file)));
        VersionBlock block(folder + L"\\" + c.file);
        ASSERT_FALSE(block.data.empty());
        UINT length = 0;
        const auto* fixed = block.Value<VS_FIXEDFILEINFO>(L"\\", length);
        ASSERT_NE(fixed, nullptr);
        EXPECT_EQ(fixed->dwFileVersionMS, 0x00010001u);
        EXPECT_EQ(fixed->dwFileVersionLS, 0x00000008u);
        EXPECT_EQ(fixed->dwProductVersionMS, 0x00010001u);
        EXPECT_EQ(fixed->dwFileType, c.fileType);
        EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));
        const auto* translation = block.Value<DWORD>(L"\\VarFileInfo\\Translation", length);
        ASSERT_TRUE(translation && length >= 4);
        EXPECT_EQ(*translation, MAKELONG(0x0409, 1200));
        for (const auto& [name, text] : c.texts) {
            const auto* shown = block.Value<wchar_t>(std::wstring(L"\\StringFileInfo\\040904B0\\") + name, length);
            ASSERT_NE(shown, nullptr) << testing::PrintToString(std::wstring(name));
            EXPECT_EQ(length ? std::wstring(shown) : std::wstring(), text)
                << testing::PrintToString(std::wstring(name));
        }
    }
}

TEST(Resources, SinkLibraryCarriesItsScriptAndTypeLibrary) {
    HMODULE library = LoadLibraryExW((folder + L"\\Pellicor.dll").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(library, nullptr);
    HRSRC script = FindResourceW(library, MAKEINTRESOURCEW(101), L"REGISTRY");
    ASSERT_NE(script, nullptr);
    std::string text(static_cast<const char*>(LockResource(LoadResource(library, script))),
                     SizeofResource(library, script));
    EXPECT_NE(text.find("InprocServer32 = s '%MODULE%'"), std::string::npos);
    HRSRC types = FindResourceW(library, MAKEINTRESOURCEW(1), L"TYPELIB");
    ASSERT_NE(types, nullptr);
    const char* header = static_cast<const char*>(LockResource(LoadResource(library, types)));
    EXPECT_EQ(std::string(header, 4), "MSFT");
    FreeLibrary(library);
}

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: resources_tests DIR\n");
        return 2;
    }
    folder.assign(argv[1], argv[1] + std::strlen(argv[1]));
    return RUN_ALL_TESTS();
}
