// The sink server's objects linked into the test itself, to look at the module
// record: failed type information loads must not grow the clean-up list.
#include <gtest/gtest.h>

#include "pellicor_interfaces.h"
#include "sink_module.h"
#include "temp_hive.h"

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv);

namespace {

size_t cleanUpCount() {
    size_t count = 0;
    for (_ATL_TERMFUNC_ELEM* elem = _Module.m_pTermFuncs; elem; elem = elem->pNext) ++count;
    return count;
}

TEST(SinkCleanUpList, FailedTypeInformationLoadsAddOneCleanUpPerProcess) {
    TempHive hive;  // nothing registered: every load fails
    IClassFactory* factory = nullptr;
    ASSERT_EQ(DllGetClassObject(CLSID_Sink, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    IDispatch* sink = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&sink)), S_OK);
    factory->Release();

    size_t before = cleanUpCount();
    LPOLESTR names[] = {const_cast<LPOLESTR>(u"AddRef")};
    DISPID id = 0;
    for (int i = 0; i < 50; ++i) EXPECT_EQ(sink->GetIDsOfNames(IID_ISink, names, 1, 0, &id), TYPE_E_LIBNOTREGISTERED);
    ITypeInfo* info = nullptr;
    EXPECT_EQ(sink->GetTypeInfo(0, 0, &info), TYPE_E_LIBNOTREGISTERED);
    EXPECT_LE(cleanUpCount(), before + 1);
    EXPECT_EQ(sink->Release(), 0u);
    EXPECT_EQ(ModuleLockCount(), 0);
}

}  // namespace
