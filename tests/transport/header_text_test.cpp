#include <gtest/gtest.h>

#include "header_text.h"
#include "message_headers.h"

namespace {

using platform::smtp::DecodeHeaderText;

TEST(HeaderText, DecodesEncodedWordsInAnyCharset) {
    const struct {
        const char* encoded;
        const char* decoded;
    } cases[] = {
        {"=?iso-8859-1?Q?R=E9ponse_automatique_:?= x", "Réponse automatique : x"},
        {"=?UTF-8?B?UmVzcHVlc3RhIGF1dG9tw6F0aWNhOg==?=", "Respuesta automática:"},
        {"=?koi8-r?B?4dfUz8/U18XU?=", "Автоответ"},
        {"=?iso-2022-jp?B?GyRCPCtGMDF+RXobKEI=?=", "自動応答"},
        {"=?ks_c_5601-1987?B?wNq1vyDIuL3F?=", "자동 회신"},
        // White space between encoded words goes; beside plain text it stays.
        {"=?utf-8?Q?a?= =?utf-8?Q?b?= c =?utf-8?Q?d?=", "ab c d"},
        {"=?utf-8*de?Q?Gr=C3=BC=C3=9Fe?=", "Grüße"},
        // What cannot be decoded is kept as written.
        {"=?x-unknown?Q?abc?=", "=?x-unknown?Q?abc?="},
        {"=?utf-8?Q?bad=G1?= ok", "=?utf-8?Q?bad=G1?= ok"},
        {"=?utf-8?X?abc?=", "=?utf-8?X?abc?="},
        {"=?utf-8?B?w6?=", "=?utf-8?B?w6?="},
        {"=?utf-8?Q?unterminated", "=?utf-8?Q?unterminated"},
        {"plain text", "plain text"},
    };
    for (const auto& c : cases) EXPECT_EQ(DecodeHeaderText(c.encoded), c.decoded) << c.encoded;
}

TEST(HeaderText, ReadsFoldedFieldsInPlace) {
    platform::smtp::HeaderFieldReader reader("Subject: a\r\n b\r\nTo : x\r\n\r\nBody: no\r\n");
    platform::smtp::HeaderField field;
    ASSERT_TRUE(reader.Next(field));
    EXPECT_EQ(field.name, "Subject");
    EXPECT_EQ(platform::smtp::Unfold(field.value), "a b");
    ASSERT_TRUE(reader.Next(field));
    EXPECT_EQ(field.name, "To");
    EXPECT_FALSE(reader.Next(field));
}

}  // namespace
