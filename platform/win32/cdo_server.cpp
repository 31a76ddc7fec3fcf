// The CDO message component stand-in as an in-process server for Windows
// (pellicor-cdo.dll), for machines without CDO (Wine's prefix among them). The
// Linux platform registers the same class itself; here regsvr32 writes its
// class key and the platform's component runtime loads it from there.
#include <windows.h>

#include <string>

#include "cdosys.h"
#include "message.h"

namespace {

HMODULE module = nullptr;

std::wstring ClassKey() {
    wchar_t text[40];
    StringFromGUID2(CLSID_Message, text, 40);
    return std::wstring(L"CLSID\\") + text;
}

LSTATUS SetString(HKEY parent, const wchar_t* path, const wchar_t* name, const std::wstring& value) {
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExW(parent, path, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) return status;
    status = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return status;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

// The factory lives as long as the process; the library stays loaded.
STDAPI DllCanUnloadNow() { return S_FALSE; }

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualCLSID(rclsid, CLSID_Message)) return CLASS_E_CLASSNOTAVAILABLE;
    IClassFactory* factory = platform::cdo::MessageClassFactory();
    HRESULT hr = factory->QueryInterface(riid, ppv);
    factory->Release();
    return hr;
}

STDAPI DllRegisterServer() {
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return HRESULT_FROM_WIN32(GetLastError());
    std::wstring key = ClassKey();
    std::wstring server = key + L"\\InprocServer32";
    LSTATUS status = SetString(HKEY_CLASSES_ROOT, key.c_str(), nullptr, L"Message");
    if (status == ERROR_SUCCESS) status = SetString(HKEY_CLASSES_ROOT, server.c_str(), nullptr, path);
    if (status == ERROR_SUCCESS) status = SetString(HKEY_CLASSES_ROOT, server.c_str(), L"ThreadingModel", L"Both");
    return HRESULT_FROM_WIN32(status);
}

STDAPI DllUnregisterServer() {
    LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, ClassKey().c_str());
    return status == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(status);
}
