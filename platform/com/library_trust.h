// Whether a library is safe to load: nobody but root or the user running the
// program can replace it, neither the file nor any folder on the way to it.
#pragma once
#include <string>

namespace pellicor::com {

// Empty when the library at `path` (absolute, no symbolic links) is trusted;
// otherwise why not, in words.
std::string UntrustedLibraryReason(const std::string& path);

}  // namespace pellicor::com
