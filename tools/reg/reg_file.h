// The platform's registry export format ("Windows Registry Editor Version 5.00"):
// parsing a file into keys and values, and writing keys and values as a file.
// Pure text work; nothing here touches the registry.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "windef.h"

namespace pellicor::reg {

struct RegFileValue {
    std::u16string name;  // empty: the key's default value ("@")
    bool remove = false;  // "name"=-
    DWORD type = 0;
    std::string data;  // bytes as stored; strings as UTF-16LE with their terminator
};

struct RegFileKey {
    std::u16string path;  // full, with the root written out: HKEY_LOCAL_MACHINE\...
    bool remove = false;  // [-path]: delete the key and everything below it
    std::vector<RegFileValue> values;
};

// Parses a whole file: UTF-16LE with a byte order mark as the platform writes it,
// or UTF-8 / 8-bit text. On failure returns false with a one-line reason that
// names the line ("line 7: ...").
bool ParseRegFile(std::string_view bytes, std::vector<RegFileKey>& keys, std::string& error);

// The file for these keys, in the platform's layout: UTF-16LE with a byte order
// mark, CRLF line ends, long hex data continued over lines.
std::string WriteRegFile(const std::vector<RegFileKey>& keys);

// The value of one hexadecimal digit (either case), or -1 for any other character.
int HexDigit(char c);

}  // namespace pellicor::reg
