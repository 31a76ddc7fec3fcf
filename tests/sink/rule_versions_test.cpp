// One judgement reads all three rule lists from one committed state of the hive,
// while another process flips the lists between two versions that both exempt the
// reply: version A exempts it through list 2, version B through list 1.
#include <gtest/gtest.h>

#include <string>

#include <unistd.h>

#include "ktmw32.h"
#include "mail_message.h"
#include "message_event_source.h"
#include "rule_lists.h"
#include "rule_store.h"
#include "run_program.h"
#include "temp_hive.h"

namespace {

constexpr long kJudgements = 100000;

const char kSenderDomain[] = "@condemned.example";
const char kRecipientDomain[] = "@partner.example";
const char kSenderAddress[] = "boss@condemned.example";

// One version of the lists in one transaction: list 0 always condemns the sender's
// domain; exactly one of lists 1 and 2 exempts the reply.
bool writeVersion(bool a) {
    HANDLE transaction = CreateTransaction(nullptr, nullptr, 0, 0, 0, 0, nullptr);
    bool ok = true;
    const struct {
        int list;
        const char* entry;
        bool present;
    } entries[] = {{0, kSenderDomain, true}, {1, kRecipientDomain, !a}, {2, kSenderAddress, a}};
    for (const auto& e : entries) {
        HKEY key;
        ok = ok && RegCreateKeyTransactedW(HKEY_LOCAL_MACHINE, RuleListPath(e.list), 0, nullptr, 0, KEY_ALL_ACCESS,
                                           nullptr, &key, nullptr, transaction, nullptr) == ERROR_SUCCESS;
        if (!ok) break;
        std::u16string name = Wide(e.entry);
        if (e.present) {
            ok = RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(u""), 2) == ERROR_SUCCESS;
        } else {
            LSTATUS rc = RegDeleteValueW(key, name.c_str());
            ok = rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
        }
        RegCloseKey(key);
    }
    ok = ok && CommitTransaction(transaction);
    CloseHandle(transaction);
    return ok;
}

long wrongVerdicts = 0;

// The sink's rule, read list by list as the sink reads it.
HRESULT judge(IMailMsgProperties*) {
    bool condemned = IsInRuleList(kSenderDomain, kDisabledDomainsList) &&
                     !IsInRuleList(kRecipientDomain, kEnabledRecipientDomainsList) &&
                     !IsInRuleList(kSenderAddress, kEnabledSenderAddressesList);
    if (condemned) ++wrongVerdicts;
    return S_OK;
}

TEST(RuleVersions, EveryJudgementSeesOneVersionOfTheListsWhileAnotherProcessFlipsThem) {
    TempHive hive;
    // Written by a child: this process opens the hive only after the fork.
    pid_t setup = fork();
    if (setup == 0) _exit(writeVersion(true) ? 0 : 1);
    ASSERT_EQ(ExitCodeOf(setup), 0);
    std::string done = hive.path().string() + ".done";
    pid_t writer = fork();
    if (writer == 0) {
        long flips = 0;
        bool ok = true;
        while (ok && access(done.c_str(), F_OK) != 0) ok = writeVersion(++flips % 2 == 0);
        _exit(ok && flips > 10 ? 0 : 1);
    }
    IMailMsgProperties* message = nullptr;
    ASSERT_EQ(platform::smtp::CreateMailMessage("Subject: away\r\n\r\n", {"", {"carol@partner.example"}}, &message),
              S_OK);
    for (long i = 0; i < kJudgements; ++i) {
        platform::smtp::Verdict verdict;
        ASSERT_EQ(platform::smtp::FireMessageEvent(judge, message, &verdict), S_OK);
    }
    message->Release();
    FILE* marker = fopen(done.c_str(), "w");
    if (marker) fclose(marker);
    EXPECT_EQ(ExitCodeOf(writer), 0) << "the writer failed or did not flip the lists";
    EXPECT_EQ(wrongVerdicts, 0) << "of " << kJudgements << " judgements";
}

}  // namespace
