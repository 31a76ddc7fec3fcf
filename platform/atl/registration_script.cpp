#include "registration_script.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <new>
#include <optional>

namespace platform::atl {
namespace {

constexpr int kMaxDepth = 64;  // keeps hostile scripts from exhausting the stack

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower((unsigned char)a[i]) != std::tolower((unsigned char)b[i])) return false;
    return true;
}

struct Token {
    enum Kind { End, Open, Close, Equals, Word, Quoted } kind = End;
    std::string text;
    int line = 1;
};

class Parser {
public:
    Parser(std::string_view text, const Replacements& replacements) : text_(text), replacements_(replacements) {}

    bool parse(Script& script) {
        if (!advance()) return false;
        while (token_.kind != Token::End) {
            ScriptRoot root{};
            if (!parseRoot(root)) return false;
            script.roots.push_back(std::move(root));
        }
        return true;
    }

    const std::string& error() const { return error_; }

private:
    bool fail(const std::string& what) {
        if (error_.empty()) error_ = "line " + std::to_string(token_.line) + ": " + what;
        return false;
    }

    void skipSpace() {
        while (at_ < text_.size()) {
            char c = text_[at_];
            if (c == '\n') ++line_;
            if (!std::isspace((unsigned char)c) && c != '\0') return;
            ++at_;
        }
    }

    // Reads the next token into token_. Braces stand alone only when followed by
    // space or the end, so "{3D0C...}" reads as one word, as the format requires.
    bool advance() {
        skipSpace();
        token_ = Token{};
        token_.line = line_;
        if (at_ >= text_.size()) return true;
        char c = text_[at_];
        bool alone = at_ + 1 >= text_.size() || std::isspace((unsigned char)text_[at_ + 1]);
        if ((c == '{' || c == '}') && alone) {
            token_.kind = c == '{' ? Token::Open : Token::Close;
            ++at_;
            return true;
        }
        if (c == '=') {
            token_.kind = Token::Equals;
            ++at_;
            return true;
        }
        std::string raw;
        if (c == '\'') {
            token_.kind = Token::Quoted;
            ++at_;
            for (;;) {
                if (at_ >= text_.size()) return fail("unterminated quoted text");
                char q = text_[at_++];
                if (q == '\n') ++line_;
                if (q != '\'') {
                    raw += q;
                    continue;
                }
                if (at_ < text_.size() && text_[at_] == '\'') {  // '' is a quote inside
                    raw += '\'';
                    ++at_;
                    continue;
                }
                break;
            }
        } else {
            token_.kind = Token::Word;
            while (at_ < text_.size()) {
                char w = text_[at_];
                if (std::isspace((unsigned char)w) || w == '=' || w == '\'' || w == '\0') break;
                raw += w;
                ++at_;
            }
        }
        return replace(raw, token_.text);
    }

