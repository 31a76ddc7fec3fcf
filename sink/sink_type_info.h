// The type information of ISink, loaded from the registered type library on the
// first dispatch call in the process and kept, with a cache of its function
// names, until the module terminates.
#pragma once
#include "oaidl.h"

// Loads the type information if it is not there yet; returns S_OK or the
// loading failure (the next call tries again).
HRESULT LoadSinkTypeInfo(LCID lcid);

// The loaded type information (no reference added), or null.
ITypeInfo* SinkTypeInfo();

// Maps names to member identifiers: the name cache first, case-sensitively,
// then the type information for names the cache does not hold.
HRESULT SinkIDsOfNames(LPOLESTR* names, UINT count, LCID lcid, DISPID* ids);
