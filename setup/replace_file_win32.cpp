// Replacing an exported file on Windows: a temporary file beside the target,
// flushed to disk, moved over it (a rename does not replace on Windows).
#include <windows.h>

#include <algorithm>
#include <string>

#include "rule_list_file.h"

namespace {

std::string SystemError(const char* what, DWORD code) {
    char text[256] = {};
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                                  sizeof text, nullptr);
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' || text[length - 1] == '.'))
        text[--length] = '\0';
    return std::string(what) + ": " + (length ? text : "error " + std::to_string(code));
}

bool WriteAll(HANDLE file, const std::string& content) {
    size_t done = 0;
    while (done < content.size()) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(content.size() - done, 1u << 30));
        DWORD wrote = 0;
        if (!WriteFile(file, content.data() + done, chunk, &wrote, nullptr) || wrote == 0) return false;
        done += wrote;
    }
    return true;
}

}  // namespace

bool ReplaceFileWhole(const std::string& path, const std::string& content, std::string& error) {
    if (path.empty() || path.back() == '\\' || path.back() == '/') {
        error = "it names a folder, not a file";
        return false;
    }
    std::string temporary = path + ".pellicor-tmp";
    HANDLE file =
        CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = SystemError("it cannot be created", GetLastError());
        return false;
    }
    bool written = WriteAll(file, content) && FlushFileBuffers(file);
    DWORD writeError = GetLastError();
    CloseHandle(file);
    if (!written) {
        DeleteFileA(temporary.c_str());
        error = SystemError("it cannot be written", writeError);
        return false;
    }
    if (!MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DWORD moveError = GetLastError();
        DeleteFileA(temporary.c_str());
        error = SystemError("it cannot be replaced", moveError);
        return false;
    }
    return true;
}

// The registry of Windows is no file a dialog can offer.
bool IsRegistryFile(const std::string&) { return false; }
