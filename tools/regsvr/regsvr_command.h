// pellicor-regsvr's work: load an in-process server library and call its
// DllRegisterServer, or DllUnregisterServer with /u.
//
//   pellicor-regsvr [-u | /u] LIBRARY
#pragma once
#include <ostream>
#include <string>
#include <vector>

namespace pellicor::regsvr {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;    // the library failed, or could not be loaded
inline constexpr int kExitBadUsage = 2;  // bad command line

// The text --help prints.
std::string RegsvrHelp();

// Runs the command over the arguments after the program name; prints the result
// on `out`, or one line on `err`.
int RunRegsvr(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace pellicor::regsvr
