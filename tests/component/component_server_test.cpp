// The library as its host sees it: class factory, Sink object, aggregation, the
// module lock that decides when it may be unloaded, and the component runtime
// that loads it once and unloads it only when DllCanUnloadNow allows.
#include <atomic>
#include <vector>

#include <dlfcn.h>

#include "objidl.h"
#include "pellicor_interfaces.h"
#include "seo.h"
#include "sink_library.h"
#include "smtpevent.h"
#include "temp_hive.h"

namespace {

TEST_F(SinkLibraryTest, MayUnloadOnlyWithoutSinksOutsideFactoryReferencesOrServerLocks) {
    IClassFactory* factory = lib().Factory();
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(lib().canUnloadNow(), S_FALSE) << "an outside factory reference holds the module";

    IUnknown* sink = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&sink)), S_OK);
    factory->Release();
    EXPECT_EQ(lib().canUnloadNow(), S_FALSE) << "a living Sink holds the module";
    sink->Release();
    EXPECT_EQ(lib().canUnloadNow(), S_OK);

    factory = lib().Factory();
    ASSERT_EQ(factory->LockServer(TRUE), S_OK);
    factory->Release();
    EXPECT_EQ(lib().canUnloadNow(), S_FALSE) << "a server lock holds the module";
    factory = lib().Factory();
    ASSERT_EQ(factory->LockServer(FALSE), S_OK);
    factory->Release();
}

TEST_F(SinkLibraryTest, ClassObjectIsOneCachedFactory) {
    IClassFactory* first = lib().Factory();
    IClassFactory* second = lib().Factory();
    EXPECT_EQ(first, second);
    IUnknown* unknown = nullptr;
    ASSERT_EQ(first->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    EXPECT_EQ(unknown, static_cast<IUnknown*>(first));
    unknown->Release();
    EXPECT_EQ(first->CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(first->CreateInstance(nullptr, IID_IStream, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr) << "a failed creation leaves nothing behind";
    second->Release();
    EXPECT_EQ(lib().canUnloadNow(), S_FALSE) << "one outside reference is left";
    first->Release();

    void* other = reinterpret_cast<void*>(1);
    EXPECT_EQ(lib().getClassObject(IID_IDispatch, IID_IClassFactory, &other), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(other, nullptr);
}

TEST_F(SinkLibraryTest, QueryInterfaceFollowsTheInterfaceTable) {
    IClassFactory* factory = lib().Factory();
    IUnknown* identity = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    factory->Release();

    auto query = [&](IUnknown* from, REFIID iid) {
        void* part = nullptr;
        HRESULT hr = from->QueryInterface(iid, &part);
        EXPECT_EQ(SUCCEEDED(hr), part != nullptr);
        if (part) static_cast<IUnknown*>(part)->Release();
        return part;
    };
    void* sinkPart = query(identity, IID_ISink);
    EXPECT_EQ(sinkPart, identity) << "IUnknown is the dispatch part";
    EXPECT_EQ(query(identity, IID_IDispatch), sinkPart);
    void* event = query(identity, IID_IMailTransportOnPostCategorize);
    void* cacheable = query(identity, IID_IEventIsCacheable);
    ASSERT_NE(event, nullptr);
    ASSERT_NE(cacheable, nullptr);
    EXPECT_NE(event, sinkPart);
    EXPECT_NE(cacheable, event);
    EXPECT_EQ(query(static_cast<IUnknown*>(event), IID_IUnknown), identity) << "every part has the same identity";
    EXPECT_EQ(query(static_cast<IUnknown*>(cacheable), IID_IMailTransportOnPostCategorize), event);
    EXPECT_EQ(query(identity, IID_IStream), nullptr);
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(identity->QueryInterface(IID_IClassFactory, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);

    EXPECT_EQ(static_cast<IEventIsCacheable*>(cacheable)->IsCacheable(), S_OK);
    EXPECT_EQ(static_cast<IEventIsCacheable*>(cacheable)->IsCacheable(), S_OK);
    EXPECT_EQ(identity->Release(), 0u);
}

// An outer object that counts its references and remembers what it was asked.
class Outer final : public IUnknown {
public:
    STDMETHOD(QueryInterface)(REFIID iid, void** ppv) override {
        asked.push_back(iid);
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ++refs; }
    STDMETHOD_(ULONG, Release)() override { return --refs; }

    std::atomic<ULONG> refs{1};
    std::vector<IID> asked;
};

TEST_F(SinkLibraryTest, AggregationOnlyForIUnknownWithTheWrappersOwnIdentity) {
    IClassFactory* factory = lib().Factory();
    Outer outer;
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(&outer, IID_IDispatch, &object), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);

    IUnknown* inner = nullptr;
    ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)), S_OK);
    factory->Release();
    EXPECT_EQ(lib().canUnloadNow(), S_FALSE) << "the aggregate holds the module";
    EXPECT_EQ(outer.refs, 1u) << "the outer object is held without a reference";

    IUnknown* again = nullptr;
    ASSERT_EQ(inner->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&again)), S_OK);
    EXPECT_EQ(again, inner) << "the wrapper answers IUnknown with its own";
    again->Release();
    EXPECT_EQ(inner->QueryInterface(IID_IUnknown, nullptr), E_POINTER);

    ISink* part = nullptr;
    ASSERT_EQ(inner->QueryInterface(IID_ISink, reinterpret_cast<void**>(&part)), S_OK);
    EXPECT_NE(static_cast<IUnknown*>(part), inner);
    EXPECT_EQ(outer.refs, 2u) << "the part's references go to the outer object";
    EXPECT_EQ(outer.asked.size(), 0u);

    IEventIsCacheable* cacheable = nullptr;
    ASSERT_EQ(part->QueryInterface(IID_IEventIsCacheable, reinterpret_cast<void**>(&cacheable)), S_OK)
        << "the outer object refuses, so the table answers";
    ASSERT_EQ(outer.asked.size(), 1u);
    EXPECT_EQ(outer.asked[0], IID_IEventIsCacheable);
    cacheable->Release();
    part->Release();
    EXPECT_EQ(outer.refs, 1u);

    EXPECT_EQ(inner->Release(), 0u);
}

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
