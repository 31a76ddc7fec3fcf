#include "class_table.h"

#include <mutex>
#include <vector>

namespace platform::com {
namespace {

struct Entry {
    CLSID clsid;
    IClassFactory* factory;
};

// Few classes live here, so a vector searched in order is the simplest fast table.
class ClassTable {
public:
    ClassTable() = default;
    ClassTable(const ClassTable&) = delete;
    ClassTable& operator=(const ClassTable&) = delete;

    HRESULT Register(REFCLSID clsid, IClassFactory* factory) {
        factory->AddRef();
        IClassFactory* old = nullptr;
        {
            std::lock_guard lock(mutex_);
            if (Entry* entry = find(clsid)) {
                old = entry->factory;
                entry->factory = factory;
            } else {
                entries_.push_back({clsid, factory});
            }
        }
        if (old) old->Release();
        return S_OK;
    }

    HRESULT Revoke(REFCLSID clsid) {
        IClassFactory* old = nullptr;
        {
            std::lock_guard lock(mutex_);
            for (auto it = entries_.begin(); it != entries_.end(); ++it) {
                if (it->clsid != clsid) continue;
                old = it->factory;
                entries_.erase(it);
                break;
            }
        }
        if (!old) return S_FALSE;
        old->Release();
        return S_OK;
    }

    IClassFactory* Lookup(REFCLSID clsid) {
        std::lock_guard lock(mutex_);
        Entry* entry = find(clsid);
        if (!entry) return nullptr;
        entry->factory->AddRef();
        return entry->factory;
    }

private:
    Entry* find(REFCLSID clsid) {
        for (Entry& entry : entries_)
            if (entry.clsid == clsid) return &entry;
        return nullptr;
    }

    std::mutex mutex_;
    std::vector<Entry> entries_;
};

// Never destroyed: objects may be created from destructors of other statics.
ClassTable& table() {
    static ClassTable* instance = [] {
        auto* t = new ClassTable;
        for (const BuiltinClass& builtin : BuiltinClasses()) {
            IClassFactory* factory = builtin.factory();
            if (!factory) continue;
            t->Register(builtin.clsid, factory);
            factory->Release();
        }
        return t;
    }();
    return *instance;
}

}  // namespace

HRESULT RegisterClassFactory(REFCLSID clsid, IClassFactory* factory) {
    if (!factory) return E_INVALIDARG;
    return table().Register(clsid, factory);
}

HRESULT RevokeClassFactory(REFCLSID clsid) { return table().Revoke(clsid); }

HRESULT GetClassFactory(REFCLSID clsid, IClassFactory** factory) {
    if (!factory) return E_POINTER;
    *factory = table().Lookup(clsid);
    if (*factory) return S_OK;
    return LocateRegisteredClass(clsid, factory);
}

}  // namespace platform::com
