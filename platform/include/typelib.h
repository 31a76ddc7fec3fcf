// Type libraries and type information: ITypeLib, ITypeInfo, ITypeInfo2, the
// records they hand out, and the services that load and register libraries.
#pragma once
#include "oaidl.h"

typedef LONG SCODE;
typedef DWORD HREFTYPE;

#define DISP_E_EXCEPTION ((HRESULT)0x80020009)
#define TYPE_E_UNSUPFORMAT ((HRESULT)0x80028019)
#define TYPE_E_INVDATAREAD ((HRESULT)0x80028018)
#define TYPE_E_REGISTRYACCESS ((HRESULT)0x8002801C)
#define TYPE_E_BADMODULEKIND ((HRESULT)0x800288BD)
#define MEMBERID_NIL DISPID_UNKNOWN

enum TYPEKIND {
    TKIND_ENUM,
    TKIND_RECORD,
    TKIND_MODULE,
    TKIND_INTERFACE,
    TKIND_DISPATCH,
    TKIND_COCLASS,
    TKIND_ALIAS,
    TKIND_UNION,
    TKIND_MAX
};
enum SYSKIND { SYS_WIN16, SYS_WIN32, SYS_MAC, SYS_WIN64 };
enum FUNCKIND { FUNC_VIRTUAL, FUNC_PUREVIRTUAL, FUNC_NONVIRTUAL, FUNC_STATIC, FUNC_DISPATCH };
enum INVOKEKIND { INVOKE_FUNC = 1, INVOKE_PROPERTYGET = 2, INVOKE_PROPERTYPUT = 4, INVOKE_PROPERTYPUTREF = 8 };
enum CALLCONV { CC_FASTCALL, CC_CDECL, CC_MSCPASCAL, CC_MACPASCAL, CC_STDCALL, CC_FPFASTCALL, CC_SYSCALL };
enum REGKIND { REGKIND_DEFAULT, REGKIND_REGISTER, REGKIND_NONE };

enum TYPEFLAGS {
    TYPEFLAG_FAPPOBJECT = 0x1,
    TYPEFLAG_FCANCREATE = 0x2,
    TYPEFLAG_FLICENSED = 0x4,
    TYPEFLAG_FPREDECLID = 0x8,
    TYPEFLAG_FHIDDEN = 0x10,
    TYPEFLAG_FCONTROL = 0x20,
    TYPEFLAG_FDUAL = 0x40,
    TYPEFLAG_FNONEXTENSIBLE = 0x80,
    TYPEFLAG_FOLEAUTOMATION = 0x100,
    TYPEFLAG_FRESTRICTED = 0x200,
    TYPEFLAG_FAGGREGATABLE = 0x400,
    TYPEFLAG_FREPLACEABLE = 0x800,
    TYPEFLAG_FDISPATCHABLE = 0x1000,
    TYPEFLAG_FREVERSEBIND = 0x2000,
    TYPEFLAG_FPROXY = 0x4000
};
#define FUNCFLAG_FRESTRICTED 0x1
#define IMPLTYPEFLAG_FDEFAULT 0x1
#define PARAMFLAG_NONE 0x0
#define PARAMFLAG_FIN 0x1
#define PARAMFLAG_FOUT 0x2

struct ITypeComp;
struct ITypeLib;
struct tagVARDESC;
struct tagCUSTDATA;
struct tagARRAYDESC;
struct tagPARAMDESCEX;
typedef struct tagVARDESC VARDESC;
typedef struct tagCUSTDATA CUSTDATA;

typedef struct tagTYPEDESC {
    union {
        struct tagTYPEDESC* lptdesc;
        struct tagARRAYDESC* lpadesc;
        HREFTYPE hreftype;
    };
    VARTYPE vt;
} TYPEDESC;

typedef struct tagIDLDESC {
    ULONG_PTR dwReserved;
    USHORT wIDLFlags;
} IDLDESC;

typedef struct tagPARAMDESC {
    struct tagPARAMDESCEX* pparamdescex;
    USHORT wParamFlags;
} PARAMDESC;

typedef struct tagELEMDESC {
    TYPEDESC tdesc;
    union {
        IDLDESC idldesc;
        PARAMDESC paramdesc;
    };
} ELEMDESC;

