// The configuration tool's only way into the registry. Each operation opens what it
// needs, does one thing and closes its handle again; registry failures come back as
// status codes (0 success, the platform's error code, or -1 for a value type the
// class does not handle), counts of 0 or the caller's default, never as exceptions.
// Only SetKeyValue throws, and only for a value that does not fit its type
// (RegistryValueError).
//
// Constructed with a registry transaction (ktmw32.h), every operation runs inside
// it; the caller commits or rolls back. Without one, each write stands on its own.
#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include <windows.h>

// Empty, a 32-bit signed integer, a text, or an array of bytes.
using RegistryVariant = std::variant<std::monostate, int32_t, std::string, std::vector<uint8_t>>;

// Raised by SetKeyValue for a value that does not fit the requested type. The
// numbers are the ones a Basic caller would see.
class RegistryValueError : public std::runtime_error {
public:
    enum Kind { Overflow = 6, SubscriptOutOfRange = 9, TypeMismatch = 13 };
    RegistryValueError(Kind kind, const std::string& what) : std::runtime_error(what), kind_(kind) {}
    Kind kind() const { return kind_; }

private:
    Kind kind_;
};

class clsRegistry {
public:
    clsRegistry() = default;
    explicit clsRegistry(HANDLE transaction) : transaction_(transaction) {}

    // "Software\<company>\<product>\<major>.<minor>" from the tool's version information.
    std::string BaseKey() const;

    // Creates the key and any missing levels above it, or opens an existing one;
    // closes it at once. Status.
    int32_t CreateNewKey(int32_t lPredefinedKey, const std::string& sNewKeyName);

    // Deletes the key with its values. Status.
    int32_t DeleteKey(int32_t lPredefinedKey, const std::string& sKeyName);

    // Deletes one value. Status of the deletion.
    int32_t DeleteValue(int32_t lPredefinedKey, const std::string& sKeyName, const std::string& sValueName);

    // Fill the list with the names of the key's subkeys (values) that match Pattern
    // and return how many. A key that does not open returns 0 and leaves the list
    // exactly as it was; a key with no match leaves one empty slot.
    int32_t EnumKeys(int32_t lPredefinedKey, const std::string& sKeyName, std::vector<std::string>& sKeys,
                     const std::string& Pattern);
    int32_t EnumValues(int32_t lPredefinedKey, const std::string& sKeyName, std::vector<std::string>& sValues,
                       const std::string& Pattern);

    // The value's data, or vDefault when it cannot be read.
    RegistryVariant QueryValue(int32_t lPredefinedKey, const std::string& sKeyName, const std::string& sValueName,
                               const RegistryVariant& vDefault);

    // Writes the value, creating the key first when it is missing. Status, or -1
    // for a type other than 1 to 4.
    int32_t SetKeyValue(int32_t lPredefinedKey, const std::string& sKeyName, const std::string& sValueName,
                        int32_t lValueType, const RegistryVariant& vValueSetting);

    // 0 when the key exists and opens with full access, else the open's status.
    int32_t CheckKey(int32_t lPredefinedKey, const std::string& sKeyName);

private:
    HANDLE transaction_ = nullptr;
};

// The predefined root as the class's 32-bit argument.
inline int32_t PredefinedKeyArgument(HKEY root) { return static_cast<int32_t>(reinterpret_cast<intptr_t>(root)); }
