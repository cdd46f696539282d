#include "background_picture.h"

#include <memory>

#include "gdiplus_include.h"

namespace {

// Far above any window picture; a larger file is not read into memory.
constexpr DWORD kMaxPictureBytes = 64u << 20;

struct HandleCloser {
    void operator()(HANDLE handle) const { ::CloseHandle(handle); }
};
struct StreamReleaser {
    void operator()(IStream* stream) const { stream->Release(); }
};

// The whole file in a memory stream; the file is closed before this returns. Opened with every
// sharing mode, so a replacement under way is never refused because of this read.
std::unique_ptr<IStream, StreamReleaser> ReadIntoMemory(const wchar_t* path)
{
    HANDLE raw = ::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (raw == INVALID_HANDLE_VALUE) return nullptr;
    std::unique_ptr<void, HandleCloser> file(raw);
    LARGE_INTEGER size = {};
    if (!::GetFileSizeEx(raw, &size) || size.QuadPart <= 0 || size.QuadPart > kMaxPictureBytes) return nullptr;
    const DWORD length = static_cast<DWORD>(size.QuadPart);
    HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, length);
    if (!memory) return nullptr;
    void* bytes = ::GlobalLock(memory);
    DWORD read = 0;
    const bool complete = bytes && ::ReadFile(raw, bytes, length, &read, nullptr) && read == length;
    if (bytes) ::GlobalUnlock(memory);
    IStream* stream = nullptr;
    if (!complete || FAILED(::CreateStreamOnHGlobal(memory, TRUE, &stream))) {
        ::GlobalFree(memory);
        return nullptr;
    }
    return std::unique_ptr<IStream, StreamReleaser>(stream);
}

}  // namespace

Gdiplus::Image* LoadDetachedPicture(const wchar_t* path)
{
    std::unique_ptr<IStream, StreamReleaser> stream = ReadIntoMemory(path);
    if (!stream) return nullptr;
    // An image made from a stream may decode from it lazily, so the pixels are copied into a
    // bitmap of their own and the stream goes with this call.
    Gdiplus::Image decoded(stream.get());
    if (decoded.GetLastStatus() != Gdiplus::Ok) return nullptr;
    const UINT width = decoded.GetWidth();
    const UINT height = decoded.GetHeight();
    if (width == 0 || height == 0) return nullptr;
    std::unique_ptr<Gdiplus::Bitmap> copy(new Gdiplus::Bitmap(static_cast<INT>(width), static_cast<INT>(height),
                                                              PixelFormat32bppPARGB));
    if (copy->GetLastStatus() != Gdiplus::Ok) return nullptr;
    {
        Gdiplus::Graphics canvas(copy.get());
        if (canvas.DrawImage(&decoded, 0, 0, static_cast<INT>(width), static_cast<INT>(height)) != Gdiplus::Ok)
            return nullptr;
    }
    return copy.release();
}