typedef struct tagTYPEATTR {
    GUID guid;
    LCID lcid;
    DWORD dwReserved;
    MEMBERID memidConstructor;
    MEMBERID memidDestructor;
    LPOLESTR lpstrSchema;
    ULONG cbSizeInstance;
    TYPEKIND typekind;
    WORD cFuncs;
    WORD cVars;
    WORD cImplTypes;
    WORD cbSizeVft;
    WORD cbAlignment;
    WORD wTypeFlags;
    WORD wMajorVerNum;
    WORD wMinorVerNum;
    TYPEDESC tdescAlias;
    IDLDESC idldescType;
} TYPEATTR;

typedef struct tagFUNCDESC {
    MEMBERID memid;
    SCODE* lprgscode;
    ELEMDESC* lprgelemdescParam;
    FUNCKIND funckind;
    INVOKEKIND invkind;
    CALLCONV callconv;
    SHORT cParams;
    SHORT cParamsOpt;
    SHORT oVft;
    SHORT cScodes;
    ELEMDESC elemdescFunc;
    WORD wFuncFlags;
} FUNCDESC;

typedef struct tagTLIBATTR {
    GUID guid;
    LCID lcid;
    SYSKIND syskind;
    WORD wMajorVerNum;
    WORD wMinorVerNum;
    WORD wLibFlags;
} TLIBATTR;

