#include "reg_tool.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "command_line.h"
#include "ktmw32.h"
#include "reg_file.h"
#include "registry_hold.h"
#include "utf.h"
#include "winbase.h"
#include "winreg.h"

namespace pellicor::reg {

namespace {

const char* const kDone = "The operation completed successfully.";

// A failure with its one-line reason.
struct Failure {
    std::string reason;
};

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// The hive the registry functions use, for messages.
std::string RegistryError(LSTATUS status) {
    switch (status) {
    case ERROR_FILE_NOT_FOUND: return "The system was unable to find the specified registry key or value.";
    case ERROR_ACCESS_DENIED: return "Access is denied.";
    case ERROR_BADDB:
        return "The registry hive " + platform::registry::hivePath() + " is damaged or is not a registry (error 1009).";
    case ERROR_CANTOPEN:
        return "The registry hive " + platform::registry::hivePath() + " cannot be opened or created (error 1011).";
    case ERROR_KEY_DELETED: return "The key was deleted while in use.";
    case ERROR_CANTWRITE:
        return "The registry hive " + platform::registry::hivePath() + " cannot be written: the disk is full.";
    case ERROR_LOCK_VIOLATION:
        // The hive's busy timeout: how long a connection waits for another's lock.
        return "The registry hive " + platform::registry::hivePath() +
               " is locked by another program; gave up after waiting 5 seconds. Try again when it is done.";
    case ERROR_REGISTRY_IO_FAILED:
        return "The registry hive " + platform::registry::hivePath() +
               " cannot be read or written (an input/output error).";
    default: return "The registry call failed with error " + std::to_string(status) + ".";
    }
}

void Check(LSTATUS status) {
    if (status != ERROR_SUCCESS) throw Failure{RegistryError(status)};
}

// A key named on the command line or in a .reg file: its root and the path below it.
struct KeyName {
    HKEY root;
    std::u16string sub;   // below the root, no leading or trailing backslash
    std::string display;  // as the tool shows it: the root written out
};

KeyName ParseKeyName(std::string_view text) {
    size_t slash = text.find('\\');
    std::string_view rootName = text.substr(0, slash);
    std::string_view rest = slash == std::string_view::npos ? std::string_view() : text.substr(slash + 1);
    while (!rest.empty() && rest.back() == '\\') rest.remove_suffix(1);
    KeyName key{};
    std::string rootDisplay;
    if (EqualsNoCase(rootName, "HKLM") || EqualsNoCase(rootName, "HKEY_LOCAL_MACHINE")) {
        key.root = HKEY_LOCAL_MACHINE;
        rootDisplay = "HKEY_LOCAL_MACHINE";
    } else if (EqualsNoCase(rootName, "HKCR") || EqualsNoCase(rootName, "HKEY_CLASSES_ROOT")) {
        key.root = HKEY_CLASSES_ROOT;
        rootDisplay = "HKEY_CLASSES_ROOT";
    } else {
        throw Failure{"Invalid key name \"" + std::string(text) +
                      "\": it must start with HKLM, HKCR, HKEY_LOCAL_MACHINE or HKEY_CLASSES_ROOT."};
    }
    key.sub = platform::Utf16FromUtf8(rest);
    key.display = rest.empty() ? rootDisplay : rootDisplay + "\\" + std::string(rest);
    return key;
}

// An open key, closed when it goes.
class OpenKey {
public:
    OpenKey() = default;
    explicit OpenKey(HKEY key) : key_(key) {}
    OpenKey(OpenKey&& other) noexcept : key_(std::exchange(other.key_, nullptr)) {}
    OpenKey& operator=(OpenKey&& other) noexcept {
        std::swap(key_, other.key_);
        return *this;
    }
    ~OpenKey() {
        if (key_) RegCloseKey(key_);
    }
    HKEY get() const { return key_; }
    HKEY* out() { return &key_; }

private:
    HKEY key_ = nullptr;
};

OpenKey OpenNamedKey(const KeyName& name, REGSAM sam = KEY_READ) {
    OpenKey key;
    Check(RegOpenKeyExW(name.root, name.sub.c_str(), 0, sam, key.out()));
    return key;
}

struct Value {
    std::u16string name;
    DWORD type;
    std::string data;
};

// Values and subkey names of one key, read in one walk.
void ReadKey(HKEY key, std::vector<Value>* values, std::vector<std::u16string>* subkeys) {
    DWORD subkeyCount = 0, longestSubkey = 0, valueCount = 0, longestName = 0, largestData = 0;
    Check(RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeyCount, &longestSubkey, nullptr, &valueCount,
                           &longestName, &largestData, nullptr, nullptr));
    if (values) {
        std::u16string name(longestName + 1, u'\0');
        std::string data(largestData, '\0');
        for (DWORD i = 0; i < valueCount; ++i) {
            DWORD chars = longestName + 1, bytes = largestData, type = 0;
            Check(RegEnumValueW(key, i, name.data(), &chars, nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                                &bytes));
            values->push_back({name.substr(0, chars), type, data.substr(0, bytes)});
        }
    }
    if (subkeys) {
        std::u16string name(longestSubkey + 1, u'\0');
        for (DWORD i = 0; i < subkeyCount; ++i) {
            DWORD chars = longestSubkey + 1;
            Check(RegEnumKeyExW(key, i, name.data(), &chars, nullptr, nullptr, nullptr, nullptr));
            subkeys->push_back(name.substr(0, chars));
        }
    }
}

KeyName Child(const KeyName& parent, const std::u16string& name) {
    KeyName key = parent;
    key.sub = parent.sub.empty() ? name : parent.sub + u"\\" + name;
    key.display = parent.display + "\\" + platform::Utf8FromUtf16(name);
    return key;
}

std::string TypeName(DWORD type) {
    static const char* const names[] = {"REG_NONE",
                                        "REG_SZ",
                                        "REG_EXPAND_SZ",
                                        "REG_BINARY",
                                        "REG_DWORD",
                                        "REG_DWORD_BIG_ENDIAN",
                                        "REG_LINK",
                                        "REG_MULTI_SZ",
                                        "REG_RESOURCE_LIST",
                                        "REG_FULL_RESOURCE_DESCRIPTOR",
                                        "REG_RESOURCE_REQUIREMENTS_LIST",
                                        "REG_QWORD"};
    if (type < std::size(names)) return names[type];
    return "0x" + (std::ostringstream() << std::hex << type).str();
}

std::u16string Units(std::string_view bytes) {
    std::u16string text(bytes.size() / 2, u'\0');
    std::memcpy(text.data(), bytes.data(), text.size() * 2);
    return text;
}

// The data column of a query line, as the platform's tool shows it.
std::string ShowData(const Value& value) {
    const std::string& data = value.data;
    switch (value.type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
        std::u16string text = Units(data);
        return platform::Utf8FromUtf16(text.substr(0, text.find(u'\0')));
    }
    case REG_MULTI_SZ: {
        std::u16string text = Units(data);
        while (!text.empty() && text.back() == u'\0') text.pop_back();
        std::string shown;
        for (char16_t c : text)
            shown += c == u'\0' ? std::string("\\0") : platform::Utf8FromUtf16(std::u16string(1, c));
        return shown;
    }
    case REG_DWORD:
    case REG_QWORD:
        if (data.size() == 4 || data.size() == 8) {
            uint64_t number = 0;
            std::memcpy(&number, data.data(), data.size());
            return "0x" + (std::ostringstream() << std::hex << number).str();
        }
        [[fallthrough]];
    default: {
        static const char digits[] = "0123456789ABCDEF";
        std::string hex;
        for (unsigned char b : data) {
            hex += digits[b >> 4];
            hex += digits[b & 15];
        }
        return hex;
    }
    }
}

