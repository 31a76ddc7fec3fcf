#include "type_library.h"

#include <atomic>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

namespace platform::com {
namespace {

// --- The file ---------------------------------------------------------------

constexpr uint32_t kMagic = 0x5446534D;  // "MSFT"
constexpr size_t kHeaderSize = 0x54;
constexpr size_t kTypeInfoSize = 0x64;
constexpr int kSegments = 15;
constexpr uint32_t kHelpDllFlag = 0x100;
constexpr uint32_t kImportOffsetIsGuid = 0x00010000;

enum Segment { kTypeInfoTab, kImpInfo, kImpFiles, kRefTab, kGuidHash, kGuidTab, kNameHash, kNameTab, kStringTab };

struct SegmentEntry {
    int32_t offset;
    int32_t length;
};

// Bounds-checked little-endian reads over the file.
class Reader {
public:
    explicit Reader(const std::vector<BYTE>& bytes) : bytes_(bytes) {}

    bool u32(size_t at, uint32_t& out) const {
        if (at > bytes_.size() || bytes_.size() - at < 4) return false;
        out = uint32_t(bytes_[at]) | uint32_t(bytes_[at + 1]) << 8 | uint32_t(bytes_[at + 2]) << 16 |
              uint32_t(bytes_[at + 3]) << 24;
        return true;
    }
    bool i32(size_t at, int32_t& out) const {
        uint32_t v;
        if (!u32(at, v)) return false;
        out = int32_t(v);
        return true;
    }
    bool u16(size_t at, uint16_t& out) const {
        if (at > bytes_.size() || bytes_.size() - at < 2) return false;
        out = uint16_t(bytes_[at] | bytes_[at + 1] << 8);
        return true;
    }
    bool guid(size_t at, GUID& out) const {
        if (at > bytes_.size() || bytes_.size() - at < 16) return false;
        uint16_t d2 = 0, d3 = 0;
        u32(at, out.Data1);
        u16(at + 4, d2);
        u16(at + 6, d3);
        out.Data2 = d2, out.Data3 = d3;
        std::memcpy(out.Data4, &bytes_[at + 8], 8);
        return true;
    }
    bool chars(size_t at, size_t length, std::u16string& out) const {
        if (at > bytes_.size() || bytes_.size() - at < length) return false;
        out.clear();
        for (size_t i = 0; i < length; ++i) out += char16_t(bytes_[at + i]);  // names are 8-bit
        return true;
    }

private:
    const std::vector<BYTE>& bytes_;
};

struct TypeData {
    TYPEKIND kind = TKIND_MAX;
    GUID guid{};
    std::u16string name;
    std::optional<std::u16string> doc;
    WORD flags = 0;
    WORD major = 0, minor = 0;
    WORD ownFuncs = 0;
    WORD implTypes = 0;
    int32_t datatype1 = -1;    // interfaces: the base's reference; coclasses: the first reference record
    std::optional<GUID> base;  // the base interface, when it is imported
    int baseIndex = -1;        // the base interface, when it is in this library
};

struct LibData {
    std::vector<BYTE> bytes;
    TLIBATTR attr{};
    std::u16string name;
    std::optional<std::u16string> doc;
    std::vector<TypeData> types;
};

class Parser {
public:
    explicit Parser(LibData& lib) : lib_(lib), in_(lib.bytes) {}

