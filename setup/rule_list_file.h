// The rule list text file that Export writes and Import reads: 8-bit text, one
// entry per line as written; when read, a line ends at CR LF, CR or LF, and each
// line is split at TABs into fields, so that columns copied from other programs
// can be imported.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The entries the file's text yields for list Index, in file order, duplicates
// included. A field without "@" yields nothing. From the others: for list 2 the
// whole field without leading and trailing spaces; for lists 0 and 1 the text from
// the first "@" to the end without trailing spaces.
std::vector<std::string> ParseRuleListFile(std::string_view content, int16_t Index);

// Each entry followed by CR LF. The any-domain entry ("*" or "* (any domain)")
// is not written.
std::string FormatRuleListFile(const std::vector<std::string>& entries);

// Reads the whole file. On failure returns false and says why in error.
bool ReadWholeFile(const std::string& path, std::string& content, std::string& error);

// Writes content to a temporary file beside path and renames it over path, so an
// existing file is either replaced whole or left as it was. On failure returns
// false, removes the temporary file and says why in error.
bool ReplaceFileWhole(const std::string& path, const std::string& content, std::string& error);

// True when path is the registry's own file or one of its companions, by device
// and inode: the window must not read or write the hive as a list file.
bool IsRegistryFile(const std::string& path);
