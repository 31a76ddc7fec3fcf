// The component module library: the module record an in-process server keeps,
// its class table and interface tables, and the services that act on them
// (class object lookup, registration from a resource script, clean-up list).
// One header for both builds: on Windows the services are ATL.DLL's (through
// mingw's libatl.a), which reads the module record in the ATL 3.0 layout below;
// the Linux module library uses the same record.
#pragma once
#include <assert.h>
#ifdef _WIN32
#include <windows.h>
#include <oaidl.h>
#else
#include "oaidl.h"
#include "winbase.h"
#endif

// Holds one reference to an interface and releases it on every way out, as the
// module library's smart pointer does: Attach takes a reference over, Detach
// hands it on, &holder gives an empty holder to an operation that returns one.
template <class T>
class CComPtr {
public:
    CComPtr() = default;
    CComPtr(const CComPtr&) = delete;
    CComPtr& operator=(const CComPtr&) = delete;
    ~CComPtr() { Release(); }

    operator T*() const { return p; }
    T* operator->() const { return p; }
    T** operator&() {
        assert(p == nullptr && "an operation would overwrite a held reference");
        return &p;
    }
    void Release() {
        T* held = p;
        p = nullptr;
        if (held) held->Release();
    }
    void Attach(T* lp) {
        Release();
        p = lp;
    }
    T* Detach() {
        T* held = p;
        p = nullptr;
        return held;
    }

    T* p = nullptr;
};

#define ATLAPI EXTERN_C HRESULT WINAPI
#define ATLAPI_(type) EXTERN_C type WINAPI

// Creates an object (or a class factory) for `riid`; `pv` is the outer object or
// the object creator handed to a class factory.
typedef HRESULT(WINAPI _ATL_CREATORFUNC)(void* pv, REFIID riid, LPVOID* ppv);
typedef HRESULT(WINAPI _ATL_CREATORARGFUNC)(void* pv, REFIID riid, LPVOID* ppv, DWORD_PTR dw);
typedef void(WINAPI _ATL_TERMFUNC)(DWORD_PTR dw);

struct _ATL_CATMAP_ENTRY {
    int iType;
    const GUID* pcatid;
};

// One creatable class. A table ends with an entry whose pclsid is null.
struct _ATL_OBJMAP_ENTRY {
    const CLSID* pclsid;
    HRESULT(WINAPI* pfnUpdateRegistry)(BOOL bRegister);
    _ATL_CREATORFUNC* pfnGetClassObject;  // builds the class factory, given pfnCreateInstance
    _ATL_CREATORFUNC* pfnCreateInstance;  // builds an object, given the outer object
    IUnknown* pCF;                        // the cached class factory
    DWORD dwRegister;
    LPCOLESTR(WINAPI* pfnGetObjectDescription)();
    const _ATL_CATMAP_ENTRY*(WINAPI* pfnGetCategoryMap)();
    void(WINAPI* pfnObjectMain)(bool bStarting);
};

// One row of an interface table: the interface and the offset of its part from
// the start of the object. A table ends with a row whose piid is null.
struct _ATL_INTMAP_ENTRY {
    const IID* piid;
    DWORD_PTR dw;
    _ATL_CREATORARGFUNC* pFunc;
};
#define _ATL_SIMPLEMAPENTRY ((_ATL_CREATORARGFUNC*)1)

struct _ATL_TERMFUNC_ELEM {
    _ATL_TERMFUNC* pFunc;
    DWORD_PTR dw;
    _ATL_TERMFUNC_ELEM* pNext;
};

// Extra replacements for a registration script: %szKey% becomes szData.
struct _ATL_REGMAP_ENTRY {
    LPCOLESTR szKey;
    LPCOLESTR szData;
};

struct _AtlCreateWndData;

// The module record, one per server library. cbSize must be sizeof(_ATL_MODULE)
// before AtlModuleInit: with a smaller size ATL.DLL ignores the clean-up list.
struct _ATL_MODULE {
    _ATL_MODULE() : cbSize(sizeof(_ATL_MODULE)) {}
    UINT cbSize;
    HINSTANCE m_hInst;
    HINSTANCE m_hInstResource;
    HINSTANCE m_hInstTypeLib;
    _ATL_OBJMAP_ENTRY* m_pObjMap;
    LONG m_nLockCnt;
    HANDLE m_hHeap;
    union {
        CRITICAL_SECTION m_csTypeInfoHolder;  // serialises the first loading of type information
        CRITICAL_SECTION m_csStaticDataInit;
    };
    CRITICAL_SECTION m_csWindowCreate;
    CRITICAL_SECTION m_csObjMap;  // guards building the cached class factories
    DWORD dwAtlBuildVer;
    _AtlCreateWndData* m_pCreateWndList;
    bool m_bDestroyHeap;
    GUID* pguidVer;
    DWORD m_dwHeaps;
    HANDLE* m_phHeaps;
    int m_nHeap;
    _ATL_TERMFUNC_ELEM* m_pTermFuncs;
};

// Prepares the module record: its locks, lists and class table.
ATLAPI AtlModuleInit(_ATL_MODULE* pM, _ATL_OBJMAP_ENTRY* p, HINSTANCE h);
// Runs the clean-up list (latest first) and releases the cached class factories.
ATLAPI AtlModuleTerm(_ATL_MODULE* pM);
// Answers `riid` from the class factory of `rclsid`, building and caching the
// factory on the first request. CLASS_E_CLASSNOTAVAILABLE for any other class.
ATLAPI AtlModuleGetClassObject(_ATL_MODULE* pM, REFCLSID rclsid, REFIID riid, LPVOID* ppv);
// Applies every class's registration (or only pCLSID's) and, if asked, registers
// the type library the module carries.
ATLAPI AtlModuleRegisterServer(_ATL_MODULE* pM, BOOL bRegTypeLib, const CLSID* pCLSID);
ATLAPI AtlModuleUnregisterServerEx(_ATL_MODULE* pM, BOOL bUnRegTypeLib, const CLSID* pCLSID);
ATLAPI AtlModuleUnregisterServer(_ATL_MODULE* pM, const CLSID* pCLSID);
// Registers or unregisters the module's type library (resource "TYPELIB" 1, or
// the index given, e.g. u"\\2").
ATLAPI AtlModuleRegisterTypeLib(_ATL_MODULE* pM, LPCOLESTR lpszIndex);
ATLAPI AtlModuleUnRegisterTypeLib(_ATL_MODULE* pM, LPCOLESTR lpszIndex);
// Applies (bRegister true) or removes the registration script held in resource
// "REGISTRY" lpszRes of the module; %MODULE% becomes the module's full path.
// A malformed script changes nothing and gives DISP_E_EXCEPTION.
ATLAPI AtlModuleUpdateRegistryFromResourceD(_ATL_MODULE* pM, LPCOLESTR lpszRes, BOOL bRegister,
                                            _ATL_REGMAP_ENTRY* pMapEntries, IUnknown* pReg);
// QueryInterface over an interface table: IUnknown gives the first row's part.
ATLAPI AtlInternalQueryInterface(void* pThis, const _ATL_INTMAP_ENTRY* pEntries, REFIID iid, void** ppvObject);
// Appends a function to run with `dw` when the module terminates.
ATLAPI AtlModuleAddTermFunc(_ATL_MODULE* pM, _ATL_TERMFUNC* pFunc, DWORD_PTR dw);
