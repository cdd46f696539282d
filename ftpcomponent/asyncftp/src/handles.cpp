#include "handles.h"

#include <map>

namespace asyncftp {
namespace {

std::mutex g_tableLock;
std::map<UINT_PTR, std::shared_ptr<HandleObject>>& Table()
{
    static auto* table = new std::map<UINT_PTR, std::shared_ptr<HandleObject>>();  // outlives late threads
    return *table;
}
UINT_PTR g_nextValue = 0x00CC0004;

}  // namespace

void HandleObject::notify(DWORD status, void* info, DWORD infoLength)
{
    const INTERNET_STATUS_CALLBACK cb = callback.load();
    if (context == 0 || cb == nullptr || cb == INTERNET_INVALID_STATUS_CALLBACK) return;
    cb(value, context, status, info, infoLength);
}

void HandleObject::notifyCreated()
{
    INTERNET_ASYNC_RESULT result = {reinterpret_cast<DWORD_PTR>(value), 0};
    notify(INTERNET_STATUS_HANDLE_CREATED, &result, sizeof result);
}

void HandleObject::notifyComplete(DWORD_PTR resultValue, DWORD error)
{
    INTERNET_ASYNC_RESULT result = {resultValue, error};
    notify(INTERNET_STATUS_REQUEST_COMPLETE, &result, sizeof result);
}

HINTERNET RegisterHandle(const std::shared_ptr<HandleObject>& object)
{
    std::lock_guard<std::mutex> guard(g_tableLock);
    const UINT_PTR value = g_nextValue;
    g_nextValue += 4;
    object->value = reinterpret_cast<HINTERNET>(value);
    Table()[value] = object;
    return object->value;
}

std::shared_ptr<HandleObject> FindHandleObject(HINTERNET value)
{
    std::lock_guard<std::mutex> guard(g_tableLock);
    const auto it = Table().find(reinterpret_cast<UINT_PTR>(value));
    return it == Table().end() ? nullptr : it->second;
}

void UnregisterHandle(HINTERNET value)
{
    std::lock_guard<std::mutex> guard(g_tableLock);
    Table().erase(reinterpret_cast<UINT_PTR>(value));
}

}  // namespace asyncftp
