// The resources the library carries, found by type and identifier in the loaded
// library and in its file, and its type library as the platform's services read it.
#include <cstring>
#include <string>

#include "module_resources.h"
#include "pellicor_interfaces.h"
#include "sink_library.h"
#include "type_library.h"

namespace {

std::u16string libraryPath() {
    std::string narrow = PELLICOR_LIBRARY;
    return std::u16string(narrow.begin(), narrow.end());
}

class TypeLibraryTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(LoadTypeLib(libraryPath().c_str(), &lib), S_OK); }
    void TearDown() override {
        if (lib) lib->Release();
    }
    ITypeLib* lib = nullptr;
};

std::u16string text(BSTR b) { return b ? std::u16string(b, SysStringLen(b)) : u"<null>"; }

TEST_F(TypeLibraryTest, LibraryAttributesAndHelpString) {
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(lib->GetLibAttr(&attr), S_OK);
    EXPECT_EQ(attr->guid, LIBID_PELLICORLib);
    EXPECT_EQ(attr->lcid, 0x0409u);
    EXPECT_EQ(attr->syskind, SYS_WIN32);
    EXPECT_EQ(attr->wMajorVerNum, 1);
    EXPECT_EQ(attr->wMinorVerNum, 0);
    EXPECT_EQ(attr->wLibFlags, 0);
    lib->ReleaseTLibAttr(attr);
    BSTR name = nullptr, doc = nullptr;
    ASSERT_EQ(lib->GetDocumentation(-1, &name, &doc, nullptr, nullptr), S_OK);
    EXPECT_EQ(text(name), u"PELLICORLib");
    EXPECT_EQ(text(doc), u"Pellicor 1.0 Type Library");
    SysFreeString(name);
    SysFreeString(doc);
    EXPECT_EQ(lib->GetTypeInfoCount(), 2u);
}

