// The entry points: check the handle, then hand the request to the connection's worker.
#include "asyncftp/AsyncFtp.h"

#include "ftp_connection.h"
#include "handles.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace asyncftp {
namespace {

template <class T>
std::shared_ptr<T> Lookup(HINTERNET value, HandleKind kind)
{
    const auto object = FindHandleObject(value);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (object->kind != kind) {
        SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
        return nullptr;
    }
    return std::static_pointer_cast<T>(object);
}

// The connection behind a handle, or null once its close has let go of it. The pointer is read
// atomically because the connection's worker clears it when the close completes.
std::shared_ptr<FtpConnection> ConnectionOf(const std::shared_ptr<ConnectionHandle>& handle)
{
    auto connection = std::atomic_load(&handle->connection);
    if (!connection) SetLastError(ERROR_INVALID_HANDLE);
    return connection;
}

// Every entry point runs its body through this: an allocation that fails on the caller's thread
// becomes the call's failure, never an exception in the caller (the game's process).
template <class Body, class Result>
Result Shielded(Body body, Result onFailure)
{
    try {
        return body();
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return onFailure;
    }
}

// Waits, within one bound for all, until the given threads have ended, and closes the handles. A
// close from inside a notification runs on one of them; that one is not waited for.
void WaitForThreadsAndClose(const std::vector<HANDLE>& threads)
{
    const DWORD start = GetTickCount();
    for (HANDLE thread : threads) {
        if (GetThreadId(thread) != GetCurrentThreadId()) {
            const DWORD elapsed = GetTickCount() - start;
            WaitForSingleObject(thread, elapsed < kConnectionsEndWaitMs ? kConnectionsEndWaitMs - elapsed : 0);
        }
        ::CloseHandle(thread);
    }
}

// A text that would end a command line early and start another: never sent to the server.
bool BreaksCommandLine(const char* text)
{
    return text && std::strpbrk(text, "\r\n") != nullptr;
}

BOOL Finish(DWORD error)
{
    SetLastError(error);
    return error == 0 ? TRUE : FALSE;
}

HINTERNET FinishWithHandle(DWORD error, const Outcome& out)
{
    SetLastError(error);
    return error == 0 ? reinterpret_cast<HINTERNET>(out.result) : nullptr;
}

// A new child handle inherits its parent's callback and is announced by the request that opens it.
template <class T>
std::shared_ptr<T> NewChild(const std::shared_ptr<HandleObject>& parent, DWORD_PTR context)
{
    auto child = std::make_shared<T>();
    child->context = context;
    child->callback = parent->callback.load();
    return child;
}

}  // namespace

HINTERNET OpenInternet(const char*, DWORD, const char*, const char*, DWORD flags)
{
    return Shielded([&]() -> HINTERNET {
        if (!WinsockStarted()) {
            SetLastError(ERROR_INTERNET_INTERNAL_ERROR);
            return nullptr;
        }
        auto internet = std::make_shared<InternetHandle>();
        internet->async = (flags & INTERNET_FLAG_ASYNC) != 0;
        return RegisterHandle(internet);
    }, HINTERNET(nullptr));
}

INTERNET_STATUS_CALLBACK SetStatusCallback(HINTERNET handle, INTERNET_STATUS_CALLBACK callback)
{
    const auto object = FindHandleObject(handle);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INTERNET_INVALID_STATUS_CALLBACK;
    }
    return object->callback.exchange(callback);
}

BOOL SetTimeout(HINTERNET internetValue, DWORD milliseconds)
{
    const auto internet = Lookup<InternetHandle>(internetValue, HandleKind::Internet);
    if (!internet) return FALSE;
    internet->timeoutMs = milliseconds == 0 ? 1 : milliseconds;
    return TRUE;
}

