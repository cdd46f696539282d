// The asynchronous FTP layer against real servers on loopback: pyftpdlib and our scripted peer
// (ftp_servers.py), started by the test fixture, which writes their ports to a file.
#include "asyncftp/AsyncFtp.h"
#include "thread_count.h"
#include "../src/listing_parser.h"

#include "ftp_test_peers.h"
#include <gtest/gtest.h>
#include <winsock2.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace {


// One notification as the callback saw it.
struct Event {
    HINTERNET handle;
    DWORD status;
    DWORD_PTR result;
    DWORD error;  // error word of 100, count of 41
    DWORD thread;
};

// Records every notification and lets a test wait for one; `onEvent` may chain the next call
// from inside the callback, as the component's handlers do.
class Recorder {
public:
    // The hook sees only notifications recorded after it was set: one recorded just before (the
    // completion a test has already waited for) may still be on its way to the hook.
    void setHook(std::function<void(const Event&)> hook)
    {
        std::lock_guard<std::mutex> guard(m_hookLock);
        {
            std::lock_guard<std::mutex> events(m_lock);
            m_hookFrom = m_events.size();
        }
        m_hook = std::move(hook);
    }

    static void CALLBACK Callback(HINTERNET handle, DWORD_PTR context, DWORD status, LPVOID info, DWORD)
    {
        auto* self = reinterpret_cast<Recorder*>(context);
        Event e = {handle, status, 0, 0, GetCurrentThreadId()};
        if (status == INTERNET_STATUS_HANDLE_CREATED || status == INTERNET_STATUS_REQUEST_COMPLETE) {
            const auto* r = static_cast<INTERNET_ASYNC_RESULT*>(info);
            e.result = r->dwResult;
            e.error = r->dwError;
        } else if (status == INTERNET_STATUS_RESPONSE_RECEIVED) {
            e.error = *static_cast<DWORD*>(info);
        }
        size_t index;
        {
            std::lock_guard<std::mutex> guard(self->m_lock);
            index = self->m_events.size();
            self->m_events.push_back(e);
        }
        self->m_changed.notify_all();
        std::lock_guard<std::mutex> hookGuard(self->m_hookLock);
        if (self->m_hook && index >= self->m_hookFrom) self->m_hook(e);
    }

    DWORD_PTR context() { return reinterpret_cast<DWORD_PTR>(this); }

    // Waits until an event with `status` arrives at or after index `from`; returns its index or -1.
    int waitFor(DWORD status, size_t from = 0, int seconds = 20)
    {
        std::unique_lock<std::mutex> guard(m_lock);
        int found = -1;
        m_changed.wait_for(guard, std::chrono::seconds(seconds), [&] {
            for (size_t i = from; i < m_events.size(); ++i)
                if (m_events[i].status == status) return (found = static_cast<int>(i)) >= 0;
            return false;
        });
        return found;
    }

    std::vector<Event> events()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_events;
    }
    size_t size()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_events.size();
    }

    // The statuses only, e.g. "60 100 70", to compare whole sequences.
    std::string statuses(size_t from = 0)
    {
        std::string text;
        for (size_t i = from; i < events().size(); ++i)
            text += (text.empty() ? "" : " ") + std::to_string(events()[i].status);
        return text;
    }

private:
    std::mutex m_hookLock;
    std::function<void(const Event&)> m_hook;
    size_t m_hookFrom = 0;  // first event index the hook may see
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<Event> m_events;
};

class AsyncFtpTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ports = ReadPorts();
        ASSERT_NE(ports.standard, 0) << "no FTP peers: QUENLOR_FTP_STATE/ports missing";
        internet = asyncftp::OpenInternet("Nimbrel Component", 1, "", "", INTERNET_FLAG_ASYNC);
        ASSERT_NE(internet, nullptr);
        ASSERT_NE(asyncftp::SetStatusCallback(internet, &Recorder::Callback), INTERNET_INVALID_STATUS_CALLBACK);
    }
    void TearDown() override
    {
        if (internet) asyncftp::CloseHandle(internet);
        // Connections close on their own threads; the recorder must outlive their last 70.
        for (size_t seen = log.size(), i = 0; i < 40; ++i) {
            Sleep(250);
            if (log.size() == seen) break;
            seen = log.size();
        }
    }

    // Connects and waits for the outcome; returns the connection handle announced by 60.
    HINTERNET connect(INTERNET_PORT port, const char* user, const char* password, bool passive = true,
                      DWORD* error = nullptr)
    {
        const size_t from = log.size();
        const HINTERNET direct = asyncftp::Connect(internet, "127.0.0.1", port, user, password, INTERNET_SERVICE_FTP,
                                                   passive ? INTERNET_FLAG_PASSIVE : 0, log.context());
        EXPECT_EQ(direct, nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
        const int done = log.waitFor(INTERNET_STATUS_REQUEST_COMPLETE, from);
        EXPECT_GE(done, 0);
        const auto events = log.events();
        if (done < 0 || events[from].status != INTERNET_STATUS_HANDLE_CREATED) return nullptr;
        if (error) *error = events[done].error;
        return reinterpret_cast<HINTERNET>(events[from].result);
    }

    // Runs one request that completes with 100 and returns that 100.
    Event complete(const std::function<void()>& start)
    {
        const size_t from = log.size();
        start();
        const int done = log.waitFor(INTERNET_STATUS_REQUEST_COMPLETE, from);
        EXPECT_GE(done, 0);
        return done >= 0 ? log.events()[done] : Event{};
    }

    void closeAndWait(HINTERNET handle)
    {
        const size_t from = log.size();
        ASSERT_TRUE(asyncftp::CloseHandle(handle));
        ASSERT_GE(log.waitFor(INTERNET_STATUS_HANDLE_CLOSING, from), 0);
    }

    // Lists `pattern` to the end; returns the names and checks the find handle's notifications.
    std::vector<WIN32_FIND_DATAA> list(HINTERNET connection, const char* pattern, DWORD* firstError = nullptr)
    {
        std::vector<WIN32_FIND_DATAA> found;
        WIN32_FIND_DATAA entry = {};
        const size_t from = log.size();
        EXPECT_EQ(asyncftp::FindFirstFile(connection, pattern, &entry, INTERNET_FLAG_RELOAD, log.context()), nullptr);
        const int done = log.waitFor(INTERNET_STATUS_REQUEST_COMPLETE, from);
        if (done < 0) return found;
        const Event first = log.events()[done];
        if (firstError) *firstError = first.error;
        if (first.error != 0 && first.error != ERROR_NO_MORE_FILES) return found;
        EXPECT_EQ(log.statuses(from), "60 100");
        const HINTERNET find = reinterpret_cast<HINTERNET>(log.events()[from].result);
        EXPECT_EQ(first.handle, find);
        for (DWORD error = first.error; error == 0;) {
            found.push_back(entry);
            error = complete([&] { EXPECT_FALSE(asyncftp::FindNextFile(find, &entry)); }).error;
            EXPECT_TRUE(error == 0 || error == ERROR_NO_MORE_FILES) << error;
        }
        closeAndWait(find);
        return found;
    }

    Ports ports;
    HINTERNET internet = nullptr;
    Recorder log;
};

std::set<std::string> Names(const std::vector<WIN32_FIND_DATAA>& entries)
{
    std::set<std::string> names;
    for (const auto& e : entries) names.insert(e.cFileName);
    return names;
}

const WIN32_FIND_DATAA* Named(const std::vector<WIN32_FIND_DATAA>& entries, const char* name)
{
    for (const auto& e : entries)
        if (std::string(e.cFileName) == name) return &e;
    return nullptr;
}

// --- connecting -------------------------------------------------------------------------------

TEST_F(AsyncFtpTest, ConnectAnnouncesTheHandleThenCompletesAndCloses)
{
    DWORD error = 1;
    const HINTERNET connection = connect(ports.standard, "quenlor", "secret", true, &error);
    ASSERT_NE(connection, nullptr);
    EXPECT_EQ(error, 0u);
    const auto events = log.events();
    ASSERT_EQ(log.statuses(), "60 100");
    EXPECT_EQ(events[1].handle, connection);
    EXPECT_EQ(events[1].result, reinterpret_cast<DWORD_PTR>(connection));
    EXPECT_NE(events[0].thread, GetCurrentThreadId()) << "notifications come on the layer's thread";
    closeAndWait(connection);
    EXPECT_EQ(log.statuses(), "60 100 70");
    Sleep(200);
    EXPECT_EQ(log.size(), 3u) << "nothing follows 70";
}

TEST_F(AsyncFtpTest, ConnectFailuresCompleteWithTheirErrors)
{
    // A port nobody listens on.
    SOCKET probe = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(probe, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    int len = sizeof addr;
    getsockname(probe, reinterpret_cast<sockaddr*>(&addr), &len);
    closesocket(probe);
    DWORD error = 0;
    HINTERNET refused = connect(ntohs(addr.sin_port), "quenlor", "secret", true, &error);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_INTERNET_CANNOT_CONNECT));
    closeAndWait(refused);

    HINTERNET badPassword = connect(ports.standard, "quenlor", "wrong", true, &error);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_INTERNET_LOGIN_FAILURE));
    // A failed connection refuses further requests instead of talking to a dead socket.
    char dir[260];
    DWORD dirLen = sizeof dir;
    EXPECT_EQ(complete([&] { asyncftp::GetCurrentDirectory(badPassword, dir, &dirLen); }).error,
              static_cast<DWORD>(ERROR_INTERNET_CONNECTION_ABORTED));
    closeAndWait(badPassword);
}

TEST_F(AsyncFtpTest, ADeadServerTimesOutInsteadOfHanging)
{
    ASSERT_TRUE(asyncftp::SetTimeout(internet, 1500));
    // Listening but never greeting: the kernel accepts, nobody speaks.
    SOCKET silent = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(silent, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    listen(silent, 4);
    int len = sizeof addr;
    getsockname(silent, reinterpret_cast<sockaddr*>(&addr), &len);
    const DWORD start = GetTickCount();
    DWORD error = 0;
    HINTERNET connection = connect(ntohs(addr.sin_port), "quenlor", "secret", true, &error);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_INTERNET_TIMEOUT));
    EXPECT_LT(GetTickCount() - start, 10000u);
    closeAndWait(connection);

    // The password never answered.
    connection = connect(ports.scripted, "stallpass", "x", true, &error);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_INTERNET_TIMEOUT));
    closeAndWait(connection);
    closesocket(silent);
}