    bool replace(const std::string& raw, std::string& out) {
        out.clear();
        for (size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] != '%') {
                out += raw[i];
                continue;
            }
            size_t end = raw.find('%', i + 1);
            if (end == std::string::npos) return fail("unmatched '%'");
            std::string name = raw.substr(i + 1, end - i - 1);
            i = end;
            if (name.empty()) {
                out += '%';
                continue;
            }
            auto found = std::find_if(replacements_.begin(), replacements_.end(),
                                      [&](const auto& entry) { return equalsNoCase(entry.first, name); });
            if (found == replacements_.end()) return fail("unknown replacement %" + name + "%");
            out += found->second;
        }
        return true;
    }

    bool isName() const { return token_.kind == Token::Word || token_.kind == Token::Quoted; }
    bool isKeyword(std::string_view word) const {
        return token_.kind == Token::Word && equalsNoCase(token_.text, word);
    }

    static std::optional<HKEY> rootKey(std::string_view name) {
        if (equalsNoCase(name, "HKCR") || equalsNoCase(name, "HKEY_CLASSES_ROOT")) return HKEY_CLASSES_ROOT;
        if (equalsNoCase(name, "HKLM") || equalsNoCase(name, "HKEY_LOCAL_MACHINE")) return HKEY_LOCAL_MACHINE;
        if (equalsNoCase(name, "HKCU") || equalsNoCase(name, "HKEY_CURRENT_USER")) return HKEY_CURRENT_USER;
        if (equalsNoCase(name, "HKU") || equalsNoCase(name, "HKEY_USERS")) return HKEY_USERS;
        return std::nullopt;
    }

    bool parseRoot(ScriptRoot& root) {
        if (token_.kind != Token::Word) return fail("expected a root key such as HKCR");
        std::optional<HKEY> key = rootKey(token_.text);
        if (!key) return fail("unknown root key '" + token_.text + "'");
        root.root = *key;
        if (!advance()) return false;
        if (token_.kind != Token::Open) return fail("expected '{' after the root key");
        if (!advance()) return false;
        return parseBody(root.keys, nullptr, 1);
    }

    // Reads entries up to and including the closing brace.
    bool parseBody(std::vector<ScriptKey>& keys, std::vector<ScriptValue>* values, int depth) {
        if (depth > kMaxDepth) return fail("keys nested too deeply");
        for (;;) {
            if (token_.kind == Token::Close) return advance();
            if (token_.kind == Token::End) return fail("missing '}'");
            if (isKeyword("val")) {
                if (!values) return fail("'val' directly under a root key");
                if (!parseNamedValue(*values)) return false;
                continue;
            }
            ScriptKey key;
            if (!parseKey(key, depth)) return false;
            keys.push_back(std::move(key));
        }
    }

    bool parseNamedValue(std::vector<ScriptValue>& values) {
        if (!advance()) return false;
        if (!isName()) return fail("expected a value name after 'val'");
        ScriptValue value;
        value.name = token_.text;
        if (!advance()) return false;
        if (token_.kind != Token::Equals) return fail("expected '=' after the value name");
        if (!advance() || !parseValue(value)) return false;
        values.push_back(std::move(value));
        return true;
    }

    // After '=': a type letter and the data.
    bool parseValue(ScriptValue& value) {
        if (token_.kind != Token::Word) return fail("expected a value type (s or d)");
        std::string type = token_.text;
        if (!advance()) return false;
        if (!isName()) return fail("expected the value's data");
        if (equalsNoCase(type, "s")) {
            value.type = REG_SZ;
            value.text = token_.text;
        } else if (equalsNoCase(type, "d")) {
            const char* begin = token_.text.c_str();
            char* end = nullptr;
            unsigned long long number = std::strtoull(begin, &end, 0);
            if (token_.text.empty() || *end || number > 0xFFFFFFFFull || token_.text[0] == '-')
                return fail("'" + token_.text + "' is not a 32-bit number");
            value.type = REG_DWORD;
            value.number = DWORD(number);
        } else {
            return fail("unsupported value type '" + type + "'");
        }
        return advance();
    }

    bool parseKey(ScriptKey& key, int depth) {
        if (isKeyword("NoRemove")) key.mode = KeyMode::NoRemove;
        else if (isKeyword("ForceRemove")) key.mode = KeyMode::ForceRemove;
        else if (isKeyword("Delete")) key.mode = KeyMode::Delete;
        if (key.mode != KeyMode::Normal && !advance()) return false;
        if (!isName()) return fail("expected a key name");
        if (token_.text.empty() || token_.text.find('\\') != std::string::npos)
            return fail("key name '" + token_.text + "' is empty or holds a backslash");
        key.name = token_.text;
        if (!advance()) return false;
        if (token_.kind == Token::Equals) {
            ScriptValue value;
            if (!advance() || !parseValue(value)) return false;
            key.values.push_back(std::move(value));
        }
        if (token_.kind != Token::Open) return true;
        if (!advance()) return false;
        return parseBody(key.keys, &key.values, depth + 1);
    }

    std::string_view text_;
    const Replacements& replacements_;
    size_t at_ = 0;
    int line_ = 1;
    Token token_;
    std::string error_;
};

HRESULT fromStatus(LSTATUS status) { return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(status); }

