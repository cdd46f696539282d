#include "gdi_object.h"

namespace winfx {

void DrawIconCentred(HDC dc, const RECT& client, HICON icon)
{
    int x = (client.right - client.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    int y = (client.bottom - client.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    ::DrawIcon(dc, x, y, icon);
}

MemoryDC::MemoryDC(HDC compatible_with, HGDIOBJ select) : m_dc(::CreateCompatibleDC(compatible_with))
{
    if (m_dc && select) m_old = ::SelectObject(m_dc, select);
}

MemoryDC::~MemoryDC()
{
    if (!m_dc) return;
    if (m_old) ::SelectObject(m_dc, m_old);
    ::DeleteDC(m_dc);
}

bool CFont::CreatePointFont(int tenths_of_point, const wchar_t* face)
{
    LOGFONTW logfont = {};
    // Tenths of a point to pixels of the screen: 720 tenths make one inch.
    WindowDC screen(nullptr);
    int pixels_per_inch = screen.Get() ? ::GetDeviceCaps(screen.Get(), LOGPIXELSY) : 96;
    logfont.lfHeight = -::MulDiv(tenths_of_point, pixels_per_inch, 720);
    logfont.lfCharSet = DEFAULT_CHARSET;
    if (face) lstrcpynW(logfont.lfFaceName, face, LF_FACESIZE);
    m_font.Reset(::CreateFontIndirectW(&logfont));
    return static_cast<bool>(m_font);
}

}  // namespace winfx
