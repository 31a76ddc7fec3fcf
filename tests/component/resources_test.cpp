// The resources the library carries, found by type and identifier both in the
// loaded library and in its file.
#include <cstring>
#include <string>

#include "module_resources.h"
#include "sink_library.h"

namespace {

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
