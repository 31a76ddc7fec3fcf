// A rule list lookup as the sink makes it: open the key, query its sizes, read every
// value, close. "Unchanged" is the steady state; "AfterChange" has another connection
// write the hive before every walk, so the key's contents are read from the file.
// "Judgement" walks three lists in one read scope, as a host's message event does.
// 32,767 entries is the most a rule list holds.
// Figures to look at: CPU time (the machine may be busy with other work), and
// rss_mib on the threaded runs: what is read is shared, so it must not grow with them.
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <unistd.h>

#include "ktmw32.h"
#include "registry_read_scope.h"
#include "temp_hive.h"
#include "winbase.h"
#include "windows.h"
#include "winreg.h"

namespace {

const char16_t* const kPath = u"Software\\Orlenby\\Pellicor\\ExtOOFdisabledDomains";
const char16_t* const kLists[] = {kPath, u"Software\\Orlenby\\Pellicor\\ExtOOFenabledRecipientDomains",
                                  u"Software\\Orlenby\\Pellicor\\ExtOOFEnabledSenderAddresses"};

double residentMiB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

void fill(int values, const char16_t* path = kPath) {
    HKEY key;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    HANDLE transaction = CreateTransaction(nullptr, nullptr, 0, 0, 0, 0, nullptr);
    HKEY transacted;
    RegOpenKeyTransactedW(HKEY_LOCAL_MACHINE, path, 0, KEY_ALL_ACCESS, &transacted, transaction, nullptr);
    for (int i = 0; i < values; ++i) {
        std::string name = "@domain" + std::to_string(i) + ".example";
        RegSetValueExA(transacted, name.c_str(), 0, REG_SZ, nullptr, 0);
    }
    CommitTransaction(transaction);
    RegCloseKey(transacted);
    CloseHandle(transaction);
    RegCloseKey(key);
}

// Another connection's write (a transaction has its own), in a key beside the list
// unless told which (a value not of the lists' type, so every walk reads as many).
void touchHive(const char16_t* path = u"Software\\Orlenby\\Other") {
    HANDLE transaction = CreateTransaction(nullptr, nullptr, 0, 0, 0, 0, nullptr);
    HKEY key;
    RegCreateKeyTransactedW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr,
                            transaction, nullptr);
    DWORD tick = 1;
    RegSetValueExW(key, u"tick", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&tick), sizeof tick);
    CommitTransaction(transaction);
    RegCloseKey(key);
    CloseHandle(transaction);
}

DWORD walk(const char16_t* path = kPath) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
    DWORD count = 0, longest = 0, largest = 0, read = 0;
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, &longest, &largest, nullptr,
                     nullptr);
    std::vector<WCHAR> name(longest + 1);
    std::vector<BYTE> data(largest + 1);
    for (DWORD i = 0; i < count; ++i) {
        DWORD chars = longest + 1, bytes = largest, type;
        if (RegEnumValueW(key, i, name.data(), &chars, nullptr, &type, data.data(), &bytes) != ERROR_SUCCESS) break;
        read += type == REG_SZ;
    }
    RegCloseKey(key);
    return read;
}

void Unchanged(benchmark::State& state) {
    TempHive hive;
    fill(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        if (walk() != state.range(0)) state.SkipWithError("walk did not read every value");
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void AfterChange(benchmark::State& state) {
    TempHive hive;
    fill(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        touchHive();
        state.ResumeTiming();
        if (walk() != state.range(0)) state.SkipWithError("walk did not read every value");
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// Many sink threads, each with its own connection, reading one shared copy.
void UnchangedOnThreads(benchmark::State& state) {
    std::unique_ptr<TempHive> hive;
    if (state.thread_index() == 0) {
        hive = std::make_unique<TempHive>();
        fill(static_cast<int>(state.range(0)));
    }
    for (auto _ : state) {  // the loop starts and ends together on every thread
        if (walk() != state.range(0)) state.SkipWithError("walk did not read every value");
    }
    if (state.thread_index() == 0) state.counters["rss_mib"] = residentMiB();
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// The three lists of one judgement in one read scope: the hive's version is looked
// at once, the keys and their contents come from the process's copy.
void Judgement(benchmark::State& state) {
    TempHive hive;
    for (const char16_t* list : kLists) fill(static_cast<int>(state.range(0)), list);
    for (auto _ : state) {
        platform::registry::ReadScope scope;
        DWORD read = 0;
        for (const char16_t* list : kLists) read += walk(list);
        if (read != 3 * state.range(0)) state.SkipWithError("walk did not read every value");
    }
    state.SetItemsProcessed(state.iterations() * 3 * state.range(0));
}

// The first judgement after a change: the first reader reads the lists once.
void JudgementAfterChange(benchmark::State& state) {
    TempHive hive;
    for (const char16_t* list : kLists) fill(static_cast<int>(state.range(0)), list);
    for (auto _ : state) {
        state.PauseTiming();
        touchHive();
        state.ResumeTiming();
        platform::registry::ReadScope scope;
        DWORD read = 0;
        for (const char16_t* list : kLists) read += walk(list);
        if (read != 3 * state.range(0)) state.SkipWithError("walk did not read every value");
    }
    state.SetItemsProcessed(state.iterations() * 3 * state.range(0));
}

// The first judgement after a change to one of the lists: that list alone is read again.
void JudgementAfterListChange(benchmark::State& state) {
    TempHive hive;
    for (const char16_t* list : kLists) fill(static_cast<int>(state.range(0)), list);
    for (auto _ : state) {
        state.PauseTiming();
        touchHive(kLists[1]);
        state.ResumeTiming();
        platform::registry::ReadScope scope;
        DWORD read = 0;
        for (const char16_t* list : kLists) read += walk(list);
        if (read != 3 * state.range(0)) state.SkipWithError("walk did not read every value");
    }
    state.SetItemsProcessed(state.iterations() * 3 * state.range(0));
}

BENCHMARK(Unchanged)->Arg(10)->Arg(1000)->Arg(32767)->Unit(benchmark::kMicrosecond);
BENCHMARK(AfterChange)->Arg(10)->Arg(1000)->Arg(32767)->Unit(benchmark::kMicrosecond);
BENCHMARK(UnchangedOnThreads)->Arg(1000)->Arg(32767)->Threads(8)->Threads(64)->Unit(benchmark::kMicrosecond);
BENCHMARK(Judgement)->Arg(10)->Arg(1000)->Arg(32767)->Unit(benchmark::kMicrosecond);
BENCHMARK(JudgementAfterChange)->Arg(10)->Arg(1000)->Arg(32767)->Unit(benchmark::kMicrosecond);
BENCHMARK(JudgementAfterListChange)->Arg(1000)->Arg(32767)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