void PrintValue(std::ostream& out, const Value& value) {
    out << "    " << (value.name.empty() ? "(Default)" : platform::Utf8FromUtf16(value.name)) << "    "
        << TypeName(value.type) << "    " << ShowData(value) << "\n";
}

bool Ask(std::ostream& out, std::istream& in, const std::string& question) {
    out << question << " " << std::flush;
    std::string answer;
    if (!std::getline(in, answer)) return false;
    return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
}

// Options after the key: /v NAME, /ve, /va, /t TYPE, /d DATA, /s (add: /s SEP), /f, /y.
struct Options {
    std::vector<std::string> positional;
    bool hasValue = false, defaultValue = false, allValues = false, recurse = false, force = false;
    std::string valueName, type = "REG_SZ", data, separator = "\\0";
    bool hasType = false;
};

Options ParseOptions(const std::vector<std::string>& args, size_t first, const std::string& allowed) {
    Options options;
    auto need = [&](size_t& i, const std::string& flag) -> const std::string& {
        if (i + 1 >= args.size()) throw Failure{"Invalid syntax: " + flag + " needs a value."};
        return args[++i];
    };
    for (size_t i = first; i < args.size(); ++i) {
        std::string flag = args[i];
        if (flag.size() < 2 || (flag[0] != '/' && flag[0] != '-')) {
            options.positional.push_back(flag);
            continue;
        }
        std::string lower = flag.substr(1);
        for (auto& c : lower) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        bool separator = lower == "s" && allowed.find(" s= ") != std::string::npos;  // add's /s SEP
        if (!separator && allowed.find(" " + lower + " ") == std::string::npos) {
            options.positional.push_back(flag);  // a path such as /tmp/rules.reg
            continue;
        }
        if (lower == "v") {
            options.hasValue = true;
            options.valueName = need(i, flag);
        } else if (lower == "ve") {
            options.hasValue = options.defaultValue = true;
        } else if (lower == "va") {
            options.allValues = true;
        } else if (lower == "t") {
            options.type = need(i, flag);
            options.hasType = true;
        } else if (lower == "d") {
            options.data = need(i, flag);
        } else if (separator) {
            options.separator = need(i, flag);
        } else if (lower == "s") {
            options.recurse = true;
        } else if (lower == "f" || lower == "y") {
            options.force = true;
        }
    }
    if (options.hasValue && options.allValues) throw Failure{"Invalid syntax: /v, /ve and /va exclude each other."};
    if (options.defaultValue && !options.valueName.empty())
        throw Failure{"Invalid syntax: /v and /ve exclude each other."};
    return options;
}

