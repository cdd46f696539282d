#include "sequential_file.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quenlor {

#if defined(_WIN32)

bool SequentialFile::Open(const std::string& ansiPath)
{
    Close();
    HANDLE file = ::CreateFileA(ansiPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(file, &size)) {
        ::CloseHandle(file);
        return false;
    }
    handle_ = file;
    size_ = static_cast<uint64_t>(size.QuadPart);
    return true;
}

int64_t SequentialFile::Read(void* buffer, uint32_t capacity)
{
    DWORD got = 0;
    if (!handle_ || !::ReadFile(static_cast<HANDLE>(handle_), buffer, capacity, &got, nullptr)) return -1;
    return got;
}

void SequentialFile::Close()
{
    if (handle_) ::CloseHandle(static_cast<HANDLE>(handle_));
    handle_ = nullptr;
    size_ = 0;
}

#else

namespace {
int Descriptor(void* handle) { return static_cast<int>(reinterpret_cast<intptr_t>(handle)) - 1; }
}  // namespace

bool SequentialFile::Open(const std::string& ansiPath)
{
    Close();
    int fd = ::open(ansiPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return false;
    }
    handle_ = reinterpret_cast<void*>(static_cast<intptr_t>(fd) + 1);
    size_ = static_cast<uint64_t>(info.st_size);
    return true;
}

int64_t SequentialFile::Read(void* buffer, uint32_t capacity)
{
    if (!handle_) return -1;
    for (;;) {
        ssize_t got = ::read(Descriptor(handle_), buffer, capacity);
        if (got >= 0) return got;
        if (errno != EINTR) return -1;
    }
}

void SequentialFile::Close()
{
    if (handle_) ::close(Descriptor(handle_));
    handle_ = nullptr;
    size_ = 0;
}

#endif

}  // namespace quenlor
