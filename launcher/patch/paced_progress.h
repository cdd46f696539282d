// Shows a transfer's progress at a human rate. Every piece shown is a synchronous round trip to
// the window's thread (a bar position and a formatted text), which costs more than receiving an
// 8 KiB piece on a fast line; a player cannot read faster than a few updates a second anyway.
// A piece is passed on when at least the gap has passed since the last one shown; the first piece
// and the last one (nothing missing) always are, so the bar and the text end exactly where every
// piece would have left them, and the positions shown are the same values in the same order,
// only fewer of them.
#pragma once

#include <stdint.h>

#include "body_transfer.h"

namespace quenlor {

constexpr uint32_t kProgressGapMs = 30;

class PacedProgress : public BodyProgress {
public:
    // now: a millisecond tick that may wrap (the system's tick count in the launcher).
    using Clock = uint32_t (*)();

    PacedProgress(BodyProgress& shown, Clock now, uint32_t gapMs = kProgressGapMs)
        : shown_(shown), now_(now), gap_ms_(gapMs) {}

    void OnPiece(uint32_t received, uint32_t missing) override;

    // Shows the last piece received when it was held back: a body that ended early leaves the
    // bar where the bytes that did arrive put it. Not called when the launcher is closing.
    void ShowPending();

private:
    void Show(uint32_t received, uint32_t missing, uint32_t at);

    BodyProgress& shown_;
    Clock now_;
    uint32_t gap_ms_;
    bool any_shown_ = false;
    uint32_t last_shown_ms_ = 0;
    bool pending_ = false;
    uint32_t pending_received_ = 0;
    uint32_t pending_missing_ = 0;
};

}  // namespace quenlor
