// The tests' main on Windows: the component runtime serves only threads that
// have joined an apartment, so the tests run in the multithreaded one, as the
// transport's threads do.
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return 1;
    testing::InitGoogleTest(&argc, argv);
    int result = RUN_ALL_TESTS();
    CoUninitialize();
    return result;
}
