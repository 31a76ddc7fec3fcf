// Many transport threads at once: each creates Sinks, fires the message event
// asks for dispatch identifiers and releases them. Run under ThreadSanitizer in CI.
#include <thread>
#include <vector>

#include "mail_message.h"
#include "message_event_source.h"
#include "out_of_office_marker.h"
#include "rule_lists.h"
#include "sink_library.h"
#include "smtpevent.h"
#include "temp_hive.h"

namespace {

class ConcurrencyTest : public SinkLibraryTest {
protected:
    TempHive hive;
};

TEST_F(ConcurrencyTest, ThreadsCreateJudgeAndReleaseSinksWithTheLockCountBackAtZero) {
    WriteRuleList(0, {"@example.com"});
    WriteRuleList(1, {"@partner.example"});
    ASSERT_EQ(lib().registerServer(), S_OK);  // the threads' dispatch calls race to load the type information
    constexpr int kThreads = 6;
    constexpr int kRounds = 20;
    std::vector<int> wrong(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < kRounds; ++round) {
                IClassFactory* factory = nullptr;
                if (lib().getClassObject(SinkLibrary::CLSID_SinkForTests(), IID_IClassFactory,
                                         reinterpret_cast<void**>(&factory)) != S_OK) {
                    ++wrong[t];
                    continue;
                }
                IMailTransportOnPostCategorize* sink = nullptr;
                HRESULT hr = factory->CreateInstance(nullptr, IID_IMailTransportOnPostCategorize,
                                                     reinterpret_cast<void**>(&sink));
                factory->Release();
                if (hr != S_OK) {
                    ++wrong[t];
                    continue;
                }
                bool exempt = (t + round) % 2 == 0;
                std::string recipient = exempt ? "friend@partner.example" : "someone@elsewhere.example";
                IMailMsgProperties* message = nullptr;
                platform::smtp::CreateMailMessage("From: away@example.com\r\nSubject: Away\r\n\r\nAway.\r\n",
                                                  {"<>", {recipient}}, &message);
                platform::smtp::WriteOutOfOfficeMarker(message);
                if (sink->OnMessagePostCategorize(message, nullptr, nullptr) != S_OK) ++wrong[t];
                IDispatch* dispatch = nullptr;
                LPOLESTR name[] = {const_cast<LPOLESTR>(u"Invoke")};
                DISPID id = 0;
                if (FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch))) ||
                    dispatch->GetIDsOfNames(IID_IDispatch, name, 1, 0, &id) != S_OK || id != 0x60010003)
                    ++wrong[t];
                if (dispatch) dispatch->Release();
                auto expected = exempt ? platform::smtp::Verdict::Delivered : platform::smtp::Verdict::Deleted;
                if (platform::smtp::ReadVerdict(message) != expected) ++wrong[t];
                message->Release();
                sink->Release();
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(wrong[t], 0) << "thread " << t;
    EXPECT_EQ(lib().canUnloadNow(), S_OK) << "the module lock count is back at 0";
}

}  // namespace
