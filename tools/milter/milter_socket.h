// The milter's listening socket: opened before privileges are dropped, reachable
// by the MTA's user, and woken on stop so the milter loop notices at once.
#pragma once
#include <string>

#include <pwd.h>

namespace pellicor::milter {

// Opens `socket` through libmilter. A unix socket left by a milter that is no
// longer running is removed first; one that answers is an error. The socket file
// gets mode 0660 and, with `owner`, that user and their group.
bool OpenMilterSocket(const std::string& socket, const passwd* owner, std::string& error);

// Connects to the socket once and hangs up, so that a listener waiting in poll()
// looks at its stop flag now; sleeps briefly when the connection fails.
void WakeMilterSocket(const std::string& socket);

// Removes a unix socket's file if it is still there.
void RemoveMilterSocket(const std::string& socket);

}  // namespace pellicor::milter
