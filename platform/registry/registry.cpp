// The registry functions of winreg.h over the hive connections. The W functions
// are the core; the A functions convert names and text data (8-bit text is UTF-8).
#include <cstring>
#include <type_traits>

#include "handles.h"
#include "hive.h"
#include "names.h"
#include "transaction.h"
#include "winreg.h"

namespace platform::registry {
namespace {

constexpr REGSAM kGenericRead = 0x80000000, kGenericWrite = 0x40000000, kGenericAll = 0x10000000,
                 kMaximumAllowed = 0x02000000;

REGSAM effectiveAccess(REGSAM sam) {
    if (sam & (kGenericAll | kMaximumAllowed)) sam |= KEY_ALL_ACCESS;
    if (sam & kGenericRead) sam |= KEY_READ;
    if (sam & kGenericWrite) sam |= KEY_WRITE;
    return sam;
}

// A predefined root as this thread sees it now: with its connection to the hive
// PELLICOR_REGISTRY names at this moment. Null for any other handle.
[[gnu::noinline]] Key* rootKey(HKEY handle) {
    if (handle != HKEY_LOCAL_MACHINE && handle != HKEY_CLASSES_ROOT) return nullptr;
    thread_local Key roots[2];
    Key& root = roots[handle == HKEY_CLASSES_ROOT];
    auto connection = threadConnection(hivePath());
    if (root.connection != connection) {
        root = Key();
        root.connection = std::move(connection);
        root.access = KEY_ALL_ACCESS;
        root.ref.root = true;
        if (handle == HKEY_CLASSES_ROOT) {
            root.ref.id = -1;
            root.ref.path = {"SOFTWARE", "CLASSES"};
            root.ref.rootLevels = {u"SOFTWARE", u"Classes"};
        }
    }
    return &root;
}

// The key a handle stands for. Enumeration asks once per item: the common path is
// kept inline, the rare ones (rootKey, takeSnapshot) out of line.
[[gnu::always_inline]] inline LSTATUS keyOf(HKEY handle, Key*& key) {
    key = handles().find(handle);
    if (!key) key = rootKey(handle);
    return key ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

// Where every call on a key starts: the key the handle stands for, if it grants `need`.
[[gnu::always_inline]] inline LSTATUS keyWith(HKEY handle, REGSAM need, Key*& key) {
    LSTATUS rc = keyOf(handle, key);
    if (rc != ERROR_SUCCESS) return rc;
    return (key->access & need) == need ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

// The connection a call below `base` uses: the transaction's when one is given.
LSTATUS connectionFor(const Key& base, HANDLE transaction, std::shared_ptr<Store>& connection) {
    if (!transaction) {
        connection = base.connection;
        return ERROR_SUCCESS;
    }
    connection = transactionConnection(transaction);
    return connection ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

std::u16string_view view(const char16_t* s) { return s ? std::u16string_view(s) : std::u16string_view(); }

// Copies up to 128 bytes, what a walk hands out (a rule's name of a few dozen bytes,
// its data of a few), in at most eight overlapping moves and no call.
[[gnu::always_inline]] inline void copyUpTo128(void* to, const void* from, size_t bytes) {
    auto* d = static_cast<char*>(to);
    auto* s = static_cast<const char*>(from);
    // Head and tail, overlapping in the middle (the buffers themselves never overlap).
    auto overlapping = [&]<size_t N>(std::integral_constant<size_t, N>) {
        __builtin_memcpy(d, s, N);
        __builtin_memcpy(d + bytes - N, s + bytes - N, N);
    };
    // Data of none or a terminator first, then a rule's name (16 to 64 bytes) in two
    // more tests.
    if (bytes <= 2) {
        if (bytes == 2) {
            overlapping(std::integral_constant<size_t, 2>());
        } else if (bytes == 1) {
            *d = *s;
        }
    } else if (bytes >= 16) {
        if (bytes <= 32) {
            overlapping(std::integral_constant<size_t, 16>());
        } else if (bytes <= 64) {
            overlapping(std::integral_constant<size_t, 32>());
        } else {
            overlapping(std::integral_constant<size_t, 64>());
        }
    } else if (bytes >= 8) {
        overlapping(std::integral_constant<size_t, 8>());
    } else if (bytes >= 4) {
        overlapping(std::integral_constant<size_t, 4>());
    } else {
        overlapping(std::integral_constant<size_t, 2>());
    }
}

// Any length: the call to memcpy only for what copyUpTo128 cannot.
inline void copyBytes(void* to, const void* from, size_t bytes) {
    if (bytes > 128) {
        std::memcpy(to, from, bytes);
    } else {
        copyUpTo128(to, from, bytes);
    }
}

// The platform's name buffers: the capacity counts the terminator, the result does not.
template <class Char>
LSTATUS copyName(std::type_identity_t<std::basic_string_view<Char>> name, Char* buffer, LPDWORD chars) {
    if (*chars < name.size() + 1) return ERROR_MORE_DATA;
    copyBytes(buffer, name.data(), name.size() * sizeof(Char));
    buffer[name.size()] = 0;
    *chars = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

// Data out: the size needed is reported whether or not it fits.
LSTATUS copyData(std::string_view bytes, LPBYTE data, LPDWORD size) {
    if (!size) return ERROR_SUCCESS;
    auto needed = static_cast<DWORD>(bytes.size());
    if (data && *size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    if (data) copyBytes(data, bytes.data(), needed);
    *size = needed;
    return ERROR_SUCCESS;
}

std::string ansiData(const ValueRow& row) {
    if (!isText(row.type)) return std::string(row.data);
    std::u16string wide(row.data.size() / 2, u'\0');
    std::memcpy(wide.data(), row.data.data(), wide.size() * 2);
    return narrow(wide);
}

std::string wideData(const BYTE* data, DWORD bytes) {
    std::u16string wide = widen(std::string_view(reinterpret_cast<const char*>(data), bytes));
    return std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * 2);
}

std::u16string wideName(const char* name) { return name ? widen(name) : std::u16string(); }

// Where the calls on a path below `parent` start: its levels, the key it starts
// from and the connection to use.
LSTATUS startBelow(HKEY parent, const char16_t* subKey, HANDLE transaction, std::vector<std::u16string>& levels,
                   Key*& base, std::shared_ptr<Store>& connection) {
    if (!splitKeyPath(view(subKey), levels)) return ERROR_INVALID_PARAMETER;
    LSTATUS rc = keyOf(parent, base);
    return rc == ERROR_SUCCESS ? connectionFor(*base, transaction, connection) : rc;
}

LSTATUS openKey(HKEY parent, const char16_t* subKey, REGSAM sam, PHKEY result, HANDLE transaction, bool create,
                LPDWORD disposition) {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    if (create && !subKey) return ERROR_INVALID_PARAMETER;
    std::vector<std::u16string> levels;
    Key* base;
    std::shared_ptr<Store> connection;
    LSTATUS rc = startBelow(parent, subKey, transaction, levels, base, connection);
    if (rc != ERROR_SUCCESS) return rc;
    auto key = std::make_unique<Key>();
    key->connection = connection;
    key->access = effectiveAccess(sam);
    std::lock_guard lock(connection->mutex);
    if (create) {
        bool created = false;
        rc = connection->create(base->ref, levels, key->ref, created);
        if (rc == ERROR_SUCCESS && disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    } else {
        rc = connection->open(base->ref, levels, key->ref);
    }
    if (rc != ERROR_SUCCESS) return rc;
    *result = handles().add(std::move(key));
    return *result ? ERROR_SUCCESS : ERROR_NOT_ENOUGH_MEMORY;
}

LSTATUS deleteKey(HKEY parent, const char16_t* subKey, HANDLE transaction) {
    if (!subKey) return ERROR_INVALID_PARAMETER;
    std::vector<std::u16string> levels;
    Key* base;
    std::shared_ptr<Store> connection;
    LSTATUS rc = startBelow(parent, subKey, transaction, levels, base, connection);
    if (rc != ERROR_SUCCESS) return rc;
    std::lock_guard lock(connection->mutex);
    return connection->deleteKey(base->ref, levels);
}

// The snapshot a walk over the key's values or subkeys reads at `index`.
[[gnu::noinline]] LSTATUS takeSnapshot(Key& key) {
    std::lock_guard lock(key.connection->mutex);
    LSTATUS rc = key.connection->snapshot(key.ref, key.walk);
    key.walkTaken();
    return rc;
}

// Where both walks start: the key granting `need`, and the snapshot read at `index`.
[[gnu::always_inline]] inline LSTATUS walkSnapshot(HKEY handle, REGSAM need, DWORD index, const Snapshot*& snap) {
    Key* key;
    LSTATUS rc = keyWith(handle, need, key);
    if (rc != ERROR_SUCCESS) return rc;
    if (!key->walk || (index == 0 && !key->walkFresh)) {
        rc = takeSnapshot(*key);
        if (rc != ERROR_SUCCESS) return rc;
    }
    key->walkFresh = false;
    snap = key->walk.get();
    return ERROR_SUCCESS;
}

// A stored name out, narrowed for the A functions.
template <class Char>
[[gnu::always_inline]] inline LSTATUS copyStoredName(std::u16string_view stored, Char* buffer, LPDWORD chars) {
    if constexpr (sizeof(Char) == 1) {
        return copyName(narrow(stored), buffer, chars);
    } else {
        return copyName(stored, buffer, chars);
    }
}

// A step of a value walk under way, as nearly every call is: past its first value
// (which may take the key's state anew), within the key's values, all of them short
// (see Snapshot::Listing), with buffers that hold what is asked. False for anything
// else, which enumValue answers.
[[gnu::always_inline]] inline bool walkStep(HKEY handle, DWORD index, LPWSTR name, LPDWORD nameChars, LPDWORD type,
                                            LPBYTE data, LPDWORD dataBytes) {
    Key* key = handles().find(handle);
    // index 0 wraps past every count of steps
    if (!key || index - 1 >= key->values.steps || !name || !nameChars) return false;
    const Snapshot::Value& value = key->values.values[index];
    if (*nameChars <= value.nameChars || (data && (!dataBytes || *dataBytes < value.dataBytes))) return false;
    if (type) *type = value.type;
    if (dataBytes) {
        if (data) copyUpTo128(data, key->values.data + value.dataAt, value.dataBytes);
        *dataBytes = value.dataBytes;
    }
    DWORD chars = value.nameChars;
    copyUpTo128(name, key->values.names + value.nameAt, chars * sizeof(WCHAR));
    name[chars] = 0;
    *nameChars = chars;
    key->walkFresh = false;
    return true;
}

template <class Char>
[[gnu::noinline]] LSTATUS enumValue(HKEY handle, DWORD index, Char* name, LPDWORD nameChars, LPDWORD type, LPBYTE data,
                                    LPDWORD dataBytes) {
    if (!name || !nameChars || (data && !dataBytes)) return ERROR_INVALID_PARAMETER;
    const Snapshot* snap;
    LSTATUS rc = walkSnapshot(handle, KEY_QUERY_VALUE, index, snap);
    if (rc != ERROR_SUCCESS) return rc;
    if (index >= snap->valueCount()) return ERROR_NO_MORE_ITEMS;
    const ValueRow row = snap->value(index);
    rc = copyStoredName(row.name, name, nameChars);
    if (rc != ERROR_SUCCESS) return rc;
    if (type) *type = row.type;
    if constexpr (sizeof(Char) == 1) {
        if (dataBytes && isText(row.type)) return copyData(ansiData(row), data, dataBytes);
    }
    return copyData(row.data, data, dataBytes);
}

template <class Char>
LSTATUS enumKey(HKEY handle, DWORD index, Char* name, LPDWORD nameChars, Char* keyClass, LPDWORD classChars,
                PFILETIME lastWriteTime) {
    if (!name || !nameChars || (keyClass && !classChars)) return ERROR_INVALID_PARAMETER;
    const Snapshot* snap;
    LSTATUS rc = walkSnapshot(handle, KEY_ENUMERATE_SUB_KEYS, index, snap);
    if (rc != ERROR_SUCCESS) return rc;
    if (index >= snap->subkeys.size()) return ERROR_NO_MORE_ITEMS;
    const SubkeyRow& row = snap->subkeys[index];
    rc = copyStoredName(row.name, name, nameChars);
    if (rc != ERROR_SUCCESS) return rc;
    if (keyClass) rc = copyName(std::basic_string<Char>(), keyClass, classChars);
    if (lastWriteTime) {
        lastWriteTime->dwLowDateTime = static_cast<DWORD>(row.written);
        lastWriteTime->dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(row.written) >> 32);
    }
    return rc;
}

template <class Char>
LSTATUS queryInfo(HKEY handle, Char* keyClass, LPDWORD classChars, LPDWORD subKeys, LPDWORD maxSubKeyLen,
                  LPDWORD maxClassLen, LPDWORD values, LPDWORD maxValueNameLen, LPDWORD maxValueLen,
                  LPDWORD securityDescriptor, PFILETIME lastWriteTime) {
    if (keyClass && !classChars) return ERROR_INVALID_PARAMETER;
    Key* key;
    LSTATUS rc = keyWith(handle, KEY_QUERY_VALUE, key);
    if (rc != ERROR_SUCCESS) return rc;
    {
        std::lock_guard lock(key->connection->mutex);
        rc = key->connection->snapshot(key->ref, key->walk);
        key->walkTaken();
    }
    if (rc != ERROR_SUCCESS) return rc;
    key->walkFresh = true;
    const Snapshot& snap = *key->walk;
    constexpr bool ansi = sizeof(Char) == 1;
    if (keyClass) {
        rc = copyName(std::basic_string<Char>(), keyClass, classChars);
        if (rc != ERROR_SUCCESS) return rc;
    } else if (classChars) {
        *classChars = 0;
    }
    if (subKeys) *subKeys = static_cast<DWORD>(snap.subkeys.size());
    if (maxSubKeyLen) *maxSubKeyLen = ansi ? snap.maxSubkeyName8 : snap.maxSubkeyName;
    if (maxClassLen) *maxClassLen = 0;
    if (values) *values = static_cast<DWORD>(snap.valueCount());
    if (maxValueNameLen) *maxValueNameLen = ansi ? snap.maxValueName8 : snap.maxValueName;
    if (maxValueLen) *maxValueLen = ansi ? snap.maxValueData8 : snap.maxValueData;
    if (securityDescriptor) *securityDescriptor = 0;
    if (lastWriteTime) {
        lastWriteTime->dwLowDateTime = static_cast<DWORD>(snap.written);
        lastWriteTime->dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(snap.written) >> 32);
    }
    return ERROR_SUCCESS;
}

LSTATUS queryValue(HKEY handle, std::u16string_view name, bool ansi, LPDWORD type, LPBYTE data, LPDWORD dataBytes) {
    if (data && !dataBytes) return ERROR_INVALID_PARAMETER;
    if (name.size() > kMaxValueNameChars) return ERROR_INVALID_PARAMETER;
    Key* key;
    LSTATUS rc = keyWith(handle, KEY_QUERY_VALUE, key);
    if (rc != ERROR_SUCCESS) return rc;
    std::lock_guard lock(key->connection->mutex);
    std::shared_ptr<const Snapshot> snap;
    rc = key->connection->snapshot(key->ref, snap);
    if (rc != ERROR_SUCCESS) return rc;
    ValueRow row;
    if (!snap->find(name, row)) return ERROR_FILE_NOT_FOUND;
    if (type) *type = row.type;
    if (ansi && isText(row.type)) return copyData(ansiData(row), data, dataBytes);
    return copyData(row.data, data, dataBytes);
}

LSTATUS setValue(HKEY handle, std::u16string_view name, DWORD type, const BYTE* data, DWORD bytes) {
    if (!data && bytes) return ERROR_INVALID_PARAMETER;
    if (name.size() > kMaxValueNameChars) return ERROR_INVALID_PARAMETER;
    Key* key;
    LSTATUS rc = keyWith(handle, KEY_SET_VALUE, key);
    if (rc != ERROR_SUCCESS) return rc;
    std::lock_guard lock(key->connection->mutex);
    key->walk.reset();
    key->walkTaken();
    return key->connection->setValue(key->ref, name, type, data, bytes);
}

LSTATUS deleteValue(HKEY handle, std::u16string_view name) {
    if (name.size() > kMaxValueNameChars) return ERROR_INVALID_PARAMETER;
    Key* key;
    LSTATUS rc = keyWith(handle, KEY_SET_VALUE, key);
    if (rc != ERROR_SUCCESS) return rc;
    std::lock_guard lock(key->connection->mutex);
    key->walk.reset();
    key->walkTaken();
    return key->connection->deleteValue(key->ref, name);
}

}  // namespace
}  // namespace platform::registry

namespace reg = platform::registry;

LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD, REGSAM sam, PHKEY result) {
    return reg::openKey(key, subKey, sam, result, nullptr, false, nullptr);
}

LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM sam, PHKEY result) {
    std::u16string wide = reg::wideName(subKey);
    return RegOpenKeyExW(key, subKey ? wide.c_str() : nullptr, options, sam, result);
}

LSTATUS RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD, LPWSTR, DWORD, REGSAM sam, const SECURITY_ATTRIBUTES*,
                        PHKEY result, LPDWORD disposition) {
    return reg::openKey(key, subKey, sam, result, nullptr, true, disposition);
}

