#include "kernel_object.h"
#include "winbase.h"

BOOL CloseHandle(HANDLE handle) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return FALSE;
    delete static_cast<platform::KernelObject*>(handle);
    return TRUE;
}
