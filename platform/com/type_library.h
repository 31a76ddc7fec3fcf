// Type libraries read from the platform's type library file format ("MSFT"), as
// widl writes them. Only what automation over dual interfaces needs is read:
// the library's attributes and names, its type infos' kinds, identifiers, flags,
// names and help strings, and the base interface of each interface. Functions of
// the platform's own IUnknown and IDispatch come from the runtime itself, as the
// standard OLE library describes them.
#pragma once
#include <vector>

#include "oaidl.h"

namespace platform::com {

// Builds a type library over the file's bytes. TYPE_E_INVDATAREAD for a damaged
// file, TYPE_E_UNSUPFORMAT for contents this reader does not handle.
HRESULT CreateTypeLibFromMemory(std::vector<BYTE> bytes, ITypeLib** library);

}  // namespace platform::com
