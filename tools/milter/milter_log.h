// The milter's log: syslog (facility mail), and stderr too in the foreground.
#pragma once

namespace pellicor::milter {

void OpenLog(bool toStderr);
bool LogsToStderr();
// printf-style; one line per call.
void LogInfo(const char* format, ...) __attribute__((format(printf, 1, 2)));
void LogError(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace pellicor::milter
