// Small helpers shared by the registry tests.
#pragma once
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <sqlite3.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "ktmw32.h"
#include "run_program.h"
#include "store_hive.h"
#include "winbase.h"
#include "windows.h"
#include "winreg.h"

// Creates (or opens) a key below HKEY_LOCAL_MACHINE; the caller closes it.
inline HKEY createKey(const char* path, LSTATUS* status = nullptr) {
    HKEY key = nullptr;
    LSTATUS rc = RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (status) *status = rc;
    return rc == ERROR_SUCCESS ? key : nullptr;
}

inline LSTATUS openKey(const char* path, HKEY& key, REGSAM sam = KEY_READ) {
    return RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, sam, &key);
}

inline LSTATUS setString(HKEY key, const char* name, const std::string& data) {
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.data()),
                          static_cast<DWORD>(data.size()));
}

// Creates the key at path if need be and sets a string value in it.
inline LSTATUS setAt(const char* path, const char* name, const std::string& data = "") {
    LSTATUS rc;
    HKEY key = createKey(path, &rc);
    if (!key) return rc;
    rc = setString(key, name, data);
    RegCloseKey(key);
    return rc;
}

// RegQueryInfoKeyA asked for the number of values only.
inline LSTATUS valueCount(HKEY key, DWORD* count = nullptr) {
    DWORD ignored;
    return RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, count ? count : &ignored,
                            nullptr, nullptr, nullptr, nullptr);
}

// The names RegEnumValueA or RegEnumKeyExA give, in enumeration order.
template <typename Enumerate>
std::vector<std::string> enumeratedNames(HKEY key, Enumerate enumerate) {
    std::vector<std::string> names;
    std::vector<char> name(16384);
    for (DWORD i = 0;; ++i) {
        DWORD chars = static_cast<DWORD>(name.size());
        if (enumerate(key, i, name.data(), &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name.data(), chars);
    }
    return names;
}
inline std::vector<std::string> valueNames(HKEY key) { return enumeratedNames(key, RegEnumValueA); }
inline std::vector<std::string> subkeyNames(HKEY key) { return enumeratedNames(key, RegEnumKeyExA); }

// The values or subkeys of the key at path; {"<cannot open>"} when it does not open.
inline std::vector<std::string> namesAt(const char* path, std::vector<std::string> (*names)(HKEY)) {
    HKEY key;
    if (openKey(path, key) != ERROR_SUCCESS) return {"<cannot open>"};
    std::vector<std::string> found = names(key);
    RegCloseKey(key);
    return found;
}
inline std::vector<std::string> valuesAt(const char* path) { return namesAt(path, valueNames); }
inline std::vector<std::string> subkeysAt(const char* path) { return namesAt(path, subkeyNames); }

// A value's type and data as stored, read by path.
inline LSTATUS readValue(const char* path, const char* name, DWORD& type, std::string& data) {
    HKEY key;
    LSTATUS rc = openKey(path, key);
    if (rc != ERROR_SUCCESS) return rc;
    DWORD bytes = 0;
    rc = RegQueryValueExA(key, name, nullptr, &type, nullptr, &bytes);
    data.assign(bytes, '\0');
    if (rc == ERROR_SUCCESS)
        rc = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &bytes);
    RegCloseKey(key);
    data.resize(bytes);
    return rc;
}

// A string value's text without its terminator; "<cannot read>" when it cannot be read.
inline std::string readString(const char* path, const std::string& name) {
    DWORD type;
    std::string text;
    if (readValue(path, name.c_str(), type, text) != ERROR_SUCCESS) return "<cannot read>";
    if (!text.empty() && text.back() == '\0') text.pop_back();
    return text;
}

// The answer of SQL run on a database file through a connection of its own: every
// value followed by a space, or the error.
inline std::string sqliteAnswer(const std::string& file, const std::string& sql) {
    sqlite3* db = nullptr;
    std::string answer;
    char* error = nullptr;
    if (sqlite3_open(file.c_str(), &db) == SQLITE_OK) {
        auto row = [](void* out, int columns, char** values, char**) {
            for (int i = 0; i < columns; ++i)
                *static_cast<std::string*>(out) += std::string(values[i] ? values[i] : "") + " ";
            return 0;
        };
        if (sqlite3_exec(db, sql.c_str(), row, &answer, &error) != SQLITE_OK)
            answer = "<" + std::string(error ? error : "error") + ">";
        sqlite3_free(error);
    } else {
        answer = "<cannot open>";
    }
    sqlite3_close(db);
    return answer;
}

// What body returns, run on a thread (and so a connection to the hive) of its own.
template <typename Body>
auto onOtherThread(Body body) {
    decltype(body()) result{};
    std::thread([&] { result = body(); }).join();
    return result;
}

inline HANDLE newTransaction() { return CreateTransaction(nullptr, nullptr, 0, 0, 0, 0, nullptr); }

inline HKEY createTransacted(HANDLE transaction, const char* path) {
    HKEY key = nullptr;
    LSTATUS rc = RegCreateKeyTransactedA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                         nullptr, transaction, nullptr);
    return rc == ERROR_SUCCESS ? key : nullptr;
}

// Runs body in a transaction of its own, committed when body succeeds.
inline LSTATUS inTransaction(const std::function<LSTATUS(HANDLE)>& body) {
    HANDLE transaction = newTransaction();
    LSTATUS rc = body(transaction);
    if (rc == ERROR_SUCCESS && !CommitTransaction(transaction)) rc = ERROR_TRANSACTION_NOT_ACTIVE;
    CloseHandle(transaction);
    return rc;
}

// A child that exits 0 when body returns true, else 1; the caller waits for it.
template <typename Body>
pid_t startChild(Body body) {
    pid_t pid = fork();
    if (pid == 0) _exit(body() ? 0 : 1);
    return pid;
}
template <typename Body>
int inChild(Body body) {
    return ExitCodeOf(startChild(body));
}

// The user and group the sink may run as: one that may read the hive but not write it.
inline bool becomeNobody() { return setgid(65534) == 0 && setuid(65534) == 0; }

// A test run on both stores, the file and a database, each time on a fresh hive.
class StoreTest : public ::testing::TestWithParam<HiveStore> {
protected:
    void SetUp() override { ASSERT_EQ(hive.error(), ""); }
    StoreHive hive{GetParam()};
};
#define INSTANTIATE_STORES(Suite) \
    INSTANTIATE_TEST_SUITE_P(Stores, Suite, ::testing::Values(HiveStore::File, HiveStore::Database), StoreNamer())
