// libFuzzer harness for a whole FTP session against a scripted peer: log-in (greeting, USER,
// PASS, FEAT, TYPE), PWD, CWD, a listing, and a download resumed at an offset, read to its end.
// The peer sends the fuzzer's bytes as its control replies (in pieces of a size from the input)
// and as the contents of each data connection; it never reads the client's commands. Requests
// run on the harness's thread, one after another, as the connection's own thread runs them; the
// connection is passive (the peer accepts no data connection from the client).
#include <stdint.h>
#include <string.h>

#include <memory>
#include <string>

#include "fuzz_input.h"
#include "ftp_connection.h"

namespace {

using asyncftp::FtpConnection;
using asyncftp::Outcome;

// The listing's names end within their field; an entry never names "." or "..".
void CheckEntry(const WIN32_FIND_DATAA& entry)
{
    const void* end = memchr(entry.cFileName, 0, sizeof entry.cFileName);
    CHECK(end != nullptr && entry.cFileName[0] != '\0');
    CHECK(strcmp(entry.cFileName, ".") != 0 && strcmp(entry.cFileName, "..") != 0);
}

void Forget(const std::shared_ptr<asyncftp::HandleObject>& handle)
{
    if (handle->value) asyncftp::UnregisterHandle(handle->value);
}

struct Choices {
    uint32_t restart;        // REST offset of the download, 0 for none
    DWORD directorySize;     // the caller's buffer for PWD
    DWORD readSize;          // the caller's buffer for each read
};

void RunSession(const Choices& choices)
{
    ScriptedPeer& peer = TheScriptedPeer();
    const uint32_t restart = choices.restart;
    const DWORD directorySize = choices.directorySize;
    const DWORD readSize = choices.readSize;

    auto handle = std::make_shared<asyncftp::ConnectionHandle>();
    auto connection = std::make_shared<FtpConnection>(handle, "peer", 21, "user", "secret", true, 20000);
    if (connection->login().error != 0) return;

    std::string directory(directorySize, '\x7F');
    DWORD length = directorySize;
    const Outcome pwd = connection->getDirectory(&directory[0], &length);
    if (pwd.error == 0) {
        CHECK(length < directorySize && directory[length] == '\0');
    } else if (pwd.error == ERROR_INSUFFICIENT_BUFFER) {
        CHECK(length > directorySize);
    }
    connection->setDirectory("pub");

    auto find = std::make_shared<asyncftp::FindHandle>();
    WIN32_FIND_DATAA entry;
    if (connection->findFirst(find, "*", &entry).error == 0) {
        CheckEntry(entry);
        while (connection->findNext(find, &entry).error == 0) CheckEntry(entry);
    }
    Forget(find);

    if (restart != 0) connection->rawCommand("REST " + std::to_string(restart));
    const size_t firstData = peer.nextData;
    auto file = std::make_shared<asyncftp::FileHandle>();
    if (connection->openFile(file, "game.pak").error == 0) {
        // What the file's data connection carries, to compare every byte read with.
        const size_t stream = peer.nextData - 1;
        CHECK(stream >= firstData);
        const std::string sent = stream < peer.data.size() ? peer.data[stream] : std::string();
        std::string got;
        std::string buffer(readSize, '\0');
        for (int reads = 0; reads < 100000; ++reads) {
            DWORD n = 0;
            const Outcome out = connection->read(file, &buffer[0], readSize, &n);
            if (out.error != 0) break;
            CHECK(n <= readSize);
            if (n == 0) {
                // A completed download: all that was sent, and the size announced when there was one.
                CHECK(got == sent);
                CHECK(!file->sizeKnown || file->expectedSize == file->received);
                break;
            }
            got.append(buffer, 0, n);
            CHECK(got.size() <= sent.size() && sent.compare(0, got.size(), got) == 0);
        }
    }
    Forget(file);
    Forget(handle);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    ScriptedPeer& peer = TheScriptedPeer();
    peer = ScriptedPeer();
    Choices choices;
    choices.restart = in.Byte() & 1 ? in.Below(100000) : 0;
    choices.directorySize = 1 + in.Below(300);
    choices.readSize = 1 + in.Below(70000);
    peer.piece = 1 + in.Below(4096);
    peer.bytes = in.Bytes(8192);
    for (int i = 0; i < 4; ++i) peer.data.push_back(in.Bytes(65536));
    RunSession(choices);
    return 0;
}
