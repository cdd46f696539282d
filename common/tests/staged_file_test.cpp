// The staged file's failure paths: whatever goes wrong, the target keeps its old content and no
// temporary file stays behind, and the same object can start over with a fresh Open.
#include <gtest/gtest.h>

#include <string>

#if !defined(_WIN32)
#include <signal.h>
#include <sys/resource.h>
#endif

#include "scratch_folder.h"
#include "staged_file.h"

namespace {

using quenlor::StagedFile;

TEST(StagedFileFailures, ACommitThatCannotRenameKeepsTheTargetAndLeavesNoTemporary)
{
    ScratchFolder folder("no_rename");
    // A folder in the target's place cannot be replaced by a file.
    std::filesystem::create_directory(std::filesystem::path(folder.Wide("busy")));
    folder.Write("busy/inside.txt", "kept");
    StagedFile staged(folder.Wide("busy"));
    ASSERT_TRUE(staged.Open());
    ASSERT_TRUE(staged.Write("new content", 11));
    EXPECT_TRUE(folder.Exists("busy.qlpart"));
    EXPECT_FALSE(staged.Commit());
    EXPECT_FALSE(folder.Exists("busy.qlpart"));
    EXPECT_EQ(folder.Read("busy/inside.txt"), "kept");
    EXPECT_EQ(folder.EntryCount(), 1u);
    EXPECT_FALSE(staged.IsOpen());
    EXPECT_FALSE(staged.Write("x", 1));  // nothing open after the failed commit
}

TEST(StagedFileFailures, AMissingFolderRefusesOpenWriteAndCommit)
{
    ScratchFolder folder("missing");
    StagedFile staged(folder.Wide("absent/target.bin"));
    EXPECT_FALSE(staged.Open());
    EXPECT_FALSE(staged.IsOpen());
    EXPECT_FALSE(staged.Write("abc", 3));
    EXPECT_FALSE(staged.Commit());
    EXPECT_EQ(folder.EntryCount(), 0u);
}

TEST(StagedFileFailures, AFreshOpenStartsTheContentOverAndCommitsOnlyTheNewBytes)
{
    ScratchFolder folder("reopen");
    folder.Write("t.bin", "old");
    StagedFile staged(folder.Wide("t.bin"));
    ASSERT_TRUE(staged.Open());
    ASSERT_TRUE(staged.Write("a long first attempt", 20));
    ASSERT_TRUE(staged.Open());
    ASSERT_TRUE(staged.Write("new", 3));
    ASSERT_TRUE(staged.Commit());
    EXPECT_EQ(folder.Read("t.bin"), "new");
    EXPECT_FALSE(folder.Exists("t.bin.qlpart"));
    EXPECT_EQ(folder.EntryCount(), 1u);
}

TEST(StagedFileFailures, ALeftoverTemporaryIsRemovedAndTheTargetKept)
{
    ScratchFolder folder("leftover");
    folder.Write("t.bin", "old");
    folder.Write("t.bin.qlpart", "half");
    StagedFile::RemoveLeftover(folder.Wide("t.bin"));
    EXPECT_FALSE(folder.Exists("t.bin.qlpart"));
    EXPECT_EQ(folder.Read("t.bin"), "old");
    StagedFile::RemoveLeftover(folder.Wide("t.bin"));  // nothing left: no harm
    EXPECT_EQ(folder.Read("t.bin"), "old");
}

#if !defined(_WIN32)
// A file size limit makes the system refuse the bytes beyond it, as a full disk does.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &old_);
        old_handler_ = signal(SIGXFSZ, SIG_IGN);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { Lift(); }
    void Lift()
    {
        if (lifted_) return;
        setrlimit(RLIMIT_FSIZE, &old_);
        signal(SIGXFSZ, old_handler_);
        lifted_ = true;
    }

private:
    rlimit old_{};
    void (*old_handler_)(int) = nullptr;
    bool lifted_ = false;
};

TEST(StagedFileFailures, AFailedWriteSpoilsTheAttemptUntilAFreshOpen)
{
    ScratchFolder folder("short_write");
    folder.Write("t.bin", "old");
    const std::string big(256 * 1024, 'x');
    StagedFile staged(folder.Wide("t.bin"));
    {
        FileSizeLimit limit(4096);
        ASSERT_TRUE(staged.Open());
        EXPECT_FALSE(staged.Write(big.data(), big.size()));
        // Later bytes that would fit are refused too: the file already lacks some.
        EXPECT_FALSE(staged.Write("y", 1));
        EXPECT_FALSE(staged.Commit());
        EXPECT_FALSE(folder.Exists("t.bin.qlpart"));
        EXPECT_EQ(folder.Read("t.bin"), "old");
    }
    ASSERT_TRUE(staged.Open());
    ASSERT_TRUE(staged.Write(big.data(), big.size()));
    ASSERT_TRUE(staged.Commit());
    EXPECT_EQ(folder.Read("t.bin"), big);
    EXPECT_EQ(folder.EntryCount(), 1u);
}
#endif

}  // namespace
