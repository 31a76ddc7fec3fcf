// FindResource and friends over the resource notes of loaded modules, and the
// same lookup over a library file on disk (for LoadTypeLib).
#include "module_resources.h"

#include <elf.h>
#include <link.h>

#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>

#include "libloaderapi.h"

namespace platform::com {
namespace {

constexpr char kNoteName[] = "PELLICOR";
constexpr uint32_t kNoteType = 0x43525352;  // "RSRC"
constexpr size_t kFieldSize = 16;

size_t align4(size_t n) { return (n + 3) & ~size_t(3); }

std::string field(const char* bytes) { return std::string(bytes, strnlen(bytes, kFieldSize)); }

// Walks the notes in [begin, begin + size); calls visit(header, desc) for each
// resource note until it returns true. Returns the note it stopped at.
template <typename Visit>
const Elf64_Nhdr* walkNotes(const char* begin, size_t size, Visit visit) {
    size_t at = 0;
    while (at + sizeof(Elf64_Nhdr) <= size) {
        auto* note = reinterpret_cast<const Elf64_Nhdr*>(begin + at);
        size_t nameAt = at + sizeof(Elf64_Nhdr);
        size_t descAt = nameAt + align4(note->n_namesz);
        size_t next = descAt + align4(note->n_descsz);
        if (descAt > size || note->n_descsz > size - descAt) return nullptr;
        bool ours = note->n_type == kNoteType && note->n_namesz == sizeof kNoteName &&
                    std::memcmp(begin + nameAt, kNoteName, sizeof kNoteName) == 0 && note->n_descsz >= 2 * kFieldSize;
        if (ours && visit(begin + descAt)) return note;
        at = next;
    }
    return nullptr;
}

bool matches(const char* desc, const std::string& type, const std::string& name) {
    return field(desc) == type && field(desc + kFieldSize) == name;
}

struct ModuleSearch {
    uintptr_t module;
    std::string type;
    std::string name;
    const Elf64_Nhdr* found = nullptr;
    bool moduleSeen = false;
};

bool containsModule(dl_phdr_info* info, uintptr_t module) {
    if (info->dlpi_addr == module) return true;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& ph = info->dlpi_phdr[i];
        uintptr_t start = info->dlpi_addr + ph.p_vaddr;
        if (ph.p_type == PT_LOAD && module >= start && module < start + ph.p_memsz) return true;
    }
    return false;
}

int searchModule(dl_phdr_info* info, size_t, void* data) {
    auto* search = static_cast<ModuleSearch*>(data);
    if (!containsModule(info, search->module)) return 0;
    search->moduleSeen = true;
    for (int i = 0; i < info->dlpi_phnum && !search->found; ++i) {
        const ElfW(Phdr)& ph = info->dlpi_phdr[i];
        if (ph.p_type != PT_NOTE) continue;
        auto* begin = reinterpret_cast<const char*>(info->dlpi_addr + ph.p_vaddr);
        search->found =
            walkNotes(begin, ph.p_memsz, [&](const char* desc) { return matches(desc, search->type, search->name); });
    }
    return 1;
}

std::string narrowKey(LPCSTR nameOrId) {
    std::string key;
    // Appended rather than "#" + ...: GCC 12 at -O3 warns falsely about the latter.
    if (IS_INTRESOURCE(nameOrId)) return key.append("#").append(std::to_string(WORD(ULONG_PTR(nameOrId))));
    for (const char* c = nameOrId; *c; ++c) key += char(std::toupper((unsigned char)*c));
    return key;
}

HRSRC find(HMODULE module, const std::string& name, const std::string& type) {
    ModuleSearch search{reinterpret_cast<uintptr_t>(module), type, name};
    dl_iterate_phdr(searchModule, &search);
    return reinterpret_cast<HRSRC>(const_cast<Elf64_Nhdr*>(search.found));
}

const char* descOf(HRSRC resource) {
    auto* note = reinterpret_cast<const Elf64_Nhdr*>(resource);
    return reinterpret_cast<const char*>(note + 1) + align4(note->n_namesz);
}

}  // namespace

std::string ResourceKey(LPCWSTR nameOrId) {
    std::string key;
    // Appended rather than "#" + ...: GCC 12 at -O3 warns falsely about the latter.
    if (IS_INTRESOURCE(nameOrId)) return key.append("#").append(std::to_string(WORD(ULONG_PTR(nameOrId))));
    for (LPCWSTR c = nameOrId; *c; ++c) key += *c < 0x80 ? char(std::toupper(int(*c))) : '?';
    return key;
}

bool ReadResourceFromFile(const std::string& path, const std::string& type, const std::string& name,
                          std::vector<BYTE>& data) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::vector<char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (file.size() < sizeof(Elf64_Ehdr)) return false;
    Elf64_Ehdr header;
    std::memcpy(&header, file.data(), sizeof header);
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != ELFCLASS64) return false;
    if (header.e_phentsize != sizeof(Elf64_Phdr) || header.e_phoff > file.size() ||
        header.e_phnum > (file.size() - header.e_phoff) / sizeof(Elf64_Phdr))
        return false;
    for (int i = 0; i < header.e_phnum; ++i) {
        Elf64_Phdr ph;
        std::memcpy(&ph, file.data() + header.e_phoff + i * sizeof ph, sizeof ph);
        if (ph.p_type != PT_NOTE || ph.p_offset > file.size() || ph.p_filesz > file.size() - ph.p_offset) continue;
        const char* found = nullptr;
        walkNotes(file.data() + ph.p_offset, ph.p_filesz, [&](const char* desc) {
            if (!matches(desc, type, name)) return false;
            found = desc;
            return true;
        });
        if (!found) continue;
        auto* note = reinterpret_cast<const Elf64_Nhdr*>(found - align4(sizeof kNoteName)) - 1;
        data.assign(found + 2 * kFieldSize, found + note->n_descsz);
        return true;
    }
    return false;
}

}  // namespace platform::com

HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type) {
    if (!name || !type) return nullptr;
    return platform::com::find(module, platform::com::ResourceKey(name), platform::com::ResourceKey(type));
}

HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type) {
    if (!name || !type) return nullptr;
    return platform::com::find(module, platform::com::narrowKey(name), platform::com::narrowKey(type));
}

HGLOBAL LoadResource(HMODULE module, HRSRC resource) {
    if (!resource) return nullptr;
    return const_cast<char*>(platform::com::descOf(resource) + 2 * platform::com::kFieldSize);
}

LPVOID LockResource(HGLOBAL data) { return data; }

DWORD SizeofResource(HMODULE module, HRSRC resource) {
    if (!resource) return 0;
    return reinterpret_cast<const Elf64_Nhdr*>(resource)->n_descsz - 2 * platform::com::kFieldSize;
}
