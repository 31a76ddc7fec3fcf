// pellicor-reg's commands (query, add, delete, export, import), modelled on the
// platform's reg command. Kept apart from main() so tests can run them in-process.
#pragma once
#include <iosfwd>
#include <string>
#include <vector>

#include "reg_file.h"

namespace pellicor::reg {

// Runs one command line (without the program name). Output goes to `out`, the one-line
// reason for a failure to `err`; prompts read from `in`. Returns the exit status, 0 or 1.
int RunReg(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err);

// Writes the keys of a parsed .reg file into the registry as one transaction: all of
// them or, on failure, none. `error` says what failed.
bool ImportKeys(const std::vector<RegFileKey>& keys, std::string& error);

}  // namespace pellicor::reg
