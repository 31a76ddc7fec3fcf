#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "winbase.h"

TEST(CriticalSection, SerialisesAndIsReentrant) {
    CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    long total = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 10000; ++i) {
                EnterCriticalSection(&cs);
                EnterCriticalSection(&cs);
                ++total;
                LeaveCriticalSection(&cs);
                LeaveCriticalSection(&cs);
            }
        });
    }
    for (auto& thread : threads) thread.join();
    DeleteCriticalSection(&cs);
    EXPECT_EQ(total, 40000);
}

TEST(SystemTime, IsAfter2020InFileTimeUnits) {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    uint64_t ticks = (uint64_t(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    EXPECT_GT(ticks, 132223104000000000ULL);  // 2020-01-01
}