TEST_F(AsyncFtpTest, AReplyTrickledPastItsDeadlineFailsAndTheControlConnectionCountsAsLost)
{
    ASSERT_TRUE(asyncftp::SetTimeout(internet, 3000));
    const HINTERNET connection = connect(ports.scripted, "trickle", "x");
    ASSERT_NE(connection, nullptr);
    EXPECT_FALSE(asyncftp::ControlConnectionLost(connection)) << "logged in and in step";
    // Its reply comes one byte every two seconds, each receive well within any per-receive bound.
    const DWORD start = GetTickCount();
    EXPECT_FALSE(asyncftp::Command(connection, FALSE, FTP_TRANSFER_TYPE_BINARY, "REST 4096\n", 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_TIMEOUT));
    EXPECT_LT(GetTickCount() - start, 3000u + 15000u) << "the deadline and a margin, not the reply's 160 seconds";
    EXPECT_TRUE(asyncftp::ControlConnectionLost(connection));
    closeAndWait(connection);
    EXPECT_TRUE(asyncftp::ControlConnectionLost(connection)) << "a closed handle";
}

TEST_F(AsyncFtpTest, ClosingAConnectionWhileItConnectsCancelsTheRequest)
{
    SOCKET silent = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(silent, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    listen(silent, 4);
    int len = sizeof addr;
    getsockname(silent, reinterpret_cast<sockaddr*>(&addr), &len);
    asyncftp::Connect(internet, "127.0.0.1", ntohs(addr.sin_port), "u", "p", INTERNET_SERVICE_FTP,
                      INTERNET_FLAG_PASSIVE, log.context());
    ASSERT_GE(log.waitFor(INTERNET_STATUS_HANDLE_CREATED), 0);
    Sleep(300);  // the login now waits for a greeting that never comes
    const DWORD start = GetTickCount();
    ASSERT_TRUE(asyncftp::CloseHandle(reinterpret_cast<HINTERNET>(log.events()[0].result)));
    ASSERT_GE(log.waitFor(INTERNET_STATUS_HANDLE_CLOSING), 0);
    EXPECT_LT(GetTickCount() - start, 5000u);
    EXPECT_EQ(log.statuses(), "60 100 70");
    EXPECT_EQ(log.events()[1].error, static_cast<DWORD>(ERROR_INTERNET_OPERATION_CANCELLED));
    closesocket(silent);
}

// --- directories and listings -----------------------------------------------------------------

TEST_F(AsyncFtpTest, CurrentDirectoryIsReadAndChanged)
{
    const HINTERNET connection = connect(ports.standard, "quenlor", "secret");
    ASSERT_NE(connection, nullptr);
    char dir[260] = {};
    DWORD dirLen = sizeof dir;
    EXPECT_EQ(complete([&] { EXPECT_FALSE(asyncftp::GetCurrentDirectory(connection, dir, &dirLen)); }).error, 0u);
    EXPECT_STREQ(dir, "/");
    EXPECT_EQ(dirLen, 1u);

    EXPECT_EQ(complete([&] { asyncftp::SetCurrentDirectory(connection, "many/sub dir"); }).error, 0u);
    dirLen = sizeof dir;
    complete([&] { asyncftp::GetCurrentDirectory(connection, dir, &dirLen); });
    EXPECT_STREQ(dir, "/many/sub dir");
    EXPECT_EQ(dirLen, 13u);

    const Event missing = complete([&] { asyncftp::SetCurrentDirectory(connection, "/no/such/dir"); });
    EXPECT_EQ(missing.error, static_cast<DWORD>(ERROR_INTERNET_EXTENDED_ERROR));
    EXPECT_EQ(missing.handle, connection);

    // A too small buffer says how much is needed and leaves the caller's text alone.
    char tiny[4] = "abc";
    DWORD tinyLen = sizeof tiny;
    EXPECT_EQ(complete([&] { asyncftp::GetCurrentDirectory(connection, tiny, &tinyLen); }).error,
              static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(tinyLen, 14u);
    EXPECT_STREQ(tiny, "abc");
    closeAndWait(connection);
}

TEST_F(AsyncFtpTest, ListingsOfNoneOneAndManyEntries)
{
    const HINTERNET connection = connect(ports.standard, "quenlor", "secret");
    ASSERT_NE(connection, nullptr);
    DWORD firstError = 0;
    EXPECT_TRUE(list(connection, "empty/*", &firstError).empty());
    EXPECT_EQ(firstError, static_cast<DWORD>(ERROR_NO_MORE_FILES));

    const auto one = list(connection, "one/*.*");
    ASSERT_EQ(one.size(), 1u);
    EXPECT_STREQ(one[0].cFileName, "only.txt");
    EXPECT_EQ(one[0].nFileSizeLow, 10u);
    EXPECT_EQ(one[0].dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));

    const auto many = list(connection, "many");  // a plain name lists that directory
    EXPECT_EQ(many.size(), 42u);
    ASSERT_NE(Named(many, "a b  c.dat"), nullptr);
    EXPECT_EQ(Named(many, "a b  c.dat")->nFileSizeLow, 100u);
    ASSERT_NE(Named(many, "file39.dat"), nullptr);
    EXPECT_EQ(Named(many, "file39.dat")->nFileSizeLow, 40u);
    ASSERT_NE(Named(many, "sub dir"), nullptr);
    EXPECT_TRUE(Named(many, "sub dir")->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_NE(Named(many, "file00.dat")->ftLastWriteTime.dwHighDateTime, 0u);

    const auto filtered = list(connection, "many/FILE3?.DAT");  // wildcards match without regard to case
    EXPECT_EQ(filtered.size(), 10u);
    EXPECT_EQ(Names(list(connection, "name with spaces.txt")), std::set<std::string>{"name with spaces.txt"});

    DWORD refused = 0;
    list(connection, "/no/such/dir/*", &refused);
    EXPECT_EQ(refused, static_cast<DWORD>(ERROR_INTERNET_EXTENDED_ERROR));
    closeAndWait(connection);
}

TEST_F(AsyncFtpTest, UnixAndDosListingsAreParsed)
{
    HINTERNET connection = connect(ports.scripted, "unix", "x");
    ASSERT_NE(connection, nullptr);
    auto entries = list(connection, "*");
    EXPECT_EQ(Names(entries), (std::set<std::string>{"name with spaces.txt", "sub dir", "link name", "huge.iso"}));
    ASSERT_NE(Named(entries, "huge.iso"), nullptr);
    EXPECT_EQ(Named(entries, "huge.iso")->nFileSizeHigh, 1u);  // 5000000000 = 1 * 2^32 + 705032704
    EXPECT_EQ(Named(entries, "huge.iso")->nFileSizeLow, 705032704u);
    SYSTEMTIME st;
    FileTimeToSystemTime(&Named(entries, "sub dir")->ftLastWriteTime, &st);
    EXPECT_EQ(st.wYear, 2021);
    EXPECT_EQ(st.wMonth, 3);
    EXPECT_EQ(st.wDay, 15);
    closeAndWait(connection);

    connection = connect(ports.scripted, "dos", "x");
    ASSERT_NE(connection, nullptr);
    entries = list(connection, "*");
    EXPECT_EQ(Names(entries), (std::set<std::string>{"sub dir", "name with spaces.txt", "zero.txt"}));
    ASSERT_NE(Named(entries, "name with spaces.txt"), nullptr);
    EXPECT_EQ(Named(entries, "name with spaces.txt")->nFileSizeLow, 1234u);
    EXPECT_TRUE(Named(entries, "sub dir")->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    FileTimeToSystemTime(&Named(entries, "name with spaces.txt")->ftLastWriteTime, &st);
    EXPECT_EQ(st.wYear, 1999);
    EXPECT_EQ(st.wHour, 23);
    closeAndWait(connection);
}

// --- reading files -----------------------------------------------------------------------------

class Download {
public:
    std::vector<unsigned char> data;
    DWORD failure = 0;  // error of a read that failed, 0 when the data ended normally
    std::string order;  // notifications of the file handle in order, reads folded to "41 100"
};

// Opens `name`, reads it `chunk` bytes at a time (each read issued from the callback of the
// previous one, as the component does) and closes it.
Download Fetch(AsyncFtpTest* test, Recorder& log, HINTERNET connection, const char* name, DWORD chunk,
               DWORD* openError = nullptr)
{
    Download result;
    std::vector<unsigned char> buffer(chunk);
    DWORD bytesRead = 0;
    HINTERNET file = nullptr;
    std::mutex lock;
    std::condition_variable finished;
    bool done = false;
    auto finish = [&] {
        std::lock_guard<std::mutex> guard(lock);
        done = true;
        finished.notify_all();
    };
    const size_t from = log.size();
    log.setHook([&](const Event& e) {
        if (e.status == INTERNET_STATUS_HANDLE_CREATED) {
            file = reinterpret_cast<HINTERNET>(e.result);
        } else if (e.status == INTERNET_STATUS_REQUEST_COMPLETE && e.handle != file) {
            if (openError) *openError = e.error;  // the open failed on the connection handle
            finish();
        } else if (e.status == INTERNET_STATUS_REQUEST_COMPLETE) {
            const bool opened = e.result == reinterpret_cast<DWORD_PTR>(file) && result.order.empty();
            result.order += result.order.empty() ? "100" : " 100";
            if (!opened && e.result == FALSE) {
                result.failure = e.error;
                finish();
                return;
            }
            if (!opened) {
                EXPECT_EQ(e.error, bytesRead);
                if (e.error == 0) {
                    finish();
                    return;
                }
                result.data.insert(result.data.end(), buffer.begin(), buffer.begin() + e.error);
            }
            asyncftp::ReadFile(file, buffer.data(), chunk, &bytesRead);
        } else if (e.status == INTERNET_STATUS_RESPONSE_RECEIVED) {
            result.order += " 41";
        }
    });
    EXPECT_EQ(asyncftp::OpenFile(connection, name, GENERIC_READ, INTERNET_FLAG_RELOAD | FTP_TRANSFER_TYPE_BINARY,
                                 log.context()),
              nullptr);
    {
        std::unique_lock<std::mutex> guard(lock);
        EXPECT_TRUE(finished.wait_for(guard, std::chrono::seconds(120), [&] { return done; }));
    }
    log.setHook(nullptr);
    if (file) {
        const size_t before = log.size();
        asyncftp::CloseHandle(file);
        EXPECT_GE(log.waitFor(INTERNET_STATUS_HANDLE_CLOSING, before), 0);
        EXPECT_EQ(log.events()[from].status, static_cast<DWORD>(INTERNET_STATUS_HANDLE_CREATED));
    }
    (void)test;
    return result;
}

bool MatchesContent(const std::vector<unsigned char>& data, size_t offset = 0)
{
    for (size_t i = 0; i < data.size(); ++i)
        if (data[i] != ContentByte(offset + i)) return false;
    return true;
}

TEST_F(AsyncFtpTest, ReadsDeliverEveryByteAroundTheChunkSize)
{
    const HINTERNET connection = connect(ports.standard, "quenlor", "secret");
    ASSERT_NE(connection, nullptr);
    for (const auto& [name, size] : std::vector<std::pair<const char*, size_t>>{
             {"empty.bin", 0}, {"b1023.bin", 1023}, {"b1024.bin", 1024}, {"b1025.bin", 1025}}) {
        DWORD openError = 0;
        const Download d = Fetch(this, log, connection, name, 1024, &openError);
        EXPECT_EQ(openError, 0u) << name;
        EXPECT_EQ(d.failure, 0u) << name;
        EXPECT_EQ(d.data.size(), size) << name;
        EXPECT_TRUE(MatchesContent(d.data)) << name;
        // Open completes, then one "41 100" per chunk, then "41 100" with 0 at the end.
        std::string expected = "100";
        for (size_t chunks = (size + 1023) / 1024 + 1; chunks > 0; --chunks) expected += " 41 100";
        EXPECT_EQ(d.order, expected) << name;
    }
    closeAndWait(connection);
}

TEST_F(AsyncFtpTest, SeveralMebibytesArriveByteExactInPassiveAndActiveMode)
{
    for (bool passive : {true, false}) {
        const HINTERNET connection = connect(ports.standard, "quenlor", "secret", passive);
        ASSERT_NE(connection, nullptr);
        DWORD openError = 0;
        const Download d = Fetch(this, log, connection, "big.bin", passive ? 1024 : 60000, &openError);
        EXPECT_EQ(openError, 0u) << (passive ? "passive" : "active");
        EXPECT_EQ(d.failure, 0u) << (passive ? "passive" : "active");
        EXPECT_EQ(d.data.size(), 5u * 1024 * 1024 + 7) << (passive ? "passive" : "active");
        EXPECT_TRUE(MatchesContent(d.data));
        closeAndWait(connection);
    }
}

TEST_F(AsyncFtpTest, ActiveModeTakesTheDataConnectionOnlyFromTheServersAddress)
{
    const HINTERNET connection = connect(ports.scripted, "portthief", "x", false);
    ASSERT_NE(connection, nullptr);
    DWORD openError = 0;
    const Download d = Fetch(this, log, connection, "b1025.bin", 1024, &openError);
    EXPECT_EQ(openError, 0u);
    EXPECT_EQ(d.failure, 0u);
    EXPECT_EQ(d.data.size(), 1025u) << "the stranger's bytes were not taken for the file";
    EXPECT_TRUE(MatchesContent(d.data));
    closeAndWait(connection);
}

TEST_F(AsyncFtpTest, ResumeStartsAtTheRestOffset)
{
    const HINTERNET connection = connect(ports.standard, "quenlor", "secret");
    ASSERT_NE(connection, nullptr);
    // Context 0: runs synchronously and reports through the return value, as the download start uses it.
    EXPECT_TRUE(asyncftp::Command(connection, FALSE, FTP_TRANSFER_TYPE_BINARY, "REST 4096\n", 0, nullptr));
    const Download d = Fetch(this, log, connection, "big.bin", 1024);
    EXPECT_EQ(d.failure, 0u);
    EXPECT_EQ(d.data.size(), 5u * 1024 * 1024 + 7 - 4096);
    EXPECT_TRUE(MatchesContent(d.data, 4096));
    // The offset is used once: the next download starts at 0 again.
    EXPECT_EQ(Fetch(this, log, connection, "b1025.bin", 1024).data.size(), 1025u);
    closeAndWait(connection);
}

TEST_F(AsyncFtpTest, AMissingRemoteFileFailsOnTheConnectionWithoutAHandle)
{
    const HINTERNET connection = connect(ports.standard, "quenlor", "secret");
    ASSERT_NE(connection, nullptr);
    const size_t from = log.size();
    DWORD openError = 0;
    Fetch(this, log, connection, "no-such-file.bin", 1024, &openError);
    EXPECT_EQ(openError, static_cast<DWORD>(ERROR_INTERNET_EXTENDED_ERROR));
    EXPECT_EQ(log.statuses(from), "100");
    // The connection stays usable.
    EXPECT_EQ(Fetch(this, log, connection, "b1023.bin", 1024).data.size(), 1023u);
    closeAndWait(connection);
}

TEST_F(AsyncFtpTest, ACutOffTransferFailsTheReadEvenWhenTheServerClaimsSuccess)
{
    for (const char* user : {"drop", "droplie"}) {
        const HINTERNET connection = connect(ports.scripted, user, "x");
        ASSERT_NE(connection, nullptr);
        const Download d = Fetch(this, log, connection, "big.bin", 1024);
        EXPECT_TRUE(d.failure == static_cast<DWORD>(ERROR_INTERNET_CONNECTION_RESET) ||
                    d.failure == static_cast<DWORD>(ERROR_INTERNET_CONNECTION_ABORTED)) << user << " " << d.failure;
        EXPECT_LE(d.data.size(), (5u * 1024 * 1024 + 7) / 2) << user;
        EXPECT_TRUE(MatchesContent(d.data)) << user;
        // The failed read has a 100 without a 41 in front of it.
        ASSERT_GE(d.order.size(), 10u);
        EXPECT_EQ(d.order.substr(d.order.size() - 10), "41 100 100") << "the last good chunk, then the failure";
        closeAndWait(connection);
    }
}

TEST_F(AsyncFtpTest, PassiveModeFallsBackToPasvAndAStalledTransferTimesOut)
{
    ASSERT_TRUE(asyncftp::SetTimeout(internet, 1500));
    HINTERNET connection = connect(ports.scripted, "noepsv", "x");
    ASSERT_NE(connection, nullptr);
    Download d = Fetch(this, log, connection, "b1025.bin", 1024);
    EXPECT_EQ(d.data.size(), 1025u);
    EXPECT_TRUE(MatchesContent(d.data));
    closeAndWait(connection);

    connection = connect(ports.scripted, "stall", "x");
    ASSERT_NE(connection, nullptr);
    const DWORD start = GetTickCount();
    d = Fetch(this, log, connection, "big.bin", 1024);
    EXPECT_EQ(d.failure, static_cast<DWORD>(ERROR_INTERNET_TIMEOUT));
    EXPECT_EQ(d.data.size(), 1000u);
    EXPECT_LT(GetTickCount() - start, 15000u);
    closeAndWait(connection);
}

TEST_F(AsyncFtpTest, ClosingAFileWithAReadInFlightCancelsItThenCloses)
{
    const HINTERNET connection = connect(ports.scripted, "stall", "x");
    ASSERT_NE(connection, nullptr);
    size_t from = log.size();
    asyncftp::OpenFile(connection, "big.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, log.context());
    ASSERT_GE(log.waitFor(INTERNET_STATUS_REQUEST_COMPLETE, from), 0);
    const HINTERNET file = reinterpret_cast<HINTERNET>(log.events()[from].result);
    std::vector<char> buffer(4096);
    DWORD got = 0;
    // The first read gets the 1000 bytes; the second waits on a server that sends no more.
    from = log.size();
    asyncftp::ReadFile(file, buffer.data(), 4096, &got);
    ASSERT_GE(log.waitFor(INTERNET_STATUS_REQUEST_COMPLETE, from), 0);
    EXPECT_EQ(got, 1000u);
    from = log.size();
    asyncftp::ReadFile(file, buffer.data(), 4096, &got);
    Sleep(300);
    const DWORD start = GetTickCount();
    ASSERT_TRUE(asyncftp::CloseHandle(file));
    ASSERT_GE(log.waitFor(INTERNET_STATUS_HANDLE_CLOSING, from), 0);
    EXPECT_LT(GetTickCount() - start, 8000u);
    EXPECT_EQ(log.statuses(from), "100 70");
    EXPECT_EQ(log.events()[from].error, static_cast<DWORD>(ERROR_INTERNET_OPERATION_CANCELLED));
    EXPECT_FALSE(asyncftp::ReadFile(file, buffer.data(), 1, &got));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    closeAndWait(connection);
}

TEST_F(AsyncFtpTest, ClosingTheInternetHandleClosesChildrenFirst)
{
    const HINTERNET connection = connect(ports.standard, "quenlor", "secret");
    ASSERT_NE(connection, nullptr);
    const size_t from = log.size();
    asyncftp::OpenFile(connection, "big.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, log.context());
    ASSERT_GE(log.waitFor(INTERNET_STATUS_REQUEST_COMPLETE, from), 0);
    const HINTERNET file = reinterpret_cast<HINTERNET>(log.events()[from].result);
    const size_t closing = log.size();
    ASSERT_TRUE(asyncftp::CloseHandle(internet));
    internet = nullptr;
    // The connection closes its file, then itself; the internet handle, opened without a
    // context, announces nothing.
    for (int i = 0; i < 100 && log.size() < closing + 2; ++i) Sleep(50);
    const auto events = log.events();
    ASSERT_EQ(log.statuses(closing), "70 70");
    std::vector<HINTERNET> order;
    for (size_t i = closing; i < events.size(); ++i) order.push_back(events[i].handle);
    EXPECT_EQ(order[0], file);
    EXPECT_EQ(order[1], connection);
}

// --- hostile and broken servers ---------------------------------------------------------------

TEST_F(AsyncFtpTest, RepliesAndListingsBeyondTheirLimitsFailTheRequestInsteadOfGrowing)
{
    DWORD error = 0;
    HINTERNET connection = connect(ports.scripted, "hugereply", "x", true, &error);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY)) << "an endless multi-line reply";
    closeAndWait(connection);

    connection = connect(ports.scripted, "shortreply", "x", true, &error);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_INTERNET_CONNECTION_ABORTED)) << "a multi-line reply cut off";
    closeAndWait(connection);

    connection = connect(ports.scripted, "longline", "x", true, &error);
    ASSERT_EQ(error, 0u);
    char dir[260];
    DWORD dirLen = sizeof dir;
    EXPECT_EQ(complete([&] { asyncftp::GetCurrentDirectory(connection, dir, &dirLen); }).error,
              static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY)) << "a reply line without an end";
    closeAndWait(connection);

    connection = connect(ports.scripted, "endlesslist", "x", true, &error);
    ASSERT_EQ(error, 0u);
    DWORD listError = 0;
    EXPECT_TRUE(list(connection, "*", &listError).empty());
    EXPECT_EQ(listError, static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY)) << "a listing without an end";
    dirLen = sizeof dir;
    EXPECT_EQ(complete([&] { asyncftp::GetCurrentDirectory(connection, dir, &dirLen); }).error, 0u)
        << "the control channel is back in step after the cut listing";
    EXPECT_STREQ(dir, "/");
    closeAndWait(connection);
}

