#include "library_trust.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace pellicor::com {
namespace {

std::string modeText(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

// Why another user could replace the file or folder at `path`, or empty.
std::string untrustedEntry(const std::string& path, bool last) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) return "cannot inspect " + path + ": " + std::strerror(errno);
    const char* what = last ? "the library " : "the folder ";
    if (last && !S_ISREG(info.st_mode)) return path + " is not a regular file";
    if (!last && !S_ISDIR(info.st_mode)) return path + " is not a folder";
    if (info.st_uid != 0 && info.st_uid != geteuid())
        return what + path + " is owned by user " + std::to_string(info.st_uid) +
               ", not by root or the user running this program";
    // A shared folder with the sticky bit (/tmp) lets nobody rename or delete an
    // entry they do not own, so a file of ours in it stays ours.
    bool othersWrite = (info.st_mode & (S_IWGRP | S_IWOTH)) != 0;
    if (othersWrite && (last || !(info.st_mode & S_ISVTX)))
        return what + path + " can be written by users other than its owner (mode " + modeText(info.st_mode) + ")";
    return {};
}

}  // namespace

std::string UntrustedLibraryReason(const std::string& path) {
    if (path.empty() || path.front() != '/') return path + " is not an absolute path";
    std::string reason = untrustedEntry(path, true);
    for (size_t slash = path.rfind('/'); reason.empty() && slash != std::string::npos;
         slash = slash == 0 ? std::string::npos : path.rfind('/', slash - 1))
        reason = untrustedEntry(slash == 0 ? "/" : path.substr(0, slash), false);
    return reason;
}

}  // namespace pellicor::com
