// Download throughput of the FTP layer: one file, read in large requests chained from the
// completion callback, as the component chains its reads.
//   asyncftp_bench HOST PORT USER PASSWORD FILE CHUNK
// Prints "bytes=N seconds=S".
#include "asyncftp/AsyncFtp.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

struct Bench {
    HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HINTERNET connection = nullptr;
    HINTERNET file = nullptr;
    std::vector<char> buffer;
    DWORD got = 0;
    unsigned long long total = 0;
    DWORD error = 0;
};

void CALLBACK Callback(HINTERNET handle, DWORD_PTR context, DWORD status, LPVOID info, DWORD)
{
    auto* b = reinterpret_cast<Bench*>(context);
    if (status == INTERNET_STATUS_HANDLE_CREATED) {
        if (!b->connection) b->connection = reinterpret_cast<HINTERNET>(static_cast<INTERNET_ASYNC_RESULT*>(info)->dwResult);
        else b->file = reinterpret_cast<HINTERNET>(static_cast<INTERNET_ASYNC_RESULT*>(info)->dwResult);
        return;
    }
    if (status != INTERNET_STATUS_REQUEST_COMPLETE) return;
    const auto* r = static_cast<INTERNET_ASYNC_RESULT*>(info);
    if (handle != b->file || r->dwResult == FALSE) {
        b->error = r->dwError;
        SetEvent(b->done);
        return;
    }
    if (r->dwResult == reinterpret_cast<DWORD_PTR>(b->file) && b->total == 0 && b->got == 0) {
        asyncftp::ReadFile(b->file, b->buffer.data(), static_cast<DWORD>(b->buffer.size()), &b->got);
        b->got = 1;  // marks the open as seen
        return;
    }
    if (r->dwError == 0) {
        SetEvent(b->done);
        return;
    }
    b->total += r->dwError;
    asyncftp::ReadFile(b->file, b->buffer.data(), static_cast<DWORD>(b->buffer.size()), &b->got);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 7) {
        std::fprintf(stderr, "usage: asyncftp_bench HOST PORT USER PASSWORD FILE CHUNK\n");
        return 2;
    }
    Bench b;
    b.buffer.resize(std::strtoul(argv[6], nullptr, 10));
    HINTERNET internet = asyncftp::OpenInternet("bench", 1, "", "", INTERNET_FLAG_ASYNC);
    asyncftp::SetStatusCallback(internet, &Callback);
    HANDLE connected = b.done;
    asyncftp::Connect(internet, argv[1], static_cast<INTERNET_PORT>(std::atoi(argv[2])), argv[3], argv[4],
                      INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, reinterpret_cast<DWORD_PTR>(&b));
    WaitForSingleObject(connected, 30000);
    ResetEvent(b.done);
    if (!b.connection || b.error) {
        std::printf("connect failed: %lu\n", b.error);
        return 1;
    }
    LARGE_INTEGER start, end, frequency;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    asyncftp::OpenFile(b.connection, argv[5], GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, reinterpret_cast<DWORD_PTR>(&b));
    WaitForSingleObject(b.done, 600000);
    QueryPerformanceCounter(&end);
    if (b.error) {
        std::printf("transfer failed: %lu\n", b.error);
        return 1;
    }
    std::printf("bytes=%llu seconds=%.3f\n", b.total,
                static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart));
    std::fflush(stdout);
    asyncftp::CloseHandle(internet);
    Sleep(500);
    return 0;
}
