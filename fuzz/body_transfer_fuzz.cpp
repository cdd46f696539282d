// libFuzzer harness for the launcher's HTTP body receiver: an announced length, a source whose
// every answer (bytes, a count larger than asked, an early end, a stop) comes from the input, and
// a manifest digest that is the body's own or not. The outcome must match what the source
// delivered, and the file must hold exactly the announced bytes when, and only when, it was
// replaced, which a wrong digest never allows.
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "body_transfer.h"
#include "md5_ctx.h"
#include "fuzz_input.h"

namespace {

class ScriptedBody : public quenlor::BodySource {
public:
    ScriptedBody(FuzzInput& in, volatile int32_t& stop) : in_(in), stop_(stop) {}
    int32_t Read(void* buffer, uint32_t capacity) override
    {
        CHECK(capacity > 0 && capacity <= quenlor::kBodyReadPiece);
        const uint8_t how = in_.Byte();
        if (how == 0xFF) return 0;             // the connection ends
        if (how == 0xFE) return -1;            // a failed read
        if (how == 0xFD) stop_ = 1;            // the player closes the launcher
        // An overstating answer fills what was asked and claims more on top.
        const uint32_t n = how >= 0xF0 ? capacity : in_.Below(capacity) + 1;
        uint8_t* out = static_cast<uint8_t*>(buffer);
        for (uint32_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(delivered.size() + i);
        delivered.append(reinterpret_cast<char*>(out), n);
        return static_cast<int32_t>(how >= 0xF0 ? n + in_.Below(100000) : n);
    }
    std::string delivered;

private:
    FuzzInput& in_;
    volatile int32_t& stop_;
};

struct Progress : quenlor::BodyProgress {
    explicit Progress(uint32_t length) : length(length) {}
    void OnPiece(uint32_t received, uint32_t missing) override
    {
        CHECK(received + missing == length && received > last && received <= length);
        last = received;
    }
    uint32_t length, last = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = "/tmp/body_transfer_fuzz_" + std::to_string(getpid()) + ".bin";
    FuzzInput in(data, size);
    const uint32_t length = in.Below(40000);
    // The source delivers byte i as i mod 256, so the right digest is known before the transfer.
    std::string body(length, '\0');
    for (uint32_t i = 0; i < length; ++i) body[i] = static_cast<char>(i);
    MD5_CTX context;
    context.MD5Init();
    context.MD5Update(reinterpret_cast<const uint8_t*>(body.data()), length);
    uint8_t rightDigest[16];
    context.MD5Final(rightDigest);
    const bool digestIsRight = in.Byte() < 0xC0;
    if (!digestIsRight) rightDigest[in.Below(16)] ^= 0x5A;
    const std::wstring expected = quenlor::DigestText(rightDigest);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << "old";
    volatile int32_t stop = 0;
    ScriptedBody source(in, stop);
    Progress progress(length);
    const quenlor::BodyOutcome outcome = quenlor::ReceiveFileBody(source, length, std::wstring(path.begin(), path.end()),
                                                                     quenlor::BodyDigest{expected, context}, stop, progress);

    std::ifstream file(path, std::ios::binary);
    const std::string now((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    CHECK(access((path + ".qlpart").c_str(), F_OK) != 0);  // no temporary left in any case
    if (outcome == quenlor::BodyOutcome::Replaced) {
        CHECK(digestIsRight && progress.last == length && now == source.delivered.substr(0, length));
    } else {
        CHECK(now == "old");
        if (outcome == quenlor::BodyOutcome::Empty) CHECK(length == 0);
    }
    return 0;
}
