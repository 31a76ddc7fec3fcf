// Transactions: commit, rollback, closing, and a reader process that must never see
// a list key missing or half-written while a writer process rewrites it.
#include <chrono>
#include <set>
#include <thread>

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ktmw32.h"
#include "registry_test_util.h"
#include "store_hive.h"
#include "winbase.h"

namespace {

const char* const kList = "SOFTWARE\\Orlenby\\Pellicor\\ExtOOFEnabledSenderAddresses";
const char* const kSub = "SOFTWARE\\Orlenby\\Pellicor\\ExtOOFEnabledSenderAddresses\\Sub";

// The number of values another thread's connection sees in the key, or -1 when it is missing.
int valuesSeenElsewhere(const char* path) {
    int seen = -1;
    std::thread([&] {
        HKEY key;
        if (openKey(path, key) != ERROR_SUCCESS) return;
        seen = static_cast<int>(valueNames(key).size());
        RegCloseKey(key);
    }).join();
    return seen;
}

HANDLE newTransaction() { return CreateTransaction(nullptr, nullptr, 0, 0, 0, 0, nullptr); }

HKEY createTransacted(HANDLE transaction, const char* path) {
    HKEY key = nullptr;
    LSTATUS rc = RegCreateKeyTransactedA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                         nullptr, transaction, nullptr);
    return rc == ERROR_SUCCESS ? key : nullptr;
}

// Every case runs on both stores: the file, and a database.
class RegistryTransactions : public ::testing::TestWithParam<HiveStore> {
protected:
    void SetUp() override { ASSERT_EQ(hive.error(), ""); }
    StoreHive hive{GetParam()};
};

INSTANTIATE_TEST_SUITE_P(Stores, RegistryTransactions, ::testing::Values(HiveStore::File, HiveStore::Database),
                         StoreNamer());

TEST_P(RegistryTransactions, OthersSeeNothingUntilCommit) {
    HKEY old = createKey(kList);
    setString(old, "old@example.com", "");
    RegCloseKey(old);

    HANDLE transaction = newTransaction();
    ASSERT_NE(transaction, nullptr);
    ASSERT_EQ(RegDeleteKeyTransactedA(HKEY_LOCAL_MACHINE, kList, 0, 0, transaction, nullptr), ERROR_SUCCESS);
    HKEY key = createTransacted(transaction, kList);
    ASSERT_NE(key, nullptr);
    ASSERT_EQ(setString(key, "a@example.com", ""), ERROR_SUCCESS);
    ASSERT_EQ(setString(key, "b@example.com", ""), ERROR_SUCCESS);
    // A subkey made through a transacted key is part of the transaction too.
    HKEY sub;
    ASSERT_EQ(RegCreateKeyExA(key, "Sub", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr), ERROR_SUCCESS);
    ASSERT_EQ(setString(sub, "*", ""), ERROR_SUCCESS);
    // Reads through the transaction see its own writes; others still see the old list.
    EXPECT_EQ(valueNames(key), (std::vector<std::string>{"a@example.com", "b@example.com"}));
    EXPECT_EQ(valuesSeenElsewhere(kList), 1);
    EXPECT_EQ(valuesSeenElsewhere(kSub), -1);
    ASSERT_TRUE(CommitTransaction(transaction));
    EXPECT_EQ(valuesSeenElsewhere(kList), 2);
    EXPECT_EQ(valuesSeenElsewhere(kSub), 1);
    RegCloseKey(sub);
    // The transaction is over: its keys no longer write.
    EXPECT_EQ(setString(key, "c@example.com", ""), ERROR_TRANSACTION_NOT_ACTIVE);
    EXPECT_FALSE(CommitTransaction(transaction));
    RegCloseKey(key);
    EXPECT_TRUE(CloseHandle(transaction));
}

TEST_P(RegistryTransactions, RollbackAndCloseWithoutCommitDiscard) {
    HANDLE transaction = newTransaction();
    HKEY key = createTransacted(transaction, kList);
    ASSERT_NE(key, nullptr);
    setString(key, "a@example.com", "");
    ASSERT_TRUE(RollbackTransaction(transaction));
    EXPECT_EQ(valuesSeenElsewhere(kList), -1);
    RegCloseKey(key);
    CloseHandle(transaction);

    transaction = newTransaction();
    key = createTransacted(transaction, kList);
    setString(key, "a@example.com", "");
    CloseHandle(transaction);  // the key handle outlives it
    EXPECT_EQ(valuesSeenElsewhere(kList), -1);
    EXPECT_EQ(setString(key, "b@example.com", ""), ERROR_TRANSACTION_NOT_ACTIVE);
    RegCloseKey(key);
}

// The key's write time, as a read through `key` (or another thread's connection) sees it.
int64_t writtenAt(HKEY key) {
    FILETIME written{};
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     &written);
    return static_cast<int64_t>((static_cast<uint64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime);
}

int64_t writtenElsewhere(const char* path) {
    int64_t at = 0;
    std::thread([&] {
        HKEY key;
        if (openKey(path, key) != ERROR_SUCCESS) return;
        at = writtenAt(key);
        RegCloseKey(key);
    }).join();
    return at;
}

