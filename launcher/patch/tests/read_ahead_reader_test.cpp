#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "md5_ctx.h"
#include "read_ahead_reader.h"
#include "scratch_dir.h"

namespace {

using quenlor::FileBlock;
using quenlor::ReadAheadReader;

std::string Pattern(size_t n, int seed)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i * 13 + seed * 7 + i / 97);
    return s;
}

// One file as the reader gave it out: its bytes and how it ended.
struct ReadBack {
    std::string bytes;
    FileBlock::Kind end;
};

ReadBack NextFile(ReadAheadReader& reader)
{
    ReadBack file{"", FileBlock::Failed};
    for (;;) {
        FileBlock block = reader.Next();
        file.bytes.append(reinterpret_cast<const char*>(block.bytes), block.size);
        if (block.kind != FileBlock::Data) {
            file.end = block.kind;
            return file;
        }
    }
}

TEST(ReadAheadReader, GivesEveryFileWholeInOrderAcrossBlockAndRingEdges)
{
    ScratchDir dir("read_ahead_order");
    // Blocks of 16 bytes in a ring of 3: files end on, before and after block edges, and the
    // ring wraps many times.
    const size_t sizes[] = {0, 1, 15, 16, 17, 32, 48, 49, 500, 3, 0, 1000};
    std::vector<std::string> paths;
    std::vector<std::string> expected;
    for (size_t i = 0; i < sizeof(sizes) / sizeof(sizes[0]); ++i) {
        std::string name = "f" + std::to_string(i) + ".bin";
        expected.push_back(Pattern(sizes[i], static_cast<int>(i)));
        dir.Write(name, expected.back());
        paths.push_back((dir.Path() / name).string());
    }
    // Files that cannot be read sit between readable ones and end as failed, bytes-less.
    paths.insert(paths.begin() + 3, (dir.Path() / "missing.bin").string());
    expected.insert(expected.begin() + 3, std::string());
    paths.insert(paths.begin() + 6, dir.Path().string());  // a folder
    expected.insert(expected.begin() + 6, std::string());
    paths.insert(paths.begin() + 8, std::string());
    expected.insert(expected.begin() + 8, std::string());

    ReadAheadReader reader(paths, nullptr, 16, 3);
    for (size_t i = 0; i < paths.size(); ++i) {
        ReadBack file = NextFile(reader);
        const bool unreadable = i == 3 || i == 6 || i == 8;
        EXPECT_EQ(file.end, unreadable ? FileBlock::Failed : FileBlock::Last) << i;
        EXPECT_EQ(file.bytes, expected[i]) << i;
    }
    // Past the list: nothing more, however often asked.
    for (int i = 0; i < 3; ++i) {
        FileBlock block = reader.Next();
        EXPECT_EQ(block.kind, FileBlock::Failed);
        EXPECT_EQ(block.size, 0u);
    }
}

TEST(ReadAheadReader, StopEndsThePassAfterWhatWasAlreadyRead)
{
    ScratchDir dir("read_ahead_stop");
    std::vector<std::string> paths;
    for (int i = 0; i < 50; ++i) {
        std::string name = "f" + std::to_string(i) + ".bin";
        dir.Write(name, Pattern(100, i));
        paths.push_back((dir.Path() / name).string());
    }
    volatile int32_t stop = 0;
    const uint32_t slots = 4;
    ReadAheadReader reader(paths, &stop, 64, slots);
    ReadBack first = NextFile(reader);
    EXPECT_EQ(first.end, FileBlock::Last);
    stop = 1;
    // At most the ring's blocks and the one being read when the flag rose come out; then the
    // reader gives nothing more.
    int given = 0;
    while (reader.Next().kind != FileBlock::Failed) ++given;
    EXPECT_LE(given, static_cast<int>(slots) + 1);
    EXPECT_EQ(reader.Next().kind, FileBlock::Failed);
}

TEST(ReadAheadReader, CallerLeavingEarlyEndsTheReaderWithTheRingFull)
{
    ScratchDir dir("read_ahead_leave");
    dir.Write("big.bin", Pattern(100000, 1));
    std::vector<std::string> paths(20, (dir.Path() / "big.bin").string());
    for (int round = 0; round < 20; ++round) {
        ReadAheadReader reader(paths, nullptr, 128, 2);
        if (round % 2) {
            EXPECT_EQ(reader.Next().kind, FileBlock::Data);
        }
        // Destroyed here while the reading thread waits for a free slot: it is joined, not left.
    }
}

TEST(ReadAheadReader, VerificationOfManyFilesAgreesWithFileByFileDigests)
{
    ScratchDir dir("read_ahead_check");
    MD5_CTX md5;
    std::wstring manifest;
    std::vector<std::wstring> changed;
    for (int i = 0; i < 120; ++i) {
        std::string name = "d" + std::to_string(i % 7) + "/f" + std::to_string(i) + ".bin";
        // Sizes around the reader's block: most files take one block, some several.
        size_t size = (i % 10 == 0) ? ReadAheadReader::kBlockBytes * 2 + i : static_cast<size_t>(i) * 331;
        dir.Write(name, Pattern(size, i));
        std::wstring text;
        ASSERT_TRUE(md5.MD5File(text, (dir.Path() / name).string().c_str()));
        std::wstring path = L"\\d" + std::to_wstring(i % 7) + L"\\f" + std::to_wstring(i) + L".bin";
        if (i % 9 == 4) {
            text[0] = text[0] == L'0' ? L'1' : L'0';
            changed.push_back(path);
        }
        manifest += path + L"|" + text + L"\r\n";
    }
    std::wstring wide = dir.Wide();
    wmemcpy(g_szWorkDir, wide.c_str(), wide.size() + 1);
    md5.m_strUpdateInfo = manifest;
    std::vector<std::wstring> wanted;
    md5.CheckFiles(wanted);
    EXPECT_EQ(wanted, changed);
}

}  // namespace