    HRESULT parse() {
        uint32_t magic, varflags, version, typeCount;
        int32_t posguid, lcid, libFlags, helpString, nameOffset;
        if (!in_.u32(0, magic) || magic != kMagic) return TYPE_E_UNSUPFORMAT;
        if (!in_.i32(0x08, posguid) || !in_.i32(0x0C, lcid) || !in_.u32(0x14, varflags) || !in_.u32(0x18, version) ||
            !in_.i32(0x1C, libFlags) || !in_.u32(0x20, typeCount) || !in_.i32(0x24, helpString) ||
            !in_.i32(0x38, nameOffset))
            return TYPE_E_INVDATAREAD;
        if (typeCount > 0xFFFF) return TYPE_E_INVDATAREAD;
        size_t at = kHeaderSize + ((varflags & kHelpDllFlag) ? 4 : 0) + 4 * size_t(typeCount);
        for (int i = 0; i < kSegments; ++i) {
            if (!in_.i32(at + 16 * i, segments_[i].offset) || !in_.i32(at + 16 * i + 4, segments_[i].length))
                return TYPE_E_INVDATAREAD;
        }
        if (!readGuid(posguid, lib_.attr.guid) || !readName(nameOffset, lib_.name)) return TYPE_E_INVDATAREAD;
        lib_.attr.lcid = LCID(lcid);
        lib_.attr.syskind = SYSKIND(varflags & 0xF);
        lib_.attr.wMajorVerNum = WORD(version & 0xFFFF);
        lib_.attr.wMinorVerNum = WORD(version >> 16);
        lib_.attr.wLibFlags = WORD(libFlags);
        if (!readOptionalString(helpString, lib_.doc)) return TYPE_E_INVDATAREAD;
        lib_.types.resize(typeCount);
        for (uint32_t i = 0; i < typeCount; ++i)
            if (HRESULT hr = parseType(i, lib_.types[i]); FAILED(hr)) return hr;
        for (TypeData& type : lib_.types)
            if (HRESULT hr = resolveBase(type); FAILED(hr)) return hr;
        return S_OK;
    }

private:
    size_t segment(Segment s) const { return size_t(uint32_t(segments_[s].offset)); }

    bool readGuid(int32_t offset, GUID& out) const {
        return offset >= 0 && in_.guid(segment(kGuidTab) + size_t(offset), out);
    }

    // A name: hash links and a length word (low byte), then the characters.
    bool readName(int32_t offset, std::u16string& out) const {
        uint32_t length;
        if (offset < 0) return false;
        size_t at = segment(kNameTab) + size_t(offset);
        return in_.u32(at + 8, length) && in_.chars(at + 12, length & 0xFF, out);
    }

    // A string: a 16-bit length, then the characters. Offset -1 means none.
    bool readOptionalString(int32_t offset, std::optional<std::u16string>& out) const {
        if (offset == -1) return true;
        uint16_t length;
        std::u16string text;
        size_t at = segment(kStringTab) + size_t(uint32_t(offset));
        if (offset < 0 || !in_.u16(at, length) || !in_.chars(at + 2, length, text)) return false;
        out = std::move(text);
        return true;
    }

    HRESULT parseType(uint32_t index, TypeData& type) {
        size_t at = segment(kTypeInfoTab) + index * kTypeInfoSize;
        uint32_t kind, elements, flags, version;
        int32_t posguid, nameOffset, docOffset, datatype1;
        uint16_t implTypes;
        if (!in_.u32(at, kind) || !in_.u32(at + 0x18, elements) || !in_.i32(at + 0x2C, posguid) ||
            !in_.u32(at + 0x30, flags) || !in_.i32(at + 0x34, nameOffset) || !in_.u32(at + 0x38, version) ||
            !in_.i32(at + 0x3C, docOffset) || !in_.u16(at + 0x4C, implTypes) || !in_.i32(at + 0x54, datatype1))
            return TYPE_E_INVDATAREAD;
        type.kind = TYPEKIND(kind & 0xF);
        if (type.kind >= TKIND_MAX) return TYPE_E_INVDATAREAD;
        type.flags = WORD(flags);
        type.major = WORD(version & 0xFFFF);
        type.minor = WORD(version >> 16);
        type.ownFuncs = WORD(elements & 0xFFFF);
        type.implTypes = implTypes;
        type.datatype1 = datatype1;
        if (!readGuid(posguid, type.guid) || !readName(nameOffset, type.name) ||
            !readOptionalString(docOffset, type.doc))
            return TYPE_E_INVDATAREAD;
        // Interfaces with functions of their own need the function records,
        // which this reader does not take apart.
        bool isInterface = type.kind == TKIND_INTERFACE || type.kind == TKIND_DISPATCH;
        if (isInterface && type.ownFuncs > 0) return TYPE_E_UNSUPFORMAT;
        if ((elements >> 16) > 0 && type.kind != TKIND_ENUM && type.kind != TKIND_RECORD) return TYPE_E_UNSUPFORMAT;
        return S_OK;
    }