std::u16string ValueNameOf(const Options& options) {
    return options.defaultValue ? u"" : platform::Utf16FromUtf8(options.valueName);
}

// query KEY [/v NAME | /ve] [/s]
int Query(const Options& options, std::ostream& out) {
    if (options.positional.size() != 1) throw Failure{"Invalid syntax: query needs exactly one key."};
    KeyName name = ParseKeyName(options.positional[0]);
    size_t matches = 0;
    auto show = [&](const KeyName& keyName, auto& self) -> void {
        OpenKey key = OpenNamedKey(keyName);
        std::vector<Value> values;
        std::vector<std::u16string> subkeys;
        ReadKey(key.get(), &values, &subkeys);
        if (options.hasValue) {
            std::string wanted = platform::Utf8FromUtf16(ValueNameOf(options));
            bool shown = false;
            for (const auto& value : values) {
                if (!EqualsNoCase(platform::Utf8FromUtf16(value.name), wanted)) continue;
                if (!shown) out << keyName.display << "\n";
                PrintValue(out, value);
                shown = true;
                ++matches;
            }
            if (shown) out << "\n";
        } else {
            out << keyName.display << "\n";
            for (const auto& value : values) PrintValue(out, value);
            if (!values.empty() || options.recurse) out << "\n";
            if (!options.recurse) {
                for (const auto& sub : subkeys) out << Child(keyName, sub).display << "\n";
            }
        }
        if (options.recurse) {
            for (const auto& sub : subkeys) self(Child(keyName, sub), self);
        }
    };
    OpenNamedKey(name);  // a missing key fails before anything is printed
    out << "\n";
    show(name, show);
    if (options.hasValue && options.recurse) {
        out << "End of search: " << matches << " match(es) found.\n";
    } else if (options.hasValue && matches == 0) {
        throw Failure{RegistryError(ERROR_FILE_NOT_FOUND)};
    }
    return 0;
}

