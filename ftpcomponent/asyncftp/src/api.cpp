// The entry points: check the handle, then hand the request to the connection's worker.
#include "asyncftp/AsyncFtp.h"

#include "ftp_connection.h"
#include "handles.h"

#include <cstring>

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
    if (!WinsockStarted()) {
        SetLastError(ERROR_INTERNET_INTERNAL_ERROR);
        return nullptr;
    }
    auto internet = std::make_shared<InternetHandle>();
    internet->async = (flags & INTERNET_FLAG_ASYNC) != 0;
    return RegisterHandle(internet);
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
    const auto internet = Lookup<InternetHandle>(internetValue, HandleKind::Internet);
    if (!internet) return nullptr;
    if (service != INTERNET_SERVICE_FTP || host == nullptr || *host == '\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto handle = NewChild<ConnectionHandle>(internet, internet->async ? context : 0);
    handle->connection = std::make_shared<FtpConnection>(
        handle, host, port == 0 ? INTERNET_DEFAULT_FTP_PORT : port,
        user && *user ? user : "anonymous", password ? password : "", (flags & INTERNET_FLAG_PASSIVE) != 0,
        internet->timeoutMs.load());
    RegisterHandle(handle);
    {
        std::lock_guard<std::mutex> guard(internet->childrenLock);
        internet->connections.push_back(handle);
    }
    auto connection = handle->connection;  // a failed login may close the handle and drop its reference
    if (!connection->start()) {
        UnregisterHandle(handle->value);
        handle->connection.reset();
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    Outcome out;
    const DWORD error = connection->submit(handle, [connection] { return connection->login(); }, &out);
    SetLastError(error);
    return error == 0 ? handle->value : nullptr;  // asynchronous: ERROR_IO_PENDING and the handle comes with 60
}

BOOL GetCurrentDirectory(HINTERNET connectionValue, char* directory, DWORD* length)
{
    const auto handle = Lookup<ConnectionHandle>(connectionValue, HandleKind::Connection);
    if (!handle) return FALSE;
    if (!directory || !length) return Finish(ERROR_INVALID_PARAMETER);
    auto connection = handle->connection;
    return Finish(connection->submit(handle, [connection, directory, length] {
        return connection->getDirectory(directory, length);
    }));
}

BOOL SetCurrentDirectory(HINTERNET connectionValue, const char* directory)
{
    const auto handle = Lookup<ConnectionHandle>(connectionValue, HandleKind::Connection);
    if (!handle) return FALSE;
    if (!directory) return Finish(ERROR_INVALID_PARAMETER);
    auto connection = handle->connection;
    const std::string path = directory;
    return Finish(connection->submit(handle, [connection, path] { return connection->setDirectory(path); }));
}

HINTERNET FindFirstFile(HINTERNET connectionValue, const char* pattern, WIN32_FIND_DATAA* firstEntry,
                        DWORD, DWORD_PTR context)
{
    const auto handle = Lookup<ConnectionHandle>(connectionValue, HandleKind::Connection);
    if (!handle) return nullptr;
    if (!firstEntry) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto connection = handle->connection;
    auto find = NewChild<FindHandle>(handle, handle->context != 0 ? context : 0);
    const std::string text = pattern ? pattern : "";
    Outcome out;
    const DWORD error = connection->submit(
        find->context != 0 ? std::static_pointer_cast<HandleObject>(handle) : std::static_pointer_cast<HandleObject>(find),
        [connection, find, text, firstEntry] { return connection->findFirst(find, text, firstEntry); }, &out);
    return FinishWithHandle(error, out);
}

BOOL FindNextFile(HINTERNET findValue, void* entry)
{
    const auto find = Lookup<FindHandle>(findValue, HandleKind::Find);
    if (!find) return FALSE;
    if (!entry) return Finish(ERROR_INVALID_PARAMETER);
    auto connection = find->connection;
    return Finish(connection->submit(find, [connection, find, entry] { return connection->findNext(find, entry); }));
}

HINTERNET OpenFile(HINTERNET connectionValue, const char* fileName, DWORD access, DWORD, DWORD_PTR context)
{
    const auto handle = Lookup<ConnectionHandle>(connectionValue, HandleKind::Connection);
    if (!handle) return nullptr;
    if (!fileName || !*fileName || access != GENERIC_READ) {
        SetLastError(ERROR_INVALID_PARAMETER);  // this client only ever reads
        return nullptr;
    }
    auto connection = handle->connection;
    auto file = NewChild<FileHandle>(handle, handle->context != 0 ? context : 0);
    const std::string name = fileName;
    Outcome out;
    const DWORD error = connection->submit(
        file->context != 0 ? std::static_pointer_cast<HandleObject>(handle) : std::static_pointer_cast<HandleObject>(file),
        [connection, file, name] { return connection->openFile(file, name); }, &out);
    return FinishWithHandle(error, out);
}

BOOL ReadFile(HINTERNET fileValue, void* buffer, DWORD bytesToRead, DWORD* bytesRead)
{
    const auto file = Lookup<FileHandle>(fileValue, HandleKind::File);
    if (!file) return FALSE;
    // A zero-byte read would be indistinguishable from the end of the data.
    if (!buffer || !bytesRead || bytesToRead == 0) return Finish(ERROR_INVALID_PARAMETER);
    auto connection = file->connection;
    return Finish(connection->submit(file, [connection, file, buffer, bytesToRead, bytesRead] {
        return connection->read(file, buffer, bytesToRead, bytesRead);
    }));
}

BOOL Command(HINTERNET connectionValue, BOOL, DWORD, const char* command, DWORD_PTR context,
             HINTERNET* commandHandle)
{
    if (commandHandle) *commandHandle = nullptr;  // no command produces data on this client
    const auto handle = Lookup<ConnectionHandle>(connectionValue, HandleKind::Connection);
    if (!handle) return FALSE;
    if (!command) return Finish(ERROR_INVALID_PARAMETER);
    std::string line = command;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    if (line.empty() || line.find_first_of("\r\n") != std::string::npos) return Finish(ERROR_INVALID_PARAMETER);
    auto connection = handle->connection;
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
}

BOOL CloseHandle(HINTERNET value)
{
    const auto object = FindHandleObject(value);
    if (!object) return Finish(ERROR_INVALID_HANDLE);
    switch (object->kind) {
    case HandleKind::Internet: {
        auto internet = std::static_pointer_cast<InternetHandle>(object);
        internet->closed = true;
        UnregisterHandle(value);
        std::vector<std::weak_ptr<HandleObject>> connections;
        {
            std::lock_guard<std::mutex> guard(internet->childrenLock);
            connections.swap(internet->connections);
        }
        for (const auto& weak : connections)
            if (auto handle = std::static_pointer_cast<ConnectionHandle>(weak.lock()))
                if (auto connection = handle->connection) connection->closeConnection();
        internet->notify(INTERNET_STATUS_HANDLE_CLOSING, &internet->value, sizeof internet->value);
        return TRUE;
    }
    case HandleKind::Connection: {
        auto handle = std::static_pointer_cast<ConnectionHandle>(object);
        if (auto connection = handle->connection) connection->closeConnection();
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
}

}  // namespace asyncftp
