// Finding the sink class on Windows: by its program identifier, which regsvr32
// Pellicor.dll has registered. Nothing is registered on the caller's behalf.
#include <windows.h>

#include "sink_class.h"

namespace pellicor::submit {

HRESULT FindSinkClass(CLSID& clsid, bool, std::string& reason) {
    HRESULT hr = CLSIDFromProgID(L"Pellicor.Sink", &clsid);
    if (SUCCEEDED(hr)) return S_OK;
    reason = "the sink \"Pellicor.Sink\" is not registered; register it with regsvr32 Pellicor.dll";
    return hr;
}

}  // namespace pellicor::submit