std::string StringData(std::u16string text) {
    text += u'\0';
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2);
}

uint64_t ParseNumber(const std::string& text, uint64_t max, const std::string& type) {
    try {
        size_t used = 0;
        bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
        if (text.empty() || text[0] == '-' || text[0] == '+') throw std::invalid_argument(text);
        uint64_t number = std::stoull(text, &used, hex ? 16 : 10);
        if (used != text.size() || number > max) throw std::out_of_range(text);
        return number;
    } catch (const std::exception&) {
        throw Failure{"Invalid data \"" + text + "\" for " + type + ": give a decimal or 0x hexadecimal number."};
    }
}

// The bytes `reg add /t TYPE /d DATA` stores.
std::pair<DWORD, std::string> AddData(const Options& options) {
    std::string type = options.type;
    for (auto& c : type) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    if (type == "REG_SZ" || type == "REG_EXPAND_SZ" || type == "REG_NONE")
        return {type == "REG_SZ"     ? REG_SZ
                : type == "REG_NONE" ? REG_NONE
                                     : REG_EXPAND_SZ,
                StringData(platform::Utf16FromUtf8(options.data))};
    if (type == "REG_MULTI_SZ") {
        if (options.separator.empty()) throw Failure{"Invalid syntax: the separator after /s is empty."};
        std::u16string all;
        std::string rest = options.data;
        while (!rest.empty()) {
            size_t at = rest.find(options.separator);
            all += platform::Utf16FromUtf8(rest.substr(0, at));
            all += u'\0';
            rest = at == std::string::npos ? "" : rest.substr(at + options.separator.size());
        }
        return {REG_MULTI_SZ, StringData(all)};
    }
    if (type == "REG_DWORD") {
        auto number = static_cast<uint32_t>(ParseNumber(options.data, UINT32_MAX, type));
        return {REG_DWORD, std::string(reinterpret_cast<const char*>(&number), 4)};
    }
    if (type == "REG_QWORD") {
        uint64_t number = ParseNumber(options.data, UINT64_MAX, type);
        return {REG_QWORD, std::string(reinterpret_cast<const char*>(&number), 8)};
    }
    if (type == "REG_BINARY") {
        const Failure bad{"Invalid data for REG_BINARY: give pairs of hex digits."};
        if (options.data.size() % 2 != 0) throw bad;
        std::string bytes;
        for (size_t i = 0; i < options.data.size(); i += 2) {
            int high = HexDigit(options.data[i]), low = HexDigit(options.data[i + 1]);
            if (high < 0 || low < 0) throw bad;
            bytes += static_cast<char>(high * 16 + low);
        }
        return {REG_BINARY, bytes};
    }
    throw Failure{"Invalid type " + options.type +
                  ": use REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_QWORD, REG_BINARY or REG_NONE."};
}

