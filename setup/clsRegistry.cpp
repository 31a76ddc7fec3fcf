#include "clsRegistry.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>

#include <ktmw32.h>

#include "version.h"
#include "wildcard_match.h"

namespace {

// The class's 32-bit root argument back as the platform's (sign-extended) handle.
HKEY Root(int32_t lPredefinedKey) { return reinterpret_cast<HKEY>(static_cast<intptr_t>(lPredefinedKey)); }

// Holds one open key for the length of a call.
class OpenedKey {
public:
    OpenedKey() = default;
    ~OpenedKey() { close(); }
    OpenedKey(const OpenedKey&) = delete;
    OpenedKey& operator=(const OpenedKey&) = delete;

    // Where an open or a creation puts the handle; a handle held before is closed.
    PHKEY out() {
        close();
        return &key_;
    }
    HKEY get() const { return key_; }
    // Called after a failed open or creation, which leaves no handle.
    LSTATUS keepIfSuccess(LSTATUS status) {
        if (status != ERROR_SUCCESS) key_ = nullptr;
        return status;
    }

private:
    void close() {
        if (key_) RegCloseKey(key_);
        key_ = nullptr;
    }

    HKEY key_ = nullptr;
};

LSTATUS OpenKey(HANDLE transaction, int32_t root, const std::string& path, OpenedKey& key) {
    if (transaction)
        return key.keepIfSuccess(
            RegOpenKeyTransactedA(Root(root), path.c_str(), 0, KEY_ALL_ACCESS, key.out(), transaction, nullptr));
    return key.keepIfSuccess(RegOpenKeyExA(Root(root), path.c_str(), 0, KEY_ALL_ACCESS, key.out()));
}

// Room for a name of up to 254 characters and its terminator; a longer name makes
// the buffer grow, up to this many characters, rather than come back cut short.
constexpr DWORD kNameBufferChars = 255;
constexpr DWORD kLargestNameBuffer = 1 << 20;

// Asks for the name of entry `index`, subkey or value; grows the buffer until the
// whole name fits. ERROR_SUCCESS with the name, or the status that ends the walk.
LSTATUS ReadEntryName(HKEY key, DWORD index, bool subkeys, std::string& name) {
    for (DWORD size = kNameBufferChars;;) {
        std::string buffer(size, ' ');
        DWORD length = size;
        LSTATUS status = subkeys
                             ? RegEnumKeyExA(key, index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr)
                             : RegEnumValueA(key, index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_SUCCESS) {
            // The platform's length is the name; the buffer is not searched for a NUL.
            name.assign(buffer.data(), std::min(length, size));
            return status;
        }
        if (status != ERROR_MORE_DATA || size >= kLargestNameBuffer) return status;
        // Take the length the platform reports when it reports one, else double.
        size = std::min(std::max(size * 2, length + 1), kLargestNameBuffer);
    }
}

int32_t EnumNames(HANDLE transaction, int32_t root, const std::string& path, std::vector<std::string>& names,
                  const std::string& pattern, bool subkeys) {
    OpenedKey key;
    if (OpenKey(transaction, root, path, key) != ERROR_SUCCESS) return 0;

    std::vector<std::string> found(101);
    size_t bound = 100;
    size_t n = 0;
    std::string name;
    // Ends on ERROR_NO_MORE_ITEMS, or on any other failure (a key deleted during
    // the walk, say) with the names found so far.
    for (DWORD i = 0; ReadEntryName(key.get(), i, subkeys, name) == ERROR_SUCCESS; ++i) {
        if (!WildcardMatch(name, pattern)) continue;
        if (n > bound) {
            bound += 100;
            found.resize(bound + 1);
        }
        found.at(n++) = name;
    }
    if (n == 0) {
        names.assign(1, std::string());
        return 0;
    }
    found.resize(n);
    names = std::move(found);
    return static_cast<int32_t>(n);
}

// Conversions of SetKeyValue's value, raising what a Basic caller would see.
std::string AsText(const RegistryVariant& v) {
    if (auto* text = std::get_if<std::string>(&v)) return *text;
    if (auto* number = std::get_if<int32_t>(&v)) return std::to_string(*number);
    if (auto* bytes = std::get_if<std::vector<uint8_t>>(&v)) return std::string(bytes->begin(), bytes->end());
    return std::string();
}

const std::vector<uint8_t>& AsBytes(const RegistryVariant& v) {
    auto* bytes = std::get_if<std::vector<uint8_t>>(&v);
    if (!bytes) throw RegistryValueError(RegistryValueError::TypeMismatch, "Type mismatch: binary data needs an array");
    if (bytes->empty())
        throw RegistryValueError(RegistryValueError::SubscriptOutOfRange, "Subscript out of range: the array is empty");
    return *bytes;
}

// A decimal number, rounded half to even, that fits 32 bits; leading and trailing
// blanks allowed.
int32_t TextAsInteger(const std::string& text) {
    size_t first = text.find_first_not_of(" \t");
    size_t last = text.find_last_not_of(" \t");
    std::string number = first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
    bool numeric = !number.empty() && number.find_first_not_of("+-.0123456789eE") == std::string::npos;
    char* end = nullptr;
    errno = 0;
    double value = numeric ? std::strtod(number.c_str(), &end) : 0;
    if (!numeric || end != number.c_str() + number.size())
        throw RegistryValueError(RegistryValueError::TypeMismatch, "Type mismatch: \"" + text + "\" is not a number");
    double rounded = std::nearbyint(value);
    if (errno == ERANGE || rounded < INT32_MIN || rounded > INT32_MAX)
        throw RegistryValueError(RegistryValueError::Overflow, "Overflow: " + number + " does not fit 32 bits");
    return static_cast<int32_t>(rounded);
}

int32_t AsInteger(const RegistryVariant& v) {
    if (auto* number = std::get_if<int32_t>(&v)) return *number;
    if (auto* text = std::get_if<std::string>(&v)) return TextAsInteger(*text);
    if (std::holds_alternative<std::monostate>(v)) return 0;
    throw RegistryValueError(RegistryValueError::TypeMismatch, "Type mismatch: an array is not a number");
}

LSTATUS Write(HKEY key, const std::string& valueName, DWORD type, const void* data, size_t bytes) {
    return RegSetValueExA(key, valueName.c_str(), 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(bytes));
}

// Reads the value's data by its type into `value`; the status of the reading.
LSTATUS ReadData(HKEY key, const std::string& valueName, DWORD type, DWORD size, const RegistryVariant& vDefault,
                 RegistryVariant& value) {
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        std::string buffer(size, '\0');
        LSTATUS status =
            RegQueryValueExA(key, valueName.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(buffer.data()), &size);
        if (status == ERROR_SUCCESS) value = buffer.substr(0, buffer.find('\0'));
        return status;
    }
    if (type == REG_BINARY) {
        std::vector<uint8_t> bytes(size);
        LSTATUS status = RegQueryValueExA(key, valueName.c_str(), nullptr, nullptr, bytes.data(), &size);
        if (status != ERROR_SUCCESS) return status;
        bytes.resize(std::min<size_t>(size, bytes.size()));
        // The result takes the default's form; any other default leaves it empty.
        if (std::holds_alternative<std::string>(vDefault)) value = std::string(bytes.begin(), bytes.end());
        if (std::holds_alternative<std::vector<uint8_t>>(vDefault)) value = std::move(bytes);
        return status;
    }
    if (type == REG_DWORD) {
        int32_t number = 0;
        DWORD bytes = sizeof number;
        LSTATUS status =
            RegQueryValueExA(key, valueName.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&number), &bytes);
        if (status == ERROR_SUCCESS) value = number;
        return status;
    }
    return -1;
}

}  // namespace

