#include <gtest/gtest.h>

#include <string.h>
#include <wctype.h>

#include <stdexcept>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <signal.h>
#include <sys/resource.h>
#endif

#include "body_transfer.h"
#include "content_length.h"
#include "md5_ctx.h"
#include "scratch_dir.h"
#include "staged_file.h"

namespace {

using quenlor::BodyOutcome;

// Serves a body in pieces of a given size; can end early, throw, or raise the stop flag.
class FakeBody : public quenlor::BodySource {
public:
    explicit FakeBody(std::string body, uint32_t piece = 5000) : body_(std::move(body)), piece_(piece) {}
    int32_t Read(void* buffer, uint32_t capacity) override
    {
        ++reads;
        max_capacity = std::max(max_capacity, capacity);
        if (throw_at_read && reads == throw_at_read) throw std::runtime_error("connection reset");
        if (stop_at_read && reads == stop_at_read) *stop_flag = 1;
        size_t n = std::min<size_t>({capacity, piece_, body_.size() - at_});
        memcpy(buffer, body_.data() + at_, n);
        at_ += n;
        served += n;
        return static_cast<int32_t>(n) + (n ? claim_extra : 0);
    }
    int reads = 0;
    uint32_t max_capacity = 0;
    size_t served = 0;        // bytes handed out
    int32_t claim_extra = 0;  // reports this many bytes more than it copied
    int throw_at_read = 0;
    int stop_at_read = 0;
    volatile int32_t* stop_flag = nullptr;

private:
    std::string body_;
    uint32_t piece_;
    size_t at_ = 0;
};

struct Recorder : quenlor::BodyProgress {
    void OnPiece(uint32_t received, uint32_t missing) override { pieces.push_back({received, missing}); }
    std::vector<std::pair<uint32_t, uint32_t>> pieces;
};

std::string Pattern(size_t n)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i * 7 + i / 251);
    return s;
}

std::wstring Target(const ScratchDir& dir, const std::string& name)
{
    return (dir.Path() / name).wstring();
}

std::wstring DigestOf(const std::string& bytes)
{
    MD5_CTX md5;
    md5.MD5Update(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<uint32_t>(bytes.size()));
    uint8_t digest[16];
    md5.MD5Final(digest);
    return quenlor::DigestText(digest);
}

// The receiver as the launcher runs it, expecting the given digest text.
BodyOutcome Receive(quenlor::BodySource& source, uint32_t length, const std::wstring& path, const std::wstring& expected,
                    const volatile int32_t& stop, quenlor::BodyProgress& progress)
{
    MD5_CTX md5;
    return quenlor::ReceiveFileBody(source, length, path, quenlor::BodyDigest{expected, md5}, stop, progress);
}

TEST(BodyTransfer, CompleteBodyReplacesTheFileWithProgressPerPiece)
{
    ScratchDir dir("body_complete");
    dir.Write("f.bin", "old content");
    const std::string body = Pattern(20000);
    FakeBody source(body, 100000);
    Recorder progress;
    volatile int32_t stop = 0;
    EXPECT_EQ(Receive(source, 20000, Target(dir, "f.bin"), DigestOf(body), stop, progress), BodyOutcome::Replaced);
    EXPECT_EQ(dir.Read("f.bin"), body);
    EXPECT_EQ(source.max_capacity, quenlor::kBodyReadPiece);
    ASSERT_EQ(progress.pieces.size(), 3u);  // 8192 + 8192 + 3616
    EXPECT_EQ(progress.pieces[0], std::make_pair(8192u, 20000u - 8192u));
    EXPECT_EQ(progress.pieces.back(), std::make_pair(20000u, 0u));
    EXPECT_FALSE(dir.Exists("f.bin.qlpart"));
}

TEST(BodyTransfer, CutOffStopAndThrowLeaveTheOldFileAndNoTemporary)
{
    ScratchDir dir("body_interrupted");
    const std::string body = Pattern(30000);
    volatile int32_t stop = 0;
    {
        dir.Write("f.bin", "old");
        FakeBody cut(body.substr(0, 12000));
        Recorder progress;
        EXPECT_EQ(Receive(cut, 30000, Target(dir, "f.bin"), DigestOf(body), stop, progress), BodyOutcome::CutOff);
    }
    EXPECT_EQ(dir.Read("f.bin"), "old");
    EXPECT_FALSE(dir.Exists("f.bin.qlpart"));
    {
        FakeBody stopping(body);
        stopping.stop_flag = &stop;
        stopping.stop_at_read = 2;
        Recorder progress;
        EXPECT_EQ(Receive(stopping, 30000, Target(dir, "f.bin"), DigestOf(body), stop, progress), BodyOutcome::Stopped);
        EXPECT_EQ(stopping.reads, 2);  // the flag is looked at before every read
    }
    EXPECT_EQ(dir.Read("f.bin"), "old");
    EXPECT_FALSE(dir.Exists("f.bin.qlpart"));
    stop = 0;
    {
        FakeBody throwing(body);
        throwing.throw_at_read = 3;
        Recorder progress;
        EXPECT_THROW(Receive(throwing, 30000, Target(dir, "new.bin"), DigestOf(body), stop, progress), std::runtime_error);
    }
    EXPECT_FALSE(dir.Exists("new.bin"));
    EXPECT_FALSE(dir.Exists("new.bin.qlpart"));
}

