// Loading type libraries from files and shared libraries, and their registration
// under HKEY_CLASSES_ROOT\TypeLib and HKEY_CLASSES_ROOT\Interface. Running out of
// memory gives E_OUTOFMEMORY; nothing is thrown to the caller.
#include <cstdio>
#include <new>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "atlbase.h"
#include "module_resources.h"
#include "type_library.h"
#include "utf.h"
#include "winbase.h"
#include "winreg.h"

namespace {

constexpr char kAutomationProxy[] = "{00020424-0000-0000-C000-000000000046}";

std::string narrow(LPCOLESTR text) { return text ? platform::Utf8FromUtf16(text) : std::string(); }

std::string narrow(BSTR text) { return text ? platform::Utf8FromUtf16({text, SysStringLen(text)}) : std::string(); }

std::string guidText(REFGUID g) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2, g.Data3,
                  g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return text;
}

std::string hex(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "%x", value);
    return text;
}

const char* platformName(SYSKIND kind) {
    switch (kind) {
    case SYS_WIN16: return "win16";
    case SYS_WIN32: return "win32";
    case SYS_MAC: return "mac";
    default: return "win64";
    }
}

bool readFile(const std::string& path, std::vector<BYTE>& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

bool exists(const std::string& path) { return std::ifstream(path).good(); }

// "lib.so\3" names type library resource 3 of lib.so.
void splitIndex(std::string& path, int& index) {
    index = 1;
    size_t slash = path.rfind('\\');
    if (slash == std::string::npos || slash + 1 == path.size() || exists(path)) return;
    std::string digits = path.substr(slash + 1);
    if (digits.find_first_not_of("0123456789") != std::string::npos || digits.size() > 5) return;
    index = std::stoi(digits);
    path.resize(slash);
}

LSTATUS setString(HKEY parent, const std::string& subKey, const char* name, const std::string& value) {
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExA(parent, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                     nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) return status;
    status =
        RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), DWORD(value.size() + 1));
    RegCloseKey(key);
    return status;
}

bool readString(HKEY parent, const std::string& subKey, std::string& value) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(parent, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    char buffer[4096];
    DWORD bytes = sizeof buffer - 1, type = 0;
    LSTATUS status = RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_SZ) return false;
    buffer[bytes] = '\0';
    value = buffer;
    return true;
}