std::string clsRegistry::BaseKey() const {
    return std::string("Software\\") + setup_version::kCompanyName + "\\" + setup_version::kProductName + "\\" +
           std::to_string(setup_version::kMajor) + "." + std::to_string(setup_version::kMinor);
}

int32_t clsRegistry::CreateNewKey(int32_t lPredefinedKey, const std::string& sNewKeyName) {
    OpenedKey key;
    DWORD disposition = 0;
    if (transaction_)
        return key.keepIfSuccess(RegCreateKeyTransactedA(Root(lPredefinedKey), sNewKeyName.c_str(), 0, nullptr,
                                                         REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, key.out(),
                                                         &disposition, transaction_, nullptr));
    return key.keepIfSuccess(RegCreateKeyExA(Root(lPredefinedKey), sNewKeyName.c_str(), 0, nullptr,
                                             REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, key.out(),
                                             &disposition));
}

int32_t clsRegistry::DeleteKey(int32_t lPredefinedKey, const std::string& sKeyName) {
    if (transaction_)
        return RegDeleteKeyTransactedA(Root(lPredefinedKey), sKeyName.c_str(), 0, 0, transaction_, nullptr);
    return RegDeleteKeyA(Root(lPredefinedKey), sKeyName.c_str());
}

int32_t clsRegistry::DeleteValue(int32_t lPredefinedKey, const std::string& sKeyName, const std::string& sValueName) {
    // A failed open is reported through the deletion's own failure.
    OpenedKey key;
    OpenKey(transaction_, lPredefinedKey, sKeyName, key);
    return RegDeleteValueA(key.get(), sValueName.c_str());
}

