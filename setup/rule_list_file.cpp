#include "rule_list_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "entry_text.h"

namespace {

constexpr std::string_view kAnyDomainItem = "* (any domain)";

// Calls take(line) for each line; a last line without a line end counts too.
template <typename Take>
void ForEachLine(std::string_view content, Take take) {
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            take(content.substr(start));
            return;
        }
        take(content.substr(start, end - start));
        start = end + 1;
        if (content[end] == '\r' && start < content.size() && content[start] == '\n') ++start;
    }
}

std::string_view EntryOfField(std::string_view field, int16_t Index) {
    if (Index == 2) return TrimSpaces(field);
    return TrimTrailingSpaces(field.substr(field.find('@')));
}

std::string SystemError(const char* what, int error) { return std::string(what) + ": " + std::strerror(error); }

}  // namespace

std::vector<std::string> ParseRuleListFile(std::string_view content, int16_t Index) {
    std::vector<std::string> entries;
    ForEachLine(content, [&](std::string_view line) {
        size_t start = 0;
        while (start <= line.size()) {
            size_t end = line.find('\t', start);
            if (end == std::string_view::npos) end = line.size();
            std::string_view field = line.substr(start, end - start);
            if (field.find('@') != std::string_view::npos) entries.emplace_back(EntryOfField(field, Index));
            start = end + 1;
        }
    });
    return entries;
}

std::string FormatRuleListFile(const std::vector<std::string>& entries) {
    std::string text;
    for (const std::string& entry : entries) {
        if (entry == "*" || entry == kAnyDomainItem) continue;
        text += entry;
        text += "\r\n";
    }
    return text;
}

bool ReadWholeFile(const std::string& path, std::string& content, std::string& error) {
    // A pipe or a device would hold the window until something wrote to it.
    std::error_code statError;
    if (std::filesystem::exists(path, statError) && !std::filesystem::is_regular_file(path, statError)) {
        error = "it is not a regular file";
        return false;
    }
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        error = SystemError("it cannot be opened", errno);
        return false;
    }
    std::string text;
    char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
    bool failed = std::ferror(file) != 0;
    int readError = errno;
    std::fclose(file);
    if (failed) {
        error = SystemError("it cannot be read", readError);
        return false;
    }
    content = std::move(text);
    return true;
}
