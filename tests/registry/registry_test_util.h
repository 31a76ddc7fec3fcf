// Small helpers shared by the registry tests.
#pragma once
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "ktmw32.h"
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

// A string value's text without its terminator; "<cannot read>" when it cannot be read.
inline std::string readString(const char* path, const std::string& name) {
    HKEY key;
    if (openKey(path, key) != ERROR_SUCCESS) return "<cannot read>";
    char data[512];
    DWORD bytes = sizeof data;
    LSTATUS rc = RegQueryValueExA(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(data), &bytes);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) return "<cannot read>";
    std::string text(data, bytes);
    if (!text.empty() && text.back() == '\0') text.pop_back();
    return text;
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

inline int exitCode(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
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
    return exitCode(startChild(body));
}

// The user and group the sink may run as: one that may read the hive but not write it.
inline bool becomeNobody() { return setgid(65534) == 0 && setuid(65534) == 0; }