// Deletes `name` under `parent` with everything below it; a missing key is fine.
LSTATUS deleteTree(HKEY parent, const std::string& name) {
    HKEY key = nullptr;
    LSTATUS status = RegOpenKeyExA(parent, name.c_str(), 0, KEY_ALL_ACCESS, &key);
    if (status == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
    if (status != ERROR_SUCCESS) return status;
    for (;;) {
        char child[256];
        DWORD chars = sizeof child;
        status = RegEnumKeyExA(key, 0, child, &chars, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status == ERROR_SUCCESS) status = deleteTree(key, child);
        if (status != ERROR_SUCCESS) {
            RegCloseKey(key);
            return status;
        }
    }
    RegCloseKey(key);
    status = RegDeleteKeyA(parent, name.c_str());
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

LSTATUS setValue(HKEY key, const ScriptValue& value) {
    const char* name = value.name.empty() ? nullptr : value.name.c_str();
    if (value.type == REG_DWORD)
        return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value.number), sizeof(DWORD));
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.text.c_str()),
                          DWORD(value.text.size() + 1));
}

LSTATUS registerKey(HKEY parent, const ScriptKey& entry) {
    if (entry.mode == KeyMode::Delete) return deleteTree(parent, entry.name);
    if (entry.mode == KeyMode::ForceRemove) {
        LSTATUS status = deleteTree(parent, entry.name);
        if (status != ERROR_SUCCESS) return status;
    }
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExA(parent, entry.name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                     nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) return status;
    for (const ScriptValue& value : entry.values)
        if (status == ERROR_SUCCESS) status = setValue(key, value);
    for (const ScriptKey& child : entry.keys)
        if (status == ERROR_SUCCESS) status = registerKey(key, child);
    RegCloseKey(key);
    return status;
}

bool hasSubkeys(HKEY key) {
    DWORD subkeys = 0;
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr) != ERROR_SUCCESS)
        return true;  // unsure: keep the key
    return subkeys > 0;
}

// NoRemove keys stay; ForceRemove and Delete keys go with all they hold; other
// keys go once the script's own subkeys are gone and nothing else is below them.
LSTATUS unregisterKey(HKEY parent, const ScriptKey& entry) {
    if (entry.mode == KeyMode::ForceRemove || entry.mode == KeyMode::Delete) return deleteTree(parent, entry.name);
    HKEY key = nullptr;
    LSTATUS status = RegOpenKeyExA(parent, entry.name.c_str(), 0, KEY_ALL_ACCESS, &key);
    if (status == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
    if (status != ERROR_SUCCESS) return status;
    for (const ScriptKey& child : entry.keys)
        if (status == ERROR_SUCCESS) status = unregisterKey(key, child);
    for (const ScriptValue& value : entry.values) {
        if (status != ERROR_SUCCESS || value.name.empty()) continue;
        LSTATUS deleted = RegDeleteValueA(key, value.name.c_str());
        if (deleted != ERROR_FILE_NOT_FOUND) status = deleted;
    }
    bool keep = entry.mode == KeyMode::NoRemove || hasSubkeys(key);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || keep) return status;
    status = RegDeleteKeyA(parent, entry.name.c_str());
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

}  // namespace

bool ParseRegistrationScript(std::string_view text, const Replacements& replacements, Script& script,
                             std::string& error) try {
    Parser parser(text, replacements);
    Script parsed;
    if (!parser.parse(parsed)) {
        error = parser.error();
        return false;
    }
    script = std::move(parsed);
    return true;
} catch (const std::bad_alloc&) {
    error = "out of memory";
    return false;
}

HRESULT ApplyRegistrationScript(const Script& script, bool doRegister) try {
    for (const ScriptRoot& root : script.roots) {
        for (const ScriptKey& key : root.keys) {
            LSTATUS status = doRegister ? registerKey(root.root, key) : unregisterKey(root.root, key);
            if (status != ERROR_SUCCESS) return fromStatus(status);
        }
    }
    return S_OK;
} catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
}

}  // namespace platform::atl
