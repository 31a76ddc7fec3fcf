// Finding the sink class the way the transport does: by its program identifier
// "Pellicor.Sink" in the registry. Only when asked, and the sink library is
// installed beside the program (../lib/libPellicor.so), is a missing sink
// registered first: otherwise the hive is never written.
#pragma once
#include <string>

#include "guiddef.h"

namespace pellicor::submit {

// S_OK with the class identifier, or a failure status with a one-line reason.
HRESULT FindSinkClass(CLSID& clsid, bool registerIfMissing, std::string& reason);

}  // namespace pellicor::submit
