// Resources a shared library carries: ELF notes named "PELLICOR", each holding a
// resource type and name (16 bytes each, zero-padded; an integer written "#101")
// followed by the data. sink's build generates them; see module_resources.cmake.
#pragma once
#include <string>
#include <vector>

#include "windef.h"

namespace platform::com {

// "#101" for an integer resource, the upper-cased name otherwise.
std::string ResourceKey(LPCWSTR nameOrId);

// Reads resource (type, name) from the shared library file at `path` without
// loading it. False if the file is no ELF library or lacks the resource.
bool ReadResourceFromFile(const std::string& path, const std::string& type, const std::string& name,
                          std::vector<BYTE>& data);

}  // namespace platform::com