TEST(BodyTransfer, MissingFolderReceivesTheBodyThenReportsTheFailure)
{
    ScratchDir dir("body_no_folder");
    const std::string body = Pattern(9000);
    FakeBody source(body);
    Recorder progress;
    volatile int32_t stop = 0;
    EXPECT_EQ(Receive(source, 9000, Target(dir, "nofolder/f.bin"), DigestOf(body), stop, progress),
              BodyOutcome::WriteFailed);
    ASSERT_FALSE(progress.pieces.empty());
    EXPECT_EQ(progress.pieces.back().second, 0u);
    EXPECT_FALSE(dir.Exists("nofolder"));  // folders are never created
}

TEST(BodyTransfer, ZeroLengthLeavesTheFileAlone)
{
    ScratchDir dir("body_empty");
    dir.Write("f.bin", "old");
    FakeBody source("something");
    Recorder progress;
    volatile int32_t stop = 0;
    EXPECT_EQ(Receive(source, 0, Target(dir, "f.bin"), DigestOf(""), stop, progress), BodyOutcome::Empty);
    EXPECT_EQ(source.reads, 0);
    EXPECT_EQ(dir.Read("f.bin"), "old");
}

TEST(BodyTransfer, OnlyTheManifestsBytesAreCommitted)
{
    ScratchDir dir("body_digest");
    const std::string file = Pattern(20000);
    const std::wstring manifest_digest = DigestOf(file);
    volatile int32_t stop = 0;
    Recorder progress;
    dir.Write("f.bin", "old");
    // A portal's page of exactly the file's length arrives whole, yet is not the file.
    std::string page = "<html><body>Please sign in to use this network</body></html>";
    page.resize(file.size(), ' ');
    FakeBody portal(page);
    EXPECT_EQ(Receive(portal, 20000, Target(dir, "f.bin"), manifest_digest, stop, progress), BodyOutcome::DigestMismatch);
    EXPECT_EQ(dir.Read("f.bin"), "old");
    EXPECT_FALSE(dir.Exists("f.bin.qlpart"));
    // An announced length that counts appended bytes: the file's bytes and more are not the file.
    FakeBody padded(file + "<script>ad()</script>");
    EXPECT_EQ(Receive(padded, 20021, Target(dir, "f.bin"), manifest_digest, stop, progress), BodyOutcome::DigestMismatch);
    EXPECT_EQ(dir.Read("f.bin"), "old");
    // Bytes beyond the announced length are never read, however the source counts what it gives.
    FakeBody longer(file + std::string(5000, 'x'), 100000);
    longer.claim_extra = 100;  // more than it was asked for
    EXPECT_EQ(Receive(longer, 20000, Target(dir, "f.bin"), manifest_digest, stop, progress), BodyOutcome::Replaced);
    EXPECT_EQ(longer.served, 20000u);
    EXPECT_TRUE(dir.Read("f.bin") == file);
    // The digest is judged by its value: a manifest written in lower case still lets the file land.
    std::wstring lower = manifest_digest;
    for (wchar_t& ch : lower) ch = static_cast<wchar_t>(towlower(ch));
    dir.Write("f.bin", "old");
    FakeBody right(file);
    EXPECT_EQ(Receive(right, 20000, Target(dir, "f.bin"), lower, stop, progress), BodyOutcome::Replaced);
    EXPECT_TRUE(dir.Read("f.bin") == file);
    // A digest text that names no digest at all can never be met.
    FakeBody again(file);
    EXPECT_EQ(Receive(again, 20000, Target(dir, "g.bin"), manifest_digest + L" ", stop, progress),
              BodyOutcome::DigestMismatch);
    EXPECT_FALSE(dir.Exists("g.bin"));
}

