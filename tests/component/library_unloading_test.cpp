// The component runtime loads a registered server once and unloads it only when
// its DllCanUnloadNow allows.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include "objbase.h"
#include "pellicor_interfaces.h"
#include "seo.h"
#include "temp_hive.h"

namespace {

bool loaded() {
    void* handle = dlopen(PELLICOR_LIBRARY, RTLD_NOW | RTLD_NOLOAD);
    if (!handle) return false;
    dlclose(handle);
    return true;
}

TEST(LibraryUnloading, FreedOnlyWhenNothingOfItIsAlive) {
    TempHive hive;
    if (loaded()) GTEST_SKIP() << "another test of this process holds the library";
    void* handle = dlopen(PELLICOR_LIBRARY, RTLD_NOW);
    ASSERT_NE(handle, nullptr) << dlerror();
    auto registerServer = reinterpret_cast<HRESULT (*)()>(dlsym(handle, "DllRegisterServer"));
    ASSERT_EQ(registerServer(), S_OK);
    dlclose(handle);
    ASSERT_FALSE(loaded());

    IEventIsCacheable* sink = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_Sink, nullptr, CLSCTX_INPROC_SERVER, IID_IEventIsCacheable,
                               reinterpret_cast<void**>(&sink)),
              S_OK);
    EXPECT_TRUE(loaded());
    CoFreeUnusedLibraries();
    ASSERT_TRUE(loaded()) << "a living Sink keeps its library";
    EXPECT_EQ(sink->IsCacheable(), S_OK);
    sink->Release();

    CoFreeUnusedLibraries();
    EXPECT_FALSE(loaded());

    ASSERT_EQ(CoCreateInstance(CLSID_Sink, nullptr, CLSCTX_INPROC_SERVER, IID_IEventIsCacheable,
                               reinterpret_cast<void**>(&sink)),
              S_OK)
        << "loaded again on demand";
    EXPECT_EQ(sink->IsCacheable(), S_OK);
    sink->Release();
    CoFreeUnusedLibraries();
}

}  // namespace
