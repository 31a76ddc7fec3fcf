// The files the milter makes as root and hands to the user it runs as: the pid
// file and the unix socket. Neither follows a link or touches a file it did not
// make, whoever can write the folder they are in.
#pragma once
#include <string>

#include <sys/types.h>

namespace pellicor::milter {

// Writes this process's id to `path`: into a new file beside it, given to
// `uid`:`gid` when uid is not -1, then renamed over whatever `path` was.
bool WritePidFile(const std::string& path, uid_t uid, gid_t gid, std::string& error);

// Gives the socket file this (root) process has just bound at `path` to
// `uid`:`gid`. Refuses anything at `path` that is not a root-owned socket, such
// as a link planted there since.
bool HandSocketFile(const std::string& path, uid_t uid, gid_t gid, std::string& error);

}  // namespace pellicor::milter