TEST_F(TypeLibraryTest, DualInterfaceReportsItsDispatchViewWithInheritedFunctions) {
    ITypeInfo* info = nullptr;
    ASSERT_EQ(lib->GetTypeInfoOfGuid(IID_ISink, &info), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
    EXPECT_EQ(attr->cFuncs, 7);
    EXPECT_EQ(attr->wTypeFlags, TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE);
    EXPECT_EQ(attr->cImplTypes, 1);
    info->ReleaseTypeAttr(attr);

    const char16_t* names[] = {u"QueryInterface", u"AddRef",        u"Release", u"GetTypeInfoCount",
                               u"GetTypeInfo",    u"GetIDsOfNames", u"Invoke"};
    const SHORT params[] = {2, 0, 0, 1, 3, 5, 8};
    for (UINT i = 0; i < 7; ++i) {
        FUNCDESC* desc = nullptr;
        ASSERT_EQ(info->GetFuncDesc(i, &desc), S_OK);
        BSTR name = nullptr;
        ASSERT_EQ(info->GetDocumentation(desc->memid, &name, nullptr, nullptr, nullptr), S_OK);
        EXPECT_EQ(text(name), names[i]);
        EXPECT_EQ(desc->cParams, params[i]) << i;
        EXPECT_EQ(desc->funckind, FUNC_DISPATCH);
        EXPECT_EQ(desc->oVft, SHORT(i * sizeof(void*)));
        SysFreeString(name);
        info->ReleaseFuncDesc(desc);
    }
    FUNCDESC* beyond = nullptr;
    EXPECT_EQ(info->GetFuncDesc(7, &beyond), TYPE_E_ELEMENTNOTFOUND);

    BSTR name = nullptr, doc = nullptr;
    ASSERT_EQ(info->GetDocumentation(MEMBERID_NIL, &name, &doc, nullptr, nullptr), S_OK);
    EXPECT_EQ(text(name), u"ISink");
    EXPECT_EQ(text(doc), u"ISink Interface");
    SysFreeString(name);
    SysFreeString(doc);

    ITypeInfo2* extended = nullptr;
    ASSERT_EQ(info->QueryInterface(IID_ITypeInfo2, reinterpret_cast<void**>(&extended)), S_OK);
    TYPEKIND kind{};
    EXPECT_EQ(extended->GetTypeKind(&kind), S_OK);
    EXPECT_EQ(kind, TKIND_DISPATCH);
    extended->Release();
    info->Release();
}

TEST_F(TypeLibraryTest, CoclassIsCreatableWithItsHelpString) {
    ITypeInfo* info = nullptr;
    ASSERT_EQ(lib->GetTypeInfoOfGuid(CLSID_Sink, &info), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->typekind, TKIND_COCLASS);
    EXPECT_EQ(attr->wTypeFlags, TYPEFLAG_FCANCREATE);
    EXPECT_EQ(attr->cImplTypes, 1);
    info->ReleaseTypeAttr(attr);
    INT flags = 0;
    EXPECT_EQ(info->GetImplTypeFlags(0, &flags), S_OK);
    EXPECT_EQ(flags, IMPLTYPEFLAG_FDEFAULT);
    BSTR doc = nullptr;
    ASSERT_EQ(info->GetDocumentation(MEMBERID_NIL, nullptr, &doc, nullptr, nullptr), S_OK);
    EXPECT_EQ(text(doc), u"Sink Class");
    SysFreeString(doc);
    info->Release();
}

TEST(TypeLibraryLoading, DamagedOrMissingLibrariesFail) {
    ITypeLib* lib = nullptr;
    EXPECT_EQ(LoadTypeLib(u"/nonexistent/library.so", &lib), TYPE_E_CANTLOADLIBRARY);
    EXPECT_EQ(LoadTypeLib((libraryPath() + u"\\2").c_str(), &lib), TYPE_E_CANTLOADLIBRARY) << "only resource 1 exists";

    // A cut before the name and string tables is refused; none reads past its end.
    std::vector<BYTE> whole;
    ASSERT_TRUE(platform::com::ReadResourceFromFile(PELLICOR_LIBRARY, "TYPELIB", "#1", whole));
    for (size_t size = 0; size < whole.size(); size += 7) {
        std::vector<BYTE> cut(whole.begin(), whole.begin() + size);
        HRESULT hr = platform::com::CreateTypeLibFromMemory(cut, &lib);
        if (size < 0x500) {
            EXPECT_TRUE(FAILED(hr)) << "cut at " << size;
        }
        if (SUCCEEDED(hr)) lib->Release();
    }
    ASSERT_EQ(platform::com::CreateTypeLibFromMemory(whole, &lib), S_OK);
    lib->Release();
}

std::string bytesOf(HMODULE module, HRSRC resource) {
    auto* data = static_cast<const char*>(LockResource(LoadResource(module, resource)));
    return std::string(data, SizeofResource(module, resource));
}

std::string utf16(const char* text) {
    std::string out;
    for (; *text; ++text) out += std::string(1, *text) + '\0';
    return out;
}

TEST(SinkResources, RegistrationScriptAndTypeLibraryInTheLoadedLibrary) {
    HMODULE module = SinkLibrary::Get().module;
    ASSERT_NE(module, nullptr);
    HRSRC script = FindResourceW(module, MAKEINTRESOURCEW(101), u"REGISTRY");
    ASSERT_NE(script, nullptr);
    EXPECT_EQ(bytesOf(module, script).rfind("HKCR", 0), 0u);
    EXPECT_EQ(FindResourceW(module, MAKEINTRESOURCEW(101), u"registry"), script) << "type names ignore case";
    HRSRC typeLib = FindResourceW(module, MAKEINTRESOURCEW(1), u"TYPELIB");
    ASSERT_NE(typeLib, nullptr);
    EXPECT_EQ(bytesOf(module, typeLib).rfind("MSFT", 0), 0u);
    EXPECT_EQ(FindResourceW(module, MAKEINTRESOURCEW(102), u"REGISTRY"), nullptr);
    EXPECT_EQ(FindResourceW(nullptr, MAKEINTRESOURCEW(101), u"REGISTRY"), nullptr) << "the program carries none";
}

TEST(SinkResources, VersionBlock) {
    std::vector<BYTE> block;
    ASSERT_TRUE(platform::com::ReadResourceFromFile(PELLICOR_LIBRARY, "#16", "#1", block));
    ASSERT_GE(block.size(), 92u);
    uint16_t length = 0;
    std::memcpy(&length, block.data(), 2);
    EXPECT_EQ(length, block.size());
    EXPECT_EQ(std::string(reinterpret_cast<char*>(&block[6]), 30), utf16("VS_VERSION_INFO"));
    uint32_t fixed[13];
    std::memcpy(fixed, &block[40], sizeof fixed);
    EXPECT_EQ(fixed[0], 0xFEEF04BDu);
    EXPECT_EQ(fixed[2], 0x00010001u) << "file version 1.1";
    EXPECT_EQ(fixed[3], 0x00000008u) << "file version .0.8";
    EXPECT_EQ(fixed[9], 2u) << "a dynamic-link library";
    std::string text(block.begin(), block.end());
    for (const char* expected :
         {"Orlenby", "Pellicor Module", "1, 1, 0, 8", "Pellicor.DLL", "OLESelfRegister", "040904B0", "Translation"})
        EXPECT_NE(text.find(utf16(expected)), std::string::npos) << expected;
    uint16_t translation[2];
    std::memcpy(translation, &block[block.size() - 4], 4);
    EXPECT_EQ(translation[0], 0x0409);
    EXPECT_EQ(translation[1], 1200);
}

}  // namespace
