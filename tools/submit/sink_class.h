// Finding the sink class the way the transport does: by its program identifier
// "Pellicor.Sink" in the registry. When it is not registered yet and the sink
// library is installed beside the program (../lib/libPellicor.so), the library
// is registered first.
#pragma once
#include <string>

#include "guiddef.h"

namespace submit {

// S_OK with the class identifier, or a failure status with a one-line reason.
HRESULT FindSinkClass(CLSID& clsid, std::string& reason);

}  // namespace submit
