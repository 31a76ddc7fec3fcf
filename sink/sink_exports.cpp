// The library's entry point, its class table and its four exports.
#include "libloaderapi.h"
#include "pellicor_interfaces.h"
#include "sink.h"
#include "sink_class_factory.h"
#include "sink_module.h"

namespace {

constexpr WORD kRegistrationScript = 101;

HRESULT WINAPI UpdateSinkRegistry(BOOL doRegister) {
    return AtlModuleUpdateRegistryFromResourceD(&_Module, MAKEINTRESOURCEW(kRegistrationScript), doRegister, nullptr,
                                                nullptr);
}

// The class belongs to no component category. The module library calls this
// while registering, so the entry must hold it even with nothing to report.
const _ATL_CATMAP_ENTRY* WINAPI GetSinkCategoryMap() { return nullptr; }

_ATL_OBJMAP_ENTRY ObjectMap[] = {
    {&CLSID_Sink, UpdateSinkRegistry, CreateSinkClassFactory, CreateSinkInstance, nullptr, 0, nullptr,
     GetSinkCategoryMap, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr, 0, nullptr, nullptr, nullptr},
};

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        AtlModuleInit(&_Module, ObjectMap, instance);
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH) {
        AtlModuleTerm(&_Module);
    }
    return TRUE;
}

}  // namespace

DECLARE_DLL_ENTRY_POINT(DllMain)

STDAPI DllCanUnloadNow() { return ModuleLockCount() == 0 ? S_OK : S_FALSE; }

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    return AtlModuleGetClassObject(&_Module, rclsid, riid, ppv);
}

STDAPI DllRegisterServer() { return AtlModuleRegisterServer(&_Module, TRUE, nullptr); }

STDAPI DllUnregisterServer() { return AtlModuleUnregisterServerEx(&_Module, TRUE, nullptr); }