LSTATUS RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR, DWORD options, REGSAM sam,
                        const SECURITY_ATTRIBUTES* security, PHKEY result, LPDWORD disposition) {
    std::u16string wide = reg::wideName(subKey);
    return RegCreateKeyExW(key, subKey ? wide.c_str() : nullptr, reserved, nullptr, options, sam, security, result,
                           disposition);
}

LSTATUS RegCloseKey(HKEY key) {
    if (key == HKEY_LOCAL_MACHINE || key == HKEY_CLASSES_ROOT) return ERROR_SUCCESS;
    return reg::handles().remove(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LSTATUS RegDeleteKeyW(HKEY key, LPCWSTR subKey) { return reg::deleteKey(key, subKey, nullptr); }

LSTATUS RegDeleteKeyA(HKEY key, LPCSTR subKey) {
    std::u16string wide = reg::wideName(subKey);
    return RegDeleteKeyW(key, subKey ? wide.c_str() : nullptr);
}

LSTATUS RegDeleteValueW(HKEY key, LPCWSTR valueName) { return reg::deleteValue(key, reg::view(valueName)); }

LSTATUS RegDeleteValueA(HKEY key, LPCSTR valueName) { return reg::deleteValue(key, reg::wideName(valueName)); }

LSTATUS RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameChars, LPDWORD, LPWSTR keyClass,
                      LPDWORD classChars, PFILETIME lastWriteTime) {
    return reg::enumKey(key, index, name, nameChars, keyClass, classChars, lastWriteTime);
}

LSTATUS RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameChars, LPDWORD, LPSTR keyClass, LPDWORD classChars,
                      PFILETIME lastWriteTime) {
    return reg::enumKey(key, index, name, nameChars, keyClass, classChars, lastWriteTime);
}

