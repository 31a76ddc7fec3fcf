// Property id ranges handed out by GUID for the whole process, so that every
// component asking for the same GUID gets the same ids on every message.
#pragma once
#include "windef.h"
#include "guiddef.h"

namespace platform::smtp {

// The first id of the range registered under `guid`, registering `count` ids on the
// first request. A later request may ask for fewer ids, not more.
// E_INVALIDARG for a count of 0 or more than the first request; E_OUTOFMEMORY when
// the id space is used up.
HRESULT AllocatePropertyRange(REFGUID guid, DWORD count, DWORD* start);

}  // namespace platform::smtp
