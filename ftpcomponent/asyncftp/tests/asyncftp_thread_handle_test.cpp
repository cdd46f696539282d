// The handle of a connection's thread that closing the internet handle waits on. It must name the
// thread: a close from inside one of that connection's notifications runs on the thread itself,
// is recognised by the thread's id, and is not waited for (it would wait on itself for the bound).
#include "asyncftp/AsyncFtp.h"
#include "../src/ftp_connection.h"
#include "../src/handles.h"

#include "ftp_test_peers.h"

#include <gtest/gtest.h>

namespace {

TEST(AsyncFtpConnectionThread, ItsWaitHandleNamesTheThreadThatRunsItsRequests)
{
    const Ports ports = ReadPorts();
    ASSERT_NE(ports.standard, 0) << "no FTP peers: QUENLOR_FTP_STATE/ports missing";
    const HINTERNET internet = asyncftp::OpenInternet("t", 1, "", "", 0);
    const HINTERNET connection = asyncftp::Connect(internet, "127.0.0.1", ports.standard, "quenlor", "secret",
                                                   INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 0);
    ASSERT_NE(connection, nullptr);
    const auto handle = std::static_pointer_cast<asyncftp::ConnectionHandle>(asyncftp::FindHandleObject(connection));
    ASSERT_NE(handle, nullptr);
    const auto worker = std::atomic_load(&handle->connection);
    ASSERT_NE(worker, nullptr);
    DWORD workerId = 0;
    EXPECT_EQ(worker->submit(handle, [&workerId] {
                  workerId = GetCurrentThreadId();
                  return asyncftp::Outcome();
              }), 0u);
    const HANDLE thread = worker->duplicateThreadHandle();
    ASSERT_NE(thread, nullptr);
    EXPECT_NE(workerId, 0u);
    EXPECT_EQ(GetThreadId(thread), workerId) << "error " << GetLastError();
    CloseHandle(thread);
    EXPECT_TRUE(asyncftp::CloseHandle(internet));
}

}  // namespace
