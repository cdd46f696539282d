// Stated answers where the other tests compare the code with itself: MD5 digests around the
// padding edges and across the carry of the bit count into its high word, and the body receiver
// fed by a source that answers more than it was asked for.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "body_transfer.h"
#include "md5_ctx.h"
#include "scratch_dir.h"

namespace {

const std::string kText = "The quick brown fox jumps over the lazy dog; The quick brown fox jumps over the lazy dog; "
                          "The quick brown fox jumps over the lazy dog; ";

std::wstring Finish(MD5_CTX& md5)
{
    uint8_t digest[16];
    md5.MD5Final(digest);
    return quenlor::DigestText(digest);
}

void Feed(MD5_CTX& md5, const std::string& bytes, size_t step)
{
    for (size_t at = 0; at < bytes.size(); at += step) {
        const size_t n = std::min(step, bytes.size() - at);
        md5.MD5Update(reinterpret_cast<const uint8_t*>(bytes.data() + at), static_cast<uint32_t>(n));
    }
}

TEST(MD5KnownAnswers, MessagesAroundThePaddingEdges)
{
    // 55 bytes leave room for the length in the last block, 56 do not; 64 fill a block exactly.
    const std::pair<size_t, const wchar_t*> kDigests[] = {
        {55, L"48D20C16340F684F981EB18F7B477A92"}, {56, L"F3414263067F7078C082FAC6D0159527"},
        {57, L"5EF8B367CD05BB50044CCE569D8662CF"}, {63, L"46E5D90155CF9BF40A59486859313153"},
        {64, L"8140304427CD4DDBBFBA7995A228E82C"}, {65, L"D64B0C6DAC8C42FECBCE353677EFB18C"},
    };
    MD5_CTX md5;
    for (const auto& known : kDigests)
        for (size_t step : {known.first, size_t(1), size_t(7)}) {
            Feed(md5, kText.substr(0, known.first), step);
            EXPECT_EQ(Finish(md5), known.second) << known.first << " bytes in pieces of " << step;
        }
}

TEST(MD5KnownAnswers, TheBitCountCarriesIntoItsHighWord)
{
    // A context that has taken 512 MiB less one block (2^32 - 512 bits, a whole number of blocks,
    // so nothing is buffered); its chaining words are the start values, which the expected digests
    // below were computed with. The next 128 bytes carry the low word of the bit count over.
    const std::string message = kText.substr(0, 128);
    const struct {
        uint32_t low, high;
        const wchar_t* digest;
    } kCases[] = {
        {0xFFFFFE00u, 0, L"B5A9684B8DE8CED9922A0C0443D04CB2"},  // total 2^32 + 512 bits
        {0xFFFFFE00u, 1, L"C447C41E18EE65631A36FFD7763CC2D7"},  // total 2^33 + 512 bits
    };
    for (const auto& known : kCases)
        for (size_t step : {size_t(128), size_t(1), size_t(63), size_t(64)}) {
            MD5_CTX md5;
            md5.count[0] = known.low;
            md5.count[1] = known.high;
            Feed(md5, message, step);
            EXPECT_EQ(md5.count[0], 0x200u);
            EXPECT_EQ(md5.count[1], known.high + 1);
            EXPECT_EQ(Finish(md5), known.digest) << "high word " << known.high << ", pieces of " << step;
        }
}

// Claims more bytes than it was asked for; the claimed extra never reached the buffer.
class OverstatingBody : public quenlor::BodySource {
public:
    explicit OverstatingBody(std::string body) : body_(std::move(body)) {}
    int32_t Read(void* buffer, uint32_t capacity) override
    {
        if (at_ >= body_.size()) return 0;
        const size_t n = std::min<size_t>(capacity, body_.size() - at_);
        memcpy(buffer, body_.data() + at_, n);
        at_ += n;
        asked.push_back(capacity);
        return static_cast<int32_t>(n + 100);
    }
    std::vector<uint32_t> asked;

private:
    std::string body_;
    size_t at_ = 0;
};

struct LastPiece : quenlor::BodyProgress {
    void OnPiece(uint32_t received, uint32_t missing) override
    {
        EXPECT_EQ(received + missing, 20000u);
        last = {received, missing};
        ++pieces;
    }
    std::pair<uint32_t, uint32_t> last{};
    int pieces = 0;
};

TEST(BodyKnownAnswers, ASourceAnsweringMoreThanAskedStoresExactlyTheAnnouncedLength)
{
    ScratchDir dir("overstating");
    dir.Write("f.bin", "old");
    std::string body(30000, '\0');
    for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i % 251);
    OverstatingBody source(body);
    LastPiece progress;
    volatile int32_t stop = 0;
    MD5_CTX md5;
    md5.MD5Update(reinterpret_cast<const uint8_t*>(body.data()), 20000);
    uint8_t announced[16];
    md5.MD5Final(announced);
    const std::wstring expected = quenlor::DigestText(announced);
    EXPECT_EQ(quenlor::ReceiveFileBody(source, 20000, (dir.Path() / "f.bin").wstring(),
                                       quenlor::BodyDigest{expected, md5}, stop, progress),
              quenlor::BodyOutcome::Replaced);
    EXPECT_EQ(dir.Read("f.bin"), body.substr(0, 20000));
    EXPECT_EQ(source.asked, (std::vector<uint32_t>{8192, 8192, 3616}));
    EXPECT_EQ(progress.pieces, 3);
    EXPECT_EQ(progress.last, std::make_pair(20000u, 0u));
    EXPECT_FALSE(dir.Exists("f.bin.qlpart"));
}

}  // namespace
