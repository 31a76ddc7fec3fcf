// Transactions: commit, rollback, closing, and a reader process that must never see
// a list key missing or half-written while a writer process rewrites it.
#include <fstream>
#include <set>

#include <gtest/gtest.h>

#include "registry_test_util.h"

namespace {

const char* const kList = "SOFTWARE\\Orlenby\\Pellicor\\ExtOOFEnabledSenderAddresses";
const char* const kSub = "SOFTWARE\\Orlenby\\Pellicor\\ExtOOFEnabledSenderAddresses\\Sub";

class RegistryTransactions : public StoreTest {};
INSTANTIATE_STORES(RegistryTransactions);

// A list rewritten as a save does, then the transaction committed, rolled back or
// closed: others see the old list until a commit, and the new one whole after it.
TEST_P(RegistryTransactions, OthersSeeOnlyWhatIsCommitted) {
    using Names = std::vector<std::string>;
    auto seenElsewhere = [](const char* path) { return onOtherThread([&] { return valuesAt(path); }); };
    ASSERT_EQ(setAt(kList, "old@example.com"), ERROR_SUCCESS);
    for (std::string end : {"rollback", "close", "commit"}) {
        SCOPED_TRACE(end);
        HANDLE transaction = newTransaction();
        ASSERT_NE(transaction, nullptr);
        ASSERT_EQ(RegDeleteKeyTransactedA(HKEY_LOCAL_MACHINE, kList, 0, 0, transaction, nullptr), ERROR_SUCCESS);
        HKEY key = createTransacted(transaction, kList), sub;
        ASSERT_NE(key, nullptr);
        ASSERT_EQ(setString(key, "a@example.com", ""), ERROR_SUCCESS);
        ASSERT_EQ(setString(key, "b@example.com", ""), ERROR_SUCCESS);
        // A subkey made through a transacted key is part of the transaction too.
        ASSERT_EQ(RegCreateKeyExA(key, "Sub", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr), ERROR_SUCCESS);
        ASSERT_EQ(setString(sub, "*", ""), ERROR_SUCCESS);
        RegCloseKey(sub);
        // Reads through the transaction see its own writes; others still see the old list.
        EXPECT_EQ(valueNames(key), (Names{"a@example.com", "b@example.com"}));
        EXPECT_EQ(seenElsewhere(kList), Names{"old@example.com"});
        EXPECT_EQ(seenElsewhere(kSub), Names{"<cannot open>"});
        bool commit = end == "commit";
        // The key handle outlives a closed transaction.
        ASSERT_TRUE(commit              ? CommitTransaction(transaction)
                    : end == "rollback" ? RollbackTransaction(transaction)
                                        : CloseHandle(transaction));
        EXPECT_EQ(seenElsewhere(kList), (commit ? Names{"a@example.com", "b@example.com"} : Names{"old@example.com"}));
        EXPECT_EQ(seenElsewhere(kSub), Names{commit ? "*" : "<cannot open>"});
        // The transaction is over: its keys no longer write.
        EXPECT_EQ(setString(key, "c@example.com", ""), ERROR_TRANSACTION_NOT_ACTIVE);
        RegCloseKey(key);
        if (end == "close") continue;
        EXPECT_FALSE(CommitTransaction(transaction));
        EXPECT_TRUE(CloseHandle(transaction));
    }
}

// The key's write time, as a read through `key` (or another thread's connection) sees it.
int64_t writtenAt(HKEY key) {
    FILETIME written{};
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     &written);
    return static_cast<int64_t>((static_cast<uint64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime);
}

int64_t writtenElsewhere(const char* path) {
    return onOtherThread([&] {
        HKEY key;
        if (openKey(path, key) != ERROR_SUCCESS) return int64_t{0};
        int64_t at = writtenAt(key);
        RegCloseKey(key);
        return at;
    });
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

// A save as the configuration tool makes it: delete the list, create it, write every entry.
bool rewriteList(int entries) {
    HANDLE transaction = newTransaction();
    RegDeleteKeyTransactedA(HKEY_LOCAL_MACHINE, kList, 0, 0, transaction, nullptr);
    HKEY key = createTransacted(transaction, kList);
    bool ok = key != nullptr;
    for (int i = 0; ok && i < entries; ++i)
        ok = setString(key, ("@domain" + std::to_string(i) + ".example").c_str(), "") == ERROR_SUCCESS;
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

// Children only: the test process itself never opens this hive, so no SQLite
// connection is shared across fork(). A rewrite is some forty round trips to a
// database, and no wait on a file.
TEST_P(RegistryTransactions, ReaderProcessNeverSeesAListMissingOrPartWhileAWriterRewritesIt) {
    const std::string done = (hive.folder() / "written").string();  // made by the writer when done
    const int entries = 20, rewrites = hive.database() ? 200 : 1000;
    ASSERT_EQ(inChild([&] { return rewriteList(entries); }), 0);
    pid_t reader = startChild([&] {
        std::set<std::u16string> expected;
        for (int i = 0; i < entries; ++i) {
            std::string name = "@domain" + std::to_string(i) + ".example";
            expected.insert(std::u16string(name.begin(), name.end()));
        }
        long lookups = 0, failures = 0;
        for (; access(done.c_str(), F_OK) != 0 || lookups < 100; ++lookups) failures += !lookUpWholeList(expected);
        if (failures) fprintf(stderr, "%ld of %ld lookups found the list missing or partial\n", failures, lookups);
        return failures == 0;
    });
    pid_t writer = startChild([&] {
        bool ok = true;
        for (int i = 0; i < rewrites && ok; ++i) ok = rewriteList(entries);
        std::ofstream{done};
        return ok;
    });
    EXPECT_EQ(ExitCodeOf(writer), 0) << "a rewrite failed";
    EXPECT_EQ(ExitCodeOf(reader), 0) << "the reader saw the list missing or partial";
}

}  // namespace
