// Detached threads with a small stack reservation: every connection has one, and a game
// process may hold thousands of connections in a 32-bit address space.
#pragma once

#include <functional>

namespace asyncftp {

constexpr unsigned kLayerThreadStack = 64 * 1024;

// Runs body on a new thread; false (and body dropped) when the thread cannot be started.
// Nothing thrown by body leaves the thread.
bool StartDetachedThread(std::function<void()> body);

}  // namespace asyncftp
