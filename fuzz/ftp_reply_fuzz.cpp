// libFuzzer harness for the FTP layer's reply reader: a server's control-channel bytes, handed
// over in pieces of a size from the input, read as replies until the stream ends or is refused.
// Single-line and multi-line replies, the line and reply limits, CR LF and bare LF.
#include <stdint.h>

#include <string>

#include "fuzz_input.h"
#include "socket_channel.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    ScriptedPeer& peer = TheScriptedPeer();
    peer.piece = 1 + in.Below(2048);
    const uint32_t repeat = in.Below(40);  // makes long lines and replies cheap to reach
    std::string bytes = in.Bytes(size);
    std::string script;
    for (uint32_t i = 0; i <= repeat; ++i) script += bytes;
    peer.bytes = script;
    peer.at = 0;

    asyncftp::ControlChannel channel;
    channel.socket().reset(5);
    asyncftp::Reply reply;
    for (int n = 0; n < 10000; ++n) {
        const asyncftp::IoResult r = channel.readReply(reply, 1000);
        if (r != asyncftp::IoResult::Ok) break;
        if (reply.code < 1 || reply.code > 999) __builtin_trap();
        if (reply.text.size() > asyncftp::kMaxReplyBytes + asyncftp::kMaxReplyLineBytes + 1024) __builtin_trap();
    }
    return 0;
}
