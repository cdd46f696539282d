// Memory over a long-lived connection: every finished find and file handle is let go as it
// closes, so thousands of listings on one connection leave the heap where it was.
#include "asyncftp/AsyncFtp.h"

#include "ftp_test_peers.h"

#include <gtest/gtest.h>
#include <malloc.h>

namespace {

// Bytes in use in the C runtime's heap, where the layer's objects live.
size_t HeapInUse()
{
    _HEAPINFO info = {};
    size_t used = 0;
    while (_heapwalk(&info) == _HEAPOK)
        if (info._useflag == _USEDENTRY) used += info._size;
    return used;
}

// One listing, synchronously (context 0), to its end, then the find handle closed.
int ListOnce(HINTERNET connection)
{
    WIN32_FIND_DATAA entry;
    const HINTERNET find = asyncftp::FindFirstFile(connection, "one/*", &entry, INTERNET_FLAG_RELOAD, 0);
    if (!find) return -1;
    int found = 1;
    while (asyncftp::FindNextFile(find, &entry)) ++found;
    asyncftp::CloseHandle(find);
    return found;
}

// After the closings queued so far have run: a request queued behind them has completed.
size_t SettledHeapInUse(HINTERNET connection)
{
    char directory[MAX_PATH];
    DWORD length = sizeof directory;
    EXPECT_TRUE(asyncftp::GetCurrentDirectory(connection, directory, &length));
    return HeapInUse();
}

TEST(AsyncFtpMemory, TwoThousandListingsOnOneConnectionKeepTheHeapFlat)
{
    const Ports ports = ReadPorts();
    ASSERT_NE(ports.standard, 0) << "no FTP peers: QUENLOR_FTP_STATE/ports missing";
    const HINTERNET internet = asyncftp::OpenInternet("Nimbrel Component", 1, "", "", INTERNET_FLAG_ASYNC);
    ASSERT_NE(internet, nullptr);
    const HINTERNET connection = asyncftp::Connect(internet, "127.0.0.1", ports.standard, "quenlor", "secret",
                                                   INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 0);
    ASSERT_NE(connection, nullptr);
    // The first ones settle what a connection keeps for good (buffers, the parser's state).
    for (int i = 0; i < 100; ++i) ASSERT_EQ(ListOnce(connection), 1) << i;
    const size_t before = SettledHeapInUse(connection);
    constexpr int kListings = 1900;
    for (int i = 0; i < kListings; ++i) ASSERT_EQ(ListOnce(connection), 1) << i;
    const size_t after = SettledHeapInUse(connection);
    // A handle kept per listing would be ~100 bytes each, about 190 KB here.
    constexpr size_t kMarginBytes = 32 * 1024;
    std::printf("heap in use: %lu bytes before, %lu after %d more listings\n", static_cast<unsigned long>(before),
                static_cast<unsigned long>(after), kListings);
    EXPECT_LT(after, before + kMarginBytes);
    asyncftp::CloseHandle(connection);
    asyncftp::CloseHandle(internet);
}

}  // namespace
