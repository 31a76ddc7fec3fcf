#include "message_content_stream.h"

#include <string>

#include <gtest/gtest.h>

#include "fake_mail_message.h"

namespace {

LARGE_INTEGER Move(LONGLONG bytes) { return {.QuadPart = bytes}; }
ULARGE_INTEGER Size(ULONGLONG bytes) { return {.QuadPart = bytes}; }

// A stream over a message, with the creator's reference taken and given back:
// the last release, and it lets go of the message exactly once.
class StreamOver {
public:
    explicit StreamOver(FakeMailMessage* message) : message_(message), stream_(new MessageContentStream(message)) {
        stream_->AddRef();
    }
    ~StreamOver() {
        EXPECT_EQ(stream_->Release(), 0u);
        if (message_) {
            EXPECT_EQ(message_->references, 1);
        }
    }
    MessageContentStream* operator->() const { return stream_; }
    MessageContentStream* get() const { return stream_; }

    ULONGLONG Position() const {
        ULARGE_INTEGER position{};
        EXPECT_EQ(stream_->Seek(Move(0), STREAM_SEEK_CUR, &position), S_OK);
        return position.QuadPart;
    }
    ULONGLONG RecordedSize() const { return Stat().cbSize.QuadPart; }
    STATSTG Stat() const {
        STATSTG stat{};
        EXPECT_EQ(stream_->Stat(&stat, STATFLAG_DEFAULT), S_OK);
        return stat;
    }

private:
    FakeMailMessage* message_;
    MessageContentStream* stream_;
};

bool IsZero(const FILETIME& time) { return time.dwLowDateTime == 0 && time.dwHighDateTime == 0; }

// A stream over a message holding ten digits.
class ContentStream : public ::testing::Test {
protected:
    FakeMailMessage message{"0123456789"};
    StreamOver stream{&message};
};

TEST(MessageContentStream, WithoutMessageIsInvalidAndRefusesEverythingButStat) {
    StreamOver stream(nullptr);
    EXPECT_FALSE(stream->IsValid());
    char buffer[4];
    ULONG count = 0;
    ULARGE_INTEGER read{}, written{};
    EXPECT_EQ(stream->Read(buffer, 4, &count), E_UNEXPECTED);
    EXPECT_EQ(stream->Write(buffer, 4, &count), E_UNEXPECTED);
    EXPECT_EQ(stream->Seek(Move(0), STREAM_SEEK_SET, nullptr), E_UNEXPECTED);
    EXPECT_EQ(stream->SetSize(Size(1)), E_UNEXPECTED);
    EXPECT_EQ(stream->CopyTo(stream.get(), Size(1), &read, &written), E_UNEXPECTED);
    EXPECT_EQ(stream->Commit(0), E_UNEXPECTED);

    STATSTG stat;
    std::memset(&stat, 0xAB, sizeof stat);
    EXPECT_EQ(stream->Stat(&stat, STATFLAG_DEFAULT), S_OK);
    STATSTG zero{};
    EXPECT_EQ(std::memcmp(&stat, &zero, sizeof stat), 0);
}

TEST_F(ContentStream, ReadsTheWholeContentInPiecesAndStampsAccess) {
    ASSERT_TRUE(stream->IsValid());
    EXPECT_TRUE(IsZero(stream.Stat().atime));
    EXPECT_FALSE(IsZero(stream.Stat().ctime));
    EXPECT_EQ(stream.RecordedSize(), 10u);
    std::string text;
    char chunk[7];
    for (ULONG count = 0; stream->Read(chunk, sizeof chunk, &count) == S_OK && count > 0;) text.append(chunk, count);
    EXPECT_EQ(text, message.content);
    EXPECT_EQ(stream.Position(), 10u);
    EXPECT_FALSE(IsZero(stream.Stat().atime));
    // Not a storage-backed stream: no name, type 0.
    EXPECT_EQ(stream.Stat().pwcsName, nullptr);
    EXPECT_EQ(stream.Stat().type, 0u);
}

// A size not vouched for with S_OK reads as empty; a read at the end or of nothing
// does not ask the message.
TEST(MessageContentStream, ReadsNothingWithoutAskingTheMessage) {
    const struct {
        const char* name;
        HRESULT sizeResult;
        ULONG wanted;
        bool atEnd;
    } cases[] = {
        {"size S_FALSE", S_FALSE, 16, false},
        {"size E_FAIL", E_FAIL, 16, false},
        {"nothing wanted", S_OK, 0, false},
        {"at the end", S_OK, 16, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeMailMessage message("From: a@b\r\n\r\n");
        message.contentSizeResult = c.sizeResult;
        StreamOver stream(&message);
        EXPECT_TRUE(stream->IsValid());
        EXPECT_EQ(stream.RecordedSize(), c.sizeResult == S_OK ? message.content.size() : 0u);
        if (c.atEnd) {
            ASSERT_EQ(stream->Seek(Move(0), STREAM_SEEK_END, nullptr), S_OK);
        }
        char buffer[16];
        ULONG count = 99;
        EXPECT_EQ(stream->Read(buffer, c.wanted, &count), S_OK);
        EXPECT_EQ(count, 0u);
        EXPECT_EQ(message.readContentCalls, 0);
        EXPECT_EQ(stream->Read(buffer, sizeof buffer, nullptr), STG_E_INVALIDPOINTER);
    }
}

TEST_F(ContentStream, FailedReadKeepsPositionAndAccessTime) {
    message.readContentResult = HRESULT(0x80070026);  // end of file
    char buffer[4];
    ULONG count = 0;
    EXPECT_EQ(stream->Read(buffer, sizeof buffer, &count), HRESULT(0x80070026));
    EXPECT_EQ(stream.Position(), 0u);
    EXPECT_TRUE(IsZero(stream.Stat().atime));

    // A success code other than S_OK comes back unchanged and still counts.
    message.readContentResult = S_FALSE;
    EXPECT_EQ(stream->Read(buffer, sizeof buffer, &count), S_FALSE);
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(stream.Position(), 4u);
}

TEST_F(ContentStream, WritePastTheEndRaisesTheSizeAndInsideNeverLowersIt) {
    ASSERT_EQ(stream->Seek(Move(0), STREAM_SEEK_END, nullptr), S_OK);
    ULONG written = 0;
    EXPECT_EQ(stream->Write("abc", 3, &written), S_OK);
    EXPECT_EQ(written, 3u);
    EXPECT_EQ(stream.RecordedSize(), 13u);
    EXPECT_FALSE(IsZero(stream.Stat().mtime));

    ASSERT_EQ(stream->Seek(Move(1), STREAM_SEEK_SET, nullptr), S_OK);
    EXPECT_EQ(stream->Write("x", 1, nullptr), S_OK);  // no count wanted: fine
    EXPECT_EQ(stream.RecordedSize(), 13u);
    EXPECT_EQ(stream.Position(), 2u);
    EXPECT_EQ(message.content, "0x23456789abc");

    message.writeContentResult = E_ACCESSDENIED;
    written = 7;
    EXPECT_EQ(stream->Write("y", 1, &written), E_ACCESSDENIED);
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(stream.Position(), 2u);
}

TEST_F(ContentStream, SeekStaysWithinTheRecordedSize) {
    ULARGE_INTEGER position{};
    EXPECT_EQ(stream->Seek(Move(0), STREAM_SEEK_END, &position), S_OK);
    EXPECT_EQ(position.QuadPart, 10u);
    ASSERT_EQ(stream->Seek(Move(4), STREAM_SEEK_SET, nullptr), S_OK);

    position.QuadPart = 12345;
    EXPECT_EQ(stream->Seek(Move(1), STREAM_SEEK_END, &position), STG_E_WRITEFAULT);
    EXPECT_EQ(stream->Seek(Move(-1), STREAM_SEEK_CUR, &position), STG_E_WRITEFAULT);
    EXPECT_EQ(stream->Seek(Move(11), STREAM_SEEK_SET, &position), STG_E_WRITEFAULT);
    EXPECT_EQ(stream->Seek(Move(0x100000000LL), STREAM_SEEK_SET, &position), STG_E_WRITEFAULT);
    EXPECT_EQ(stream->Seek(Move(7), STREAM_SEEK_CUR, &position), STG_E_WRITEFAULT);
    EXPECT_EQ(position.QuadPart, 12345u) << "a refused move reports nothing";
    EXPECT_EQ(stream.Position(), 4u);

    EXPECT_EQ(stream->Seek(Move(6), STREAM_SEEK_CUR, &position), S_OK);
    EXPECT_EQ(position.QuadPart, 10u);
    // An unknown origin is not an error and does not move.
    EXPECT_EQ(stream->Seek(Move(3), 3, &position), S_OK);
    EXPECT_EQ(position.QuadPart, 10u);
}

TEST_F(ContentStream, SetSizeFollowsTheMessageAndPullsThePositionBack) {
    ASSERT_EQ(stream->Seek(Move(8), STREAM_SEEK_SET, nullptr), S_OK);
    message.setContentSizeResult = E_FAIL;
    EXPECT_EQ(stream->SetSize(Size(3)), E_FAIL);
    EXPECT_EQ(stream.RecordedSize(), 10u);
    EXPECT_EQ(stream.Position(), 8u);

    message.setContentSizeResult = S_OK;
    EXPECT_EQ(stream->SetSize(Size(3)), S_OK);
    EXPECT_EQ(stream.RecordedSize(), 3u);
    EXPECT_EQ(stream.Position(), 3u);
    EXPECT_EQ(message.content, "012");
}

// From where the stream stands, without moving it; one read, short or not; the
// target's failure passed on, a failed read reporting nothing.
TEST_F(ContentStream, CopyToCopiesWhatOneReadGivesWithoutMoving) {
    FakeMailMessage target;
    StreamOver to(&target);
    ASSERT_EQ(stream->Seek(Move(6), STREAM_SEEK_SET, nullptr), S_OK);
    ULARGE_INTEGER read{}, written{};
    EXPECT_EQ(stream->CopyTo(to.get(), Size(100), &read, &written), S_OK);
    EXPECT_EQ(read.QuadPart, 4u);
    EXPECT_EQ(written.QuadPart, 4u);
    EXPECT_EQ(target.content, "6789");
    EXPECT_EQ(stream.Position(), 6u);
    EXPECT_EQ(stream->CopyTo(to.get(), Size(2), &read, &written), S_OK);
    EXPECT_EQ(target.content, "678967") << "same position, same bytes again";

    message.readLimit = 3;
    EXPECT_EQ(stream->CopyTo(to.get(), Size(4), &read, &written), S_OK);
    EXPECT_EQ(read.QuadPart, 3u);
    EXPECT_EQ(target.content, "678967678");
    target.writeContentResult = E_ACCESSDENIED;
    EXPECT_EQ(stream->CopyTo(to.get(), Size(4), &read, &written), E_ACCESSDENIED);
    message.readContentResult = E_FAIL;
    read.QuadPart = 77;
    EXPECT_EQ(stream->CopyTo(to.get(), Size(4), &read, &written), E_FAIL);
    EXPECT_EQ(read.QuadPart, 77u) << "a failed read reports nothing";

    ASSERT_EQ(stream->Seek(Move(0), STREAM_SEEK_END, nullptr), S_OK);
    read.QuadPart = written.QuadPart = 99;
    int callsBefore = message.readContentCalls;
    EXPECT_EQ(stream->CopyTo(to.get(), Size(5), &read, &written), S_OK);
    EXPECT_EQ(read.QuadPart, 0u);
    EXPECT_EQ(written.QuadPart, 0u);
    EXPECT_EQ(message.readContentCalls, callsBefore);
    EXPECT_EQ(stream->CopyTo(nullptr, Size(5), &read, &written), STG_E_INVALIDPOINTER);
}

TEST_F(ContentStream, AnswersOnlyForUnknownAndStreamAndCommitsThroughTheMessage) {
    void* out = &message;
    EXPECT_EQ(stream->QueryInterface(IID_ISequentialStream, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(stream->QueryInterface(IID_IMailMsgProperties, &out), E_NOINTERFACE);
    ASSERT_EQ(stream->QueryInterface(IID_IStream, &out), S_OK);
    EXPECT_EQ(out, static_cast<IStream*>(stream.get()));
    static_cast<IStream*>(out)->Release();
    ASSERT_EQ(stream->QueryInterface(IID_IUnknown, &out), S_OK);
    static_cast<IUnknown*>(out)->Release();
    message.commitResult = S_FALSE;
    EXPECT_EQ(stream->Commit(0), S_FALSE);
}

}  // namespace
