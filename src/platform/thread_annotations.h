// Clang's thread-safety annotations, and a mutex that carries them, so that
// a clang build with -Wthread-safety checks who holds which lock: state
// that threads share is declared GUARDED_BY its lock, functions that need a
// lock REQUIRES it, and those that call out of the plugin EXCLUDES it.
// Other compilers see plain code.
#pragma once

#include <condition_variable>
#include <mutex>

#if defined(__clang__)
#define VOSKEL_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define VOSKEL_THREAD_ANNOTATION(x)
#endif

#define CAPABILITY(x) VOSKEL_THREAD_ANNOTATION(capability(x))
#define SCOPED_CAPABILITY VOSKEL_THREAD_ANNOTATION(scoped_lockable)
#define GUARDED_BY(x) VOSKEL_THREAD_ANNOTATION(guarded_by(x))
#define PT_GUARDED_BY(x) VOSKEL_THREAD_ANNOTATION(pt_guarded_by(x))
#define REQUIRES(...) VOSKEL_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define EXCLUDES(...) VOSKEL_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define ACQUIRE(...) VOSKEL_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define RELEASE(...) VOSKEL_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define TRY_ACQUIRE(...) VOSKEL_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))
#define RETURN_CAPABILITY(x) VOSKEL_THREAD_ANNOTATION(lock_returned(x))

namespace voskel {

class CAPABILITY("mutex") Mutex {
public:
    void lock() ACQUIRE() { mutex_.lock(); }
    void unlock() RELEASE() { mutex_.unlock(); }
    bool try_lock() TRY_ACQUIRE(true) { return mutex_.try_lock(); }

    // Waits for a notify_all, the mutex let go meanwhile and held again on
    // return.
    void wait(std::condition_variable_any& condition) REQUIRES(this) { condition.wait(mutex_); }

private:
    std::mutex mutex_;
};

// Holds a Mutex for its own life.
class SCOPED_CAPABILITY MutexLock {
public:
    explicit MutexLock(Mutex& mutex) ACQUIRE(mutex) : mutex_(mutex) { mutex_.lock(); }
    ~MutexLock() RELEASE() { mutex_.unlock(); }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

private:
    Mutex& mutex_;
};

}  // namespace voskel
