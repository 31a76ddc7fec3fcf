// Shared libraries as modules: a module handle is the library's load address, so
// that it can be found again from any address inside the library.
#include <dlfcn.h>
#include <link.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "libloaderapi.h"
#include "library_trust.h"
#include "utf.h"
#include "winbase.h"

namespace {

thread_local std::string lastLoadError;

std::mutex& handlesMutex() {
    static std::mutex mutex;
    return mutex;
}

// dlopen handles of the libraries LoadLibrary opened, by load address.
std::map<uintptr_t, void*>& handles() {
    static auto* map = new std::map<uintptr_t, void*>;
    return *map;
}

struct PathSearch {
    uintptr_t module;
    std::string path;
    bool found = false;
};

int findPath(dl_phdr_info* info, size_t, void* data) {
    auto* search = static_cast<PathSearch*>(data);
    bool inside = info->dlpi_addr == search->module;
    for (int i = 0; i < info->dlpi_phnum && !inside; ++i) {
        const ElfW(Phdr)& ph = info->dlpi_phdr[i];
        uintptr_t start = info->dlpi_addr + ph.p_vaddr;
        inside = ph.p_type == PT_LOAD && search->module >= start && search->module < start + ph.p_memsz;
    }
    if (!inside) return 0;
    search->found = true;
    search->path = info->dlpi_name ? info->dlpi_name : "";
    return 1;
}

// The module's full path; the program itself when `module` is null or the main object.
std::string modulePath(HMODULE module) {
    std::string path;
    if (module) {
        PathSearch search{reinterpret_cast<uintptr_t>(module), {}};
        dl_iterate_phdr(findPath, &search);
        if (!search.found) return {};
        path = search.path;
    }
    if (path.empty()) path = "/proc/self/exe";
    char resolved[PATH_MAX];
    if (!realpath(path.c_str(), resolved)) return path;
    return resolved;
}

DWORD copyOut(const std::string& path, LPSTR out, DWORD size) {
    if (!out || size == 0) return 0;
    size_t n = path.size() < size ? path.size() : size - 1;
    std::memcpy(out, path.data(), n);
    out[n] = '\0';
    return DWORD(n);
}

}  // namespace

HMODULE LoadLibraryA(LPCSTR fileName) {
    if (!fileName) return nullptr;
    // A bare name is found by the loader in the system's folders; a path is
    // loaded only if no other user could have replaced what it names. The
    // resolved path is what is checked and loaded, so a link cannot be swapped
    // in between.
    std::string path = fileName;
    if (path.find('/') != std::string::npos) {
        char resolved[PATH_MAX];
        if (!realpath(fileName, resolved)) {
            lastLoadError = path + ": " + std::strerror(errno);
            return nullptr;
        }
        path = resolved;
        std::string reason = pellicor::com::UntrustedLibraryReason(path);
        if (!reason.empty()) {
            lastLoadError = "refusing to load " + path + ": " + reason;
            return nullptr;
        }
    }
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* error = dlerror();
        lastLoadError = error ? error : "cannot load library";
        return nullptr;
    }
    link_map* map = nullptr;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || !map) {
        dlclose(handle);
        lastLoadError = "cannot find the library's load address";
        return nullptr;
    }
    std::lock_guard lock(handlesMutex());
    handles()[map->l_addr] = handle;
    return reinterpret_cast<HMODULE>(map->l_addr);
}

HMODULE LoadLibraryW(LPCWSTR fileName) {
    if (!fileName) return nullptr;
    return LoadLibraryA(platform::Utf8FromUtf16(fileName).c_str());
}

LPCSTR GetLastLoadLibraryError() { return lastLoadError.c_str(); }

BOOL FreeLibrary(HMODULE module) {
    void* handle = nullptr;
    {
        std::lock_guard lock(handlesMutex());
        auto found = handles().find(reinterpret_cast<uintptr_t>(module));
        if (found == handles().end()) return FALSE;
        handle = found->second;
    }
    // dlclose counts like LoadLibrary does; the entry stays valid for the same address.
    return dlclose(handle) == 0;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
    if (!name) return nullptr;
    void* handle = nullptr;
    {
        std::lock_guard lock(handlesMutex());
        auto found = handles().find(reinterpret_cast<uintptr_t>(module));
        if (found != handles().end()) handle = found->second;
    }
    if (handle) return reinterpret_cast<FARPROC>(dlsym(handle, name));
    std::string path = modulePath(module);
    handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!handle) return nullptr;
    auto* symbol = reinterpret_cast<FARPROC>(dlsym(handle, name));
    dlclose(handle);
    return symbol;
}

BOOL GetModuleHandleExW(DWORD flags, LPCWSTR name, HMODULE* module) {
    if (!module) return FALSE;
    *module = nullptr;
    if (!(flags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS)) return FALSE;
    Dl_info info{};
    if (!dladdr(reinterpret_cast<const void*>(name), &info) || !info.dli_fbase) return FALSE;
    *module = reinterpret_cast<HMODULE>(info.dli_fbase);
    return TRUE;
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size) {
    return copyOut(modulePath(module), fileName, size);
}

DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size) {
    if (!fileName || size == 0) return 0;
    std::string path = modulePath(module);
    int chars = MultiByteToWideChar(CP_UTF8, 0, path.c_str(), int(path.size()), fileName, int(size - 1));
    if (chars <= 0 && !path.empty()) return 0;
    fileName[chars] = u'\0';
    return DWORD(chars);
}

BOOL DisableThreadLibraryCalls(HMODULE module) { return TRUE; }  // no per-thread notifications here
