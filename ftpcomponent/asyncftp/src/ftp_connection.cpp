#include "ftp_connection.h"

#include "listing_parser.h"
#include "passive_reply.h"

#include "asyncftp/Deadlines.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <chrono>
#include <future>

#include <process.h>

namespace asyncftp {
namespace {

// Replies to ABOR and QUIT are waited for briefly: the connection is being given up anyway.
constexpr DWORD kShortWaitMs = kClosingReplyDeadlineMs;
constexpr unsigned kConnectionThreadStack = 64 * 1024;
constexpr size_t kStagingSize = 256 * 1024;
// A connection's thread that has not run within this is given up, and the Connect fails.
constexpr DWORD kWorkerStartWaitMs = 10000;

// Connection threads started and not yet ended, whether or not anyone still waits for them.
volatile LONG g_threadsRunning = 0;

// A SIZE answer: decimal digits only (surrounding blanks allowed), within 64 bits.
bool ParseSize(const std::string& text, unsigned long long& size)
{
    size_t i = text.find_first_not_of(' ');
    if (i == std::string::npos) return false;
    unsigned long long value = 0;
    size_t digits = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
        const unsigned d = static_cast<unsigned>(text[i] - '0');
        if (value > (~0ULL - d) / 10) return false;
        value = value * 10 + d;
    }
    if (digits == 0 || text.find_first_not_of(' ', i) != std::string::npos) return false;
    size = value;
    return true;
}

bool HasWildcard(const std::string& s) { return s.find_first_of("*?") != std::string::npos; }

// 257 "/a ""quoted"" dir" is created  ->  /a "quoted" dir
bool ParseQuotedPath(const std::string& text, std::string& path)
{
    const size_t open = text.find('"');
    if (open == std::string::npos) return false;
    path.clear();
    for (size_t i = open + 1; i < text.size(); ++i) {
        if (text[i] != '"') {
            path += text[i];
        } else if (i + 1 < text.size() && text[i + 1] == '"') {
            path += '"';
            ++i;
        } else {
            return true;
        }
    }
    return false;
}

}  // namespace

FtpConnection::FtpConnection(std::shared_ptr<ConnectionHandle> handle, std::string host, INTERNET_PORT port,
                             std::string user, std::string password, bool passive, DWORD timeoutMs)
    : m_handle(std::move(handle)), m_host(std::move(host)), m_port(port), m_user(std::move(user)),
      m_password(std::move(password)), m_passive(passive), m_timeoutMs(timeoutMs)
{
}

FtpConnection::~FtpConnection()
{
    if (m_thread) CloseHandle(m_thread);
}

