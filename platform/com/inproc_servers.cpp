#include "inproc_servers.h"

#include <cstdio>
#include <map>
#include <mutex>
#include <string>

#include "libloaderapi.h"
#include "objbase.h"
#include "winbase.h"
#include "winreg.h"

#ifndef CO_E_DLLNOTFOUND
#define CO_E_DLLNOTFOUND ((HRESULT)0x800401F8)
#endif

namespace platform::com {
namespace {

typedef HRESULT(STDAPICALLTYPE* GetClassObjectFn)(REFCLSID, REFIID, LPVOID*);
typedef HRESULT(STDAPICALLTYPE* CanUnloadNowFn)();

struct Server {
    HMODULE module;
    GetClassObjectFn getClassObject;
    CanUnloadNowFn canUnloadNow;
};

// Loaded servers by path. The lock is held while a factory is obtained, so an
// unloading pass never races a lookup that is about to lock the library.
std::mutex& serversMutex() {
    static auto* mutex = new std::mutex;
    return *mutex;
}

std::map<std::string, Server>& servers() {
    static auto* map = new std::map<std::string, Server>;
    return *map;
}

std::string guidText(REFGUID g) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2, g.Data3,
                  g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return text;
}

bool readDefault(const std::string& subKey, std::string& value) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    char buffer[4096];
    DWORD bytes = sizeof buffer - 1, type = 0;
    LSTATUS status = RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
    buffer[bytes] = '\0';
    value = buffer;
    return !value.empty();
}

HRESULT load(const std::string& path, Server& server) {
    auto found = servers().find(path);
    if (found != servers().end()) {
        server = found->second;
        return S_OK;
    }
    HMODULE module = LoadLibraryA(path.c_str());
    if (!module) {
        // The caller sees only the status; why the library was not loaded goes to stderr.
        std::fprintf(stderr, "cannot load the in-process server %s: %s\n", path.c_str(), GetLastLoadLibraryError());
        return CO_E_DLLNOTFOUND;
    }
    server.module = module;
    server.getClassObject =
        reinterpret_cast<GetClassObjectFn>(reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    server.canUnloadNow =
        reinterpret_cast<CanUnloadNowFn>(reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
    if (!server.getClassObject) {
        FreeLibrary(module);
        return CO_E_DLLNOTFOUND;
    }
    servers()[path] = server;
    return S_OK;
}

}  // namespace

HRESULT LoadInprocServerClass(REFCLSID clsid, IClassFactory** factory) {
    if (!factory) return E_POINTER;
    *factory = nullptr;
    std::string path;
    if (!readDefault("CLSID\\" + guidText(clsid) + "\\InprocServer32", path)) return REGDB_E_CLASSNOTREG;
    std::lock_guard lock(serversMutex());
    Server server{};
    HRESULT hr = load(path, server);
    if (FAILED(hr)) return hr;
    return server.getClassObject(clsid, IID_IClassFactory, reinterpret_cast<LPVOID*>(factory));
}

}  // namespace platform::com

HRESULT CLSIDFromProgID(LPCOLESTR progId, LPCLSID clsid) {
    if (!progId || !clsid) return E_INVALIDARG;
    *clsid = GUID{};
    int bytes = WideCharToMultiByte(CP_UTF8, 0, progId, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 1) return CO_E_CLASSSTRING;
    std::string name(size_t(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, progId, -1, name.data(), bytes, nullptr, nullptr);
    name.pop_back();
    std::string text;
    // A version-independent identifier may name its class only through CurVer.
    for (int hops = 0; hops < 2; ++hops) {
        if (platform::com::readDefault(name + "\\CLSID", text)) break;
        if (!platform::com::readDefault(name + "\\CurVer", name)) return CO_E_CLASSSTRING;
    }
    if (text.empty()) return CO_E_CLASSSTRING;
    int chars = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    std::u16string wide(size_t(chars > 0 ? chars : 1), u'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, wide.data(), chars);
    return CLSIDFromString(wide.c_str(), clsid);
}

void CoFreeUnusedLibraries() {
    std::lock_guard lock(platform::com::serversMutex());
    auto& servers = platform::com::servers();
    for (auto it = servers.begin(); it != servers.end();) {
        const platform::com::Server& server = it->second;
        if (!server.canUnloadNow || server.canUnloadNow() != S_OK) {
            ++it;
            continue;
        }
        FreeLibrary(server.module);
        it = servers.erase(it);
    }
}
