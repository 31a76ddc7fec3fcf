// The message component's loading from a stream: what it reads, and when it fails.
#include <gtest/gtest.h>

#include "memory_stream.h"
#include "message.h"
#include "oleauto.h"

namespace {

using platform::cdo::Message;

class CdoLoad : public ::testing::Test {
protected:
    CdoLoad() { message_->AddRef(); }
    ~CdoLoad() override {
        SysFreeString(name_);
        message_->Release();
    }
    HRESULT open(MemoryStream& stream) {
        IDataSource* source = nullptr;
        HRESULT hr = static_cast<IMessage*>(message_)->get_DataSource(&source);
        if (FAILED(hr)) return hr;
        hr = source->OpenObject(&stream, name_);
        source->Release();
        return hr;
    }

    Message* message_ = new Message;
    BSTR name_ = SysAllocString(u"IStream");
};

TEST_F(CdoLoad, SplitsHeaderAndBodyAtTheFirstLineThatIsNotAField) {
    const char binary[] = "X-Bin: \x01\xff\x00\x80\r\n\r\n\x00\x00\xfe";
    const struct {
        std::string content, header, body;
    } cases[] = {
        {"From: a@example.com\r\nSubject: hi\r\n folded\r\n\r\nBody line\r\n",
         "From: a@example.com\r\nSubject: hi\r\n folded\r\n", "Body line\r\n"},
        {"Subject: x\n\nbody", "Subject: x\n", "body"},
        {"Subject: no body, no line end", "Subject: no body, no line end", ""},
        {"Subject: x\r\nthis is text\r\nFrom: b@example.com\r\n", "Subject: x\r\n",
         "this is text\r\nFrom: b@example.com\r\n"},
        {std::string(binary, sizeof binary - 1), std::string(binary, 13), std::string("\x00\x00\xfe", 3)},
        // Saved mailboxes: the mbox separator line is not part of the message.
        {"From ann@example.com Mon Sep 20 19:29:27 2021\nSubject: x\n\nbody", "Subject: x\n", "body"},
        {"From : old syntax\r\n\r\nbody", "From : old syntax\r\n", "body"},
        // Classic Mac OS files end lines with a bare CR.
        {"Subject: x\r folded\rTo: b@example.com\r\rbody\r", "Subject: x\r folded\rTo: b@example.com\r", "body\r"},
        // With LF line ends, a stray CR inside a field never ends it.
        {"Subject: a\rTo: x\r\n\r\nbody", "Subject: a\rTo: x\r\n", "body"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.content);
        MemoryStream stream(c.content);
        ASSERT_EQ(open(stream), S_OK);
        EXPECT_EQ(message_->Header(), c.header);
        EXPECT_EQ(message_->Body(), c.body);
        EXPECT_EQ(stream.references, 1) << "the stream is released once the load is done";
    }
}

// Content without a header section fails; a stream's own error comes back as it is.
TEST_F(CdoLoad, FailsWithoutAHeaderSectionOrWithTheStreamsError) {
    const struct {
        std::string content;
        HRESULT MemoryStream::*status = nullptr;
        HRESULT value = S_OK;  // S_OK: any failure
    } cases[] = {
        {""},
        {"\r\n\r\nSubject: late"},
        {"just text\r\n"},
        {" Subject: folded first\r\n"},
        {": no name\r\n"},
        {"From a@example.com Mon Jan 1\r\n\r\nSubject: x\r\n"},
        {std::string("\0Subject: x\r\n", 13)},
        {"Subject: x\r\n\r\n", &MemoryStream::statStatus, STG_E_INVALIDPOINTER},
        {"Subject: x\r\n\r\n", &MemoryStream::seekStatus, STG_E_WRITEFAULT},
        {"Subject: x\r\n\r\n", &MemoryStream::readStatus, E_UNEXPECTED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.content) + " " + std::to_string(c.value));
        MemoryStream stream(c.content);
        if (c.status) stream.*c.status = c.value;
        HRESULT hr = open(stream);
        EXPECT_TRUE(FAILED(hr));
        if (c.value != S_OK) {
            EXPECT_EQ(hr, c.value);
        }
        EXPECT_FALSE(message_->Loaded());
        EXPECT_EQ(stream.references, 1);
    }
}

// Reads until the stream is exhausted whatever Stat reports, and sizes its buffer
// by the bytes that come, not by the claim.
TEST_F(CdoLoad, ReadsTheWholeStreamWhateverStatReports) {
    const struct {
        const char* name;
        ULONGLONG statSize;  // ~0: the true size
        ULONG readChunk;
        int reads;  // 0: any number
        size_t bodyBytes;
    } cases[] = {
        {"exact", ~0ull, ~0u, 2, 10000},    // one read for the content, one that finds the end
        {"understated", 0, ~0u, 0, 10000},  // Seek to 0 is still allowed
        {"trickle", ~0ull, 7, 0, 10000},
        {"overstated", 3ull << 30, ~0u, 0, 10000},
        {"fifty megabytes", ~0ull, ~0u, 2, 50u << 20},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string body(c.bodyBytes, 'b');
        MemoryStream stream("Subject: x\r\n\r\n" + body);
        if (c.statSize != ~0ull) stream.statSize_ = c.statSize;
        stream.readChunk = c.readChunk;
        ASSERT_EQ(open(stream), S_OK);
        EXPECT_EQ(message_->Body().size(), body.size());
        EXPECT_TRUE(message_->Body() == body);
        if (c.reads) {
            EXPECT_EQ(stream.reads, c.reads);
        }
        EXPECT_LE(stream.largestRead, (64u << 20) + 1);
    }
}

TEST_F(CdoLoad, RefusesOtherSourcesAndInterfaceNames) {
    MemoryStream stream("Subject: x\r\n\r\n");
    IDataSource* source = nullptr;
    ASSERT_EQ(static_cast<IMessage*>(message_)->get_DataSource(&source), S_OK);
    BSTR other = SysAllocString(u"IMessage");
    EXPECT_EQ(source->OpenObject(&stream, other), E_INVALIDARG);
    EXPECT_EQ(source->OpenObject(&stream, nullptr), E_INVALIDARG);
    EXPECT_EQ(source->OpenObject(nullptr, name_), E_INVALIDARG);
    SysFreeString(other);
    EXPECT_EQ(source->OpenObject(source, name_), E_NOINTERFACE) << "a source that is no stream";
    source->Release();
}

}  // namespace
