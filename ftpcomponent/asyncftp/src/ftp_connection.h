// One FTP control connection and the thread that runs its requests in order. Every request runs
// on this thread; its outcome goes out as notifications (asynchronous handles) or back to a
// waiting caller (context 0).
#pragma once

#include "handles.h"
#include "socket_channel.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <string>

namespace asyncftp {

// Limits on a directory listing: the text the server sends, and the entries kept from it (320
// bytes each). Beyond either the listing fails with ERROR_NOT_ENOUGH_MEMORY.
constexpr size_t kMaxListingBytes = 4 * 1024 * 1024;
constexpr size_t kMaxListingEntries = 32768;

// How a request ended: the 100 it sends (or the value a synchronous caller gets back).
struct Outcome {
    std::shared_ptr<HandleObject> target;  // handle whose callback receives the completion
    DWORD error = 0;
    DWORD_PTR result = TRUE;
    bool isRead = false;  // a read sends 41 and 100 with the byte count as the error word
    DWORD count = 0;
};

class FtpConnection : public std::enable_shared_from_this<FtpConnection> {
public:
    FtpConnection(std::shared_ptr<ConnectionHandle> handle, std::string host, INTERNET_PORT port,
                  std::string user, std::string password, bool passive, DWORD timeoutMs);

    ~FtpConnection();

    // Starts the worker; the caller then submits login(), which announces the handle first.
    // False when no thread could be started.
    bool start();
    // A handle of the worker thread, for a bounded wait on its end and for telling whether the
    // caller is that thread; the caller closes it.
    HANDLE duplicateThreadHandle() const;
    bool onWorker() const;

    // Runs request on the worker. With an asynchronous target the outcome is delivered there and
    // this returns at once with ERROR_IO_PENDING; otherwise it waits and returns the outcome's error.
    // Once the worker has ended, nothing more runs: ERROR_INTERNET_OPERATION_CANCELLED at once.
    DWORD submit(const std::shared_ptr<HandleObject>& target, std::function<Outcome()> request,
                 Outcome* syncOutcome = nullptr);
    // Queues work that produces no completion of its own (closing). False once the worker has
    // ended: the work will never run.
    bool post(std::function<void()> work);

    bool fileOpen() const { return m_openFile.lock() != nullptr; }
    // The control channel is gone (dropped, out of step, never logged in): no request can succeed.
    bool controlLost() const { return !m_loggedIn || m_broken; }
    DWORD timeout() const { return m_timeoutMs; }

    // Requests (worker thread only).
    Outcome login();
    Outcome getDirectory(char* directory, DWORD* length);
    Outcome setDirectory(const std::string& directory);
    Outcome findFirst(const std::shared_ptr<FindHandle>& find, const std::string& pattern,
                      WIN32_FIND_DATAA* firstEntry);
    Outcome findNext(const std::shared_ptr<FindHandle>& find, void* entry);
    Outcome openFile(const std::shared_ptr<FileHandle>& file, const std::string& name);
    Outcome read(const std::shared_ptr<FileHandle>& file, void* buffer, DWORD length, DWORD* bytesRead);
    Outcome rawCommand(const std::string& line);

    // Closing (any thread): marks the handle and wakes any wait on its sockets; the worker then
    // finishes what is queued, cleans up and sends 70.
    void closeChild(const std::shared_ptr<HandleObject>& child);
    void closeConnection();

private:
    static unsigned __stdcall threadMain(void* keepAlive);
    void workerMain();
    Outcome failed(const std::shared_ptr<HandleObject>& target, DWORD error);
    DWORD ioError(IoResult r) const;
    // The control connection failed mid-exchange: no later request may use it.
    DWORD markControlLost(IoResult r);
    Outcome controlLost(IoResult r);
    bool usable(Outcome& out, const std::shared_ptr<HandleObject>& target);
    // Opens a data connection (passive or active) and sends the transfer command on it; the
    // returned reply is the command's preliminary reply.
    bool startTransfer(const std::string& command, Socket& data, Reply& reply, DWORD& error);
    bool openPassive(Socket& data, DWORD& error, const Deadline& deadline);
    bool listenActive(Socket& listener, DWORD& error, const Deadline& deadline);
    // Active mode: takes the server's data connection, refusing any from another address.
    IoResult acceptFromServer(Socket& listener, Socket& data, const Deadline& deadline);
    bool fetchListing(const std::string& directory, std::vector<WIN32_FIND_DATAA>& entries,
                      const std::string& pattern, DWORD& error);
    bool finishTransferReply(DWORD& error);
    void resynchronise();  // after ABOR: skip replies until the control channel is quiet again
    void closeFileNow(const std::shared_ptr<FileHandle>& file);
    void deliver(const Outcome& out);

    std::shared_ptr<ConnectionHandle> m_handle;
    std::string m_host;
    INTERNET_PORT m_port;
    std::string m_user;
    std::string m_password;
    bool m_passive;
    DWORD m_timeoutMs;

    ControlChannel m_control;
    // Written by the worker only; atomic because controlLost() is asked from other threads too.
    std::atomic<bool> m_loggedIn{false};
    std::atomic<bool> m_broken{false};  // the control channel lost sync or dropped; every request fails
    bool m_epsvRefused = false;  // try PASV at once from then on
    bool m_hasMlst = false;
    unsigned long long m_restOffset = 0;  // from an accepted REST, used by the next RETR
    Socket* m_transferData = nullptr;  // data socket of a listing in progress, for aborting
    std::mutex m_abortLock;
    std::weak_ptr<FileHandle> m_openFile;
    std::vector<std::weak_ptr<HandleObject>> m_children;  // open finds and files; worker thread only

    std::mutex m_queueLock;
    std::condition_variable m_queueReady;
    std::deque<std::function<void()>> m_queue;
    // Queue invariants: work is queued only while m_exited is false, and the worker sets m_exited
    // in the same locked step in which it finds m_stopping set and the queue empty, so every
    // queued item runs and nothing queued after the last item waits for ever.
    bool m_stopping = false;
    bool m_exited = false;
    bool m_busy = false;
    DWORD m_workerId = 0;
    HANDLE m_thread = nullptr;
};

}  // namespace asyncftp
