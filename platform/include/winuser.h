// The window manager's text services, as far as the system uses them off screen.
#pragma once
#include "windef.h"

// Converts `length` characters in place to upper case, one character for one, by
// the same table the registry folds names with; returns `length`.
EXTERN_C DWORD WINAPI CharUpperBuffW(LPWSTR text, DWORD length);
