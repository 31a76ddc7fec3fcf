// The built libPellicor.so, loaded once per test process, and its four exports.
#pragma once
#include <gtest/gtest.h>

#include "libloaderapi.h"
#include "objbase.h"

struct SinkLibrary {
    typedef HRESULT(STDAPICALLTYPE* NoArgs)();
    typedef HRESULT(STDAPICALLTYPE* GetClassObject)(REFCLSID, REFIID, LPVOID*);

    HMODULE module = nullptr;
    NoArgs canUnloadNow = nullptr;
    GetClassObject getClassObject = nullptr;
    NoArgs registerServer = nullptr;
    NoArgs unregisterServer = nullptr;

    static const SinkLibrary& Get() {
        static const SinkLibrary library = [] {
            SinkLibrary l;
            l.module = LoadLibraryA(PELLICOR_LIBRARY);
            if (!l.module) return l;
            l.canUnloadNow = reinterpret_cast<NoArgs>(symbol(l.module, "DllCanUnloadNow"));
            l.getClassObject = reinterpret_cast<GetClassObject>(symbol(l.module, "DllGetClassObject"));
            l.registerServer = reinterpret_cast<NoArgs>(symbol(l.module, "DllRegisterServer"));
            l.unregisterServer = reinterpret_cast<NoArgs>(symbol(l.module, "DllUnregisterServer"));
            return l;
        }();
        return library;
    }

    IClassFactory* Factory() const {
        IClassFactory* factory = nullptr;
        EXPECT_EQ(getClassObject(CLSID_SinkForTests(), IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
        return factory;
    }

    static const CLSID& CLSID_SinkForTests() {
        static const CLSID clsid = {0x3D0C9A61, 0x7B2E, 0x4F15, {0x9C, 0x48, 0x2A, 0x6E, 0x5B, 0x1F, 0x0D, 0x37}};
        return clsid;
    }

private:
    static void* symbol(HMODULE module, const char* name) {
        return reinterpret_cast<void*>(GetProcAddress(module, name));
    }
};

// The fixture every test of the library starts from: loaded, nothing alive.
class SinkLibraryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(lib().module, nullptr) << GetLastLoadLibraryError();
        ASSERT_EQ(lib().canUnloadNow(), S_OK);
    }
    void TearDown() override { EXPECT_EQ(lib().canUnloadNow(), S_OK) << "something of the sink is still alive"; }

    static const SinkLibrary& lib() { return SinkLibrary::Get(); }
};
