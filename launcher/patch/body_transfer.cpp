#include "body_transfer.h"

#include <vector>

#include "staged_file.h"

namespace quenlor {

BodyOutcome ReceiveFileBody(BodySource& source, uint32_t length, const std::wstring& localPath,
                            const volatile int32_t& stopFlag, BodyProgress& progress)
{
    if (length == 0) return BodyOutcome::Empty;
    StagedFile staged(localPath);
    // A folder that does not exist still lets the body arrive, with its progress shown, before
    // the failure is reported: the player sees the same sequence as when the whole file is kept.
    bool can_store = staged.Open();
    std::vector<uint8_t> piece(kBodyReadPiece);
    uint32_t missing = length;
    while (missing > 0) {
        if (stopFlag != 0) return BodyOutcome::Stopped;
        uint32_t want = missing < kBodyReadPiece ? missing : kBodyReadPiece;
        int32_t got = source.Read(piece.data(), want);
        if (got <= 0) return BodyOutcome::CutOff;
        // A source that answers more than it was asked for cannot overrun the announced length.
        uint32_t taken = static_cast<uint32_t>(got) > want ? want : static_cast<uint32_t>(got);
        if (can_store) can_store = staged.Write(piece.data(), taken);
        missing -= taken;
        progress.OnPiece(length - missing, missing);
    }
    if (!can_store || !staged.Commit()) return BodyOutcome::WriteFailed;
    return BodyOutcome::Replaced;
}

}  // namespace quenlor
