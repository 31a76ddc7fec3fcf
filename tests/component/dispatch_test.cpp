// The Sink's IDispatch, answered from the registered type library.
#include "pellicor_interfaces.h"
#include "sink_library.h"
#include "temp_hive.h"

namespace {

constexpr DISPID kAddRef = 0x60000001;
constexpr DISPID kGetTypeInfoCount = 0x60010000;
const IID kNoInterface{};

class DispatchTest : public SinkLibraryTest {
protected:
    void SetUp() override {
        SinkLibraryTest::SetUp();
        IClassFactory* factory = lib().Factory();
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&sink)), S_OK);
        factory->Release();
    }
    void TearDown() override {
        if (sink) sink->Release();
        SinkLibraryTest::TearDown();
    }

    HRESULT idOf(const char16_t* name, DISPID& id) {
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        id = DISPID_UNKNOWN;
        return sink->GetIDsOfNames(kNoInterface, names, 1, 0, &id);
    }

    TempHive hive;
    IDispatch* sink = nullptr;
};

TEST_F(DispatchTest, FailsWhileTheTypeLibraryIsUnregisteredAndRecoversAfterRegistration) {
    // The type information is kept for the life of the process once loaded;
    // ctest runs every test in a process of its own.
    ITypeInfo* kept = nullptr;
    if (SUCCEEDED(sink->GetTypeInfo(0, 0, &kept))) {
        kept->Release();
        GTEST_SKIP() << "an earlier test in this process loaded the type information";
    }
    UINT count = 0;
    EXPECT_EQ(sink->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    DISPID id;
    EXPECT_EQ(idOf(u"AddRef", id), TYPE_E_LIBNOTREGISTERED);
    ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
    EXPECT_EQ(sink->GetTypeInfo(0, 0, &info), TYPE_E_LIBNOTREGISTERED);
    EXPECT_EQ(info, nullptr);
    DISPPARAMS none{};
    EXPECT_EQ(sink->Invoke(kAddRef, kNoInterface, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
              TYPE_E_LIBNOTREGISTERED);

    ASSERT_EQ(lib().registerServer(), S_OK);
    EXPECT_EQ(idOf(u"AddRef", id), S_OK);
    EXPECT_EQ(id, kAddRef);
    ASSERT_EQ(sink->GetTypeInfo(0, 0, &info), S_OK);
    ITypeInfo* other = nullptr;
    ASSERT_EQ(sink->GetTypeInfo(5, 0, &other), S_OK) << "the index is not looked at";
    EXPECT_EQ(other, info);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->guid, IID_ISink) << "the rest of it is the type library test's";
    info->ReleaseTypeAttr(attr);
    other->Release();
    info->Release();
    EXPECT_EQ(sink->GetTypeInfo(0, 0, nullptr), E_POINTER);
}

TEST_F(DispatchTest, NamesComeFromACaseSensitiveCacheOrTheTypeInfoAndInvokeCallsThroughTheTable) {
    ASSERT_EQ(lib().registerServer(), S_OK);
    DISPID id;
    EXPECT_EQ(idOf(u"GetTypeInfoCount", id), S_OK);
    EXPECT_EQ(id, kGetTypeInfoCount);
    EXPECT_EQ(idOf(u"gettypeinfocount", id), S_OK) << "a cache miss goes to the type information";
    EXPECT_EQ(id, kGetTypeInfoCount);
    EXPECT_EQ(idOf(u"GetTypeInfoCoun", id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(id, DISPID_UNKNOWN);

    LPOLESTR two[] = {const_cast<LPOLESTR>(u"Invoke"), const_cast<LPOLESTR>(u"wFlags")};
    DISPID ids[2] = {};
    EXPECT_EQ(sink->GetIDsOfNames(kNoInterface, two, 2, 0, ids), S_OK);
    EXPECT_EQ(ids[0], 0x60010003);
    EXPECT_EQ(ids[1], 3) << "a parameter's name maps to its position";

    // Invoke calls through the operation table.
    DISPPARAMS none{};
    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(sink->Invoke(kAddRef, kNoInterface, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr), S_OK);
    EXPECT_EQ(result.vt, VT_UI4);
    EXPECT_EQ(result.lVal, 2) << "the caller's reference and the one just added";
    sink->Release();

    UINT count = 0;
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_BYREF | VT_UI4;
    arg.byref = &count;
    DISPPARAMS one{&arg, nullptr, 1, 0};
    EXPECT_EQ(sink->Invoke(kGetTypeInfoCount, kNoInterface, 0, DISPATCH_METHOD, &one, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(sink->Invoke(kGetTypeInfoCount, kNoInterface, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
              DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(sink->Invoke(1234, kNoInterface, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
}

}  // namespace
