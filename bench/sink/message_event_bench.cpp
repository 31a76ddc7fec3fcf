// The event operation on ordinary mail, and the worst case of judging a reply:
// all three lookups over long lists with no exemption, alone, after a rule change
// and on many threads at once.
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include <benchmark/benchmark.h>
#include <unistd.h>

#include "mail_message.h"
#include "message_event.h"
#include "message_filter.h"
#include "out_of_office_marker.h"
#include "registry_read_scope.h"
#include "temp_hive.h"
#include "windows.h"

namespace {

std::string MessageOf(std::size_t bytes) {
    std::string content =
        "From: Colleague <colleague@partner.example>\r\n"
        "To: friend@home.example\r\n"
        "Subject: Quarterly figures\r\n"
        "Message-ID: <1234@partner.example>\r\n"
        "\r\n";
    while (content.size() < bytes) content += "Lorem ipsum dolor sit amet, consectetur adipiscing elit.\r\n";
    content.resize(bytes);
    return content;
}

IMailMsgProperties* NewMailMessage(std::string content, const std::string& sender) {
    IMailMsgProperties* message = nullptr;
    platform::smtp::Envelope envelope{sender, {"friend@home.example"}};
    if (FAILED(platform::smtp::CreateMailMessage(std::move(content), envelope, &message))) return nullptr;
    return message;
}

void WriteList(const char16_t* path, const std::string& prefix, std::size_t entries, const char* last) {
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    auto add = [key](const std::string& name) {
        std::u16string wide(name.begin(), name.end());
        RegSetValueExW(key, wide.c_str(), 0, REG_SZ, nullptr, 0);
    };
    for (std::size_t i = 0; i + (last ? 1 : 0) < entries; ++i) add(prefix + std::to_string(i) + ".example");
    if (last != nullptr) add(last);
    RegCloseKey(key);
}

// Resident memory in KiB, to show that a long run of events does not grow it.
double ResidentKiB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1024.0;
}

// Ordinary mail (no marker), 4 KiB: the content is loaded into the message
// component for every message; the rules are never read.
void BM_EventWithoutMarker(benchmark::State& state) {
    TempHive hive;
    IMailMsgProperties* message = NewMailMessage(MessageOf(state.range(0)), "colleague@partner.example");
    if (message == nullptr) return state.SkipWithError("mail message not created");
    HandleMessageEvent(message);
    double residentBefore = ResidentKiB();
    for (auto _ : state) benchmark::DoNotOptimize(HandleMessageEvent(message));
    state.counters["rss_growth_kib"] = ResidentKiB() - residentBefore;
    message->Release();
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_EventWithoutMarker)->Arg(4096);
BENCHMARK(BM_EventWithoutMarker)->Name("BM_EventWithoutMarker/million")->Arg(4096)->Iterations(1000000);

// The same message without the content step: what loading costs by difference.
void BM_FilterWithoutMarker(benchmark::State& state) {
    TempHive hive;
    IMailMsgProperties* message = NewMailMessage(MessageOf(state.range(0)), "colleague@partner.example");
    if (message == nullptr) return state.SkipWithError("mail message not created");
    for (auto _ : state) FilterMessage(message);
    message->Release();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FilterWithoutMarker)->Arg(4096);

// A reply whose sender domain is the last entry of list 0, judged against lists 1
// and 2 whose entries all miss: every value is read. 32,767 entries is the most a
// list holds. Each event runs in a read scope, as the hosts run it.
void WriteReplyLists(std::size_t entries) {
    WriteList(u"SOFTWARE\\Orlenby\\Pellicor\\ExtOOFdisabledDomains", "@blocked-", entries, "@away.example");
    WriteList(u"SOFTWARE\\Orlenby\\Pellicor\\ExtOOFEnabledRecipientDomains", "@partner-", entries, nullptr);
    WriteList(u"SOFTWARE\\Orlenby\\Pellicor\\ExtOOFEnabledSenderAddresses", "vip@sender-", entries, nullptr);
}

IMailMsgProperties* NewReply() {
    IMailMsgProperties* message = NewMailMessage(MessageOf(4096), "ooo@away.example");
    if (message != nullptr) platform::smtp::WriteOutOfOfficeMarker(message);
    return message;
}

bool Condemned(IMailMsgProperties* message) {
    DWORD status = 0;
    message->GetDWORD(IMMPID_MP_MESSAGE_STATUS, &status);
    return status == MP_STATUS_ABORT_DELIVERY;
}

void Judge(IMailMsgProperties* message, bool wholeEvent) {
    platform::registry::ReadScope scope;
    if (wholeEvent) {
        HandleMessageEvent(message);
    } else {
        FilterMessage(message);
    }
}

