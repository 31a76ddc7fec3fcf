// The component module library's services as the platform's ATL.DLL exports
// them (Unicode entry points, reached through mingw's import library libatl.a),
// with the module record in the layout ATL.DLL reads: the ATL 3.0 module, whose
// size in cbSize tells the library which fields it may use. Windows build only;
// the Linux build has its own module library with the same names.
#pragma once
#include <windows.h>
#include <oaidl.h>

#define ATLAPI EXTERN_C HRESULT WINAPI
#define ATLAPI_(type) EXTERN_C type WINAPI

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
    _ATL_CREATORFUNC* pfnGetClassObject;
    _ATL_CREATORFUNC* pfnCreateInstance;
    IUnknown* pCF;
    DWORD dwRegister;
    LPCOLESTR(WINAPI* pfnGetObjectDescription)();
    const _ATL_CATMAP_ENTRY*(WINAPI* pfnGetCategoryMap)();
    void(WINAPI* pfnObjectMain)(bool bStarting);
};

// One row of an interface table; a table ends with a row whose piid is null.
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

struct _ATL_REGMAP_ENTRY {
    LPCOLESTR szKey;
    LPCOLESTR szData;
};

struct _AtlCreateWndData;

// The module record. cbSize must be sizeof(_ATL_MODULE) before AtlModuleInit:
// with a smaller size ATL.DLL ignores the clean-up list.
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
        CRITICAL_SECTION m_csTypeInfoHolder;
        CRITICAL_SECTION m_csStaticDataInit;
    };
    CRITICAL_SECTION m_csWindowCreate;
    CRITICAL_SECTION m_csObjMap;
    DWORD dwAtlBuildVer;
    _AtlCreateWndData* m_pCreateWndList;
    bool m_bDestroyHeap;
    GUID* pguidVer;
    DWORD m_dwHeaps;
    HANDLE* m_phHeaps;
    int m_nHeap;
    _ATL_TERMFUNC_ELEM* m_pTermFuncs;
};

ATLAPI AtlModuleInit(_ATL_MODULE* pM, _ATL_OBJMAP_ENTRY* p, HINSTANCE h);
ATLAPI AtlModuleTerm(_ATL_MODULE* pM);
ATLAPI AtlModuleGetClassObject(_ATL_MODULE* pM, REFCLSID rclsid, REFIID riid, LPVOID* ppv);
ATLAPI AtlModuleRegisterServer(_ATL_MODULE* pM, BOOL bRegTypeLib, const CLSID* pCLSID);
ATLAPI AtlModuleUnregisterServerEx(_ATL_MODULE* pM, BOOL bUnRegTypeLib, const CLSID* pCLSID);
ATLAPI AtlModuleUnregisterServer(_ATL_MODULE* pM, const CLSID* pCLSID);
ATLAPI AtlModuleRegisterTypeLib(_ATL_MODULE* pM, LPCOLESTR lpszIndex);
ATLAPI AtlModuleUnRegisterTypeLib(_ATL_MODULE* pM, LPCOLESTR lpszIndex);
ATLAPI AtlModuleUpdateRegistryFromResourceD(_ATL_MODULE* pM, LPCOLESTR lpszRes, BOOL bRegister,
                                            _ATL_REGMAP_ENTRY* pMapEntries, IUnknown* pReg);
ATLAPI AtlInternalQueryInterface(void* pThis, const _ATL_INTMAP_ENTRY* pEntries, REFIID iid, void** ppvObject);
ATLAPI AtlModuleAddTermFunc(_ATL_MODULE* pM, _ATL_TERMFUNC* pFunc, DWORD_PTR dw);
