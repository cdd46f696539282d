#include <gtest/gtest.h>

#include <string.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "body_transfer.h"
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
        return static_cast<int32_t>(n);
    }
    int reads = 0;
    uint32_t max_capacity = 0;
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

TEST(BodyTransfer, CompleteBodyReplacesTheFileWithProgressPerPiece)
{
    ScratchDir dir("body_complete");
    dir.Write("f.bin", "old content");
    const std::string body = Pattern(20000);
    FakeBody source(body, 100000);
    Recorder progress;
    volatile int32_t stop = 0;
    EXPECT_EQ(quenlor::ReceiveFileBody(source, 20000, Target(dir, "f.bin"), stop, progress), BodyOutcome::Replaced);
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
        EXPECT_EQ(quenlor::ReceiveFileBody(cut, 30000, Target(dir, "f.bin"), stop, progress), BodyOutcome::CutOff);
    }
    EXPECT_EQ(dir.Read("f.bin"), "old");
    EXPECT_FALSE(dir.Exists("f.bin.qlpart"));
    {
        FakeBody stopping(body);
        stopping.stop_flag = &stop;
        stopping.stop_at_read = 2;
        Recorder progress;
        EXPECT_EQ(quenlor::ReceiveFileBody(stopping, 30000, Target(dir, "f.bin"), stop, progress), BodyOutcome::Stopped);
        EXPECT_EQ(stopping.reads, 2);  // the flag is looked at before every read
    }
    EXPECT_EQ(dir.Read("f.bin"), "old");
    EXPECT_FALSE(dir.Exists("f.bin.qlpart"));
    stop = 0;
    {
        FakeBody throwing(body);
        throwing.throw_at_read = 3;
        Recorder progress;
        EXPECT_THROW(quenlor::ReceiveFileBody(throwing, 30000, Target(dir, "new.bin"), stop, progress), std::runtime_error);
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
    EXPECT_EQ(quenlor::ReceiveFileBody(source, 9000, Target(dir, "nofolder/f.bin"), stop, progress),
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
    EXPECT_EQ(quenlor::ReceiveFileBody(source, 0, Target(dir, "f.bin"), stop, progress), BodyOutcome::Empty);
    EXPECT_EQ(source.reads, 0);
    EXPECT_EQ(dir.Read("f.bin"), "old");
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
