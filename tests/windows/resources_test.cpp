// The resources of the Windows pair as the platform reads them: the version
// blocks through the version API, the registration script and the type library
// through the resource functions. Usage: resources_tests DIR (holding both files).
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
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
        if (!VerQueryValueW(data_.data(), L"\\VarFileInfo\\Translation", &value, &length) || length < 4)
            return 0;
        return *static_cast<DWORD*>(value);
    }
    // The string, or "<missing>" when the table has no such entry.
    std::wstring text(const wchar_t* name) {
        std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
        void* value = nullptr;
        UINT length = 0;
        if (!VerQueryValueW(data_.data(), path.c_str(), &value, &length))
            return L"<missing>";
        return length ? std::wstring(static_cast<wchar_t*>(value)) : std::wstring();
    }

private:
    std::vector<BYTE> data_;
    bool valid_ = false;
};

TEST(Resources, SinkLibraryVersionBlock) {
    VersionBlock block(folder + L"\\Pellicor.dll");
    ASSERT_TRUE(block.valid());
    const VS_FIXEDFILEINFO* fixed = block.fixed();
    ASSERT_NE(fixed, nullptr);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010001u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000008u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010001u);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
    EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));
    EXPECT_EQ(block.translation(), MAKELONG(0x0409, 1200));
    EXPECT_EQ(block.text(L"FileVersion"), L"1, 1, 0, 8");
    EXPECT_EQ(block.text(L"CompanyName"), L"Orlenby");
    EXPECT_EQ(block.text(L"FileDescription"), L"Pellicor Module");
    EXPECT_EQ(block.text(L"ProductName"), L"Pellicor Module");
    EXPECT_EQ(block.text(L"InternalName"), L"Pellicor");
    EXPECT_EQ(block.text(L"OriginalFilename"), L"Pellicor.DLL");
    EXPECT_EQ(block.text(L"OLESelfRegister"), L"") << "present and empty: the library registers itself";
}

TEST(Resources, ConfigurationToolVersionBlock) {
    VersionBlock block(folder + L"\\PellicorSetup.exe");
    ASSERT_TRUE(block.valid());
    const VS_FIXEDFILEINFO* fixed = block.fixed();
    ASSERT_NE(fixed, nullptr);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010001u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000008u);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
    EXPECT_EQ(block.translation(), MAKELONG(0x0409, 1200));
    EXPECT_EQ(block.text(L"FileVersion"), L"1.01.0008");
    EXPECT_EQ(block.text(L"ProductVersion"), L"1.01.0008");
    EXPECT_EQ(block.text(L"CompanyName"), L"Orlenby");
    EXPECT_EQ(block.text(L"FileDescription"), L"Pellicor setup");
    EXPECT_EQ(block.text(L"ProductName"), L"Pellicor setup");
    EXPECT_EQ(block.text(L"InternalName"), L"PellicorSetup");
    EXPECT_EQ(block.text(L"OriginalFilename"), L"PellicorSetup.exe");
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
