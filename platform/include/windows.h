// The platform's umbrella header, as far as this system uses it.
#pragma once
#include "windef.h"
#include "winerror.h"
#include "guiddef.h"
#include "winbase.h"
#include "winreg.h"
#include "winuser.h"
