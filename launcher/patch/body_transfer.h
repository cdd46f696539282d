// The body of one file's transfer, apart from the HTTP connection: reads the announced length in
// pieces of at most 8192 bytes into a staged file, hashing each piece as it arrives, polling the
// stop flag before every read and reporting progress after each piece, and replaces the local
// file only when every byte arrived and the bytes are the file the manifest names.
#pragma once

#include <stdint.h>

#include <string>

class MD5_CTX;

namespace quenlor {

// The open HTTP response. Read returns the bytes read, 0 or less at the end of the body; it may
// throw, like the framework's HTTP file, which the caller's catch-all turns into the error text.
class BodySource {
public:
    virtual ~BodySource() = default;
    virtual int32_t Read(void* buffer, uint32_t capacity) = 0;
};

// Told about every piece, so the dialog can move the current bar and rewrite the download text.
class BodyProgress {
public:
    virtual ~BodyProgress() = default;
    virtual void OnPiece(uint32_t received, uint32_t missing) = 0;
};

enum class BodyOutcome {
    Replaced,        // the local file now holds the complete body
    Empty,           // announced length 0: the local file is not touched
    Stopped,         // the stop flag was seen: nothing written
    CutOff,          // the body ended early: nothing written, no message
    WriteFailed,     // the body could not be stored: the player sees the error text
    DigestMismatch,  // the body is not the manifest's file (an error page, a broken server):
                     // nothing written, the player sees the error text
};

constexpr uint32_t kBodyReadPiece = 8192;

// What the body must be: its manifest digest text, and the context that hashes it. The launcher
// passes its one verification context, free once verification has ended; it is reset here first.
struct BodyDigest {
    const std::wstring& expected;
    MD5_CTX& context;
};

// stopFlag is the dialog's m_bStop, written by the UI thread and read here without a lock.
BodyOutcome ReceiveFileBody(BodySource& source, uint32_t length, const std::wstring& localPath,
                            BodyDigest digest, const volatile int32_t& stopFlag, BodyProgress& progress);

}  // namespace quenlor
