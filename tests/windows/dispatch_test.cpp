// Dispatch through the platform: a Sink created by the platform's CoCreateInstance
// from its program identifier answers GetIDsOfNames, GetTypeInfo and Invoke from
// the type library that regsvr32 registered.
#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include "pellicor_interfaces.h"

namespace {

constexpr DISPID kAddRef = 0x60000001;
constexpr DISPID kGetTypeInfoCount = 0x60010000;
constexpr DISPID kInvoke = 0x60010003;

class PlatformDispatch : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        CLSID clsid{};
        ASSERT_EQ(CLSIDFromProgID(L"Pellicor.Sink", &clsid), S_OK) << "is Pellicor.dll registered?";
        EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_Sink));
        ASSERT_EQ(
            CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&sink)),
            S_OK);
    }
    void TearDown() override {
        if (sink) sink->Release();
        CoUninitialize();
    }
    HRESULT idOf(const wchar_t* name, DISPID& id) {
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        id = DISPID_UNKNOWN;
        return sink->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    }

    IDispatch* sink = nullptr;
};

TEST_F(PlatformDispatch, TypeInformationIsTheDualInterfaceOfTheRegisteredLibrary) {
    UINT count = 0;
    EXPECT_EQ(sink->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    ITypeInfo* info = nullptr;
    ASSERT_EQ(sink->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    EXPECT_TRUE(IsEqualIID(attr->guid, IID_ISink));
    EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
    EXPECT_EQ(attr->cFuncs, 7) << "IDispatch's seven operations, nothing of its own";
    EXPECT_NE(attr->wTypeFlags & TYPEFLAG_FDUAL, 0);
    info->ReleaseTypeAttr(attr);

    ITypeLib* lib = nullptr;
    UINT index = 0;
    ASSERT_EQ(info->GetContainingTypeLib(&lib, &index), S_OK);
    TLIBATTR* libAttr = nullptr;
    ASSERT_EQ(lib->GetLibAttr(&libAttr), S_OK);
    EXPECT_TRUE(IsEqualGUID(libAttr->guid, LIBID_PELLICORLib));
    EXPECT_EQ(libAttr->wMajorVerNum, 1);
    EXPECT_EQ(libAttr->wMinorVerNum, 0);
    lib->ReleaseTLibAttr(libAttr);
    lib->Release();
    info->Release();
}

TEST_F(PlatformDispatch, NamesMapToTheTypeLibrarysMemberIdentifiers) {
    DISPID id = 0;
    EXPECT_EQ(idOf(L"GetTypeInfoCount", id), S_OK);
    EXPECT_EQ(id, kGetTypeInfoCount);
    EXPECT_EQ(idOf(L"gettypeinfocount", id), S_OK) << "names compare without regard to case";
    EXPECT_EQ(id, kGetTypeInfoCount);
    EXPECT_EQ(idOf(L"GetTypeInfoCoun", id), DISP_E_UNKNOWNNAME);

    LPOLESTR two[] = {const_cast<LPOLESTR>(L"Invoke"), const_cast<LPOLESTR>(L"wFlags")};
    DISPID ids[2] = {};
    EXPECT_EQ(sink->GetIDsOfNames(IID_NULL, two, 2, LOCALE_USER_DEFAULT, ids), S_OK);
    EXPECT_EQ(ids[0], kInvoke);
    EXPECT_EQ(ids[1], 3) << "a parameter's name maps to its position";
}

// ISink adds nothing to IDispatch, and the platform's type information does not
// invoke restricted members (IUnknown's and IDispatch's own), so nothing is
// reachable through Invoke.
TEST_F(PlatformDispatch, InvokeReachesNoRestrictedMember) {
    DISPPARAMS none{};
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(sink->Invoke(kAddRef, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, &result, nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(result.vt, VT_EMPTY);
    EXPECT_EQ(sink->Invoke(1234, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, &result, nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
}

}  // namespace