TEST_F(AsyncFtpTest, UnreadablePassivePortsFallBackOrFailWithoutLosingTheConnection)
{
    HINTERNET connection = connect(ports.scripted, "badepsv", "x");
    ASSERT_NE(connection, nullptr);
    EXPECT_EQ(list(connection, "*").size(), 4u) << "PASV after an EPSV answer without a port";
    closeAndWait(connection);

    connection = connect(ports.scripted, "badpasv", "x");
    ASSERT_NE(connection, nullptr);
    DWORD listError = 0;
    EXPECT_TRUE(list(connection, "*", &listError).empty());
    EXPECT_EQ(listError, static_cast<DWORD>(ERROR_INTERNET_EXTENDED_ERROR));
    char dir[260];
    DWORD dirLen = sizeof dir;
    EXPECT_EQ(complete([&] { asyncftp::GetCurrentDirectory(connection, dir, &dirLen); }).error, 0u);
    closeAndWait(connection);
}

TEST_F(AsyncFtpTest, RepliesSplitAtEveryByteAndAnUnreadableSizeStillWork)
{
    HINTERNET connection = connect(ports.scripted, "split", "x");
    ASSERT_NE(connection, nullptr);
    char dir[260] = {};
    DWORD dirLen = sizeof dir;
    EXPECT_EQ(complete([&] { asyncftp::GetCurrentDirectory(connection, dir, &dirLen); }).error, 0u);
    EXPECT_STREQ(dir, "/");
    EXPECT_EQ(list(connection, "*").size(), 4u);
    Download d = Fetch(this, log, connection, "b1025.bin", 1024);
    EXPECT_EQ(d.failure, 0u);
    EXPECT_EQ(d.data.size(), 1025u);
    EXPECT_TRUE(MatchesContent(d.data));
    closeAndWait(connection);

    // "213 junk" is no size: the transfer is judged by the server's final reply alone.
    connection = connect(ports.scripted, "junksize", "x");
    ASSERT_NE(connection, nullptr);
    d = Fetch(this, log, connection, "b1025.bin", 1024);
    EXPECT_EQ(d.failure, 0u);
    EXPECT_EQ(d.data.size(), 1025u);
    closeAndWait(connection);
}

