#include "milter_log.h"

#include <cstdarg>
#include <cstdio>

#include <syslog.h>

namespace pellicor::milter {

namespace {

bool alsoStderr = false;

void Log(int priority, const char* format, va_list args) {
    char line[2048];
    vsnprintf(line, sizeof line, format, args);
    syslog(priority, "%s", line);
    if (alsoStderr) fprintf(stderr, "pellicor-milter: %s\n", line);
}

}  // namespace

void OpenLog(bool toStderr) {
    alsoStderr = toStderr;
    openlog("pellicor-milter", LOG_PID | LOG_NDELAY, LOG_MAIL);
}

bool LogsToStderr() { return alsoStderr; }

void LogInfo(const char* format, ...) {
    va_list args;
    va_start(args, format);
    Log(LOG_INFO, format, args);
    va_end(args);
}

void LogError(const char* format, ...) {
    va_list args;
    va_start(args, format);
    Log(LOG_ERR, format, args);
    va_end(args);
}

}  // namespace pellicor::milter
