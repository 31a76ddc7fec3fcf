// Registry transactions: a CreateTransaction handle owns a connection of its own
// that holds BEGIN IMMEDIATE from its first use until commit or rollback.
#pragma once
#include <memory>

#include "hive.h"
#include "kernel_object.h"

namespace platform::registry {

class Transaction : public platform::KernelObject {
public:
    explicit Transaction(std::string hivePath);
    ~Transaction() override;  // rolls back what was not committed

    const std::shared_ptr<Store>& connection() const { return connection_; }

private:
    std::shared_ptr<Store> connection_;
};

// The connection of a live transaction handle, or null for anything else.
std::shared_ptr<Store> transactionConnection(HANDLE transaction);

}  // namespace platform::registry
