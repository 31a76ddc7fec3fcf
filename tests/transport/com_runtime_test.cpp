// The component runtime: string layout, variants, the class table and creation.
#include <gtest/gtest.h>

#include <cstring>

#include "cdosys.h"
#include "class_table.h"
#include "objbase.h"

namespace {

DWORD prefixOf(BSTR text) {
    DWORD bytes;
    std::memcpy(&bytes, reinterpret_cast<BYTE*>(text) - 4, 4);
    return bytes;
}

// Length given, or counted up to the terminator: the byte count before the
// characters, a terminator after them.
TEST(Bstr, HoldsByteCountBeforeAndTerminatorAfterTheCharacters) {
    const struct {
        BSTR text;
        std::u16string_view expected;
    } cases[] = {
        {SysAllocStringLen(u"IStream and more", 7), u"IStream"},
        {SysAllocStringLen(u"a\0b", 3), std::u16string_view(u"a\0b", 3)},        // embedded NULs count
        {SysAllocStringLen(nullptr, 5), std::u16string_view(u"\0\0\0\0\0", 5)},  // no text: zero-filled
        {SysAllocString(u"Pellicor"), u"Pellicor"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected.size());
        ASSERT_NE(c.text, nullptr);
        EXPECT_EQ(prefixOf(c.text), 2 * c.expected.size());
        EXPECT_EQ(SysStringLen(c.text), c.expected.size());
        EXPECT_EQ(std::u16string_view(c.text, c.expected.size()), c.expected);
        EXPECT_EQ(c.text[c.expected.size()], 0);
        SysFreeString(c.text);
    }
}

TEST(Bstr, AcceptsNullAndRefusesLengthsTheByteCountCannotHold) {
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    SysFreeString(nullptr);
    EXPECT_EQ(SysAllocStringLen(nullptr, 0x80000000u), nullptr);
    EXPECT_EQ(SysAllocStringLen(nullptr, 0xFFFFFFFFu), nullptr);
}

// A factory that counts its references and creations and never makes anything.
struct TestFactory : IClassFactory {
    LONG references = 1;
    int created = 0;
    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override {
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IClassFactory) return E_NOINTERFACE;
        *ppv = this;
        AddRef();
        return S_OK;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ULONG(++references); }
    STDMETHOD_(ULONG, Release)() override { return ULONG(--references); }
    STDMETHOD(CreateInstance)(IUnknown*, REFIID, void** ppv) override {
        ++created;
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHOD(LockServer)(BOOL) override { return S_OK; }
};

TEST(Variant, ClearFreesTheStringAndReleasesTheObject) {
    VARIANT v;
    VariantInit(&v);
    EXPECT_EQ(v.vt, VT_EMPTY);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(u"owned");  // leak checkers catch a clear that forgets it
    EXPECT_EQ(VariantClear(&v), S_OK);
    EXPECT_EQ(v.vt, VT_EMPTY);

    TestFactory object;
    object.AddRef();
    v.vt = VT_UNKNOWN;
    v.punkVal = &object;
    EXPECT_EQ(VariantClear(&v), S_OK);
    EXPECT_EQ(object.references, 1);

    v.vt = VT_UNKNOWN | VT_BYREF;  // borrowed: not released
    v.byref = &object;
    EXPECT_EQ(VariantClear(&v), S_OK);
    EXPECT_EQ(object.references, 1);
}

TEST(ComRuntime, CreatesTheMessageComponentInCreationContext23) {
    IUnknown* unknown = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_Message, nullptr, 23, IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    EXPECT_EQ(OleRun(unknown), S_OK);
    EXPECT_EQ(unknown->Release(), 0u) << "one reference handed out";
}

TEST(ComRuntime, RefusesUnknownClassesOutOfProcessContextsAndAggregation) {
    const CLSID unknownClass = {0x12345678, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(unknownClass, nullptr, CLSCTX_ALL, IID_IUnknown, &object), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(CoCreateInstance(CLSID_Message, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, &object),
              REGDB_E_CLASSNOTREG);
    TestFactory outer;
    EXPECT_EQ(CoCreateInstance(CLSID_Message, &outer, CLSCTX_ALL, IID_IUnknown, &object), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(CoCreateInstance(CLSID_Message, nullptr, CLSCTX_ALL, IID_IClassFactory, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
}

TEST(ClassTable, RegisteredFactoriesAreFoundUntilRevokedAndHeldByOneReference) {
    const CLSID testClass = {0xAABBCCDD, 1, 2, {3, 4, 5, 6, 7, 8, 9, 11}};
    TestFactory factory;
    ASSERT_EQ(platform::com::RegisterClassFactory(testClass, &factory), S_OK);
    EXPECT_EQ(factory.references, 2);

    void* object = nullptr;
    EXPECT_EQ(CoCreateInstance(testClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object), E_NOINTERFACE);
    EXPECT_EQ(factory.created, 1);
    IClassFactory* found = nullptr;
    ASSERT_EQ(
        CoGetClassObject(testClass, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, reinterpret_cast<void**>(&found)),
        S_OK);
    EXPECT_EQ(found, &factory);
    found->Release();
    EXPECT_EQ(factory.references, 2);

    EXPECT_EQ(platform::com::RevokeClassFactory(testClass), S_OK);
    EXPECT_EQ(factory.references, 1);
    EXPECT_EQ(platform::com::RevokeClassFactory(testClass), S_FALSE);
    EXPECT_EQ(CoCreateInstance(testClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object), REGDB_E_CLASSNOTREG);
}

TEST(ClsidFromString, ParsesTheBracedFormOnly) {
    CLSID clsid;
    ASSERT_EQ(CLSIDFromString(u"{CD000001-8B95-11D1-82DB-00C04FB1625D}", &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_Message);
    ASSERT_EQ(CLSIDFromString(u"{cd000001-8b95-11d1-82db-00c04fb1625d}", &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_Message);
    for (const char16_t* bad : {u"CD000001-8B95-11D1-82DB-00C04FB1625D", u"{CD000001-8B95-11D1-82DB-00C04FB1625D",
                                u"{CD000001-8B95-11D1-82DB-00C04FB1625DX}", u"{CD000001+8B95-11D1-82DB-00C04FB1625D}",
                                u"{CD00000G-8B95-11D1-82DB-00C04FB1625D}", u"", u"Pellicor.Sink"}) {
        EXPECT_EQ(CLSIDFromString(bad, &clsid), CO_E_CLASSSTRING) << std::u16string_view(bad).size();
        EXPECT_EQ(clsid, GUID{});
    }
}

}  // namespace
