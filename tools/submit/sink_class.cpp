#include "sink_class.h"

#include <cstdlib>
#include <filesystem>

#include "libloaderapi.h"
#include "objbase.h"
#include "registry_hold.h"

namespace pellicor::submit {
namespace {

constexpr OLECHAR kProgId[] = u"Pellicor.Sink";

typedef HRESULT(STDAPICALLTYPE* RegisterFn)();

std::filesystem::path InstalledLibrary() {
    char self[4096];
    DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
    if (length == 0) return {};
    return std::filesystem::path(std::string(self, length)).parent_path().parent_path() / "lib" / "libPellicor.so";
}

HRESULT RegisterLibrary(const std::filesystem::path& library) {
    HMODULE module = LoadLibraryA(library.c_str());
    if (!module) return E_FAIL;
    auto fn = reinterpret_cast<RegisterFn>(reinterpret_cast<void*>(GetProcAddress(module, "DllRegisterServer")));
    HRESULT hr = fn ? fn() : E_FAIL;
    FreeLibrary(module);
    return hr;
}

}  // namespace

HRESULT FindSinkClass(CLSID& clsid, bool registerIfMissing, std::string& reason) {
    if (SUCCEEDED(CLSIDFromProgID(kProgId, &clsid))) return S_OK;
    std::filesystem::path library = InstalledLibrary();
    std::error_code ignored;
    const std::string where = platform::registry::hivePath();
    if (!registerIfMissing || library.empty() || !std::filesystem::exists(library, ignored)) {
        reason = "the sink \"Pellicor.Sink\" is not registered in " + where + "; register it with pellicor-regsvr " +
                 (library.empty() || !std::filesystem::exists(library, ignored) ? std::string("libPellicor.so")
                                                                                : library.string()) +
                 ", or give --register";
        return REGDB_E_CLASSNOTREG;
    }
    HRESULT hr = RegisterLibrary(library);
    if (FAILED(hr) || FAILED(CLSIDFromProgID(kProgId, &clsid))) {
        reason = "the sink \"Pellicor.Sink\" is not registered, and registering " + library.string() + " failed";
        return FAILED(hr) ? hr : REGDB_E_CLASSNOTREG;
    }
    return S_OK;
}

}  // namespace pellicor::submit
