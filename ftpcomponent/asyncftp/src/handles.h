// The objects behind the layer's handles and the process-wide table that maps handle values to
// them. Handle values are never reused, so a stale value is simply unknown.
#pragma once

#include "socket_channel.h"

#include "asyncftp/Deadlines.h"

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

namespace asyncftp {

class FtpConnection;

enum class HandleKind { Internet, Connection, Find, File };

struct HandleObject {
    HandleKind kind;
    HINTERNET value = nullptr;
    DWORD_PTR context = 0;
    std::atomic<INTERNET_STATUS_CALLBACK> callback{nullptr};
    std::atomic<bool> closed{false};

    explicit HandleObject(HandleKind k) : kind(k) {}
    virtual ~HandleObject() = default;

    // Delivers one notification through the handle's current callback; context 0 means none.
    void notify(DWORD status, void* info, DWORD infoLength);
    void notifyCreated();
    void notifyComplete(DWORD_PTR result, DWORD error);
};

struct InternetHandle : HandleObject {
    InternetHandle() : HandleObject(HandleKind::Internet) {}
    bool async = false;
    std::atomic<DWORD> timeoutMs{kExchangeDeadlineMs};
    std::mutex childrenLock;
    std::vector<std::weak_ptr<HandleObject>> connections;
    std::vector<HANDLE> connectionThreads;  // ours to close; those already ended are dropped on Connect
};

struct ConnectionHandle : HandleObject {
    ConnectionHandle() : HandleObject(HandleKind::Connection) {}
    std::shared_ptr<FtpConnection> connection;
};

struct FindHandle : HandleObject {
    FindHandle() : HandleObject(HandleKind::Find) {}
    std::shared_ptr<FtpConnection> connection;
    std::vector<WIN32_FIND_DATAA> entries;  // the whole listing, fetched by the first request
    size_t next = 0;
};

struct FileHandle : HandleObject {
    FileHandle() : HandleObject(HandleKind::File) {}
    std::shared_ptr<FtpConnection> connection;
    Socket data;
    std::vector<char> staging;  // received but not yet handed to a read
    size_t stagingPos = 0;
    unsigned long long expectedSize = 0;  // from SIZE, plus the restart offset; 0 when unknown
    bool sizeKnown = false;
    unsigned long long received = 0;      // absolute position in the remote file
    bool ended = false;                   // final reply taken; the control channel is free again
    // Held while a read copies into the caller's buffer; closing takes it once after marking the
    // handle closed, so after CloseHandle returns no read writes into that buffer any more.
    std::mutex copyLock;
};

// Process-wide map from handle value to object.
HINTERNET RegisterHandle(const std::shared_ptr<HandleObject>& object);
std::shared_ptr<HandleObject> FindHandleObject(HINTERNET value);
void UnregisterHandle(HINTERNET value);

}  // namespace asyncftp