LSTATUS RegEnumValueW(HKEY key, DWORD index, LPWSTR valueName, LPDWORD valueNameChars, LPDWORD, LPDWORD type,
                      LPBYTE data, LPDWORD dataBytes) {
    if (reg::walkStep(key, index, valueName, valueNameChars, type, data, dataBytes)) [[likely]]
        return ERROR_SUCCESS;
    return reg::enumValue(key, index, valueName, valueNameChars, type, data, dataBytes);
}

LSTATUS RegEnumValueA(HKEY key, DWORD index, LPSTR valueName, LPDWORD valueNameChars, LPDWORD, LPDWORD type,
                      LPBYTE data, LPDWORD dataBytes) {
    return reg::enumValue(key, index, valueName, valueNameChars, type, data, dataBytes);
}

LSTATUS RegQueryInfoKeyW(HKEY key, LPWSTR keyClass, LPDWORD classChars, LPDWORD, LPDWORD subKeys, LPDWORD maxSubKeyLen,
                         LPDWORD maxClassLen, LPDWORD values, LPDWORD maxValueNameLen, LPDWORD maxValueLen,
                         LPDWORD securityDescriptor, PFILETIME lastWriteTime) {
    return reg::queryInfo(key, keyClass, classChars, subKeys, maxSubKeyLen, maxClassLen, values, maxValueNameLen,
                          maxValueLen, securityDescriptor, lastWriteTime);
}