inline constexpr IID IID_ITypeInfo = {0x00020401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_ITypeLib = {0x00020402, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_ITypeInfo2 = {0x00020412, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

struct ITypeInfo : IUnknown {
    STDMETHOD(GetTypeAttr)(TYPEATTR** ppTypeAttr) = 0;  // 3
    STDMETHOD(GetTypeComp)(ITypeComp** ppTComp) = 0;
    STDMETHOD(GetFuncDesc)(UINT index, FUNCDESC** ppFuncDesc) = 0;
    STDMETHOD(GetVarDesc)(UINT index, VARDESC** ppVarDesc) = 0;
    STDMETHOD(GetNames)(MEMBERID memid, BSTR* rgBstrNames, UINT cMaxNames, UINT* pcNames) = 0;
    STDMETHOD(GetRefTypeOfImplType)(UINT index, HREFTYPE* pRefType) = 0;
    STDMETHOD(GetImplTypeFlags)(UINT index, INT* pImplTypeFlags) = 0;
    STDMETHOD(GetIDsOfNames)(LPOLESTR* rgszNames, UINT cNames, MEMBERID* pMemId) = 0;  // 10
    STDMETHOD(Invoke)(PVOID pvInstance, MEMBERID memid, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
                      EXCEPINFO* pExcepInfo, UINT* puArgErr) = 0;
    STDMETHOD(GetDocumentation)(MEMBERID memid, BSTR* pBstrName, BSTR* pBstrDocString, DWORD* pdwHelpContext,
                                BSTR* pBstrHelpFile) = 0;
    STDMETHOD(GetDllEntry)(MEMBERID memid, INVOKEKIND invKind, BSTR* pBstrDllName, BSTR* pBstrName,
                           WORD* pwOrdinal) = 0;
    STDMETHOD(GetRefTypeInfo)(HREFTYPE hRefType, ITypeInfo** ppTInfo) = 0;
    STDMETHOD(AddressOfMember)(MEMBERID memid, INVOKEKIND invKind, PVOID* ppv) = 0;
    STDMETHOD(CreateInstance)(IUnknown* pUnkOuter, REFIID riid, PVOID* ppvObj) = 0;
    STDMETHOD(GetMops)(MEMBERID memid, BSTR* pBstrMops) = 0;
    STDMETHOD(GetContainingTypeLib)(ITypeLib** ppTLib, UINT* pIndex) = 0;
    STDMETHOD_(void, ReleaseTypeAttr)(TYPEATTR* pTypeAttr) = 0;
    STDMETHOD_(void, ReleaseFuncDesc)(FUNCDESC* pFuncDesc) = 0;  // 20
    STDMETHOD_(void, ReleaseVarDesc)(VARDESC* pVarDesc) = 0;
};

struct ITypeInfo2 : ITypeInfo {
    STDMETHOD(GetTypeKind)(TYPEKIND* pTypeKind) = 0;  // 22
    STDMETHOD(GetTypeFlags)(ULONG* pTypeFlags) = 0;
    STDMETHOD(GetFuncIndexOfMemId)(MEMBERID memid, INVOKEKIND invKind, UINT* pFuncIndex) = 0;
    STDMETHOD(GetVarIndexOfMemId)(MEMBERID memid, UINT* pVarIndex) = 0;
    STDMETHOD(GetCustData)(REFGUID guid, VARIANT* pVarVal) = 0;
    STDMETHOD(GetFuncCustData)(UINT index, REFGUID guid, VARIANT* pVarVal) = 0;
    STDMETHOD(GetParamCustData)(UINT indexFunc, UINT indexParam, REFGUID guid, VARIANT* pVarVal) = 0;
    STDMETHOD(GetVarCustData)(UINT index, REFGUID guid, VARIANT* pVarVal) = 0;
    STDMETHOD(GetImplTypeCustData)(UINT index, REFGUID guid, VARIANT* pVarVal) = 0;
    STDMETHOD(GetDocumentation2)(MEMBERID memid, LCID lcid, BSTR* pbstrHelpString, DWORD* pdwHelpStringContext,
                                 BSTR* pbstrHelpStringDll) = 0;
    STDMETHOD(GetAllCustData)(CUSTDATA* pCustData) = 0;
    STDMETHOD(GetAllFuncCustData)(UINT index, CUSTDATA* pCustData) = 0;
    STDMETHOD(GetAllParamCustData)(UINT indexFunc, UINT indexParam, CUSTDATA* pCustData) = 0;
    STDMETHOD(GetAllVarCustData)(UINT index, CUSTDATA* pCustData) = 0;
    STDMETHOD(GetAllImplTypeCustData)(UINT index, CUSTDATA* pCustData) = 0;
};

struct ITypeLib : IUnknown {
    STDMETHOD_(UINT, GetTypeInfoCount)() = 0;  // 3
    STDMETHOD(GetTypeInfo)(UINT index, ITypeInfo** ppTInfo) = 0;
    STDMETHOD(GetTypeInfoType)(UINT index, TYPEKIND* pTKind) = 0;
    STDMETHOD(GetTypeInfoOfGuid)(REFGUID guid, ITypeInfo** ppTinfo) = 0;
    STDMETHOD(GetLibAttr)(TLIBATTR** ppTLibAttr) = 0;
    STDMETHOD(GetTypeComp)(ITypeComp** ppTComp) = 0;
    STDMETHOD(GetDocumentation)(INT index, BSTR* pBstrName, BSTR* pBstrDocString, DWORD* pdwHelpContext,
                                BSTR* pBstrHelpFile) = 0;
    STDMETHOD(IsName)(LPOLESTR szNameBuf, ULONG lHashVal, BOOL* pfName) = 0;
    STDMETHOD(FindName)(LPOLESTR szNameBuf, ULONG lHashVal, ITypeInfo** ppTInfo, MEMBERID* rgMemId,
                        USHORT* pcFound) = 0;
    STDMETHOD_(void, ReleaseTLibAttr)(TLIBATTR* pTLibAttr) = 0;
};

// Loads a type library file, or the "TYPELIB" resource of a shared library: by
// default resource 1, another one when the path ends in "\N".
STDAPI LoadTypeLib(LPCOLESTR szFile, ITypeLib** pptlib);
STDAPI LoadTypeLibEx(LPCOLESTR szFile, REGKIND regkind, ITypeLib** pptlib);
// Loads the library registered under HKCR\TypeLib for this identifier, major
// version and locale (the highest registered minor version not below `wVerMinor`).
STDAPI LoadRegTypeLib(REFGUID rguid, WORD wVerMajor, WORD wVerMinor, LCID lcid, ITypeLib** pptlib);
STDAPI QueryPathOfRegTypeLib(REFGUID guid, USHORT wMaj, USHORT wMin, LCID lcid, BSTR* lpbstrPathName);
// Writes HKCR\TypeLib\{libid}\<version> and HKCR\Interface\{iid} for the
// library's automation interfaces.
STDAPI RegisterTypeLib(ITypeLib* ptlib, LPCOLESTR szFullPath, LPCOLESTR szHelpDir);
STDAPI UnRegisterTypeLib(REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID lcid, SYSKIND syskind);