TEST(AsyncFtpListing, ADateWithoutAYearIsNeverInTheFuture)
{
    SYSTEMTIME now = {};
    now.wYear = 2026;
    now.wMonth = 1;
    now.wDay = 5;
    auto yearOf = [&](const char* date) {
        WIN32_FIND_DATAA entry;
        const std::string line = std::string("-rw-r--r--    1 owner    group   12 ") + date + " 10:00 f.txt";
        EXPECT_TRUE(asyncftp::ParseListLine(line, entry, now)) << date;
        SYSTEMTIME st = {};
        FileTimeToSystemTime(&entry.ftLastWriteTime, &st);
        return st.wYear;
    };
    EXPECT_EQ(yearOf("Jan 20"), 2025) << "later this month is last year's";
    EXPECT_EQ(yearOf("Jan 05"), 2026);
    EXPECT_EQ(yearOf("Jan 06"), 2026) << "one day ahead: a server clock in a later time zone";
    EXPECT_EQ(yearOf("Jan 07"), 2025);
    EXPECT_EQ(yearOf("Dec 31"), 2025);
    EXPECT_EQ(yearOf("Jan 01"), 2026);
    now.wMonth = 3;
    now.wDay = 1;
    EXPECT_EQ(yearOf("Feb 28"), 2026);
    EXPECT_EQ(yearOf("Mar 02"), 2026);
    EXPECT_EQ(yearOf("Mar 03"), 2025);
}

