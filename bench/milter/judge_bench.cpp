// One message through pellicor-milter's transport host, without the MTA: building
// the mail message, the marker, and the event at the registered sink. The reply is
// the throughput benchmark's: rule lists of 1,000 entries, all three walked, and
// exempted by the last entry of list 2.
#include <cstdlib>
#include <string>

#include <benchmark/benchmark.h>

#include "temp_hive.h"
#include "transport_host.h"
#include "windows.h"

namespace {

void WriteList(const char* list, const std::string& prefix, const std::string& suffix, const char* last) {
    HKEY key = nullptr;
    std::string path = std::string("SOFTWARE\\Orlenby\\Pellicor\\") + list;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    for (int i = 1; i < 1000; ++i)
        RegSetValueExA(key, (prefix + std::to_string(i) + suffix).c_str(), 0, REG_SZ, nullptr, 0);
    RegSetValueExA(key, last, 0, REG_SZ, nullptr, 0);
    RegCloseKey(key);
}

const std::string kReply =
    "From: exempt@condemned.example\r\n"
    "To: bob@outside.example\r\n"
    "Subject: Out of Office: back on Monday\r\n"
    "Auto-Submitted: auto-replied\r\n"
    "\r\n";

void BM_JudgeReply(benchmark::State& state) {
    TempHive hive;
    std::string registration = std::string(PELLICOR_REGSVR) + " " + PELLICOR_LIBRARY + " >/dev/null";
    if (std::system(registration.c_str()) != 0) return state.SkipWithError("cannot register the sink");
    WriteList("ExtOOFdisabledDomains", "@d", ".example", "@condemned.example");
    WriteList("ExtOOFenabledRecipientDomains", "@r", ".example", "@r1000.example");
    WriteList("ExtOOFEnabledSenderAddresses", "s", "@condemned.example", "exempt@condemned.example");

    pellicor::milter::TransportHost host;
    platform::smtp::Envelope envelope{"exempt@condemned.example", {"bob@outside.example"}};
    for (auto _ : state) {
        pellicor::milter::Judgement judgement = host.Judge(kReply, envelope);
        if (judgement.failed || judgement.deleted) return state.SkipWithError("not judged as expected");
    }
    host.Shutdown();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_JudgeReply)->Unit(benchmark::kMicrosecond);

}  // namespace