    HRESULT resolveBase(TypeData& type) {
        bool isInterface = type.kind == TKIND_INTERFACE || type.kind == TKIND_DISPATCH;
        if (!isInterface || type.implTypes == 0 || type.datatype1 < 0) return S_OK;
        uint32_t ref = uint32_t(type.datatype1);
        if ((ref & 1) == 0) {  // a type info of this library, by its place in the table
            if (ref % kTypeInfoSize != 0 || ref / kTypeInfoSize >= lib_.types.size()) return TYPE_E_INVDATAREAD;
            type.baseIndex = int(ref / kTypeInfoSize);
            return S_OK;
        }
        uint32_t flags;
        int32_t guidOffset;
        size_t at = segment(kImpInfo) + (ref & ~3u);
        if (!in_.u32(at, flags) || !in_.i32(at + 8, guidOffset)) return TYPE_E_INVDATAREAD;
        if (!(flags & kImportOffsetIsGuid)) return TYPE_E_UNSUPFORMAT;
        GUID base;
        if (!readGuid(guidOffset, base)) return TYPE_E_INVDATAREAD;
        type.base = base;
        return S_OK;
    }

    LibData& lib_;
    Reader in_;
    SegmentEntry segments_[kSegments]{};
};

// --- Functions --------------------------------------------------------------

struct ParamData {
    const char16_t* name;
    VARTYPE vt;
};

struct FuncData {
    MEMBERID memid;
    const char16_t* name;
    int slot;  // place in the operation table
    VARTYPE result;
    std::vector<ParamData> params;
};

const std::vector<FuncData>& unknownFunctions() {
    static const std::vector<FuncData> functions = {
        {0x60000000, u"QueryInterface", 0, VT_VOID, {{u"riid", VT_PTR}, {u"ppvObj", VT_PTR}}},
        {0x60000001, u"AddRef", 1, VT_UI4, {}},
        {0x60000002, u"Release", 2, VT_UI4, {}},
    };
    return functions;
}

const std::vector<FuncData>& dispatchFunctions() {
    static const std::vector<FuncData> functions = {
        {0x60010000, u"GetTypeInfoCount", 3, VT_VOID, {{u"pctinfo", VT_PTR}}},
        {0x60010001, u"GetTypeInfo", 4, VT_VOID, {{u"itinfo", VT_UINT}, {u"lcid", VT_UI4}, {u"pptinfo", VT_PTR}}},
        {0x60010002,
         u"GetIDsOfNames",
         5,
         VT_VOID,
         {{u"riid", VT_PTR}, {u"rgszNames", VT_PTR}, {u"cNames", VT_UINT}, {u"lcid", VT_UI4}, {u"rgdispid", VT_PTR}}},
        {0x60010003,
         u"Invoke",
         6,
         VT_VOID,
         {{u"dispidMember", VT_I4},
          {u"riid", VT_PTR},
          {u"lcid", VT_UI4},
          {u"wFlags", VT_UI2},
          {u"pdispparams", VT_PTR},
          {u"pvarResult", VT_PTR},
          {u"pexcepinfo", VT_PTR},
          {u"puArgErr", VT_PTR}}},
    };
    return functions;
}

// The functions a type reports: for the dispatch view of a dual interface, the
// inherited IUnknown and IDispatch ones come first, as the platform lists them.
std::vector<FuncData> functionsOf(const LibData& lib, const TypeData& type, int depth = 0) {
    std::vector<FuncData> out;
    if (depth > 16) return out;
    bool dualDispatch = type.kind == TKIND_DISPATCH && (type.flags & TYPEFLAG_FDUAL);
    if (type.kind != TKIND_INTERFACE && !dualDispatch) return out;
    if (type.base == IID_IUnknown || type.base == IID_IDispatch) {
        out = unknownFunctions();
        if (type.base == IID_IDispatch) out.insert(out.end(), dispatchFunctions().begin(), dispatchFunctions().end());
    } else if (type.baseIndex >= 0) {
        out = functionsOf(lib, lib.types[size_t(type.baseIndex)], depth + 1);
    }
    return out;
}

bool equalNoCase(const char16_t* a, const OLECHAR* b) {
    auto fold = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; };
    for (; *a && *b; ++a, ++b)
        if (fold(*a) != fold(*b)) return false;
    return *a == *b;
}

BSTR bstr(const std::u16string& text) { return SysAllocStringLen(text.data(), UINT(text.size())); }

// Returns a 64-bit argument for a by-value or by-reference variant.
bool argumentOf(const VARIANTARG& arg, VARTYPE expected, uint64_t& out) {
    if (expected == VT_PTR) {
        if (!(arg.vt & VT_BYREF) && arg.vt != VT_UNKNOWN && arg.vt != VT_DISPATCH && arg.vt != VT_BSTR) return false;
        out = reinterpret_cast<uint64_t>(arg.byref);
        return true;
    }
    switch (arg.vt) {
    case VT_I2: out = uint64_t(int64_t(arg.iVal)); return true;
    case VT_I4:
    case VT_INT:
    case VT_UI4:
    case VT_UINT: out = uint64_t(int64_t(arg.lVal)); return true;
    case VT_UI2: out = uint64_t(uint16_t(arg.iVal)); return true;
    case VT_UI1: out = arg.bVal; return true;
    case VT_BOOL: out = uint64_t(int64_t(arg.boolVal)); return true;
    default: return false;
    }
}

// --- Objects ----------------------------------------------------------------

class TypeLib;

class TypeInfo final : public ITypeInfo2 {
public:
    TypeInfo(TypeLib* lib, std::shared_ptr<const LibData> data, UINT index);
    ~TypeInfo();

    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_ITypeInfo || riid == IID_ITypeInfo2) {
            *ppv = static_cast<ITypeInfo2*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ++refs_; }
    STDMETHOD_(ULONG, Release)() override {
        ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

    STDMETHOD(GetTypeAttr)(TYPEATTR** out) override {
        if (!out) return E_INVALIDARG;
        auto* attr = new (std::nothrow) TYPEATTR{};
        if (!attr) return E_OUTOFMEMORY;
        attr->guid = type().guid;
        attr->lcid = data_->attr.lcid;
        attr->memidConstructor = MEMBERID_NIL;
        attr->memidDestructor = MEMBERID_NIL;
        attr->cbSizeInstance = sizeof(void*);
        attr->typekind = type().kind;
        attr->cFuncs = WORD(functions_.size());
        attr->cImplTypes = type().implTypes;
        attr->cbSizeVft = WORD(vtableSlots() * sizeof(void*));
        attr->cbAlignment = alignof(void*);
        attr->wTypeFlags = typeFlags();
        attr->wMajorVerNum = type().major;
        attr->wMinorVerNum = type().minor;
        attr->tdescAlias.vt = VT_EMPTY;
        *out = attr;
        return S_OK;
    }
    STDMETHOD(GetTypeComp)(ITypeComp** out) override { return E_NOTIMPL; }
    STDMETHOD(GetFuncDesc)(UINT index, FUNCDESC** out) override {
        if (!out) return E_INVALIDARG;
        *out = nullptr;
        if (index >= functions_.size()) return TYPE_E_ELEMENTNOTFOUND;
        const FuncData& f = functions_[index];
        // One block: the record, then its parameters' element descriptions.
        size_t bytes = sizeof(FUNCDESC) + f.params.size() * sizeof(ELEMDESC);
        auto* block = static_cast<BYTE*>(::operator new(bytes, std::nothrow));
        if (!block) return E_OUTOFMEMORY;
        std::memset(block, 0, bytes);
        auto* desc = reinterpret_cast<FUNCDESC*>(block);
        auto* params = reinterpret_cast<ELEMDESC*>(block + sizeof(FUNCDESC));
        static TYPEDESC pointee = {{nullptr}, VT_VOID};
        for (size_t i = 0; i < f.params.size(); ++i) {
            params[i].tdesc.vt = f.params[i].vt;
            if (f.params[i].vt == VT_PTR) params[i].tdesc.lptdesc = &pointee;
            params[i].paramdesc.wParamFlags = PARAMFLAG_FIN;
        }
        desc->memid = f.memid;
        desc->lprgelemdescParam = f.params.empty() ? nullptr : params;
        desc->funckind = type().kind == TKIND_DISPATCH ? FUNC_DISPATCH : FUNC_PUREVIRTUAL;
        desc->invkind = INVOKE_FUNC;
        desc->callconv = CC_STDCALL;
        desc->cParams = SHORT(f.params.size());
        desc->oVft = SHORT(f.slot * sizeof(void*));
        desc->elemdescFunc.tdesc.vt = f.result;
        desc->wFuncFlags = FUNCFLAG_FRESTRICTED;
        *out = desc;
        return S_OK;
    }
    STDMETHOD(GetVarDesc)(UINT index, VARDESC** out) override { return TYPE_E_ELEMENTNOTFOUND; }
    STDMETHOD(GetNames)(MEMBERID memid, BSTR* names, UINT maxNames, UINT* count) override {
        if (!names || !count) return E_INVALIDARG;
        *count = 0;
        const FuncData* f = byMemid(memid);
        if (!f) return TYPE_E_ELEMENTNOTFOUND;
        if (maxNames > 0) names[(*count)++] = SysAllocString(f->name);
        for (const ParamData& p : f->params)
            if (*count < maxNames) names[(*count)++] = SysAllocString(p.name);
        return S_OK;
    }
    STDMETHOD(GetRefTypeOfImplType)(UINT index, HREFTYPE* out) override {
        if (!out) return E_INVALIDARG;
        if (index >= type().implTypes || type().datatype1 < 0) return TYPE_E_ELEMENTNOTFOUND;
        if (type().kind == TKIND_COCLASS) return E_NOTIMPL;
        *out = HREFTYPE(type().datatype1);
        return S_OK;
    }
    STDMETHOD(GetImplTypeFlags)(UINT index, INT* flags) override {
        if (!flags) return E_INVALIDARG;
        if (index >= type().implTypes) return TYPE_E_ELEMENTNOTFOUND;
        *flags = type().kind == TKIND_COCLASS && index == 0 ? IMPLTYPEFLAG_FDEFAULT : 0;
        return S_OK;
    }
    STDMETHOD(GetIDsOfNames)(LPOLESTR* names, UINT count, MEMBERID* ids) override {
        if (!names || !ids || count == 0) return E_INVALIDARG;
        for (UINT i = 0; i < count; ++i) ids[i] = MEMBERID_NIL;
        const FuncData* f = nullptr;
        for (const FuncData& candidate : functions_)
            if (names[0] && equalNoCase(candidate.name, names[0])) f = &candidate;
        if (!f) return DISP_E_UNKNOWNNAME;
        ids[0] = f->memid;
        HRESULT hr = S_OK;
        for (UINT i = 1; i < count; ++i) {
            for (size_t p = 0; p < f->params.size(); ++p)
                if (names[i] && equalNoCase(f->params[p].name, names[i])) ids[i] = MEMBERID(p);
            if (ids[i] == MEMBERID_NIL) hr = DISP_E_UNKNOWNNAME;
        }
        return hr;
    }
    STDMETHOD(Invoke)(PVOID instance, MEMBERID memid, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, UINT* argError) override;
    STDMETHOD(GetDocumentation)(MEMBERID memid, BSTR* name, BSTR* doc, DWORD* helpContext, BSTR* helpFile) override {
        if (name) *name = nullptr;
        if (doc) *doc = nullptr;
        if (helpContext) *helpContext = 0;
        if (helpFile) *helpFile = nullptr;
        if (memid == MEMBERID_NIL) {
            if (name) *name = bstr(type().name);
            if (doc && type().doc) *doc = bstr(*type().doc);
            return S_OK;
        }
        const FuncData* f = byMemid(memid);
        if (!f) return TYPE_E_ELEMENTNOTFOUND;
        if (name) *name = SysAllocString(f->name);
        return S_OK;
    }
    STDMETHOD(GetDllEntry)(MEMBERID, INVOKEKIND, BSTR*, BSTR*, WORD*) override { return TYPE_E_BADMODULEKIND; }
    STDMETHOD(GetRefTypeInfo)(HREFTYPE ref, ITypeInfo** out) override;
    STDMETHOD(AddressOfMember)(MEMBERID, INVOKEKIND, PVOID*) override { return E_NOTIMPL; }
    STDMETHOD(CreateInstance)(IUnknown*, REFIID, PVOID*) override { return E_NOTIMPL; }
    STDMETHOD(GetMops)(MEMBERID, BSTR* mops) override {
        if (mops) *mops = nullptr;
        return S_OK;
    }
    STDMETHOD(GetContainingTypeLib)(ITypeLib** lib, UINT* index) override;
    STDMETHOD_(void, ReleaseTypeAttr)(TYPEATTR* attr) override { delete attr; }
    STDMETHOD_(void, ReleaseFuncDesc)(FUNCDESC* desc) override { ::operator delete(desc); }
    STDMETHOD_(void, ReleaseVarDesc)(VARDESC*) override {}

    STDMETHOD(GetTypeKind)(TYPEKIND* kind) override {
        if (!kind) return E_INVALIDARG;
        *kind = type().kind;
        return S_OK;
    }
    STDMETHOD(GetTypeFlags)(ULONG* flags) override {
        if (!flags) return E_INVALIDARG;
        *flags = typeFlags();
        return S_OK;
    }
    STDMETHOD(GetFuncIndexOfMemId)(MEMBERID memid, INVOKEKIND invKind, UINT* index) override {
        if (!index) return E_INVALIDARG;
        for (size_t i = 0; i < functions_.size(); ++i) {
            if (functions_[i].memid != memid || !(invKind & INVOKE_FUNC)) continue;
            *index = UINT(i);
            return S_OK;
        }
        return TYPE_E_ELEMENTNOTFOUND;
    }
    STDMETHOD(GetVarIndexOfMemId)(MEMBERID, UINT*) override { return TYPE_E_ELEMENTNOTFOUND; }
    STDMETHOD(GetCustData)(REFGUID, VARIANT* v) override { return noCustomData(v); }
    STDMETHOD(GetFuncCustData)(UINT, REFGUID, VARIANT* v) override { return noCustomData(v); }
    STDMETHOD(GetParamCustData)(UINT, UINT, REFGUID, VARIANT* v) override { return noCustomData(v); }
    STDMETHOD(GetVarCustData)(UINT, REFGUID, VARIANT* v) override { return noCustomData(v); }
    STDMETHOD(GetImplTypeCustData)(UINT, REFGUID, VARIANT* v) override { return noCustomData(v); }
    STDMETHOD(GetDocumentation2)(MEMBERID memid, LCID, BSTR* helpString, DWORD* context, BSTR* helpDll) override {
        if (context) *context = 0;
        if (helpDll) *helpDll = nullptr;
        if (helpString) *helpString = nullptr;
        if (memid == MEMBERID_NIL) {
            if (helpString && type().doc) *helpString = bstr(*type().doc);
            return S_OK;
        }
        return byMemid(memid) ? S_OK : TYPE_E_ELEMENTNOTFOUND;
    }
    STDMETHOD(GetAllCustData)(CUSTDATA*) override { return E_NOTIMPL; }
    STDMETHOD(GetAllFuncCustData)(UINT, CUSTDATA*) override { return E_NOTIMPL; }
    STDMETHOD(GetAllParamCustData)(UINT, UINT, CUSTDATA*) override { return E_NOTIMPL; }
    STDMETHOD(GetAllVarCustData)(UINT, CUSTDATA*) override { return E_NOTIMPL; }
    STDMETHOD(GetAllImplTypeCustData)(UINT, CUSTDATA*) override { return E_NOTIMPL; }

private:
    const TypeData& type() const { return data_->types[index_]; }

    // The dispatch view of a dual interface is not itself an automation
    // interface: the platform drops that flag there and keeps the others.
    WORD typeFlags() const {
        WORD flags = type().flags;
        if (type().kind == TKIND_DISPATCH && (flags & TYPEFLAG_FDUAL)) flags &= ~TYPEFLAG_FOLEAUTOMATION;
        return flags;
    }

    size_t vtableSlots() const {
        if (type().kind == TKIND_DISPATCH) return 7;  // a dispatch interface is called through IDispatch
        return functions_.size();
    }

    const FuncData* byMemid(MEMBERID memid) const {
        for (const FuncData& f : functions_)
            if (f.memid == memid) return &f;
        return nullptr;
    }

    static HRESULT noCustomData(VARIANT* v) {
        if (!v) return E_INVALIDARG;
        VariantInit(v);
        return S_OK;
    }

    std::atomic<ULONG> refs_{1};
    TypeLib* lib_;
    std::shared_ptr<const LibData> data_;
    UINT index_;
    std::vector<FuncData> functions_;
};

class TypeLib final : public ITypeLib {
public:
    explicit TypeLib(std::shared_ptr<const LibData> data) : data_(std::move(data)) {}

    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_ITypeLib) {
            *ppv = static_cast<ITypeLib*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ++refs_; }
    STDMETHOD_(ULONG, Release)() override {
        ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

    STDMETHOD_(UINT, GetTypeInfoCount)() override { return UINT(data_->types.size()); }
    STDMETHOD(GetTypeInfo)(UINT index, ITypeInfo** out) override {
        if (!out) return E_INVALIDARG;
        *out = nullptr;
        if (index >= data_->types.size()) return TYPE_E_ELEMENTNOTFOUND;
        try {
            *out = new TypeInfo(this, data_, index);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        return S_OK;
    }
    STDMETHOD(GetTypeInfoType)(UINT index, TYPEKIND* kind) override {
        if (!kind) return E_INVALIDARG;
        if (index >= data_->types.size()) return TYPE_E_ELEMENTNOTFOUND;
        *kind = data_->types[index].kind;
        return S_OK;
    }
    STDMETHOD(GetTypeInfoOfGuid)(REFGUID guid, ITypeInfo** out) override {
        if (!out) return E_INVALIDARG;
        *out = nullptr;
        for (size_t i = 0; i < data_->types.size(); ++i)
            if (data_->types[i].guid == guid) return GetTypeInfo(UINT(i), out);
        return TYPE_E_ELEMENTNOTFOUND;
    }
    STDMETHOD(GetLibAttr)(TLIBATTR** out) override {
        if (!out) return E_INVALIDARG;
        *out = new (std::nothrow) TLIBATTR(data_->attr);
        return *out ? S_OK : E_OUTOFMEMORY;
    }
    STDMETHOD(GetTypeComp)(ITypeComp**) override { return E_NOTIMPL; }
    STDMETHOD(GetDocumentation)(INT index, BSTR* name, BSTR* doc, DWORD* helpContext, BSTR* helpFile) override {
        if (index >= 0) {
            ITypeInfo* info = nullptr;
            HRESULT hr = GetTypeInfo(UINT(index), &info);
            if (FAILED(hr)) return hr;
            hr = info->GetDocumentation(MEMBERID_NIL, name, doc, helpContext, helpFile);
            info->Release();
            return hr;
        }
        if (name) *name = bstr(data_->name);
        if (doc) *doc = data_->doc ? bstr(*data_->doc) : nullptr;
        if (helpContext) *helpContext = 0;
        if (helpFile) *helpFile = nullptr;
        return S_OK;
    }
    STDMETHOD(IsName)(LPOLESTR, ULONG, BOOL*) override { return E_NOTIMPL; }
    STDMETHOD(FindName)(LPOLESTR, ULONG, ITypeInfo**, MEMBERID*, USHORT*) override { return E_NOTIMPL; }
    STDMETHOD_(void, ReleaseTLibAttr)(TLIBATTR* attr) override { delete attr; }

private:
    std::atomic<ULONG> refs_{1};
    std::shared_ptr<const LibData> data_;
};

TypeInfo::TypeInfo(TypeLib* lib, std::shared_ptr<const LibData> data, UINT index)
    : lib_(lib), data_(std::move(data)), index_(index) {
    lib_->AddRef();
    functions_ = functionsOf(*data_, type());
}

TypeInfo::~TypeInfo() { lib_->Release(); }

HRESULT TypeInfo::GetRefTypeInfo(HREFTYPE ref, ITypeInfo** out) {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (ref & 1) return E_NOTIMPL;  // imported types are the platform's own
    if (ref % kTypeInfoSize != 0) return TYPE_E_ELEMENTNOTFOUND;
    return lib_->GetTypeInfo(UINT(ref / kTypeInfoSize), out);
}

HRESULT TypeInfo::GetContainingTypeLib(ITypeLib** lib, UINT* index) {
    if (index) *index = index_;
    if (!lib) return S_OK;
    lib_->AddRef();
    *lib = lib_;
    return S_OK;
}

// Calls the function through the object's operation table. Arguments arrive in
// reverse order; each must be an integer or a reference, passed as one word.
HRESULT TypeInfo::Invoke(PVOID instance, MEMBERID memid, WORD flags, DISPPARAMS* params, VARIANT* result,
                         EXCEPINFO* exception, UINT* argError) {
    if (!instance || !params) return E_INVALIDARG;
    const FuncData* f = byMemid(memid);
    if (!f || !(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
    if (params->cNamedArgs > 0) return DISP_E_PARAMNOTFOUND;
    if (params->cArgs != f->params.size()) return DISP_E_BADPARAMCOUNT;
    if (params->cArgs > 0 && !params->rgvarg) return E_INVALIDARG;
    uint64_t args[8] = {};
    for (UINT i = 0; i < params->cArgs; ++i) {
        const VARIANTARG& arg = params->rgvarg[params->cArgs - 1 - i];
        if (argumentOf(arg, f->params[i].vt, args[i])) continue;
        if (argError) *argError = params->cArgs - 1 - i;
        return DISP_E_TYPEMISMATCH;
    }
    using Operation =
        uint64_t (*)(void*, uint64_t, uint64_t, uint64_t, uint64_t, uint64_t, uint64_t, uint64_t, uint64_t);
    auto* table = *static_cast<Operation**>(instance);
    uint64_t returned =
        table[f->slot](instance, args[0], args[1], args[2], args[3], args[4], args[5], args[6], args[7]);
    if (f->result == VT_VOID) {  // the operation returned a status
        HRESULT hr = HRESULT(uint32_t(returned));
        if (FAILED(hr)) {
            if (exception) {
                std::memset(exception, 0, sizeof *exception);
                exception->scode = hr;
            }
            return DISP_E_EXCEPTION;
        }
        if (result) VariantInit(result);
        return S_OK;
    }
    if (result) {
        VariantInit(result);
        result->vt = f->result;
        result->lVal = LONG(uint32_t(returned));
    }
    return S_OK;
}

}  // namespace

HRESULT CreateTypeLibFromMemory(std::vector<BYTE> bytes, ITypeLib** library) try {
    if (!library) return E_INVALIDARG;
    *library = nullptr;
    auto data = std::make_shared<LibData>();
    data->bytes = std::move(bytes);
    Parser parser(*data);
    if (HRESULT hr = parser.parse(); FAILED(hr)) return hr;
    data->bytes.clear();  // everything needed has been copied out
    data->bytes.shrink_to_fit();
    *library = new TypeLib(std::move(data));
    return S_OK;
} catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
}

}  // namespace platform::com