// --- lifetimes ---------------------------------------------------------------------------------


TEST_F(AsyncFtpTest, NoConnectionThreadOutlivesAFailedLoginOrTheInternetHandle)
{
    const int before = ThreadCount();
    // A synchronous Connect whose login fails: nobody gets a handle, so nothing may stay behind.
    const HINTERNET sync = asyncftp::OpenInternet("t", 1, "", "", 0);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(asyncftp::Connect(sync, "127.0.0.1", ports.standard, "quenlor", "wrong", INTERNET_SERVICE_FTP,
                                    INTERNET_FLAG_PASSIVE, 0),
                  nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_LOGIN_FAILURE));
        EXPECT_EQ(ThreadCount(), before) << "the failed connection's thread has ended";
    }
    // Connections still open when the internet handle closes end with it, before it returns.
    const HINTERNET a = asyncftp::Connect(sync, "127.0.0.1", ports.standard, "quenlor", "secret",
                                          INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 0);
    const HINTERNET b = asyncftp::Connect(sync, "127.0.0.1", ports.scripted, "unix", "x", INTERNET_SERVICE_FTP,
                                          INTERNET_FLAG_PASSIVE, 0);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(ThreadCount(), before + 2);
    EXPECT_TRUE(asyncftp::CloseHandle(sync));
    EXPECT_EQ(ThreadCount(), before);
    char dir[260];
    DWORD dirLen = sizeof dir;
    EXPECT_FALSE(asyncftp::GetCurrentDirectory(a, dir, &dirLen));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(AsyncFtpTest, CallsRacingCloseHandleAllReturnAndEachHandleClosesOnce)
{
    const HINTERNET sync = asyncftp::OpenInternet("t", 1, "", "", 0);
    for (int round = 0; round < 4; ++round) {
        // Synchronous requests from one thread while another closes their connection.
        const HINTERNET connection = asyncftp::Connect(sync, "127.0.0.1", ports.standard, "quenlor", "secret",
                                                       INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 0);
        ASSERT_NE(connection, nullptr);
        struct Hammer {
            HINTERNET connection;
            std::atomic<int> calls{0};
            static DWORD WINAPI Run(void* p)
            {
                auto* self = static_cast<Hammer*>(p);
                for (;;) {
                    char dir[260];
                    DWORD dirLen = sizeof dir;
                    ++self->calls;
                    if (!asyncftp::GetCurrentDirectory(self->connection, dir, &dirLen)) return GetLastError();
                }
            }
        } hammer{connection};
        const HANDLE thread = CreateThread(nullptr, 0, &Hammer::Run, &hammer, 0, nullptr);
        while (hammer.calls.load() < 1 + round) Sleep(1);
        EXPECT_TRUE(asyncftp::CloseHandle(connection));
        ASSERT_EQ(WaitForSingleObject(thread, 20000), WAIT_OBJECT_0) << "a request waits after the close";
        DWORD code = 0;
        GetExitCodeThread(thread, &code);
        EXPECT_TRUE(code == ERROR_INVALID_HANDLE || code == ERROR_INTERNET_OPERATION_CANCELLED) << code;
        CloseHandle(thread);
    }
    asyncftp::CloseHandle(sync);

    // A file closed by the caller while its connection closes: one 70 for it, never two.
    for (int round = 0; round < 4; ++round) {
        const HINTERNET connection = connect(ports.standard, "quenlor", "secret");
        ASSERT_NE(connection, nullptr);
        size_t from = log.size();
        asyncftp::OpenFile(connection, "big.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, log.context());
        ASSERT_GE(log.waitFor(INTERNET_STATUS_REQUEST_COMPLETE, from), 0);
        const HINTERNET file = reinterpret_cast<HINTERNET>(log.events()[from].result);
        from = log.size();
        struct Closer {
            HINTERNET file;
            static DWORD WINAPI Run(void* p)
            {
                asyncftp::CloseHandle(static_cast<Closer*>(p)->file);
                return 0;
            }
        } closer{file};
        const HANDLE thread = CreateThread(nullptr, 0, &Closer::Run, &closer, 0, nullptr);
        if (round % 2) Sleep(1);
        asyncftp::CloseHandle(connection);
        ASSERT_EQ(WaitForSingleObject(thread, 20000), WAIT_OBJECT_0);
        CloseHandle(thread);
        for (int i = 0; i < 100; ++i) {
            int closings = 0;
            for (const auto& e : log.events())
                closings += e.status == INTERNET_STATUS_HANDLE_CLOSING && e.handle == connection;
            if (closings) break;
            Sleep(50);
        }
        Sleep(200);
        int fileClosings = 0, connectionClosings = 0;
        const auto events = log.events();
        for (size_t i = from; i < events.size(); ++i) {
            if (events[i].status != INTERNET_STATUS_HANDLE_CLOSING) continue;
            fileClosings += events[i].handle == file;
            connectionClosings += events[i].handle == connection;
        }
        EXPECT_EQ(fileClosings, 1) << "round " << round;
        EXPECT_EQ(connectionClosings, 1) << "round " << round;
    }
}

TEST(AsyncFtpHandles, UnknownAndWrongKindHandlesAreRefused)
{
    DWORD got = 0;
    char buffer[4];
    EXPECT_FALSE(asyncftp::ReadFile(reinterpret_cast<HINTERNET>(0x1234), buffer, 4, &got));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    const HINTERNET internet = asyncftp::OpenInternet("t", 1, "", "", INTERNET_FLAG_ASYNC);
    EXPECT_FALSE(asyncftp::ReadFile(internet, buffer, 4, &got));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_INCORRECT_HANDLE_TYPE));
    EXPECT_EQ(asyncftp::SetStatusCallback(reinterpret_cast<HINTERNET>(0x1234), nullptr), INTERNET_INVALID_STATUS_CALLBACK);
    EXPECT_TRUE(asyncftp::CloseHandle(internet));
    EXPECT_FALSE(asyncftp::CloseHandle(internet)) << "a closed handle is gone";
}

}  // namespace
