#include <mutex>
#include <new>

#include "winbase.h"

namespace {

std::recursive_mutex* mutexOf(LPCRITICAL_SECTION cs) {
    return std::launder(reinterpret_cast<std::recursive_mutex*>(cs->opaque));
}

static_assert(sizeof(std::recursive_mutex) <= sizeof(CRITICAL_SECTION::opaque));
static_assert(alignof(std::recursive_mutex) <= alignof(CRITICAL_SECTION));

}  // namespace

void InitializeCriticalSection(LPCRITICAL_SECTION cs) { new (cs->opaque) std::recursive_mutex(); }

void DeleteCriticalSection(LPCRITICAL_SECTION cs) { mutexOf(cs)->~recursive_mutex(); }

void EnterCriticalSection(LPCRITICAL_SECTION cs) { mutexOf(cs)->lock(); }

void LeaveCriticalSection(LPCRITICAL_SECTION cs) { mutexOf(cs)->unlock(); }