int32_t clsRegistry::EnumKeys(int32_t lPredefinedKey, const std::string& sKeyName, std::vector<std::string>& sKeys,
                              const std::string& Pattern) {
    return EnumNames(transaction_, lPredefinedKey, sKeyName, sKeys, Pattern, true);
}

int32_t clsRegistry::EnumValues(int32_t lPredefinedKey, const std::string& sKeyName, std::vector<std::string>& sValues,
                                const std::string& Pattern) {
    return EnumNames(transaction_, lPredefinedKey, sKeyName, sValues, Pattern, false);
}

RegistryVariant clsRegistry::QueryValue(int32_t lPredefinedKey, const std::string& sKeyName,
                                        const std::string& sValueName, const RegistryVariant& vDefault) {
    OpenedKey key;
    if (OpenKey(transaction_, lPredefinedKey, sKeyName, key) != ERROR_SUCCESS) return vDefault;
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (RegQueryValueExA(key.get(), sValueName.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return vDefault;
    RegistryVariant value;
    if (ReadData(key.get(), sValueName, type, size, vDefault, value) != ERROR_SUCCESS) return vDefault;
    return value;
}

int32_t clsRegistry::SetKeyValue(int32_t lPredefinedKey, const std::string& sKeyName, const std::string& sValueName,
                                 int32_t lValueType, const RegistryVariant& vValueSetting) {
    OpenedKey key;
    if (OpenKey(transaction_, lPredefinedKey, sKeyName, key) == ERROR_FILE_NOT_FOUND) {
        CreateNewKey(lPredefinedKey, sKeyName);
        OpenKey(transaction_, lPredefinedKey, sKeyName, key);
    }
    // No terminating NUL: an empty text is stored as zero bytes.
    if (lValueType == REG_SZ || lValueType == REG_EXPAND_SZ) {
        std::string text = AsText(vValueSetting);
        return Write(key.get(), sValueName, lValueType, text.data(), text.size());
    }
    if (lValueType == REG_BINARY) {
        const std::vector<uint8_t>& bytes = AsBytes(vValueSetting);
        return Write(key.get(), sValueName, lValueType, bytes.data(), bytes.size());
    }
    if (lValueType == REG_DWORD) {
        int32_t number = AsInteger(vValueSetting);
        return Write(key.get(), sValueName, lValueType, &number, sizeof number);
    }
    return -1;
}

int32_t clsRegistry::CheckKey(int32_t lPredefinedKey, const std::string& sKeyName) {
    OpenedKey key;
    return OpenKey(transaction_, lPredefinedKey, sKeyName, key);
}