void BM_ReplyAgainstFullLists(benchmark::State& state) {
    TempHive hive;
    WriteReplyLists(static_cast<std::size_t>(state.range(0)));
    IMailMsgProperties* message = NewReply();
    if (message == nullptr) return state.SkipWithError("mail message not created");
    for (auto _ : state) Judge(message, state.range(1) != 0);
    if (!Condemned(message)) state.SkipWithError("the reply was not condemned");
    message->Release();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReplyAgainstFullLists)
    ->ArgNames({"entries", "whole_event"})
    ->Args({10, 0})
    ->Args({1000, 0})
    ->Args({1000, 1})
    ->Args({32767, 0})
    ->Unit(benchmark::kMicrosecond);

// The first judgement after a rule change: another connection writes the hive
// before each one, so the lists are read again, once.
void BM_ReplyAfterChange(benchmark::State& state) {
    TempHive hive;
    WriteReplyLists(static_cast<std::size_t>(state.range(0)));
    IMailMsgProperties* message = NewReply();
    if (message == nullptr) return state.SkipWithError("mail message not created");
    for (auto _ : state) {
        state.PauseTiming();
        std::thread([] { WriteList(u"SOFTWARE\\Orlenby\\Other", "@tick-", 1, nullptr); }).join();
        state.ResumeTiming();
        Judge(message, false);
    }
    if (!Condemned(message)) state.SkipWithError("the reply was not condemned");
    message->Release();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReplyAfterChange)->ArgName("entries")->Arg(10)->Arg(1000)->Arg(32767)->Unit(benchmark::kMicrosecond);

// The first judgement after a change to one list (a value beside its entries, so
// every judgement reads as many): that list is read again, the other two are kept.
void BM_ReplyAfterListChange(benchmark::State& state) {
    TempHive hive;
    WriteReplyLists(static_cast<std::size_t>(state.range(0)));
    IMailMsgProperties* message = NewReply();
    if (message == nullptr) return state.SkipWithError("mail message not created");
    DWORD tick = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::thread([&tick] {
            HKEY key = nullptr;
            RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Orlenby\\Pellicor\\ExtOOFEnabledRecipientDomains", 0,
                          KEY_ALL_ACCESS, &key);
            ++tick;
            RegSetValueExW(key, u"tick", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&tick), sizeof tick);
            RegCloseKey(key);
        }).join();
        state.ResumeTiming();
        Judge(message, false);
    }
    if (!Condemned(message)) state.SkipWithError("the reply was not condemned");
    message->Release();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReplyAfterListChange)->ArgName("entries")->Arg(1000)->Arg(32767)->Unit(benchmark::kMicrosecond);

// Many sessions judging at once, each thread with its own connection, all reading
// one shared copy of the lists: resident memory must not grow with the threads.
void BM_ReplyOnThreads(benchmark::State& state) {
    static std::unique_ptr<TempHive> hive;
    if (state.thread_index() == 0) {
        hive.reset();  // first: the old hive's going unsets PELLICOR_REGISTRY
        hive = std::make_unique<TempHive>();
        WriteReplyLists(static_cast<std::size_t>(state.range(0)));
    }
    IMailMsgProperties* message = nullptr;
    for (auto _ : state) {  // every thread starts the loop after thread 0 set up
        if (message == nullptr) message = NewReply();
        Judge(message, false);
    }
    if (message == nullptr || !Condemned(message)) state.SkipWithError("the reply was not condemned");
    if (message != nullptr) message->Release();
    if (state.thread_index() == 0) state.counters["rss_mib"] = ResidentKiB() / 1024;
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReplyOnThreads)->ArgName("entries")->Arg(32767)->Threads(8)->Threads(64)->Unit(benchmark::kMicrosecond);

// A condemned reply against short lists, many times over: every lookup's
// allocations and registry handles must be given back.
void BM_ReplyAgainstShortLists(benchmark::State& state) {
    TempHive hive;
    WriteList(u"SOFTWARE\\Orlenby\\Pellicor\\ExtOOFdisabledDomains", "@blocked-", 3, "@away.example");
    WriteList(u"SOFTWARE\\Orlenby\\Pellicor\\ExtOOFEnabledRecipientDomains", "@partner-", 3, nullptr);
    WriteList(u"SOFTWARE\\Orlenby\\Pellicor\\ExtOOFEnabledSenderAddresses", "vip@sender-", 3, nullptr);
    IMailMsgProperties* message = NewMailMessage(MessageOf(4096), "ooo@away.example");
    if (message == nullptr) return state.SkipWithError("mail message not created");
    platform::smtp::WriteOutOfOfficeMarker(message);
    HandleMessageEvent(message);
    double residentBefore = ResidentKiB();
    for (auto _ : state) HandleMessageEvent(message);
    state.counters["rss_growth_kib"] = ResidentKiB() - residentBefore;
    message->Release();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReplyAgainstShortLists)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
