// The skin of the launcher (.\Image\Autopatch\AutoPatchDlg.bin): placements, colours and font of
// the main window and its controls, each introduced by a GBK section word starting with '#'.
#pragma once

#include <stdint.h>
#include <wchar.h>

// Only the low 8 bits of each component reach the screen, as RGB(r, g, b).
struct QLColor {
    int32_t r, g, b;
};

// x, y, width, height in pixels: screen coordinates for the main window, client coordinates of
// the main window for its controls.
struct QLPlacement {
    int32_t x, y, cx, cy;
};

struct QLRect {
    int32_t left, top, right, bottom;
};

constexpr int kFontFaceUnits = 64;  // 63 characters and the terminating 0

// The layout members of the main dialog; all zero until a skin is read.
struct QLSkinLayout {
    QLColor m_clrTipText{};
    QLColor m_clrDownloadText{};
    QLColor m_clrVersionText{};
    QLColor m_clrFont{};
    QLColor m_clrCurrentBar{};
    QLColor m_clrCurrentBack{};
    QLColor m_clrTotalBar{};
    QLColor m_clrTotalBack{};
    QLColor m_clrNoticeBack{};
    QLPlacement m_posStartButton{};
    QLPlacement m_posMainWindow{};
    QLPlacement m_posRegisterButton{};
    QLPlacement m_posHomePageButton{};
    QLPlacement m_posCloseButton{};
    QLPlacement m_posWindowMode{};
    QLPlacement m_posCurrentProgress{};
    QLPlacement m_posTotalProgress{};
    QLPlacement m_posResolution{};
    QLPlacement m_posTipText{};
    QLPlacement m_posDownloadText{};
    QLPlacement m_posVersionText{};
    int32_t m_nFontSize = 0;  // tenths of a point
    wchar_t m_szFontFace[kFontFaceUnits] = {};
    QLRect m_rcNotice{};  // left, top, right, bottom of the notice view
};

// False when the file cannot be loaded (the layout is then untouched). Sections the file lacks
// keep their values; a face name longer than 63 characters is cut to 63.
bool ReadSkinLayout(const char* path, QLSkinLayout& layout);