LSTATUS RegQueryInfoKeyA(HKEY key, LPSTR keyClass, LPDWORD classChars, LPDWORD, LPDWORD subKeys, LPDWORD maxSubKeyLen,
                         LPDWORD maxClassLen, LPDWORD values, LPDWORD maxValueNameLen, LPDWORD maxValueLen,
                         LPDWORD securityDescriptor, PFILETIME lastWriteTime) {
    return reg::queryInfo(key, keyClass, classChars, subKeys, maxSubKeyLen, maxClassLen, values, maxValueNameLen,
                          maxValueLen, securityDescriptor, lastWriteTime);
}

LSTATUS RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD dataBytes) {
    return reg::queryValue(key, reg::view(valueName), false, type, data, dataBytes);
}

LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD dataBytes) {
    return reg::queryValue(key, reg::wideName(valueName), true, type, data, dataBytes);
}

LSTATUS RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD, DWORD type, const BYTE* data, DWORD dataBytes) {
    return reg::setValue(key, reg::view(valueName), type, data, dataBytes);
}

LSTATUS RegSetValueExA(HKEY key, LPCSTR valueName, DWORD, DWORD type, const BYTE* data, DWORD dataBytes) {
    if (!data && dataBytes) return ERROR_INVALID_PARAMETER;
    std::u16string name = reg::wideName(valueName);
    if (!reg::isText(type)) return reg::setValue(key, name, type, data, dataBytes);
    std::string wide = reg::wideData(data, dataBytes);
    return reg::setValue(key, name, type, reinterpret_cast<const BYTE*>(wide.data()), static_cast<DWORD>(wide.size()));
}

