// Replacing an exported file on POSIX systems: a private temporary file beside
// the target, flushed to disk, renamed over it.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "rule_list_file.h"

namespace {

std::string SystemError(const char* what, int error) { return std::string(what) + ": " + std::strerror(error); }

bool WriteAll(int fd, const std::string& content) {
    size_t done = 0;
    while (done < content.size()) {
        ssize_t wrote = ::write(fd, content.data() + done, content.size() - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return false;
        done += static_cast<size_t>(wrote);
    }
    return true;
}

}  // namespace

bool ReplaceFileWhole(const std::string& path, const std::string& content, std::string& error) {
    std::filesystem::path target(path);
    if (target.filename().empty()) {
        error = "it names a folder, not a file";
        return false;
    }
    std::string temporary = (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
    if (target.parent_path().empty())
        temporary = "." + target.filename().string() + ".XXXXXX";
    int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        error = SystemError("it cannot be created", errno);
        return false;
    }
    // mkstemp makes the file private; an exported list is an ordinary file.
    mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    bool written = WriteAll(fd, content) && ::fsync(fd) == 0;
    int writeError = errno;
    if (::close(fd) != 0 && written) {
        written = false;
        writeError = errno;
    }
    if (!written) {
        ::unlink(temporary.c_str());
        error = SystemError("it cannot be written", writeError);
        return false;
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        int renameError = errno;
        ::unlink(temporary.c_str());
        error = SystemError("it cannot be replaced", renameError);
        return false;
    }
    return true;
}