TEST_P(RegistryTransactions, AValueWrittenInATransactionMovesItsKeysWriteTime) {
    RegCloseKey(createKey(kList));
    int64_t before = writtenElsewhere(kList);
    ASSERT_NE(before, 0);
    HANDLE transaction = newTransaction();
    HKEY key = createTransacted(transaction, kList);
    ASSERT_NE(key, nullptr);
    for (const char* name : {"a@example.com", "b@example.com"}) ASSERT_EQ(setString(key, name, ""), ERROR_SUCCESS);
    int64_t inside = writtenAt(key);
    EXPECT_GT(inside, before) << "the transaction's own read";
    EXPECT_EQ(writtenElsewhere(kList), before) << "before the commit";
    ASSERT_EQ(setString(key, "c@example.com", ""), ERROR_SUCCESS);
    ASSERT_TRUE(CommitTransaction(transaction));
    EXPECT_GT(writtenElsewhere(kList), inside) << "after the commit, the last write's time";
    RegCloseKey(key);
    CloseHandle(transaction);
}

TEST_P(RegistryTransactions, BadTransactionHandles) {
    HKEY key;
    EXPECT_EQ(RegOpenKeyTransactedA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &key, nullptr, nullptr),
              ERROR_INVALID_HANDLE);
    int notATransaction = 0;
    EXPECT_EQ(RegCreateKeyTransactedA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                      nullptr, &notATransaction, nullptr),
              ERROR_INVALID_HANDLE);
    EXPECT_FALSE(CommitTransaction(&notATransaction));
    EXPECT_FALSE(RollbackTransaction(nullptr));
}

constexpr int kEntries = 20;
// Each rewrite is some forty round trips to a database, and no wait on a file.
int rewrites = 1000;

std::set<std::u16string> expectedEntries() {
    std::set<std::u16string> entries;
    for (int i = 0; i < kEntries; ++i) {
        std::string name = "@domain" + std::to_string(i) + ".example";
        entries.insert(std::u16string(name.begin(), name.end()));
    }
    return entries;
}

// A save as the configuration tool makes it: delete the list, create it, write every entry.
bool rewriteList() {
    HANDLE transaction = newTransaction();
    RegDeleteKeyTransactedA(HKEY_LOCAL_MACHINE, kList, 0, 0, transaction, nullptr);
    HKEY key = createTransacted(transaction, kList);
    bool ok = key != nullptr;
    for (int i = 0; ok && i < kEntries; ++i) {
        ok = setString(key, ("@domain" + std::to_string(i) + ".example").c_str(), "") == ERROR_SUCCESS;
    }
    if (key) RegCloseKey(key);
    ok = ok && CommitTransaction(transaction);
    CloseHandle(transaction);
    return ok;
}

// A lookup as the sink makes it; false when the list is missing or not whole.
bool lookUpWholeList(const std::set<std::u16string>& expected) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Orlenby\\Pellicor\\ExtOOFEnabledSenderAddresses", 0, KEY_READ,
                      &key) != ERROR_SUCCESS)
        return false;
    DWORD count = 0, longest = 0, largest = 0;
    bool ok = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, &longest, &largest,
                               nullptr, nullptr) == ERROR_SUCCESS;
    std::set<std::u16string> seen;
    for (DWORD i = 0; ok && i < count; ++i) {
        std::u16string name(longest + 1, u'\0');
        DWORD chars = longest + 1, type, bytes = largest;
        BYTE data[16];
        ok = RegEnumValueW(key, i, name.data(), &chars, nullptr, &type, data, &bytes) == ERROR_SUCCESS;
        seen.insert(name.substr(0, chars));
    }
    RegCloseKey(key);
    return ok && seen == expected;
}

int runChild(bool (*body)()) {
    pid_t pid = fork();
    if (pid == 0) _exit(body() ? 0 : 1);
    return pid;
}

int exitCode(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

// The file the writer makes when done; set before the children start.
std::string& doneMarker() {
    static std::string marker;
    return marker;
}

// Children only: the test process itself never opens this hive, so no SQLite
// connection is shared across fork().
TEST_P(RegistryTransactions, ReaderProcessNeverSeesAListMissingOrPartWhileAWriterRewritesIt) {
    doneMarker() = (hive.folder() / "written").string();
    rewrites = hive.database() ? 200 : 1000;
    ASSERT_EQ(exitCode(runChild(rewriteList)), 0);
    pid_t reader = runChild([] {
        auto expected = expectedEntries();
        long lookups = 0, failures = 0;
        while (access(doneMarker().c_str(), F_OK) != 0 || lookups < 100) {
            if (!lookUpWholeList(expected)) ++failures;
            ++lookups;
        }
        if (failures) fprintf(stderr, "%ld of %ld lookups found the list missing or partial\n", failures, lookups);
        return failures == 0;
    });
    pid_t writer = runChild([] {
        bool ok = true;
        for (int i = 0; i < rewrites && ok; ++i) ok = rewriteList();
        FILE* done = fopen(doneMarker().c_str(), "w");
        if (done) fclose(done);
        return ok;
    });
    EXPECT_EQ(exitCode(writer), 0) << "a rewrite failed";
    EXPECT_EQ(exitCode(reader), 0) << "the reader saw the list missing or partial";
}

}  // namespace