bool FtpConnection::start()
{
    // The thread owns a reference: the queue's work may drop the last outside one.
    auto* keepAlive = new std::shared_ptr<FtpConnection>(shared_from_this());
    InterlockedIncrement(&g_threadsRunning);
    // A small reservation: a game process may hold thousands of connections in 2 GiB.
    const uintptr_t thread = _beginthreadex(nullptr, kConnectionThreadStack, &FtpConnection::threadMain, keepAlive,
                                            STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (thread == 0) {
        InterlockedDecrement(&g_threadsRunning);
        delete keepAlive;
        return false;
    }
    // Returns once the worker runs: requests never wait on a thread still starting up.
    std::unique_lock<std::mutex> guard(m_queueLock);
    m_thread = reinterpret_cast<HANDLE>(thread);
    if (m_queueReady.wait_for(guard, std::chrono::milliseconds(kWorkerStartWaitMs), [this] { return m_workerId != 0; }))
        return true;
    // Given up: whenever the thread does run, it finds nothing queued and the stop set, and ends.
    m_stopping = true;
    return false;
}

HANDLE FtpConnection::duplicateThreadHandle() const
{
    HANDLE copy = nullptr;
    // Waiting needs SYNCHRONIZE; telling whether the waiter is the thread itself (GetThreadId)
    // needs the query right, without which the id reads as 0 and a close from inside one of the
    // connection's notifications would wait on its own thread for the whole bound.
    if (m_thread)
        DuplicateHandle(GetCurrentProcess(), m_thread, GetCurrentProcess(), &copy,
                        SYNCHRONIZE | THREAD_QUERY_LIMITED_INFORMATION, FALSE, 0);
    return copy;
}

bool FtpConnection::onWorker() const { return GetCurrentThreadId() == m_workerId; }

unsigned __stdcall FtpConnection::threadMain(void* keepAlive)
{
    auto* self = static_cast<std::shared_ptr<FtpConnection>*>(keepAlive);
    (*self)->workerMain();
    delete self;
    // The last thing the thread does in this module (what remains is the return).
    InterlockedDecrement(&g_threadsRunning);
    return 0;
}

LONG ThreadsRunning() { return g_threadsRunning; }

void FtpConnection::workerMain()
{
    {
        std::lock_guard<std::mutex> guard(m_queueLock);
        m_workerId = GetCurrentThreadId();
    }
    m_queueReady.notify_all();
    for (;;) {
        std::function<void()> work;
        {
            std::unique_lock<std::mutex> guard(m_queueLock);
            // Idle until work comes: every handle's close queues work, and closing the internet
            // handle closes every connection, so no connection's thread waits past its owner.
            m_queueReady.wait(guard, [this] { return !m_queue.empty() || m_stopping; });
            if (m_queue.empty()) {
                m_exited = true;
                break;
            }
            work = std::move(m_queue.front());
            m_queue.pop_front();
            m_busy = true;
        }
        // Nothing may leave this thread into the host process. Requests turn their own
        // exceptions into failures (submit); this catches whatever else a work item throws.
        try {
            work();
        } catch (...) {
        }
        std::lock_guard<std::mutex> guard(m_queueLock);
        m_busy = false;
    }
}

bool FtpConnection::post(std::function<void()> work)
{
    std::lock_guard<std::mutex> guard(m_queueLock);
    if (m_exited) return false;
    m_queue.push_back(std::move(work));
    m_queueReady.notify_one();
    return true;
}

DWORD FtpConnection::submit(const std::shared_ptr<HandleObject>& target, std::function<Outcome()> request,
                            Outcome* syncOutcome)
{
    auto guarded = [this, target, request]() {
        Outcome out;
        if (target->closed || m_handle->closed) return failed(target, ERROR_INTERNET_OPERATION_CANCELLED);
        try {
            out = request();
        } catch (...) {
            // Out of memory in the middle of a request: it fails like any other, and the control
            // channel, left at an unknown point, is not used again.
            m_broken = true;
            return failed(target, ERROR_NOT_ENOUGH_MEMORY);
        }
        // A request that broke because its handle was closed under it was cancelled, not failed.
        if (out.error != 0 && (target->closed || m_handle->closed)) out.error = ERROR_INTERNET_OPERATION_CANCELLED;
        return out;
    };
    if (target->context != 0) {
        auto self = shared_from_this();
        if (!post([self, guarded] { self->deliver(guarded()); })) return ERROR_INTERNET_OPERATION_CANCELLED;
        return ERROR_IO_PENDING;
    }
    Outcome out;
    if (onWorker()) {
        out = guarded();  // called from inside a notification: waiting on ourselves would never end
    } else {
        auto done = std::make_shared<std::promise<Outcome>>();
        std::future<Outcome> result = done->get_future();
        // Once queued it runs (see the queue invariants), and every request's socket waits are
        // bounded by the connection's timeout, so this wait ends.
        if (!post([done, guarded] { done->set_value(guarded()); })) return ERROR_INTERNET_OPERATION_CANCELLED;
        out = result.get();
    }
    if (syncOutcome) *syncOutcome = out;
    return out.error;
}

void FtpConnection::deliver(const Outcome& out)
{
    if (!out.target) return;
    if (out.isRead && out.error == 0) {
        DWORD count = out.count;
        out.target->notify(INTERNET_STATUS_RESPONSE_RECEIVED, &count, sizeof count);
        out.target->notifyComplete(TRUE, count);
    } else {
        out.target->notifyComplete(out.result, out.error);
    }
}

Outcome FtpConnection::failed(const std::shared_ptr<HandleObject>& target, DWORD error)
{
    Outcome out;
    out.target = target;
    out.error = error;
    out.result = FALSE;
    return out;
}

DWORD FtpConnection::markControlLost(IoResult r)
{
    m_broken = true;
    return ioError(r);
}

Outcome FtpConnection::controlLost(IoResult r)
{
    return failed(m_handle, markControlLost(r));
}

DWORD FtpConnection::ioError(IoResult r) const
{
    if (r == IoResult::TooLarge) return ERROR_NOT_ENOUGH_MEMORY;
    return r == IoResult::TimedOut ? ERROR_INTERNET_TIMEOUT : ERROR_INTERNET_CONNECTION_ABORTED;
}

bool FtpConnection::usable(Outcome& out, const std::shared_ptr<HandleObject>& target)
{
    if (!m_loggedIn || m_broken) {
        out = failed(target, ERROR_INTERNET_CONNECTION_ABORTED);
        return false;
    }
    if (fileOpen()) {
        out = failed(target, ERROR_FTP_TRANSFER_IN_PROGRESS);
        return false;
    }
    return true;
}

Outcome FtpConnection::login()
{
    m_handle->notifyCreated();
    // One deadline for the whole log-in: a server that keeps answering "120" (or answers one byte
    // at a time) cannot hold the connection's thread beyond it.
    const Deadline login(m_timeoutMs);
    bool resolved = false;
    IoResult io = ConnectToHost(m_control.socket(), m_host.c_str(), m_port, login, resolved);
    if (io != IoResult::Ok) {
        m_broken = true;
        return failed(m_handle, !resolved ? ERROR_INTERNET_NAME_NOT_RESOLVED
                                : io == IoResult::TimedOut ? ERROR_INTERNET_TIMEOUT
                                                           : ERROR_INTERNET_CANNOT_CONNECT);
    }
    Reply reply;
    io = m_control.readReply(reply, login.remaining());
    while (io == IoResult::Ok && reply.positivePreliminary())  // 120: wait, but not past the deadline
        io = login.expired() ? IoResult::TimedOut : m_control.readReply(reply, login.remaining());
    if (io == IoResult::Ok && !reply.positive()) io = IoResult::Failed;
    if (io == IoResult::Ok) io = m_control.command("USER " + m_user, reply, login.remaining());
    if (io == IoResult::Ok && reply.intermediate()) io = m_control.command("PASS " + m_password, reply, login.remaining());
    if (io != IoResult::Ok) {
        m_broken = true;
        m_control.socket().close();
        return failed(m_handle, ioError(io));
    }
    if (!reply.positive()) {
        m_broken = true;
        m_control.socket().close();
        return failed(m_handle, ERROR_INTERNET_LOGIN_FAILURE);
    }
    // Machine-readable listings when the server has them; LIST and its guesswork otherwise.
    io = m_control.command("FEAT", reply, login.remaining());
    if (io == IoResult::Ok && reply.positive()) {
        std::string features = reply.text;
        for (char& c : features) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
        m_hasMlst = features.find("MLST") != std::string::npos;
    }
    if (io == IoResult::Ok) io = m_control.command("TYPE I", reply, login.remaining());
    if (io != IoResult::Ok || !reply.positive()) {
        m_broken = true;
        m_control.socket().close();
        return failed(m_handle, io != IoResult::Ok ? ioError(io) : ERROR_INTERNET_EXTENDED_ERROR);
    }
    m_loggedIn = true;
    Outcome out;
    out.target = m_handle;
    out.result = reinterpret_cast<DWORD_PTR>(m_handle->value);
    return out;
}

Outcome FtpConnection::getDirectory(char* directory, DWORD* length)
{
    Outcome out;
    if (!usable(out, m_handle)) return out;
    Reply reply;
    const IoResult io = m_control.command("PWD", reply, m_timeoutMs);
    if (io != IoResult::Ok) {
        return controlLost(io);
    }
    std::string path;
    if (reply.code != 257 || !ParseQuotedPath(reply.text, path)) return failed(m_handle, ERROR_INTERNET_EXTENDED_ERROR);
    if (path.size() + 1 > *length) {
        *length = static_cast<DWORD>(path.size() + 1);
        return failed(m_handle, ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(directory, path.c_str(), path.size() + 1);
    *length = static_cast<DWORD>(path.size());
    out.target = m_handle;
    return out;
}

Outcome FtpConnection::setDirectory(const std::string& directory)
{
    Outcome out;
    if (!usable(out, m_handle)) return out;
    Reply reply;
    const IoResult io = m_control.command("CWD " + directory, reply, m_timeoutMs);
    if (io != IoResult::Ok) {
        return controlLost(io);
    }
    if (!reply.positive()) return failed(m_handle, ERROR_INTERNET_EXTENDED_ERROR);
    out.target = m_handle;
    return out;
}

bool FtpConnection::openPassive(Socket& data, DWORD& error, const Deadline& deadline)
{
    sockaddr_storage peer;
    int peerLen = sizeof peer;
    if (getpeername(m_control.socket().get(), reinterpret_cast<sockaddr*>(&peer), &peerLen) != 0) {
        error = ERROR_INTERNET_CONNECTION_ABORTED;
        return false;
    }
    Reply reply;
    int port = -1;
    if (!m_epsvRefused) {
        const IoResult io = m_control.command("EPSV", reply, deadline.remaining());
        if (io != IoResult::Ok) {
            error = markControlLost(io);
            return false;
        }
        // Refused or answered with a port we cannot read: PASV, now and from then on.
        if (reply.code == 229) port = ParseEpsvPort(reply.text);
        if (port < 0) m_epsvRefused = true;
    }
    if (port < 0) {
        const IoResult io = m_control.command("PASV", reply, deadline.remaining());
        if (io != IoResult::Ok) {
            error = markControlLost(io);
            return false;
        }
        // The address in the reply is ignored: the data connection goes to the control peer,
        // which also keeps a hostile server from pointing it elsewhere.
        port = reply.code == 227 ? ParsePasvPort(reply.text) : -1;
    }
    if (port <= 0 || port > 65535) {
        error = ERROR_INTERNET_EXTENDED_ERROR;
        return false;
    }
    if (peer.ss_family == AF_INET6) reinterpret_cast<sockaddr_in6*>(&peer)->sin6_port = htons(static_cast<u_short>(port));
    else reinterpret_cast<sockaddr_in*>(&peer)->sin_port = htons(static_cast<u_short>(port));
    const IoResult io = data.connectTo(reinterpret_cast<sockaddr*>(&peer), peerLen, deadline.remaining());
    if (io != IoResult::Ok) {
        error = io == IoResult::TimedOut ? ERROR_INTERNET_TIMEOUT : ERROR_INTERNET_CANNOT_CONNECT;
        return false;
    }
    return true;
}

bool FtpConnection::listenActive(Socket& listener, DWORD& error, const Deadline& deadline)
{
    sockaddr_storage local;
    int localLen = sizeof local;
    error = ERROR_INTERNET_EXTENDED_ERROR;
    if (getsockname(m_control.socket().get(), reinterpret_cast<sockaddr*>(&local), &localLen) != 0) return false;
    if (local.ss_family == AF_INET6) reinterpret_cast<sockaddr_in6*>(&local)->sin6_port = 0;
    else reinterpret_cast<sockaddr_in*>(&local)->sin_port = 0;
    listener.reset(socket(local.ss_family, SOCK_STREAM, IPPROTO_TCP));
    if (!listener.valid() || bind(listener.get(), reinterpret_cast<sockaddr*>(&local), localLen) != 0 ||
        listen(listener.get(), 1) != 0 ||
        getsockname(listener.get(), reinterpret_cast<sockaddr*>(&local), &localLen) != 0)
        return false;
    char line[128];
    if (local.ss_family == AF_INET6) {
        char host[INET6_ADDRSTRLEN] = {};
        auto* a6 = reinterpret_cast<sockaddr_in6*>(&local);
        DWORD hostLen = sizeof host;
        a6->sin6_port = 0;
        WSAAddressToStringA(reinterpret_cast<sockaddr*>(a6), sizeof *a6, nullptr, host, &hostLen);
        getsockname(listener.get(), reinterpret_cast<sockaddr*>(&local), &localLen);
        std::snprintf(line, sizeof line, "EPRT |2|%s|%u|", host, ntohs(a6->sin6_port));
    } else {
        const auto* a4 = reinterpret_cast<sockaddr_in*>(&local);
        const unsigned char* ip = reinterpret_cast<const unsigned char*>(&a4->sin_addr);
        const unsigned port = ntohs(a4->sin_port);
        std::snprintf(line, sizeof line, "PORT %u,%u,%u,%u,%u,%u", ip[0], ip[1], ip[2], ip[3], port >> 8, port & 0xFF);
    }
    Reply reply;
    const IoResult io = m_control.command(line, reply, deadline.remaining());
    if (io != IoResult::Ok) {
        error = markControlLost(io);
        return false;
    }
    return reply.positive();
}

bool FtpConnection::startTransfer(const std::string& command, Socket& data, Reply& reply, DWORD& error)
{
    // One deadline from the set-up to the open data connection.
    const Deadline deadline(m_timeoutMs);
    Socket listener;
    if (m_passive ? !openPassive(data, error, deadline) : !listenActive(listener, error, deadline)) return false;
    const IoResult io = m_control.command(command, reply, deadline.remaining());
    if (io != IoResult::Ok) {
        error = markControlLost(io);
        data.close();
        return false;
    }
    if (!reply.positivePreliminary()) {
        error = ERROR_INTERNET_EXTENDED_ERROR;
        data.close();
        return false;
    }
    if (!m_passive) {
        const IoResult accepted = acceptFromServer(listener, data, deadline);
        if (accepted != IoResult::Ok) {
            error = ioError(accepted);
            resynchronise();
            return false;
        }
    }
    return true;
}

IoResult FtpConnection::acceptFromServer(Socket& listener, Socket& data, const Deadline& deadline)
{
    sockaddr_storage server;
    int serverLen = sizeof server;
    if (getpeername(m_control.socket().get(), reinterpret_cast<sockaddr*>(&server), &serverLen) != 0)
        return IoResult::Failed;
    for (;;) {
        const IoResult accepted = listener.acceptOne(data, deadline.remaining());
        if (accepted != IoResult::Ok) return accepted;
        sockaddr_storage peer;
        int peerLen = sizeof peer;
        bool same = getpeername(data.get(), reinterpret_cast<sockaddr*>(&peer), &peerLen) == 0 &&
                    peer.ss_family == server.ss_family;
        if (same && server.ss_family == AF_INET)
            same = reinterpret_cast<sockaddr_in*>(&peer)->sin_addr.s_addr ==
                   reinterpret_cast<sockaddr_in*>(&server)->sin_addr.s_addr;
        else if (same)
            same = std::memcmp(&reinterpret_cast<sockaddr_in6*>(&peer)->sin6_addr,
                               &reinterpret_cast<sockaddr_in6*>(&server)->sin6_addr, sizeof(in6_addr)) == 0;
        if (same) return IoResult::Ok;
        // Someone else found the port first: not the server's data, whatever it would send.
        data.close();
    }
}

bool FtpConnection::finishTransferReply(DWORD& error)
{
    Reply reply;
    const IoResult io = m_control.readReply(reply, m_timeoutMs);
    if (io != IoResult::Ok) {
        error = markControlLost(io);
        return false;
    }
    if (!reply.positive()) {
        error = ERROR_INTERNET_CONNECTION_RESET;
        return false;
    }
    return true;
}

void FtpConnection::resynchronise()
{
    // ABOR draws zero, one or two replies depending on how far the transfer had got; a NOOP's 200
    // marks the point where the channel is back in step.
    if (m_broken) return;
    if (m_control.sendLine("NOOP", kShortWaitMs) != IoResult::Ok) {
        m_broken = true;
        return;
    }
    for (int i = 0; i < 6; ++i) {
        Reply reply;
        if (m_control.readReply(reply, std::min(m_timeoutMs, kShortWaitMs)) != IoResult::Ok) break;
        if (reply.code == 200) return;
    }
    m_broken = true;
}

bool FtpConnection::fetchListing(const std::string& directory, std::vector<WIN32_FIND_DATAA>& entries,
                                 const std::string& pattern, DWORD& error)
{
    Socket data;
    {
        std::lock_guard<std::mutex> guard(m_abortLock);
        m_transferData = &data;
    }
    struct Unhook {
        FtpConnection* self;
        ~Unhook()
        {
            std::lock_guard<std::mutex> guard(self->m_abortLock);
            self->m_transferData = nullptr;
        }
    } unhook{this};

    Reply reply;
    const std::string verb = m_hasMlst ? "MLSD" : "LIST";
    if (!startTransfer(directory.empty() ? verb : verb + " " + directory, data, reply, error)) return false;
    std::string text;
    char chunk[8192];
    for (;;) {
        size_t received = 0;
        IoResult io = data.receiveSome(chunk, sizeof chunk, received, m_timeoutMs);
        if (io == IoResult::Closed) break;
        if (io == IoResult::Ok && text.size() + received > kMaxListingBytes) io = IoResult::TooLarge;
        if (io != IoResult::Ok) {
            error = ioError(io);
            data.close();
            m_control.sendLine("ABOR", kShortWaitMs);
            resynchronise();
            return false;
        }
        text.append(chunk, received);
    }
    data.close();
    if (!finishTransferReply(error)) return false;

    SYSTEMTIME now;
    GetSystemTime(&now);
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        pos = end + 1;
        WIN32_FIND_DATAA entry;
        const bool parsed = m_hasMlst ? ParseMlsdLine(line, entry) : ParseListLine(line, entry, now);
        if (parsed && MatchesPattern(entry.cFileName, pattern)) {
            if (entries.size() == kMaxListingEntries) {
                error = ERROR_NOT_ENOUGH_MEMORY;
                return false;
            }
            entries.push_back(entry);
        }
    }
    return true;
}

Outcome FtpConnection::findFirst(const std::shared_ptr<FindHandle>& find, const std::string& pattern,
                                 WIN32_FIND_DATAA* firstEntry)
{
    Outcome out;
    if (!usable(out, m_handle)) return out;
    const size_t slash = pattern.find_last_of('/');
    const std::string last = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
    const std::string parent = slash == std::string::npos ? std::string() : slash == 0 ? "/" : pattern.substr(0, slash);
    DWORD error = 0;
    bool listed;
    if (pattern.empty() || HasWildcard(last)) {
        listed = fetchListing(parent, find->entries, last.empty() ? "*" : last, error);
    } else {
        // A plain name is a directory to list; failing that, the one entry of that name.
        listed = fetchListing(pattern, find->entries, "*", error);
        if (!listed && !m_broken) {
            find->entries.clear();
            listed = fetchListing(parent, find->entries, last, error);
        }
    }
    if (!listed) return failed(m_handle, error);

    find->connection = shared_from_this();
    RegisterHandle(find);
    m_children.push_back(find);
    find->notifyCreated();
    if (find->entries.empty()) return failed(find, ERROR_NO_MORE_FILES);
    *firstEntry = find->entries[0];
    find->next = 1;
    out.target = find;
    out.result = reinterpret_cast<DWORD_PTR>(find->value);
    return out;
}

Outcome FtpConnection::findNext(const std::shared_ptr<FindHandle>& find, void* entry)
{
    if (find->next >= find->entries.size()) return failed(find, ERROR_NO_MORE_FILES);
    std::memcpy(entry, &find->entries[find->next++], sizeof(WIN32_FIND_DATAA));
    Outcome out;
    out.target = find;
    return out;
}

Outcome FtpConnection::openFile(const std::shared_ptr<FileHandle>& file, const std::string& name)
{
    Outcome out;
    const unsigned long long restart = m_restOffset;
    m_restOffset = 0;
    if (!usable(out, m_handle)) return out;
    file->received = restart;
    Reply reply;
    IoResult io = m_control.command("SIZE " + name, reply, m_timeoutMs);
    // Anything but a plain number leaves the size unknown: reading "213 junk" as 0 would fail
    // every transfer as cut off.
    if (io == IoResult::Ok && reply.code == 213) file->sizeKnown = ParseSize(reply.text, file->expectedSize);
    // REST goes again right before RETR, since some servers forget it across PASV and SIZE.
    if (io == IoResult::Ok && restart != 0) {
        io = m_control.command("REST " + std::to_string(restart), reply, m_timeoutMs);
        if (io == IoResult::Ok && !reply.intermediate()) return failed(m_handle, ERROR_INTERNET_EXTENDED_ERROR);
    }
    if (io != IoResult::Ok) {
        return controlLost(io);
    }
    DWORD error = 0;
    if (!startTransfer("RETR " + name, file->data, reply, error)) return failed(m_handle, error);
    file->staging.reserve(kStagingSize);
    file->connection = shared_from_this();
    RegisterHandle(file);
    m_children.push_back(file);
    m_openFile = file;
    file->notifyCreated();
    out.target = file;
    out.result = reinterpret_cast<DWORD_PTR>(file->value);
    return out;
}

Outcome FtpConnection::read(const std::shared_ptr<FileHandle>& file, void* buffer, DWORD length, DWORD* bytesRead)
{
    Outcome out;
    out.target = file;
    out.isRead = true;
    if (file->stagingPos == file->staging.size() && !file->ended) {
        file->staging.resize(kStagingSize);
        file->stagingPos = 0;
        size_t received = 0;
        const IoResult io = file->data.receiveSome(file->staging.data(), kStagingSize, received, m_timeoutMs);
        file->staging.resize(received);
        if (file->closed) {
            // Woken by the close: the close itself aborts the transfer on the control channel.
            file->data.close();
            return failed(file, ERROR_INTERNET_OPERATION_CANCELLED);
        }
        if (io == IoResult::Closed) {
            file->data.close();
            file->ended = true;
            DWORD error = 0;
            const bool complete = finishTransferReply(error) &&
                                  (!file->sizeKnown || file->received == file->expectedSize);
            if (!complete) return failed(file, error != 0 ? error : ERROR_INTERNET_CONNECTION_RESET);
        } else if (io != IoResult::Ok) {
            file->data.close();
            file->ended = true;
            if (!file->closed) {
                m_control.sendLine("ABOR", kShortWaitMs);
                resynchronise();
            }
            return failed(file, ioError(io));
        }
    }
    const size_t available = file->staging.size() - file->stagingPos;
    const DWORD n = static_cast<DWORD>(std::min<size_t>(available, length));
    if (n == 0 && !file->ended) return failed(file, ERROR_INTERNET_CONNECTION_RESET);
    std::lock_guard<std::mutex> copying(file->copyLock);
    if (file->closed) return failed(file, ERROR_INTERNET_OPERATION_CANCELLED);  // its owner may free the buffer
    std::memcpy(buffer, file->staging.data() + file->stagingPos, n);
    file->stagingPos += n;
    file->received += n;
    *bytesRead = n;
    out.count = n;
    return out;
}

Outcome FtpConnection::rawCommand(const std::string& line)
{
    Outcome out;
    if (!usable(out, m_handle)) return out;
    Reply reply;
    const IoResult io = m_control.command(line, reply, m_timeoutMs);
    if (io != IoResult::Ok) {
        return controlLost(io);
    }
    if (reply.code >= 400) return failed(m_handle, ERROR_INTERNET_EXTENDED_ERROR);
    if (_strnicmp(line.c_str(), "REST ", 5) == 0) m_restOffset = std::strtoull(line.c_str() + 5, nullptr, 10);
    out.target = m_handle;
    return out;
}

void FtpConnection::closeFileNow(const std::shared_ptr<FileHandle>& file)
{
    if (!file->ended) {
        file->data.close();
        if (!m_broken) {
            m_control.sendLine("ABOR", kShortWaitMs);
            resynchronise();
        }
        file->ended = true;
    }
    file->data.close();
    if (m_openFile.lock() == file) m_openFile.reset();
}

void FtpConnection::closeChild(const std::shared_ptr<HandleObject>& child)
{
    // Whoever marks the child closed first sends its one 70: this call or the connection's close.
    if (child->closed.exchange(true)) return;
    UnregisterHandle(child->value);
    if (child->kind == HandleKind::File) {
        auto* file = static_cast<FileHandle*>(child.get());
        file->data.abort();
        std::lock_guard<std::mutex> copyDone(file->copyLock);  // a read copying now finishes first
    }
    auto self = shared_from_this();
    const bool queued = post([self, child] {
        if (child->kind == HandleKind::File) self->closeFileNow(std::static_pointer_cast<FileHandle>(child));
        child->notify(INTERNET_STATUS_HANDLE_CLOSING, &child->value, sizeof child->value);
        // Forgotten as it closes (with any other gone already), so thousands of transfers on one
        // connection leave nothing behind.
        auto& children = self->m_children;
        children.erase(std::remove_if(children.begin(), children.end(),
                                      [&child](const std::weak_ptr<HandleObject>& weak) {
                                          const auto held = weak.lock();
                                          return !held || held == child;
                                      }),
                       children.end());
    });
    if (!queued) {
        // The connection's worker has ended (its control channel is closed): finish here.
        if (child->kind == HandleKind::File) static_cast<FileHandle*>(child.get())->data.close();
        child->notify(INTERNET_STATUS_HANDLE_CLOSING, &child->value, sizeof child->value);
    }
}

void FtpConnection::closeConnection()
{
    if (m_handle->closed.exchange(true)) return;
    UnregisterHandle(m_handle->value);
    bool busy;
    {
        std::lock_guard<std::mutex> guard(m_queueLock);
        busy = m_busy;
    }
    if (busy) {
        // Whatever the worker waits on now belongs to a request that can only be cancelled.
        m_control.socket().abort();
        std::lock_guard<std::mutex> guard(m_abortLock);
        if (m_transferData) m_transferData->abort();
    }
    auto self = shared_from_this();
    post([self] {
        for (const auto& weak : self->m_children) {
            const auto child = weak.lock();
            if (!child || child->closed.exchange(true)) continue;  // closed on its own, 70 already queued
            UnregisterHandle(child->value);
            if (child->kind == HandleKind::File) self->closeFileNow(std::static_pointer_cast<FileHandle>(child));
            child->notify(INTERNET_STATUS_HANDLE_CLOSING, &child->value, sizeof child->value);
        }
        self->m_children.clear();
        if (self->m_loggedIn && !self->m_broken) {
            Reply reply;
            self->m_control.command("QUIT", reply, kShortWaitMs);
        }
        self->m_control.socket().close();
        self->m_handle->notify(INTERNET_STATUS_HANDLE_CLOSING, &self->m_handle->value, sizeof self->m_handle->value);
        // Breaks the handle's reference cycle; callers read the pointer atomically.
        std::atomic_store(&self->m_handle->connection, std::shared_ptr<FtpConnection>());
        std::lock_guard<std::mutex> guard(self->m_queueLock);
        self->m_stopping = true;
    });
}

}  // namespace asyncftp
