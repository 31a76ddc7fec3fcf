// The registrar's script format: root keys (HKCR ...) holding nested keys in
// braces, each optionally marked NoRemove, ForceRemove or Delete, with a default
// value ("= s 'text'" or "= d 'number'") and named values ("val Name = s 'text'").
// A script is parsed whole before anything is written, so a malformed one
// changes nothing.
#pragma once
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "winreg.h"

namespace platform::atl {

enum class KeyMode { Normal, NoRemove, ForceRemove, Delete };

struct ScriptValue {
    std::string name;  // empty for the key's default value
    DWORD type = REG_SZ;
    std::string text;  // REG_SZ
    DWORD number = 0;  // REG_DWORD
};

struct ScriptKey {
    std::string name;
    KeyMode mode = KeyMode::Normal;
    std::vector<ScriptValue> values;  // the default value, if any, comes first
    std::vector<ScriptKey> keys;
};

struct ScriptRoot {
    HKEY root;
    std::vector<ScriptKey> keys;
};

struct Script {
    std::vector<ScriptRoot> roots;
};

// %NAME% in names and values becomes the mapped text; "%%" is a single '%'.
// Names are compared without regard to case.
using Replacements = std::map<std::string, std::string>;

// Parses `text`. On a malformed script returns false and describes the first
// fault in `error` (with its line number).
bool ParseRegistrationScript(std::string_view text, const Replacements& replacements, Script& script,
                             std::string& error);

// Writes the script's keys and values (register) or removes them as their marks
// say (unregister). Returns S_OK or the registry's failure as an HRESULT.
HRESULT ApplyRegistrationScript(const Script& script, bool doRegister);

}  // namespace platform::atl
