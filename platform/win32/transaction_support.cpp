// CreateTransaction for PellicorSetup.exe: the platform's own, handed out only
// where the platform also has every transacted registry operation a save uses.
// Wine 8 has CreateTransaction as a stub that returns a handle, and lacks
// RegOpenKeyTransactedA and RegDeleteKeyTransactedA, which abort the process
// when called; there the save is refused whole ("could not start a
// transaction"), so nothing is half written and nothing crashes. Linked ahead of
// ktmw32's import library, this definition takes the import's place.
#include <windows.h>
#include <ktmw32.h>

#include <initializer_list>

namespace {

bool TransactedRegistryAvailable() {
    HMODULE advapi = GetModuleHandleW(L"advapi32.dll");
    if (!advapi) return false;
    for (const char* name : {"RegOpenKeyTransactedA", "RegCreateKeyTransactedA", "RegDeleteKeyTransactedA"}) {
        if (!GetProcAddress(advapi, name)) return false;
    }
    return true;
}

}  // namespace

extern "C" HANDLE WINAPI CreateTransaction(LPSECURITY_ATTRIBUTES attributes, LPGUID uow, DWORD createOptions,
                                           DWORD isolationLevel, DWORD isolationFlags, DWORD timeout,
                                           LPWSTR description) {
    using Create = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, LPGUID, DWORD, DWORD, DWORD, DWORD, LPWSTR);
    HMODULE ktm = LoadLibraryW(L"ktmw32.dll");
    auto create =
        ktm ? reinterpret_cast<Create>(reinterpret_cast<void*>(GetProcAddress(ktm, "CreateTransaction"))) : nullptr;
    if (!create || !TransactedRegistryAvailable()) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return INVALID_HANDLE_VALUE;
    }
    return create(attributes, uow, createOptions, isolationLevel, isolationFlags, timeout, description);
}
