#include "socket_channel.h"

#include <algorithm>
#include <cstring>

namespace asyncftp {

bool WinsockStarted()
{
    // Started once for the process and never cleaned up: callers may sit in any thread, and
    // a cleanup racing a late socket call would break it.
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

void Socket::reset(SOCKET s)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_socket != INVALID_SOCKET) closesocket(m_socket);
    m_socket = s;
}

void Socket::close() { reset(INVALID_SOCKET); }

void Socket::abort()
{
    m_aborted = true;
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_socket != INVALID_SOCKET) shutdown(m_socket, SD_BOTH);
}

IoResult Socket::waitFor(bool forWrite, DWORD timeoutMs)
{
    // Waits in short slices and checks for an abort in between: not every socket layer wakes a
    // select() when another thread shuts the socket down.
    constexpr DWORD kSliceMs = 50;
    const DWORD start = GetTickCount();
    for (;;) {
        if (m_aborted) return IoResult::Failed;
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs) return IoResult::TimedOut;
        const DWORD slice = std::min(kSliceMs, timeoutMs - elapsed);
        fd_set ready, failed;
        FD_ZERO(&ready);
        FD_ZERO(&failed);
        FD_SET(m_socket, &ready);
        FD_SET(m_socket, &failed);
        timeval limit;
        limit.tv_sec = 0;
        limit.tv_usec = static_cast<long>(slice * 1000);
        const int n = forWrite ? select(0, nullptr, &ready, &failed, &limit)
                               : select(0, &ready, nullptr, &failed, &limit);
        if (n == 0) continue;
        if (n < 0) return IoResult::Failed;
        if (FD_ISSET(m_socket, &failed) && !FD_ISSET(m_socket, &ready)) return IoResult::Failed;
        return m_aborted ? IoResult::Failed : IoResult::Ok;
    }
}

IoResult Socket::connectTo(const sockaddr* addr, int addrLen, DWORD timeoutMs)
{
    SOCKET s = socket(addr->sa_family, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return IoResult::Failed;
    reset(s);
    // A large receive window lets each receive take more of a bulk transfer at once.
    const int window = 1024 * 1024;
    setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&window), sizeof window);
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    if (connect(s, addr, addrLen) == SOCKET_ERROR && WSAGetLastError() != WSAEWOULDBLOCK) {
        close();
        return IoResult::Failed;
    }
    const IoResult waited = waitFor(true, timeoutMs);
    int error = 0;
    int errorLen = sizeof error;
    if (waited == IoResult::Ok &&
        (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &errorLen) != 0 || error != 0))
    {
        close();
        return IoResult::Failed;
    }
    if (waited != IoResult::Ok) {
        close();
        return waited;
    }
    const BOOL noDelay = TRUE;  // commands are short lines that must not wait for more bytes
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
    return IoResult::Ok;
}

IoResult Socket::sendAll(const char* data, size_t length, DWORD timeoutMs)
{
    while (length > 0) {
        const IoResult waited = waitFor(true, timeoutMs);
        if (waited != IoResult::Ok) return waited;
        const int sent = send(m_socket, data, static_cast<int>(length), 0);
        if (sent == SOCKET_ERROR) {
            if (WSAGetLastError() == WSAEWOULDBLOCK) continue;
            return IoResult::Failed;
        }
        data += sent;
        length -= static_cast<size_t>(sent);
    }
    return IoResult::Ok;
}

IoResult Socket::receiveSome(char* data, size_t capacity, size_t& received, DWORD timeoutMs)
{
    received = 0;
    for (;;) {
        if (m_aborted) return IoResult::Failed;
        // Try first and wait only when nothing is there: during a transfer data is usually
        // waiting already, and the wait would double the calls per chunk.
        const int n = recv(m_socket, data, static_cast<int>(capacity), 0);
        if (n == 0) return IoResult::Closed;
        if (n > 0) {
            received = static_cast<size_t>(n);
            return IoResult::Ok;
        }
        if (WSAGetLastError() != WSAEWOULDBLOCK) return IoResult::Failed;
        const IoResult waited = waitFor(false, timeoutMs);
        if (waited != IoResult::Ok) return waited;
    }
}

