// On Windows the tests' registry is the machine registry of the throwaway Wine
// prefix: a TempHive removes the system's key before and after each test, so
// that every test starts from an empty rule store.
#pragma once
#include <windows.h>

class TempHive {
public:
    TempHive() { Clear(); }
    ~TempHive() { Clear(); }
    TempHive(const TempHive&) = delete;
    TempHive& operator=(const TempHive&) = delete;

private:
    static void Clear() { RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Orlenby"); }
};
