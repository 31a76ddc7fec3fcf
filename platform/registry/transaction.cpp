#include "transaction.h"

#include <mutex>
#include <unordered_set>

#include "ktmw32.h"

namespace platform::registry {

namespace {

// Live transactions, so that a stale or foreign handle is refused, not followed.
std::mutex& liveMutex() {
    static auto* mutex = new std::mutex;
    return *mutex;
}

std::unordered_set<const void*>& live() {
    static auto* set = new std::unordered_set<const void*>;
    return *set;
}

}  // namespace

Transaction::Transaction(std::string hivePath) : connection_(makeStore(hivePath, true)) {
    std::lock_guard lock(liveMutex());
    live().insert(static_cast<const platform::KernelObject*>(this));
}

Transaction::~Transaction() {
    {
        std::lock_guard lock(liveMutex());
        live().erase(static_cast<const platform::KernelObject*>(this));
    }
    std::lock_guard lock(connection_->mutex);
    connection_->rollback();  // keys opened with it may outlive it; their writes fail from now on
}

std::shared_ptr<Store> transactionConnection(HANDLE transaction) {
    std::lock_guard lock(liveMutex());
    // Compared as an address first: nothing is read through a handle that is not ours.
    if (transaction == nullptr || !live().contains(transaction)) return nullptr;
    return static_cast<const Transaction*>(static_cast<platform::KernelObject*>(transaction))->connection();
}

}  // namespace platform::registry

using platform::registry::transactionConnection;

HANDLE CreateTransaction(LPSECURITY_ATTRIBUTES, LPGUID, DWORD, DWORD, DWORD, DWORD, LPWSTR) {
    return static_cast<platform::KernelObject*>(new platform::registry::Transaction(platform::registry::hivePath()));
}

BOOL CommitTransaction(HANDLE transaction) {
    auto connection = transactionConnection(transaction);
    if (!connection) return FALSE;
    std::lock_guard lock(connection->mutex);
    return connection->commit() == ERROR_SUCCESS;
}

BOOL RollbackTransaction(HANDLE transaction) {
    auto connection = transactionConnection(transaction);
    if (!connection) return FALSE;
    std::lock_guard lock(connection->mutex);
    return connection->rollback() == ERROR_SUCCESS;
}
