#include "milter_socket.h"
#include "run_files.h"

#include <cerrno>
#include <cstring>

#include <netdb.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <libmilter/mfapi.h>

#include "milter_options.h"

namespace pellicor_milter {

namespace {

// A connected socket to a unix path, or -1.
int ConnectUnix(const std::string& path) {
    sockaddr_un address{};
    if (path.size() >= sizeof address.sun_path) return -1;
    address.sun_family = AF_UNIX;
    memcpy(address.sun_path, path.c_str(), path.size() + 1);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
    close(fd);
    return -1;
}

// inet:PORT@ADDRESS; a wildcard or missing address is reached through loopback.
int ConnectInet(const std::string& socket) {
    bool six = socket.rfind("inet6:", 0) == 0;
    std::string rest = socket.substr(six ? 6 : 5);
    size_t at = rest.find('@');
    std::string port = rest.substr(0, at);
    std::string host = at == std::string::npos ? "" : rest.substr(at + 1);
    if (host.empty() || host == "0.0.0.0" || host == "::" || host == "INADDR_ANY") host = six ? "::1" : "127.0.0.1";
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    addrinfo hints{};
    hints.ai_family = six ? AF_INET6 : AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0) return -1;
    int fd = ::socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && connect(fd, found->ai_addr, found->ai_addrlen) != 0) {
        close(fd);
        fd = -1;
    }
    freeaddrinfo(found);
    return fd;
}

}  // namespace

bool OpenMilterSocket(const std::string& socket, const passwd* owner, std::string& error) {
    const std::string path = UnixSocketPath(socket);
    if (!path.empty()) {
        int live = ConnectUnix(path);
        if (live >= 0) {
            close(live);
            error = "another milter is listening on " + path + ": stop it first, or give another socket with -p";
            return false;
        }
        // A stale socket is replaced; anything else there (a link, say) is not ours to remove.
        struct stat info {};
        if (lstat(path.c_str(), &info) == 0 && !S_ISSOCK(info.st_mode)) {
            error = "cannot open socket " + socket + ": " + path + " is there and is not a socket: remove it";
            return false;
        }
    }
    if (smfi_setconn(const_cast<char*>(socket.c_str())) != MI_SUCCESS) {
        error = "libmilter does not take the socket address " + socket + ": expected unix:/path or inet:PORT@ADDRESS";
        return false;
    }
    // libmilter creates the socket file with the process umask: owner and group only.
    mode_t previous = umask(0117);
    errno = 0;
    bool opened = smfi_opensocket(true) == MI_SUCCESS;
    int reason = errno;
    umask(previous);
    if (!opened) {
        error = "cannot open socket " + socket + (reason ? std::string(": ") + strerror(reason) : std::string()) +
                (path.empty() ? ": check that the address is this machine's and the port is free"
                              : ": check that the directory exists and is writable by the milter's user");
        return false;
    }
    return path.empty() || !owner || HandSocketFile(path, owner->pw_uid, owner->pw_gid, error);
}

void WakeMilterSocket(const std::string& socket) {
    const std::string path = UnixSocketPath(socket);
    int fd = path.empty() ? ConnectInet(socket) : ConnectUnix(path);
    if (fd >= 0) close(fd);
    usleep(50 * 1000);
}

void RemoveMilterSocket(const std::string& socket) {
    const std::string path = UnixSocketPath(socket);
    struct stat info {};
    if (!path.empty() && lstat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode)) unlink(path.c_str());
}

}  // namespace pellicor_milter