LSTATUS RegCreateKeyTransactedW(HKEY key, LPCWSTR subKey, DWORD, LPWSTR, DWORD, REGSAM sam, const SECURITY_ATTRIBUTES*,
                                PHKEY result, LPDWORD disposition, HANDLE transaction, PVOID) {
    if (!transaction) return ERROR_INVALID_HANDLE;
    return reg::openKey(key, subKey, sam, result, transaction, true, disposition);
}

LSTATUS RegCreateKeyTransactedA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR, DWORD options, REGSAM sam,
                                const SECURITY_ATTRIBUTES* security, PHKEY result, LPDWORD disposition,
                                HANDLE transaction, PVOID extended) {
    std::u16string wide = reg::wideName(subKey);
    return RegCreateKeyTransactedW(key, subKey ? wide.c_str() : nullptr, reserved, nullptr, options, sam, security,
                                   result, disposition, transaction, extended);
}

LSTATUS RegOpenKeyTransactedW(HKEY key, LPCWSTR subKey, DWORD, REGSAM sam, PHKEY result, HANDLE transaction, PVOID) {
    if (!transaction) return ERROR_INVALID_HANDLE;
    return reg::openKey(key, subKey, sam, result, transaction, false, nullptr);
}

LSTATUS RegOpenKeyTransactedA(HKEY key, LPCSTR subKey, DWORD options, REGSAM sam, PHKEY result, HANDLE transaction,
                              PVOID extended) {
    std::u16string wide = reg::wideName(subKey);
    return RegOpenKeyTransactedW(key, subKey ? wide.c_str() : nullptr, options, sam, result, transaction, extended);
}

LSTATUS RegDeleteKeyTransactedW(HKEY key, LPCWSTR subKey, REGSAM, DWORD, HANDLE transaction, PVOID) {
    if (!transaction) return ERROR_INVALID_HANDLE;
    return reg::deleteKey(key, subKey, transaction);
}

LSTATUS RegDeleteKeyTransactedA(HKEY key, LPCSTR subKey, REGSAM sam, DWORD reserved, HANDLE transaction,
                                PVOID extended) {
    std::u16string wide = reg::wideName(subKey);
    return RegDeleteKeyTransactedW(key, subKey ? wide.c_str() : nullptr, sam, reserved, transaction, extended);
}
