#include "run_files.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pellicor::milter {

bool WritePidFile(const std::string& path, uid_t uid, gid_t gid, std::string& error) {
    // mkostemp makes the file with O_EXCL, so nothing planted under its name is opened.
    std::string temporary = path + ".XXXXXX";
    int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        error = "cannot write pid file " + path + ": " + strerror(errno);
        return false;
    }
    std::string pid = std::to_string(getpid()) + "\n";
    bool written = write(fd, pid.data(), pid.size()) == static_cast<ssize_t>(pid.size()) && fchmod(fd, 0644) == 0;
    // Owned by the user we become, so that we can remove it when we stop.
    if (written && uid != uid_t(-1)) written = fchown(fd, uid, gid) == 0;
    int failure = errno;
    if (close(fd) != 0 && written) written = false, failure = errno;
    // rename() replaces a link at `path` itself, never the file it points to.
    if (written && rename(temporary.c_str(), path.c_str()) != 0) written = false, failure = errno;
    if (!written) {
        unlink(temporary.c_str());
        error = "cannot write pid file " + path + ": " + strerror(failure);
    }
    return written;
}

bool HandSocketFile(const std::string& path, uid_t uid, gid_t gid, std::string& error) {
    int fd = open(path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || fstat(fd, &info) != 0) {
        error = "cannot hand socket " + path + " on: " + strerror(errno);
        if (fd >= 0) close(fd);
        return false;
    }
    bool ours = S_ISSOCK(info.st_mode) && info.st_uid == geteuid();
    bool handed = ours && fchownat(fd, "", uid, gid, AT_EMPTY_PATH) == 0;
    int failure = errno;
    close(fd);
    if (!ours) error = "refusing to hand " + path + " on: it is no longer the socket this milter made";
    else if (!handed) error = "cannot hand socket " + path + " on: " + strerror(failure);
    return handed;
}

}  // namespace pellicor::milter