// add KEY [/v NAME | /ve] [/t TYPE] [/s SEP] [/d DATA] [/f]
int Add(const Options& options, std::ostream& out, std::istream& in) {
    if (options.positional.size() != 1) throw Failure{"Invalid syntax: add needs exactly one key."};
    KeyName name = ParseKeyName(options.positional[0]);
    if (options.allValues) throw Failure{"Invalid syntax: /va is for delete."};
    auto [type, data] = AddData(options);
    OpenKey key;
    Check(RegCreateKeyExW(name.root, name.sub.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.out(), nullptr));
    if (options.hasValue || options.hasType || !options.data.empty()) {
        std::u16string valueName = ValueNameOf(options);
        DWORD bytes = 0;
        bool exists =
            RegQueryValueExW(key.get(), valueName.c_str(), nullptr, nullptr, nullptr, &bytes) == ERROR_SUCCESS;
        if (exists && !options.force &&
            !Ask(out, in,
                 "Value " + (valueName.empty() ? std::string("(Default)") : platform::Utf8FromUtf16(valueName)) +
                     " exists, overwrite(Yes/No)?"))
            throw Failure{"The operation was cancelled: the value exists (use /f to overwrite)."};
        Check(RegSetValueExW(key.get(), valueName.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                             static_cast<DWORD>(data.size())));
    }
    out << kDone << "\n";
    return 0;
}

// Deletes a key and everything below it, inside the transaction.
void DeleteTree(const KeyName& name, HANDLE transaction) {
    std::vector<std::u16string> subkeys;
    {
        OpenKey key;
        Check(RegOpenKeyTransactedW(name.root, name.sub.c_str(), 0, KEY_READ, key.out(), transaction, nullptr));
        ReadKey(key.get(), nullptr, &subkeys);
    }
    for (const auto& sub : subkeys) DeleteTree(Child(name, sub), transaction);
    Check(RegDeleteKeyTransactedW(name.root, name.sub.c_str(), 0, 0, transaction, nullptr));
}

// A registry transaction, rolled back unless committed.
class Transaction {
public:
    Transaction() : handle_(CreateTransaction(nullptr, nullptr, 0, 0, 0, 0, nullptr)) {}
    ~Transaction() { CloseHandle(handle_); }
    HANDLE get() const { return handle_; }
    void Commit() {
        if (!CommitTransaction(handle_)) throw Failure{"The registry could not save the changes."};
    }

private:
    HANDLE handle_;
};

// delete KEY [/v NAME | /ve | /va] [/f]
int Remove(const Options& options, std::ostream& out, std::istream& in) {
    if (options.positional.size() != 1) throw Failure{"Invalid syntax: delete needs exactly one key."};
    KeyName name = ParseKeyName(options.positional[0]);
    if (options.hasValue) {
        std::u16string valueName = ValueNameOf(options);
        if (!options.force &&
            !Ask(out, in,
                 "Delete the registry value " +
                     (valueName.empty() ? std::string("(Default)") : platform::Utf8FromUtf16(valueName)) +
                     " (Yes/No)?"))
            throw Failure{"The operation was cancelled."};
        OpenKey key = OpenNamedKey(name, KEY_ALL_ACCESS);
        Check(RegDeleteValueW(key.get(), valueName.c_str()));
    } else if (options.allValues) {
        if (!options.force && !Ask(out, in, "Delete all values under the registry key " + name.display + " (Yes/No)?"))
            throw Failure{"The operation was cancelled."};
        Transaction transaction;
        OpenKey key;
        Check(RegOpenKeyTransactedW(name.root, name.sub.c_str(), 0, KEY_ALL_ACCESS, key.out(), transaction.get(),
                                    nullptr));
        std::vector<Value> values;
        ReadKey(key.get(), &values, nullptr);
        for (const auto& value : values) Check(RegDeleteValueW(key.get(), value.name.c_str()));
        transaction.Commit();
    } else {
        if (name.sub.empty()) throw Failure{"A root key cannot be deleted."};
        OpenNamedKey(name);  // a missing key is reported as such, before any question
        if (!options.force && !Ask(out, in, "Permanently delete the registry key " + name.display + " (Yes/No)?"))
            throw Failure{"The operation was cancelled."};
        Transaction transaction;
        DeleteTree(name, transaction.get());
        transaction.Commit();
    }
    out << kDone << "\n";
    return 0;
}

