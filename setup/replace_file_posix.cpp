// Replacing an exported file on POSIX systems: a private temporary file beside
// the target, flushed to disk, given the target's mode and owner, renamed over it.
// A link is followed to the file it names; where no file can be made beside the
// target, the target itself is emptied and written.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "hive_path.h"
#include "rule_list_file.h"

namespace {

std::string SystemError(const char* what, int error) { return std::string(what) + ": " + std::strerror(error); }

bool WriteAll(int fd, const std::string& content) {
    size_t done = 0;
    while (done < content.size()) {
        ssize_t wrote = ::write(fd, content.data() + done, content.size() - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) return false;
        done += static_cast<size_t>(wrote);
    }
    return true;
}

// Writes, flushes and closes fd; on failure says why.
bool WriteAndClose(int fd, const std::string& content, std::string& error) {
    bool written = WriteAll(fd, content) && ::fsync(fd) == 0;
    int writeError = errno;
    if (::close(fd) != 0 && written) {
        written = false;
        writeError = errno;
    }
    if (!written) error = SystemError("it cannot be written", writeError);
    return written;
}

// The file the path ends at once its links are followed; the path itself when it
// does not exist yet or its link leads nowhere.
std::string FollowLinks(const std::string& path) {
    std::error_code failed;
    std::filesystem::path resolved = std::filesystem::canonical(path, failed);
    return failed ? path : resolved.string();
}

bool WriteInPlace(const std::string& path, const std::string& content, std::string& error) {
    int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = SystemError("it cannot be opened for writing", errno);
        return false;
    }
    return WriteAndClose(fd, content, error);
}

}  // namespace

bool ReplaceFileWhole(const std::string& given, const std::string& content, std::string& error) {
    if (std::filesystem::path(given).filename().empty()) {
        error = "it names a folder, not a file";
        return false;
    }
    const std::string path = FollowLinks(given);
    struct stat existing {};
    const bool exists = ::stat(path.c_str(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode)) {
        error = "it is not a regular file";
        return false;
    }
    std::filesystem::path target(path);
    std::string temporary = (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
    if (target.parent_path().empty()) temporary = "." + target.filename().string() + ".XXXXXX";
    int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        int createError = errno;
        // A writable file in a folder that takes no new files.
        if (exists && ::access(path.c_str(), W_OK) == 0) return WriteInPlace(path, content, error);
        error = SystemError("it cannot be created", createError);
        return false;
    }
    bool sameOwner = true;
    if (exists) {
        ::fchmod(fd, existing.st_mode & 07777);
        if (::fchown(fd, existing.st_uid, existing.st_gid) != 0) sameOwner = false;
    } else {
        // mkstemp makes the file private; a new exported list is an ordinary file.
        mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
    }
    if (!sameOwner) {
        // Replacing the file would hand it to us; write into it instead.
        ::close(fd);
        ::unlink(temporary.c_str());
        return WriteInPlace(path, content, error);
    }
    if (!WriteAndClose(fd, content, error)) {
        ::unlink(temporary.c_str());
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

bool IsRegistryFile(const std::string& path) {
    struct stat chosen {};
    if (::stat(path.c_str(), &chosen) != 0) return false;
    const std::string hive = platform::registry::hivePath();
    for (const std::string& part : {hive, hive + "-wal", hive + "-shm", hive + "-journal"}) {
        struct stat held {};
        if (::stat(part.c_str(), &held) == 0 && held.st_dev == chosen.st_dev && held.st_ino == chosen.st_ino)
            return true;
    }
    return false;
}
