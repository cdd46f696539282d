// Owners of GDI handles (fonts, brushes, bitmaps, regions) and device contexts, so that no path
// leaks one.
#pragma once

#include <windows.h>

namespace winfx {

// What a dialog shows while minimised: its icon in the middle of the client area.
void DrawIconCentred(HDC dc, const RECT& client, HICON icon);

template <typename Handle>
class GdiObject {
public:
    GdiObject() = default;
    explicit GdiObject(Handle handle) : m_handle(handle) {}
    ~GdiObject() { Reset(); }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;
    GdiObject(GdiObject&& other) noexcept : m_handle(other.Release()) {}
    GdiObject& operator=(GdiObject&& other) noexcept
    {
        if (this != &other) Reset(other.Release());
        return *this;
    }

    Handle Get() const { return m_handle; }
    operator Handle() const { return m_handle; }
    explicit operator bool() const { return m_handle != nullptr; }

    void Reset(Handle handle = nullptr)
    {
        if (m_handle) ::DeleteObject(m_handle);
        m_handle = handle;
    }
    Handle Release()
    {
        Handle handle = m_handle;
        m_handle = nullptr;
        return handle;
    }

private:
    Handle m_handle = nullptr;
};

using Brush = GdiObject<HBRUSH>;
using Bitmap = GdiObject<HBITMAP>;
using Region = GdiObject<HRGN>;

// A memory device context with one object selected into it; the old object is put back first.
class MemoryDC {
public:
    MemoryDC(HDC compatible_with, HGDIOBJ select);
    ~MemoryDC();
    MemoryDC(const MemoryDC&) = delete;
    MemoryDC& operator=(const MemoryDC&) = delete;
    HDC Get() const { return m_dc; }

private:
    HDC m_dc;
    HGDIOBJ m_old = nullptr;
};

// GetDC/ReleaseDC pair of a window.
class WindowDC {
public:
    explicit WindowDC(HWND hwnd) : m_hwnd(hwnd), m_dc(::GetDC(hwnd)) {}
    ~WindowDC() { if (m_dc) ::ReleaseDC(m_hwnd, m_dc); }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    HDC Get() const { return m_dc; }

private:
    HWND m_hwnd;
    HDC m_dc;
};

// The font of the framework: a point size in tenths of a point, as dialog fonts are given.
class CFont {
public:
    CFont() = default;
    ~CFont() = default;
    // False (and no font) when the system cannot make it; the face is cut to what LOGFONT holds.
    bool CreatePointFont(int tenths_of_point, const wchar_t* face);
    HFONT GetSafeHandle() const { return m_font.Get(); }
    operator HFONT() const { return m_font.Get(); }

private:
    GdiObject<HFONT> m_font;
};

}  // namespace winfx
