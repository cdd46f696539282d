#include "paced_progress.h"

namespace quenlor {

void PacedProgress::OnPiece(uint32_t received, uint32_t missing)
{
    const uint32_t at = now_();
    // Unsigned difference: right across the tick count's wrap.
    if (missing == 0 || !any_shown_ || at - last_shown_ms_ >= gap_ms_) {
        Show(received, missing, at);
        return;
    }
    pending_ = true;
    pending_received_ = received;
    pending_missing_ = missing;
}

void PacedProgress::ShowPending()
{
    if (pending_) Show(pending_received_, pending_missing_, now_());
}

void PacedProgress::Show(uint32_t received, uint32_t missing, uint32_t at)
{
    pending_ = false;
    any_shown_ = true;
    last_shown_ms_ = at;
    shown_.OnPiece(received, missing);
}

}  // namespace quenlor