void Collect(const KeyName& name, std::vector<RegFileKey>& keys) {
    OpenKey key = OpenNamedKey(name);
    std::vector<Value> values;
    std::vector<std::u16string> subkeys;
    ReadKey(key.get(), &values, &subkeys);
    RegFileKey fileKey;
    fileKey.path = platform::Utf16FromUtf8(name.display);
    for (auto& value : values)
        fileKey.values.push_back({std::move(value.name), false, value.type, std::move(value.data)});
    keys.push_back(std::move(fileKey));
    for (const auto& sub : subkeys) Collect(Child(name, sub), keys);
}

// True when `file` is the hive or one of SQLite's files beside it. Reading or
// writing those through another descriptor would drop this process's locks on the
// hive (closing any descriptor of a file drops them all) or overwrite the database.
// Looked at by name and by inode, without opening anything.
bool IsHiveFile(const std::string& file) {
    std::string hive = platform::registry::hivePath();
    std::error_code ignored;
    auto named = std::filesystem::weakly_canonical(file, ignored);
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
        std::string companion = hive + suffix;
        if (!named.empty() && named == std::filesystem::weakly_canonical(companion, ignored)) return true;
        struct stat a, b;
        if (stat(file.c_str(), &a) == 0 && stat(companion.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
            a.st_ino == b.st_ino)
            return true;
    }
    return false;
}

void RefuseHiveFile(const std::string& file) {
    if (IsHiveFile(file))
        throw Failure{"Refused: " + file + " is the registry's own database; name a .reg file elsewhere."};
}

// export KEY FILE [/y]
int ExportKeys(const Options& options, std::ostream& out, std::istream& in) {
    if (options.positional.size() != 2) throw Failure{"Invalid syntax: export needs a key and a file name."};
    KeyName name = ParseKeyName(options.positional[0]);
    const std::string& file = options.positional[1];
    RefuseHiveFile(file);
    std::vector<RegFileKey> keys;
    Collect(name, keys);
    if (std::filesystem::exists(file) && !options.force &&
        !Ask(out, in, "File " + file + " already exists. Overwrite (Yes/No)?"))
        throw Failure{"The operation was cancelled: " + file + " exists (use /y to overwrite)."};
    std::string text = WriteRegFile(keys);
    std::ofstream stream(file, std::ios::binary | std::ios::trunc);
    stream.write(text.data(), static_cast<std::streamsize>(text.size()));
    stream.close();
    if (!stream) throw Failure{"Cannot write " + file + ": " + std::strerror(errno) + "."};
    out << kDone << "\n";
    return 0;
}

// The whole of a file to import. Only a regular file: a FIFO or a device would
// block or never end, and a folder cannot be read as text.
std::string ReadImportFile(const std::string& file) {
    int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) throw Failure{"Cannot open " + file + ": " + std::strerror(errno) + "."};
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        throw Failure{"Cannot import " + file + ": it is not a regular file."};
    }
    std::string bytes;
    char buffer[65536];
    ssize_t got;
    while ((got = read(fd, buffer, sizeof buffer)) > 0) bytes.append(buffer, size_t(got));
    int readError = errno;
    close(fd);
    if (got < 0) throw Failure{"Cannot read " + file + ": " + std::strerror(readError) + "."};
    return bytes;
}

// import FILE
int ImportFile(const Options& options, std::ostream& out) {
    if (options.positional.size() != 1) throw Failure{"Invalid syntax: import needs exactly one file."};
    const std::string& file = options.positional[0];
    RefuseHiveFile(file);
    std::string bytes = ReadImportFile(file);
    std::vector<RegFileKey> keys;
    std::string error;
    if (!ParseRegFile(bytes, keys, error)) throw Failure{file + ": " + error};
    if (!ImportKeys(keys, error)) throw Failure{file + ": " + error};
    out << kDone << "\n";
    return 0;
}

const char* const kUsage =
    "usage: pellicor-reg query KEY [/v NAME | /ve] [/s]\n"
    "       pellicor-reg add KEY [/v NAME | /ve] [/t TYPE] [/s SEP] [/d DATA] [/f]\n"
    "       pellicor-reg delete KEY [/v NAME | /ve | /va] [/f]\n"
    "       pellicor-reg export KEY FILE [/y]\n"
    "       pellicor-reg import FILE\n"
    "KEY starts with HKLM or HKCR. The hive is $PELLICOR_REGISTRY, or /var/lib/pellicor/registry.sqlite.\n";

}  // namespace

