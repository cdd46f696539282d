// Winsock sockets with bounded waits, and the FTP control channel's line and reply reader.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

#include <atomic>
#include <mutex>
#include <string>

namespace asyncftp {

// Outcome of a bounded socket wait. TooLarge: the peer sent more than the stated limit.
enum class IoResult { Ok, Closed, TimedOut, Failed, TooLarge };

// Limits on what a server can make the client hold: one line of a reply, and a whole reply
// (a multi-line reply's lines together). Replies this client needs are a few hundred bytes.
constexpr size_t kMaxReplyLineBytes = 64 * 1024;
constexpr size_t kMaxReplyBytes = 64 * 1024;

// The point in time by which an exchange must be over.
class Deadline {
public:
    explicit Deadline(DWORD milliseconds) : m_start(GetTickCount()), m_span(milliseconds) {}
    DWORD remaining() const
    {
        const DWORD elapsed = GetTickCount() - m_start;
        return elapsed >= m_span ? 0 : m_span - elapsed;
    }
    bool expired() const { return remaining() == 0; }

private:
    DWORD m_start;
    DWORD m_span;
};

// One socket. Another thread may abort() it to wake a blocked wait; only the owning thread
// closes it, and both go through the same lock so an abort never hits a recycled descriptor.
class Socket {
public:
    Socket() = default;
    explicit Socket(SOCKET s) : m_socket(s) {}
    ~Socket() { close(); }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    bool valid() const { return m_socket != INVALID_SOCKET; }
    SOCKET get() const { return m_socket; }
    void reset(SOCKET s);
    void close();
    void abort();  // any thread: shut both directions so a blocked wait returns at once

    // Connects to addr within timeoutMs. On failure the socket stays invalid.
    IoResult connectTo(const sockaddr* addr, int addrLen, DWORD timeoutMs);
    IoResult sendAll(const char* data, size_t length, DWORD timeoutMs);
    // Receives at most capacity bytes into data; received is 0 only with Closed.
    IoResult receiveSome(char* data, size_t capacity, size_t& received, DWORD timeoutMs);
    // Waits for an incoming connection on a listening socket.
    IoResult acceptOne(Socket& accepted, DWORD timeoutMs);

private:
    IoResult waitFor(bool forWrite, DWORD timeoutMs);

    std::mutex m_lock;
    SOCKET m_socket = INVALID_SOCKET;
    std::atomic<bool> m_aborted{false};
};

// A parsed server reply: three-digit code (0 when none arrived) and the text of its last line
// (for a multi-line reply the whole text, lines joined by '\n').
struct Reply {
    int code = 0;
    std::string text;
    bool positivePreliminary() const { return code >= 100 && code < 200; }
    bool positive() const { return code >= 200 && code < 300; }
    bool intermediate() const { return code >= 300 && code < 400; }
};

class ControlChannel {
public:
    Socket& socket() { return m_socket; }
    IoResult sendLine(const std::string& line, DWORD timeoutMs);
    // Reads one complete reply, following the "123-" ... "123 " multi-line form; the whole reply
    // must arrive within timeoutMs, however the server spreads its bytes.
    IoResult readReply(Reply& reply, DWORD timeoutMs);
    // Sends the line and reads its reply, both within timeoutMs.
    IoResult command(const std::string& line, Reply& reply, DWORD timeoutMs);

private:
    IoResult readLine(std::string& line, const Deadline& deadline);

    Socket m_socket;
    std::string m_pending;  // bytes received past the last complete line
};

// Resolves host:port and connects to the first address that answers, by the deadline (the
// system's name lookup itself cannot be bounded: see Deadlines.h).
IoResult ConnectToHost(Socket& socket, const char* host, unsigned short port, const Deadline& deadline,
                       bool& nameResolved);

bool WinsockStarted();

}  // namespace asyncftp