IoResult Socket::acceptOne(Socket& accepted, DWORD timeoutMs)
{
    const IoResult waited = waitFor(false, timeoutMs);
    if (waited != IoResult::Ok) return waited;
    SOCKET s = accept(m_socket, nullptr, nullptr);
    if (s == INVALID_SOCKET) return IoResult::Failed;
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    accepted.reset(s);
    return IoResult::Ok;
}

IoResult ConnectToHost(Socket& socket, const char* host, unsigned short port, const Deadline& deadline,
                       bool& nameResolved)
{
    nameResolved = false;
    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    char service[8];
    wsprintfA(service, "%u", static_cast<unsigned>(port));
    addrinfo* found = nullptr;
    if (getaddrinfo(host, service, &hints, &found) != 0 || !found) return IoResult::Failed;
    nameResolved = true;
    IoResult result = IoResult::Failed;
    for (addrinfo* a = found; a; a = a->ai_next) {
        if (deadline.expired()) {
            result = IoResult::TimedOut;
            break;
        }
        result = socket.connectTo(a->ai_addr, static_cast<int>(a->ai_addrlen), deadline.remaining());
        if (result == IoResult::Ok) break;
    }
    freeaddrinfo(found);
    return result;
}

IoResult ControlChannel::sendLine(const std::string& line, DWORD timeoutMs)
{
    const std::string wire = line + "\r\n";
    return m_socket.sendAll(wire.data(), wire.size(), timeoutMs);
}

IoResult ControlChannel::readLine(std::string& line, const Deadline& deadline)
{
    for (;;) {
        const size_t end = m_pending.find('\n');
        if (end != std::string::npos) {
            line.assign(m_pending, 0, end);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            m_pending.erase(0, end + 1);
            return IoResult::Ok;
        }
        if (m_pending.size() > kMaxReplyLineBytes) return IoResult::TooLarge;
        char chunk[1024];
        size_t received = 0;
        if (deadline.expired()) return IoResult::TimedOut;
        const IoResult r = m_socket.receiveSome(chunk, sizeof chunk, received, deadline.remaining());
        if (r != IoResult::Ok) return r;
        m_pending.append(chunk, received);
    }
}

static int ReplyCode(const std::string& line)
{
    if (line.size() < 3) return 0;
    for (int i = 0; i < 3; ++i)
        if (line[i] < '0' || line[i] > '9') return 0;
    return (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
}

IoResult ControlChannel::readReply(Reply& reply, DWORD timeoutMs)
{
    const Deadline deadline(timeoutMs);
    reply = Reply();
    std::string line;
    IoResult r = readLine(line, deadline);
    if (r != IoResult::Ok) return r;
    const int code = ReplyCode(line);
    if (code == 0) return IoResult::Failed;
    reply.text = line.size() > 4 ? line.substr(4) : std::string();
    if (line.size() > 3 && line[3] == '-') {
        // Multi-line: runs until a line starting with the same code and a space.
        for (;;) {
            r = readLine(line, deadline);
            if (r != IoResult::Ok) return r;
            if (reply.text.size() + line.size() > kMaxReplyBytes) return IoResult::TooLarge;
            if (ReplyCode(line) == code && (line.size() == 3 || line[3] == ' ')) {
                reply.text += '\n';
                reply.text += line.size() > 4 ? line.substr(4) : std::string();
                break;
            }
            reply.text += '\n';
            reply.text += line;
        }
    }
    reply.code = code;
    return IoResult::Ok;
}

IoResult ControlChannel::command(const std::string& line, Reply& reply, DWORD timeoutMs)
{
    const Deadline deadline(timeoutMs);
    const IoResult sent = sendLine(line, timeoutMs);
    if (sent != IoResult::Ok) return sent;
    return readReply(reply, deadline.remaining());
}

}  // namespace asyncftp