// Options before a command: --help and --version, parsed as every program's are.
int RunProgramOptions(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    using pellicor::command_line::Parsed;
    Parsed parsed = pellicor::command_line::Parse(
        args, {}, [](auto&, auto) { return std::nullopt; }, true);
    if (parsed.kind == Parsed::Help) {
        out << pellicor::command_line::HelpText("pellicor-reg COMMAND KEY [/OPTION ...] (or pellicor-reg /?)", {},
                                                std::string("commands:\n") + kUsage);
        return 0;
    }
    if (parsed.kind == Parsed::Version) {
        out << pellicor::command_line::VersionLine("pellicor-reg") << "\n";
        return 0;
    }
    err << "ERROR: " << (parsed.kind == Parsed::Bad ? parsed.error : "options go after the command")
        << " (pellicor-reg /? lists the commands).\n";
    return 1;
}

bool ImportKeys(const std::vector<RegFileKey>& keys, std::string& error) {
    try {
        Transaction transaction;
        for (const auto& fileKey : keys) {
            KeyName name = ParseKeyName(platform::Utf8FromUtf16(fileKey.path));
            if (fileKey.remove) {
                if (name.sub.empty()) throw Failure{"A root key cannot be deleted."};
                OpenKey probe;
                LSTATUS rc = RegOpenKeyTransactedW(name.root, name.sub.c_str(), 0, KEY_READ, probe.out(),
                                                   transaction.get(), nullptr);
                if (rc == ERROR_FILE_NOT_FOUND) continue;
                Check(rc);
                DeleteTree(name, transaction.get());
                continue;
            }
            OpenKey key;
            Check(RegCreateKeyTransactedW(name.root, name.sub.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                          key.out(), nullptr, transaction.get(), nullptr));
            for (const auto& value : fileKey.values) {
                if (value.remove) {
                    LSTATUS rc = RegDeleteValueW(key.get(), value.name.c_str());
                    if (rc != ERROR_FILE_NOT_FOUND) Check(rc);
                    continue;
                }
                Check(RegSetValueExW(key.get(), value.name.c_str(), 0, value.type,
                                     reinterpret_cast<const BYTE*>(value.data.data()),
                                     static_cast<DWORD>(value.data.size())));
            }
        }
        transaction.Commit();
        return true;
    } catch (const Failure& failure) {
        error = failure.reason;
        return false;
    }
}

int RunReg(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err) {
    if (args.empty()) {
        err << "ERROR: No command given (pellicor-reg /? lists them).\n";
        return 1;
    }
    if (args[0] == "/?" || args[0] == "/h") {
        out << kUsage;
        return 0;
    }
    if (args[0].size() > 1 && args[0][0] == '-') return RunProgramOptions(args, out, err);
    std::string command = args[0];
    for (auto& c : command) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    try {
        if (command == "query") return Query(ParseOptions(args, 1, " v ve s "), out);
        if (command == "add") return Add(ParseOptions(args, 1, " v ve t d f s= "), out, in);
        if (command == "delete") return Remove(ParseOptions(args, 1, " v ve va f "), out, in);
        if (command == "export") return ExportKeys(ParseOptions(args, 1, " y "), out, in);
        if (command == "import") return ImportFile(ParseOptions(args, 1, " "), out);
        throw Failure{"Invalid syntax: unknown command \"" + args[0] + "\" (Query, Add, delete, export, import)."};
    } catch (const Failure& failure) {
        err << "ERROR: " << failure.reason << "\n";
        return 1;
    } catch (const std::exception& e) {
        err << "ERROR: " << e.what() << "\n";
        return 1;
    }
}

}  // namespace pellicor::reg
