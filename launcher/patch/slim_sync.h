// A mutex and a condition variable for the verification's read-ahead ring. On Windows they are
// the system's slim reader/writer lock and condition variable: the C++ runtime's pair is built
// on kernel semaphores there, and a hand-over then costs a kernel round trip (about five times
// the slim pair's under Wine, measured), paid once or twice per verified file. Elsewhere they
// are the standard pair. Both satisfy std::unique_lock and std::lock_guard.
#pragma once

#include <chrono>

#if defined(_WIN32)
#include <windows.h>
#else
#include <condition_variable>
#include <mutex>
#endif

namespace quenlor {

#if defined(_WIN32)

class SlimMutex {
public:
    SlimMutex() = default;
    SlimMutex(const SlimMutex&) = delete;
    SlimMutex& operator=(const SlimMutex&) = delete;
    void lock() { AcquireSRWLockExclusive(&lock_); }
    void unlock() { ReleaseSRWLockExclusive(&lock_); }
    SRWLOCK* native() { return &lock_; }

private:
    SRWLOCK lock_ = SRWLOCK_INIT;
};

class SlimCondition {
public:
    SlimCondition() = default;
    SlimCondition(const SlimCondition&) = delete;
    SlimCondition& operator=(const SlimCondition&) = delete;
    void notify_one() { WakeConditionVariable(&condition_); }
    void notify_all() { WakeAllConditionVariable(&condition_); }
    // Sleeps until woken or the time has passed (or spuriously): callers wait in a loop.
    void wait_for(std::unique_lock<SlimMutex>& lock, std::chrono::milliseconds bound)
    {
        SleepConditionVariableSRW(&condition_, lock.mutex()->native(), static_cast<DWORD>(bound.count()), 0);
    }

private:
    CONDITION_VARIABLE condition_ = CONDITION_VARIABLE_INIT;
};

#else

using SlimMutex = std::mutex;

class SlimCondition {
public:
    void notify_one() { condition_.notify_one(); }
    void notify_all() { condition_.notify_all(); }
    void wait_for(std::unique_lock<SlimMutex>& lock, std::chrono::milliseconds bound) { condition_.wait_for(lock, bound); }

private:
    std::condition_variable condition_;
};

#endif

}  // namespace quenlor
