// Registry transactions: writes made through keys opened with the transaction are
// seen by other readers all at once on commit, or never.
#pragma once
#include "guiddef.h"

EXTERN_C HANDLE WINAPI CreateTransaction(LPSECURITY_ATTRIBUTES security, LPGUID unitOfWork, DWORD createOptions,
                                         DWORD isolationLevel, DWORD isolationFlags, DWORD timeout, LPWSTR description);
EXTERN_C BOOL WINAPI CommitTransaction(HANDLE transaction);
EXTERN_C BOOL WINAPI RollbackTransaction(HANDLE transaction);
