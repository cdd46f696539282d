#include "body_transfer.h"

#include <vector>

#include "md5_ctx.h"
#include "staged_file.h"

namespace quenlor {

BodyOutcome ReceiveFileBody(BodySource& source, uint32_t length, const std::wstring& localPath,
                            BodyDigest digest, const volatile int32_t& stopFlag, BodyProgress& progress)
{
    if (length == 0) return BodyOutcome::Empty;
    digest.context.MD5Init();  // an earlier stopped use may have left a half-fed state
    StagedFile staged(localPath);
    // A folder that does not exist still lets the body arrive, with its progress shown, before
    // the failure is reported: the player sees the same sequence as when the whole file is kept.
    const bool opened = staged.Open();
    std::vector<uint8_t> piece(kBodyReadPiece);
    uint32_t missing = length;
    while (missing > 0) {
        if (stopFlag != 0) return BodyOutcome::Stopped;
        uint32_t want = missing < kBodyReadPiece ? missing : kBodyReadPiece;
        int32_t got = source.Read(piece.data(), want);
        if (got <= 0) return BodyOutcome::CutOff;
        // A source that answers more than it was asked for cannot overrun the announced length.
        uint32_t taken = static_cast<uint32_t>(got) > want ? want : static_cast<uint32_t>(got);
        // Hashed while the piece is still in the cache: the check costs no second pass.
        digest.context.MD5Update(piece.data(), taken);
        // A full disk ends the transfer here: the staged file goes at once (the destructor), and
        // the rest of the body is not read into nothing.
        if (opened && !staged.Write(piece.data(), taken)) return BodyOutcome::WriteFailed;
        missing -= taken;
        progress.OnPiece(length - missing, missing);
    }
    uint8_t received[16];
    digest.context.MD5Final(received);
    if (!opened) return BodyOutcome::WriteFailed;
    if (!DigestMatches(received, digest.expected)) return BodyOutcome::DigestMismatch;
    if (!staged.Commit()) return BodyOutcome::WriteFailed;
    return BodyOutcome::Replaced;
}

}  // namespace quenlor
