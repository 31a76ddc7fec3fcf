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

class VersionBlock {
public:
    explicit VersionBlock(const std::wstring& path) {
        DWORD ignored = 0;
        DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
        data_.resize(size);
        valid_ = size > 0 && GetFileVersionInfoW(path.c_str(), 0, size, data_.data());
    }
    bool valid() const { return valid_; }
    const VS_FIXEDFILEINFO* fixed() {
        void* value = nullptr;
        UINT length = 0;
        return VerQueryValueW(data_.data(), L"\\", &value, &length) ? static_cast<VS_FIXEDFILEINFO*>(value) : nullptr;
    }
    DWORD translation() {
        void* value = nullptr;
        UINT length = 0;
        if (!VerQueryValueW(data_.data(), L"\\VarFileInfo\\Translation", &value, &length) || length < 4) return 0;
        return *static_cast<DWORD*>(value);
    }
    // The string, or "<missing>" when the table has no such entry.
    std::wstring text(const wchar_t* name) {
        std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
        void* value = nullptr;
        UINT length = 0;
        if (!VerQueryValueW(data_.data(), path.c_str(), &value, &length)) return L"<missing>";
        return length ? std::wstring(static_cast<wchar_t*>(value)) : std::wstring();
    }

private:
    std::vector<BYTE> data_;
    bool valid_ = false;
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
        ASSERT_TRUE(block.valid());
        const VS_FIXEDFILEINFO* fixed = block.fixed();
        ASSERT_NE(fixed, nullptr);
        EXPECT_EQ(fixed->dwFileVersionMS, 0x00010001u);
        EXPECT_EQ(fixed->dwFileVersionLS, 0x00000008u);
        EXPECT_EQ(fixed->dwProductVersionMS, 0x00010001u);
        EXPECT_EQ(fixed->dwFileType, c.fileType);
        EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));
        EXPECT_EQ(block.translation(), MAKELONG(0x0409, 1200));
        for (const auto& [name, text] : c.texts)
            EXPECT_EQ(block.text(name), text) << testing::PrintToString(std::wstring(name));
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