HINTERNET Connect(HINTERNET internetValue, const char* host, INTERNET_PORT port, const char* user,
                  const char* password, DWORD service, DWORD flags, DWORD_PTR context)
{
    return Shielded([&]() -> HINTERNET {
        const auto internet = Lookup<InternetHandle>(internetValue, HandleKind::Internet);
        if (!internet) return nullptr;
        if (service != INTERNET_SERVICE_FTP || host == nullptr || *host == '\0' || BreaksCommandLine(host) ||
            BreaksCommandLine(user) || BreaksCommandLine(password)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        auto handle = NewChild<ConnectionHandle>(internet, internet->async ? context : 0);
        auto connection = std::make_shared<FtpConnection>(
            handle, host, port == 0 ? INTERNET_DEFAULT_FTP_PORT : port, user && *user ? user : "anonymous",
            password ? password : "", (flags & INTERNET_FLAG_PASSIVE) != 0, internet->timeoutMs.load());
        handle->connection = connection;
        if (!connection->start()) {
            handle->connection.reset();
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        RegisterHandle(handle);
        {
            std::lock_guard<std::mutex> guard(internet->childrenLock);
            auto& list = internet->connections;
            list.erase(std::remove_if(list.begin(), list.end(), [](const std::weak_ptr<HandleObject>& w) { return w.expired(); }),
                       list.end());
            list.push_back(handle);
            auto& threads = internet->connectionThreads;
            threads.erase(std::remove_if(threads.begin(), threads.end(), [](HANDLE t) {
                              return WaitForSingleObject(t, 0) == WAIT_OBJECT_0 && ::CloseHandle(t);
                          }), threads.end());
            if (HANDLE thread = connection->duplicateThreadHandle()) threads.push_back(thread);
        }
        Outcome out;
        const DWORD error = connection->submit(handle, [connection] { return connection->login(); }, &out);
        if (error != 0 && error != ERROR_IO_PENDING) {
            // A synchronous login that failed leaves nobody holding the handle: close it here, so
            // neither its thread nor its reference cycle outlives the call.
            connection->closeConnection();
            if (HANDLE thread = connection->duplicateThreadHandle()) WaitForThreadsAndClose({thread});
        }
        SetLastError(error);
        return error == 0 ? handle->value : nullptr;  // asynchronous: ERROR_IO_PENDING and the handle comes with 60
    }, HINTERNET(nullptr));
}

BOOL GetCurrentDirectory(HINTERNET connectionValue, char* directory, DWORD* length)
{
    return Shielded([&]() -> BOOL {
        const auto handle = Lookup<ConnectionHandle>(connectionValue, HandleKind::Connection);
        if (!handle) return FALSE;
        if (!directory || !length) return Finish(ERROR_INVALID_PARAMETER);
        auto connection = ConnectionOf(handle);
        if (!connection) return FALSE;
        return Finish(connection->submit(handle, [connection, directory, length] {
            return connection->getDirectory(directory, length);
        }));
    }, FALSE);
}

BOOL SetCurrentDirectory(HINTERNET connectionValue, const char* directory)
{
    return Shielded([&]() -> BOOL {
        const auto handle = Lookup<ConnectionHandle>(connectionValue, HandleKind::Connection);
        if (!handle) return FALSE;
        if (!directory || BreaksCommandLine(directory)) return Finish(ERROR_INVALID_PARAMETER);
        auto connection = ConnectionOf(handle);
        if (!connection) return FALSE;
        const std::string path = directory;
        return Finish(connection->submit(handle, [connection, path] { return connection->setDirectory(path); }));
    }, FALSE);
}

HINTERNET FindFirstFile(HINTERNET connectionValue, const char* pattern, WIN32_FIND_DATAA* firstEntry,
                        DWORD, DWORD_PTR context)
{
    return Shielded([&]() -> HINTERNET {
        const auto handle = Lookup<ConnectionHandle>(connectionValue, HandleKind::Connection);
        if (!handle) return nullptr;
        if (!firstEntry || BreaksCommandLine(pattern)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        auto connection = ConnectionOf(handle);
        if (!connection) return nullptr;
        auto find = NewChild<FindHandle>(handle, handle->context != 0 ? context : 0);
        const std::string text = pattern ? pattern : "";
        Outcome out;
        const DWORD error = connection->submit(
            find->context != 0 ? std::static_pointer_cast<HandleObject>(handle) : std::static_pointer_cast<HandleObject>(find),
            [connection, find, text, firstEntry] { return connection->findFirst(find, text, firstEntry); }, &out);
        return FinishWithHandle(error, out);
    }, HINTERNET(nullptr));
}

BOOL FindNextFile(HINTERNET findValue, void* entry)
{
    return Shielded([&]() -> BOOL {
        const auto find = Lookup<FindHandle>(findValue, HandleKind::Find);
        if (!find) return FALSE;
        if (!entry) return Finish(ERROR_INVALID_PARAMETER);
        auto connection = find->connection;
        return Finish(connection->submit(find, [connection, find, entry] { return connection->findNext(find, entry); }));
    }, FALSE);
}

HINTERNET OpenFile(HINTERNET connectionValue, const char* fileName, DWORD access, DWORD, DWORD_PTR context)
{
    return Shielded([&]() -> HINTERNET {
        const auto handle = Lookup<ConnectionHandle>(connectionValue, HandleKind::Connection);
        if (!handle) return nullptr;
        if (!fileName || !*fileName || BreaksCommandLine(fileName) || access != GENERIC_READ) {
            SetLastError(ERROR_INVALID_PARAMETER);  // this client only ever reads
            return nullptr;
        }
        auto connection = ConnectionOf(handle);
        if (!connection) return nullptr;
        auto file = NewChild<FileHandle>(handle, handle->context != 0 ? context : 0);
        const std::string name = fileName;
        Outcome out;
        const DWORD error = connection->submit(
            file->context != 0 ? std::static_pointer_cast<HandleObject>(handle) : std::static_pointer_cast<HandleObject>(file),
            [connection, file, name] { return connection->openFile(file, name); }, &out);
        return FinishWithHandle(error, out);
    }, HINTERNET(nullptr));
}

BOOL ReadFile(HINTERNET fileValue, void* buffer, DWORD bytesToRead, DWORD* bytesRead)
{
    return Shielded([&]() -> BOOL {
        const auto file = Lookup<FileHandle>(fileValue, HandleKind::File);
        if (!file) return FALSE;
        // A zero-byte read would be indistinguishable from the end of the data.
        if (!buffer || !bytesRead || bytesToRead == 0) return Finish(ERROR_INVALID_PARAMETER);
        auto connection = file->connection;
        return Finish(connection->submit(file, [connection, file, buffer, bytesToRead, bytesRead] {
            return connection->read(file, buffer, bytesToRead, bytesRead);
        }));
    }, FALSE);
}

BOOL Command(HINTERNET connectionValue, BOOL, DWORD, const char* command, DWORD_PTR context,
             HINTERNET* commandHandle)
{
    return Shielded([&]() -> BOOL {
        if (commandHandle) *commandHandle = nullptr;  // no command produces data on this client
        const auto handle = Lookup<ConnectionHandle>(connectionValue, HandleKind::Connection);
        if (!handle) return FALSE;
        if (!command) return Finish(ERROR_INVALID_PARAMETER);
        std::string line = command;
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        if (line.empty() || line.find_first_of("\r\n") != std::string::npos) return Finish(ERROR_INVALID_PARAMETER);
        auto connection = ConnectionOf(handle);
        if (!connection) return FALSE;
        // The request completes on the connection handle, under the context given here.
        auto target = std::make_shared<ConnectionHandle>();
        target->value = handle->value;
        target->context = handle->context != 0 ? context : 0;
        target->callback = handle->callback.load();
        return Finish(connection->submit(target, [connection, line, target, handle] {
            Outcome out = connection->rawCommand(line);
            out.target = target;
            target->callback = handle->callback.load();  // the callback the handle holds now
            return out;
        }));
    }, FALSE);
}

BOOL CloseHandle(HINTERNET value)
{
    return Shielded([&]() -> BOOL {
        const auto object = FindHandleObject(value);
        if (!object) return Finish(ERROR_INVALID_HANDLE);
        switch (object->kind) {
        case HandleKind::Internet: {
            auto internet = std::static_pointer_cast<InternetHandle>(object);
            internet->closed = true;
            UnregisterHandle(value);
            std::vector<std::weak_ptr<HandleObject>> handles;
            std::vector<HANDLE> threads;
            {
                std::lock_guard<std::mutex> guard(internet->childrenLock);
                handles.swap(internet->connections);
                threads.swap(internet->connectionThreads);
            }
            for (const auto& weak : handles)
                if (auto handle = std::static_pointer_cast<ConnectionHandle>(weak.lock()))
                    if (auto connection = std::atomic_load(&handle->connection)) connection->closeConnection();
            // No connection thread outlives the internet handle: the component closes it last,
            // and its module may be unloaded right after.
            WaitForThreadsAndClose(threads);
            internet->notify(INTERNET_STATUS_HANDLE_CLOSING, &internet->value, sizeof internet->value);
            return TRUE;
        }
        case HandleKind::Connection: {
            auto handle = std::static_pointer_cast<ConnectionHandle>(object);
            if (auto connection = std::atomic_load(&handle->connection)) connection->closeConnection();
            return TRUE;
        }
        case HandleKind::Find:
        case HandleKind::File: {
            std::shared_ptr<FtpConnection> connection = object->kind == HandleKind::Find
                ? std::static_pointer_cast<FindHandle>(object)->connection
                : std::static_pointer_cast<FileHandle>(object)->connection;
            connection->closeChild(object);
            return TRUE;
        }
        }
        return FALSE;
    }, FALSE);
}

BOOL ControlConnectionLost(HINTERNET connectionValue)
{
    const auto handle = Lookup<ConnectionHandle>(connectionValue, HandleKind::Connection);
    if (!handle || handle->closed) return TRUE;
    const auto connection = std::atomic_load(&handle->connection);
    return !connection || connection->controlLost() ? TRUE : FALSE;
}

}  // namespace asyncftp
