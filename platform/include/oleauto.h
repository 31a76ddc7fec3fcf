// Automation strings (BSTR): a 32-bit byte length before the characters, a
// terminator after them; the pointer points at the first character.
#pragma once
#include "windef.h"

typedef OLECHAR* BSTR;

EXTERN_C BSTR WINAPI SysAllocString(const OLECHAR* text);
EXTERN_C BSTR WINAPI SysAllocStringLen(const OLECHAR* text, UINT chars);
EXTERN_C void WINAPI SysFreeString(BSTR text);
EXTERN_C UINT WINAPI SysStringLen(BSTR text);
