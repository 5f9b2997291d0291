#pragma once

#include <condition_variable>
#include <mutex>

// A mutex that clang's thread-safety analysis knows (-Wthread-safety): state that two threads
// share names its mutex with GUARDED_BY, and a function that needs the mutex held says so with
// REQUIRES; touching such state without the lock is a compile error in the clang build. With
// other compilers the annotations are empty.

#if defined(__clang__)
#define VELMO_THREAD_ATTRIBUTE(x) __attribute__((x))
#else
#define VELMO_THREAD_ATTRIBUTE(x)
#endif

#define CAPABILITY(x) VELMO_THREAD_ATTRIBUTE(capability(x))
#define SCOPED_CAPABILITY VELMO_THREAD_ATTRIBUTE(scoped_lockable)
#define GUARDED_BY(x) VELMO_THREAD_ATTRIBUTE(guarded_by(x))
#define REQUIRES(...) VELMO_THREAD_ATTRIBUTE(requires_capability(__VA_ARGS__))
#define ACQUIRE(...) VELMO_THREAD_ATTRIBUTE(acquire_capability(__VA_ARGS__))
#define RELEASE(...) VELMO_THREAD_ATTRIBUTE(release_capability(__VA_ARGS__))
#define EXCLUDES(...) VELMO_THREAD_ATTRIBUTE(locks_excluded(__VA_ARGS__))

class CAPABILITY("mutex") TMutex
{
public:
    void lock() ACQUIRE() { mutex_.lock(); }
    void unlock() RELEASE() { mutex_.unlock(); }

private:
    std::mutex mutex_;
};

// Holds a TMutex for its scope.
class SCOPED_CAPABILITY TMutexLock
{
public:
    explicit TMutexLock(TMutex& mutex) ACQUIRE(mutex)
        : mutex_(mutex)
    {
        mutex_.lock();
    }
    ~TMutexLock() RELEASE() { mutex_.unlock(); }
    TMutexLock(const TMutexLock&) = delete;
    TMutexLock& operator=(const TMutexLock&) = delete;

private:
    TMutex& mutex_;
};

// Waits on a TMutex the caller holds (std::condition_variable_any over the mutex itself).
using TCondition = std::condition_variable_any;