std::vector<std::string> subkeys(HKEY parent, const std::string& subKey) {
    std::vector<std::string> names;
    HKEY key = nullptr;
    if (RegOpenKeyExA(parent, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD chars = sizeof name;
        if (RegEnumKeyExA(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, chars);
    }
    RegCloseKey(key);
    return names;
}

LSTATUS deleteTree(HKEY parent, const std::string& name) {
    HKEY key = nullptr;
    LSTATUS status = RegOpenKeyExA(parent, name.c_str(), 0, KEY_ALL_ACCESS, &key);
    if (status == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
    if (status != ERROR_SUCCESS) return status;
    for (const std::string& child : subkeys(key, "")) {
        status = deleteTree(key, child);
        if (status != ERROR_SUCCESS) break;
    }
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return status;
    status = RegDeleteKeyA(parent, name.c_str());
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

// Deletes `name` if nothing is left under it.
void deleteIfEmpty(HKEY parent, const std::string& name) {
    if (subkeys(parent, name).empty()) RegDeleteKeyA(parent, name.c_str());
}

std::string versionKey(REFGUID lib, WORD major, WORD minor) {
    return "TypeLib\\" + guidText(lib) + "\\" + hex(major) + "." + hex(minor);
}

// The registered version of `lib` that serves (major, minor): the same major
// version and the highest minor one not below `minor`.
bool findVersion(REFGUID lib, WORD major, WORD minor, std::string& key) {
    std::string base = "TypeLib\\" + guidText(lib);
    long best = -1;
    for (const std::string& name : subkeys(HKEY_CLASSES_ROOT, base)) {
        unsigned maj = 0, min = 0;
        char tail = 0;
        if (std::sscanf(name.c_str(), "%x.%x%c", &maj, &min, &tail) != 2) continue;
        if (maj != major || min < minor || long(min) <= best) continue;
        best = long(min);
        key = base + "\\" + name;
    }
    return best >= 0;
}

// The locale's path: the exact locale, its primary language, neutral, then
// whatever single locale the library was registered under.
bool findPath(const std::string& versionKeyName, LCID lcid, std::string& path) {
    const char* platform = platformName(sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
    std::vector<unsigned> tries = {lcid, lcid & 0x3FF, 0};
    for (unsigned locale : tries) {
        for (const char* kind : {platform, "win32"}) {
            if (readString(HKEY_CLASSES_ROOT, versionKeyName + "\\" + hex(locale) + "\\" + kind, path)) return true;
        }
    }
    for (const std::string& locale : subkeys(HKEY_CLASSES_ROOT, versionKeyName)) {
        if (locale.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) continue;
        for (const char* kind : {platform, "win32"})
            if (readString(HKEY_CLASSES_ROOT, versionKeyName + "\\" + locale + "\\" + kind, path)) return true;
    }
    return false;
}

bool isAutomationInterface(const TYPEATTR& attr) {
    if (attr.typekind == TKIND_DISPATCH) return true;
    return attr.typekind == TKIND_INTERFACE && (attr.wTypeFlags & (TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDUAL));
}

HRESULT fromStatus(LSTATUS status) { return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(status); }

}  // namespace

HRESULT LoadTypeLib(LPCOLESTR szFile, ITypeLib** pptlib) { return LoadTypeLibEx(szFile, REGKIND_DEFAULT, pptlib); }

HRESULT LoadTypeLibEx(LPCOLESTR szFile, REGKIND regkind, ITypeLib** pptlib) try {
    if (!szFile || !pptlib) return E_INVALIDARG;
    *pptlib = nullptr;
    std::string path = narrow(szFile);
    int index = 1;
    splitIndex(path, index);
    std::vector<BYTE> bytes;
    if (!readFile(path, bytes)) return TYPE_E_CANTLOADLIBRARY;
    if (bytes.size() < 4 || std::string(bytes.begin(), bytes.begin() + 4) != "MSFT") {
        bytes.clear();
        if (!platform::com::ReadResourceFromFile(path, "TYPELIB", "#" + std::to_string(index), bytes))
            return TYPE_E_CANTLOADLIBRARY;
    }
    HRESULT hr = platform::com::CreateTypeLibFromMemory(std::move(bytes), pptlib);
    if (FAILED(hr) || regkind != REGKIND_REGISTER) return hr;
    hr = RegisterTypeLib(*pptlib, szFile, nullptr);
    if (FAILED(hr)) {
        (*pptlib)->Release();
        *pptlib = nullptr;
    }
    return hr;
} catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
}

HRESULT QueryPathOfRegTypeLib(REFGUID guid, USHORT wMaj, USHORT wMin, LCID lcid, BSTR* lpbstrPathName) try {
    if (!lpbstrPathName) return E_INVALIDARG;
    *lpbstrPathName = nullptr;
    std::string key, path;
    if (!findVersion(guid, wMaj, wMin, key) || !findPath(key, lcid, path)) return TYPE_E_LIBNOTREGISTERED;
    std::u16string wide = platform::Utf16FromUtf8(path);
    *lpbstrPathName = SysAllocStringLen(wide.data(), UINT(wide.size()));
    return *lpbstrPathName ? S_OK : E_OUTOFMEMORY;
} catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
}

HRESULT LoadRegTypeLib(REFGUID rguid, WORD wVerMajor, WORD wVerMinor, LCID lcid, ITypeLib** pptlib) {
    if (!pptlib) return E_INVALIDARG;
    *pptlib = nullptr;
    BSTR path = nullptr;
    HRESULT hr = QueryPathOfRegTypeLib(rguid, wVerMajor, wVerMinor, lcid, &path);
    if (FAILED(hr)) return hr;
    hr = LoadTypeLib(path, pptlib);
    SysFreeString(path);
    return hr;
}

HRESULT RegisterTypeLib(ITypeLib* ptlib, LPCOLESTR szFullPath, LPCOLESTR szHelpDir) try {
    if (!ptlib || !szFullPath) return E_INVALIDARG;
    TLIBATTR* attr = nullptr;
    HRESULT hr = ptlib->GetLibAttr(&attr);
    if (FAILED(hr)) return hr;
    TLIBATTR lib = *attr;
    ptlib->ReleaseTLibAttr(attr);

    BSTR name = nullptr, doc = nullptr;
    ptlib->GetDocumentation(-1, &name, &doc, nullptr, nullptr);
    std::string description = narrow(doc ? doc : name);
    SysFreeString(name);
    SysFreeString(doc);

    std::string path = narrow(szFullPath);
    std::string helpDir = szHelpDir ? narrow(szHelpDir) : path.substr(0, path.find_last_of('/') + 1);
    std::string key = versionKey(lib.guid, lib.wMajorVerNum, lib.wMinorVerNum);
    LSTATUS status = setString(HKEY_CLASSES_ROOT, key, nullptr, description);
    if (status == ERROR_SUCCESS)
        status = setString(HKEY_CLASSES_ROOT, key + "\\FLAGS", nullptr, std::to_string(lib.wLibFlags));
    if (status == ERROR_SUCCESS) status = setString(HKEY_CLASSES_ROOT, key + "\\HELPDIR", nullptr, helpDir);
    if (status == ERROR_SUCCESS)
        status =
            setString(HKEY_CLASSES_ROOT, key + "\\" + hex(lib.lcid) + "\\" + platformName(lib.syskind), nullptr, path);
    if (status != ERROR_SUCCESS) return TYPE_E_REGISTRYACCESS;

    std::string version = hex(lib.wMajorVerNum) + "." + hex(lib.wMinorVerNum);
    for (UINT i = 0; i < ptlib->GetTypeInfoCount(); ++i) {
        CComPtr<ITypeInfo> info;
        if (FAILED(ptlib->GetTypeInfo(i, &info))) continue;
        TYPEATTR* typeAttr = nullptr;
        BSTR typeName = nullptr;
        if (SUCCEEDED(info->GetTypeAttr(&typeAttr)) && isAutomationInterface(*typeAttr) &&
            SUCCEEDED(info->GetDocumentation(MEMBERID_NIL, &typeName, nullptr, nullptr, nullptr))) {
            std::string iface = "Interface\\" + guidText(typeAttr->guid);
            status = setString(HKEY_CLASSES_ROOT, iface, nullptr, narrow(typeName));
            if (status == ERROR_SUCCESS)
                status = setString(HKEY_CLASSES_ROOT, iface + "\\ProxyStubClsid", nullptr, kAutomationProxy);
            if (status == ERROR_SUCCESS)
                status = setString(HKEY_CLASSES_ROOT, iface + "\\ProxyStubClsid32", nullptr, kAutomationProxy);
            if (status == ERROR_SUCCESS)
                status = setString(HKEY_CLASSES_ROOT, iface + "\\TypeLib", nullptr, guidText(lib.guid));
            if (status == ERROR_SUCCESS) status = setString(HKEY_CLASSES_ROOT, iface + "\\TypeLib", "Version", version);
        }
        SysFreeString(typeName);
        if (typeAttr) info->ReleaseTypeAttr(typeAttr);
        if (status != ERROR_SUCCESS) return TYPE_E_REGISTRYACCESS;
    }
    return S_OK;
} catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
}

HRESULT UnRegisterTypeLib(REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID lcid, SYSKIND syskind) try {
    std::string key = versionKey(libID, wVerMajor, wVerMinor);
    std::string path;
    if (!readString(HKEY_CLASSES_ROOT, key + "\\" + hex(lcid) + "\\" + platformName(syskind), path))
        return TYPE_E_REGISTRYACCESS;

    // The interfaces go first, while the library that names them can still be read.
    CComPtr<ITypeLib> lib;
    std::u16string widePath = platform::Utf16FromUtf8(path);
    if (SUCCEEDED(LoadTypeLib(widePath.c_str(), &lib))) {
        for (UINT i = 0; i < lib->GetTypeInfoCount(); ++i) {
            CComPtr<ITypeInfo> info;
            if (FAILED(lib->GetTypeInfo(i, &info))) continue;
            TYPEATTR* attr = nullptr;
            if (SUCCEEDED(info->GetTypeAttr(&attr))) {
                std::string iface = "Interface\\" + guidText(attr->guid);
                std::string owner;
                if (isAutomationInterface(*attr) && readString(HKEY_CLASSES_ROOT, iface + "\\TypeLib", owner) &&
                    owner == guidText(libID))
                    deleteTree(HKEY_CLASSES_ROOT, iface);
                info->ReleaseTypeAttr(attr);
            }
        }
    }

    std::string locale = key + "\\" + hex(lcid);
    LSTATUS status = deleteTree(HKEY_CLASSES_ROOT, locale + "\\" + platformName(syskind));
    if (status != ERROR_SUCCESS) return fromStatus(status);
    deleteIfEmpty(HKEY_CLASSES_ROOT, locale);
    // The version key goes once no locale is left under it.
    bool localesLeft = false;
    for (const std::string& name : subkeys(HKEY_CLASSES_ROOT, key))
        if (name != "FLAGS" && name != "HELPDIR") localesLeft = true;
    if (!localesLeft) deleteTree(HKEY_CLASSES_ROOT, key);
    deleteIfEmpty(HKEY_CLASSES_ROOT, "TypeLib\\" + guidText(libID));
    return S_OK;
} catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
}