TEST(BodyTransfer, OneContextServesFileAfterFileEvenAfterAStoppedOne)
{
    ScratchDir dir("body_context");
    const std::string first = Pattern(30000), second = Pattern(12345);
    MD5_CTX md5;  // the launcher's single verification context
    const std::wstring first_digest = DigestOf(first), second_digest = DigestOf(second);
    Recorder progress;
    volatile int32_t stop = 0;
    FakeBody stopping(first);
    stopping.stop_flag = &stop;
    stopping.stop_at_read = 3;
    EXPECT_EQ(quenlor::ReceiveFileBody(stopping, 30000, Target(dir, "a.bin"), quenlor::BodyDigest{first_digest, md5}, stop,
                                       progress),
              BodyOutcome::Stopped);
    stop = 0;
    FakeBody b(second, 777);
    EXPECT_EQ(quenlor::ReceiveFileBody(b, 12345, Target(dir, "b.bin"), quenlor::BodyDigest{second_digest, md5}, stop,
                                       progress),
              BodyOutcome::Replaced);
    FakeBody a(first, 1);  // one byte per read: pieces of any size hash alike
    EXPECT_EQ(quenlor::ReceiveFileBody(a, 30000, Target(dir, "a.bin"), quenlor::BodyDigest{first_digest, md5}, stop,
                                       progress),
              BodyOutcome::Replaced);
    EXPECT_TRUE(dir.Read("a.bin") == first);
    EXPECT_TRUE(dir.Read("b.bin") == second);
}

#if !defined(_WIN32)
// A disk that fills up: the process's file size limit makes a write fail part-way, as a full
// disk does (the limit's signal is ignored, so the write reports the failure instead).
TEST(BodyTransfer, FullDiskReleasesTheStagedFileAtTheFirstFailedWrite)
{
    ScratchDir dir("body_full_disk");
    dir.Write("f.bin", "old");
    const std::string body = Pattern(400000);
    FakeBody source(body, 100000);
    Recorder progress;
    volatile int32_t stop = 0;
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    void (*saved_handler)(int) = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 20000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    BodyOutcome outcome = Receive(source, 400000, Target(dir, "f.bin"), DigestOf(body), stop, progress);
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, saved_handler);
    EXPECT_EQ(outcome, BodyOutcome::WriteFailed);
    // Found within a piece or two of the limit (the C library buffers), not at the body's end.
    EXPECT_LE(source.reads, 5);
    EXPECT_FALSE(dir.Exists("f.bin.qlpart"));
    EXPECT_EQ(dir.Read("f.bin"), "old");
}
#endif

TEST(ContentLength, OnlyA32BitDecimalIsALength)
{
    uint32_t length = 7;
    EXPECT_TRUE(quenlor::ParseContentLength(L"0", length));
    EXPECT_EQ(length, 0u);
    EXPECT_TRUE(quenlor::ParseContentLength(L" 1536\t", length));
    EXPECT_EQ(length, 1536u);
    EXPECT_TRUE(quenlor::ParseContentLength(L"4294967295", length));
    EXPECT_EQ(length, 4294967295u);
    EXPECT_TRUE(quenlor::ParseContentLength(L"000000000000000000000012", length));
    EXPECT_EQ(length, 12u);
    length = 7;
    // 4 GiB and above would read back shortened by a 32-bit parse (4 GiB + 5 as 5).
    for (const wchar_t* refused : {L"4294967296", L"4294967301", L"18446744073709551621", L"99999999999999999999999",
                                   L"", L" ", L"-5", L"+5", L"5 5", L"5, 5", L"0x10", L"12a", L"1.5"}) {
        EXPECT_FALSE(quenlor::ParseContentLength(refused, length)) << "accepted: " << refused;
        EXPECT_EQ(length, 7u);
    }
}

TEST(StagedFile, UncommittedWritesNeverReachTheTarget)
{
    ScratchDir dir("staged");
    dir.Write("t.bin", "old");
    {
        quenlor::StagedFile staged(Target(dir, "t.bin"));
        ASSERT_TRUE(staged.Open());
        ASSERT_TRUE(staged.Write("new", 3));
        EXPECT_TRUE(dir.Exists("t.bin.qlpart"));
        EXPECT_EQ(dir.Read("t.bin"), "old");
    }
    EXPECT_FALSE(dir.Exists("t.bin.qlpart"));
    EXPECT_EQ(dir.Read("t.bin"), "old");
    quenlor::StagedFile staged(Target(dir, "t.bin"));
    ASSERT_TRUE(staged.Open());
    ASSERT_TRUE(staged.Write("new", 3));
    ASSERT_TRUE(staged.Commit());
    EXPECT_EQ(dir.Read("t.bin"), "new");
    EXPECT_FALSE(staged.Commit());  // nothing open any more
    EXPECT_EQ(dir.Read("t.bin"), "new");
}

}  // namespace
