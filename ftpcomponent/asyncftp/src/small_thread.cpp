#include "small_thread.h"

#include <windows.h>
#include <process.h>

#include <new>

namespace asyncftp {
namespace {

unsigned __stdcall ThreadMain(void* argument)
{
    std::function<void()>* body = static_cast<std::function<void()>*>(argument);
    try {
        (*body)();
    } catch (...) {
        // The host is a game: a fault of the transfer thread must not end its process.
    }
    delete body;
    return 0;
}

}  // namespace

bool StartDetachedThread(std::function<void()> body)
{
    auto* owned = new (std::nothrow) std::function<void()>(std::move(body));
    if (!owned) return false;
    const uintptr_t thread =
        _beginthreadex(nullptr, kLayerThreadStack, &ThreadMain, owned, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (thread == 0) {
        delete owned;
        return false;
    }
    CloseHandle(reinterpret_cast<HANDLE>(thread));
    return true;
}

}  // namespace asyncftp
