// A rule list lookup as the sink makes it: open the key, query its sizes, read every
// value, close. "Unchanged" is the steady state; "AfterChange" has another connection
// write the hive before every walk, so the key's contents are read from the file.
// "Judgement" walks three lists in one read scope, as a host's message event does.
// 32,767 entries is the most a rule list holds.
// Figures to look at: CPU time (the machine may be busy with other work), and
// rss_mib on the threaded runs: what is read is shared, so it must not grow with them.
// Every case runs on a hive file ("File/..."); with PELLICOR_TEST_POSTGRES naming a
// server that tests/support/postgres_server.sh started, the judgement cases run on a
// database there too ("Database/..."). A database reader's change arrives through
// the process's reading thread, so the cases after a change look at real time there.
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <unistd.h>

#include "ktmw32.h"
#include "registry_read_scope.h"
#include "store_hive.h"
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

const char16_t* const kOther = u"Software\\Orlenby\\Other";

// Another connection's write (a transaction has its own) of `tick`, in a key beside
// the lists unless told which (a value not of the lists' type, so every walk reads
// as many).
void touchHive(DWORD tick, const char16_t* path = kOther) {
    HANDLE transaction = CreateTransaction(nullptr, nullptr, 0, 0, 0, 0, nullptr);
    HKEY key;
    RegCreateKeyTransactedW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr,
                            transaction, nullptr);
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

// The tick the hive holds at path, as this thread's reads see it.
DWORD readTick(const char16_t* path = kOther) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
    DWORD tick = 0, bytes = sizeof tick;
    RegQueryValueExW(key, u"tick", nullptr, nullptr, reinterpret_cast<BYTE*>(&tick), &bytes);
    RegCloseKey(key);
    return tick;
}

// The hive of one run: skips the run, saying why, when it cannot be made.
std::unique_ptr<StoreHive> makeHive(benchmark::State& state, HiveStore store) {
    auto hive = std::make_unique<StoreHive>(store);
    if (!hive->error().empty()) state.SkipWithError(hive->error().c_str());
    return hive;
}

void Unchanged(benchmark::State& state, HiveStore store) {
    auto hive = makeHive(state, store);
    fill(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        if (walk() != state.range(0)) state.SkipWithError("walk did not read every value");
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void AfterChange(benchmark::State& state, HiveStore store) {
    auto hive = makeHive(state, store);
    fill(static_cast<int>(state.range(0)));
    DWORD tick = 0;
    for (auto _ : state) {
        state.PauseTiming();
        touchHive(++tick);
        state.ResumeTiming();
        if (walk() != state.range(0)) state.SkipWithError("walk did not read every value");
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// Many sink threads, each with its own connection, reading one shared copy.
void UnchangedOnThreads(benchmark::State& state, HiveStore store) {
    std::unique_ptr<StoreHive> hive;
    if (state.thread_index() == 0) {
        hive = makeHive(state, store);
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
void Judgement(benchmark::State& state, HiveStore store) {
    auto hive = makeHive(state, store);
    for (const char16_t* list : kLists) fill(static_cast<int>(state.range(0)), list);
    for (auto _ : state) {
        platform::registry::ReadScope scope;
        DWORD read = 0;
        for (const char16_t* list : kLists) read += walk(list);
        if (read != 3 * state.range(0)) state.SkipWithError("walk did not read every value");
    }
    state.SetItemsProcessed(state.iterations() * 3 * state.range(0));
}

// The first judgement after a change to `changed` that sees it: on the file, the
// first after the commit; on a database, where the process's reading thread reads
// the change and a judgement waits for it no longer than a fifth of a second, the
// first that sees it (the time from the commit to it).
void judgeAfterChanges(benchmark::State& state, HiveStore store, const char16_t* changed) {
    auto hive = makeHive(state, store);
    for (const char16_t* list : kLists) fill(static_cast<int>(state.range(0)), list);
    DWORD tick = 0;
    for (auto _ : state) {
        state.PauseTiming();
        touchHive(++tick, changed);
        state.ResumeTiming();
        for (int judgements = 1;; ++judgements) {
            platform::registry::ReadScope scope;
            DWORD read = 0;
            for (const char16_t* list : kLists) read += walk(list);
            if (read != 3 * state.range(0)) state.SkipWithError("walk did not read every value");
            // Whether it saw the change is no part of the judgement (and by name reads
            // a whole list's values into an index the sink's walks never need).
            state.PauseTiming();
            bool seen = readTick(changed) == tick;
            state.ResumeTiming();
            if (seen) break;
            if (store == HiveStore::File || judgements == 50) {
                state.SkipWithError("the judgement did not see the change");
                break;
            }
        }
    }
    state.SetItemsProcessed(state.iterations() * 3 * state.range(0));
}

void JudgementAfterChange(benchmark::State& state, HiveStore store) { judgeAfterChanges(state, store, kOther); }

// The first judgement after a change to one of the lists: that list alone is read again.
void JudgementAfterListChange(benchmark::State& state, HiveStore store) { judgeAfterChanges(state, store, kLists[1]); }

void registerCases(HiveStore store) {
    auto add = [store](const char* name, void (*run)(benchmark::State&, HiveStore)) {
        return benchmark::RegisterBenchmark((storeName(store) + "/" + name).c_str(), run, store)
            ->Unit(benchmark::kMicrosecond);
    };
    if (store == HiveStore::File) {
        add("Unchanged", Unchanged)->Arg(10)->Arg(1000)->Arg(32767);
        add("AfterChange", AfterChange)->Arg(10)->Arg(1000)->Arg(32767);
        add("UnchangedOnThreads", UnchangedOnThreads)->Arg(1000)->Arg(32767)->Threads(8)->Threads(64);
    }
    add("Judgement", Judgement)->Arg(10)->Arg(1000)->Arg(32767);
    // A database reader waits for its thread to read the change: that is real time.
    auto* changed = add("JudgementAfterChange", JudgementAfterChange)->Arg(10)->Arg(1000)->Arg(32767);
    auto* listChanged = add("JudgementAfterListChange", JudgementAfterListChange)->Arg(1000)->Arg(32767);
    if (store == HiveStore::Database) {
        changed->UseRealTime();
        listChanged->UseRealTime();
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    registerCases(HiveStore::File);
    if (const char* server = std::getenv("PELLICOR_TEST_POSTGRES"); server && *server)
        registerCases(HiveStore::Database);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}
