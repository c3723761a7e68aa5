// Built only with LANTERRA_TSAN. The toolkit's locks (futex based) live in a
// library the thread sanitizer does not instrument, so it cannot see that
// they order memory: every access guarded by a QMutex or a QReadWriteLock
// would be reported as a race. These definitions come before the toolkit's
// in symbol lookup; each calls the toolkit's own and tells the sanitizer
// what the lock did (acquire after locking, release before unlocking).
// The same goes for a thread's end (QThread::start, QThread::wait) and
// deferred deletes.
// Calls made inside the toolkit itself stay unseen; tsan.supp covers the
// toolkit's own accesses that follow from that, and nothing of ours.

#include <QEvent>
#include <QMutex>
#include <QObject>
#include <QReadWriteLock>
#include <QSemaphore>
#include <QThread>
#include <QWaitCondition>

#include <dlfcn.h>
#include <sanitizer/tsan_interface.h>

#include <vector>

namespace {

template <class Fn>
Fn real(const char* symbol)
{
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, symbol));
}

// A read-write lock syncs on two addresses: unlocking for writing releases
// the first (every later holder acquires it), unlocking for reading releases
// the second (only a later writer acquires it), so readers do not order
// each other.
void* writerSync(const QReadWriteLock* lock)
{
    return const_cast<QReadWriteLock*>(lock);
}

void* readerSync(const QReadWriteLock* lock)
{
    return reinterpret_cast<char*>(const_cast<QReadWriteLock*>(lock)) + 1;
}

// The modes this thread holds its read-write locks in, innermost last (an
// unlock does not say which it undoes).
thread_local std::vector<std::pair<const QReadWriteLock*, bool>> t_held;

void lockedForRead(const QReadWriteLock* lock)
{
    __tsan_acquire(writerSync(lock));
    t_held.emplace_back(lock, false);
}

void lockedForWrite(const QReadWriteLock* lock)
{
    __tsan_acquire(writerSync(lock));
    __tsan_acquire(readerSync(lock));
    t_held.emplace_back(lock, true);
}

} // namespace

void QMutex::lock() QT_MUTEX_LOCK_NOEXCEPT
{
    static const auto fn = real<void (*)(QMutex*)>("_ZN6QMutex4lockEv");
    fn(this);
    __tsan_acquire(this);
}

void QMutex::unlock() noexcept
{
    static const auto fn = real<void (*)(QMutex*)>("_ZN6QMutex6unlockEv");
    __tsan_release(this);
    fn(this);
}

bool QMutex::tryLock(int timeout) QT_MUTEX_LOCK_NOEXCEPT
{
    static const auto fn = real<bool (*)(QMutex*, int)>("_ZN6QMutex7tryLockEi");
    const bool locked = fn(this, timeout);
    if (locked)
        __tsan_acquire(this);
    return locked;
}

// The contended paths of the inline QBasicMutex::lock/unlock (the fast
// paths are atomics on the mutex's own address, which the sanitizer sees).
void QBasicMutex::lockInternal() QT_MUTEX_LOCK_NOEXCEPT
{
    static const auto fn = real<void (*)(QBasicMutex*)>("_ZN11QBasicMutex12lockInternalEv");
    fn(this);
    __tsan_acquire(this);
}

bool QBasicMutex::lockInternal(int timeout) QT_MUTEX_LOCK_NOEXCEPT
{
    static const auto fn = real<bool (*)(QBasicMutex*, int)>("_ZN11QBasicMutex12lockInternalEi");
    const bool locked = fn(this, timeout);
    if (locked)
        __tsan_acquire(this);
    return locked;
}

void QBasicMutex::unlockInternal() noexcept
{
    static const auto fn = real<void (*)(QBasicMutex*)>("_ZN11QBasicMutex14unlockInternalEv");
    __tsan_release(this);
    fn(this);
}

void QReadWriteLock::lockForRead()
{
    static const auto fn = real<void (*)(QReadWriteLock*)>("_ZN14QReadWriteLock11lockForReadEv");
    fn(this);
    lockedForRead(this);
}

bool QReadWriteLock::tryLockForRead()
{
    static const auto fn = real<bool (*)(QReadWriteLock*)>("_ZN14QReadWriteLock14tryLockForReadEv");
    const bool locked = fn(this);
    if (locked)
        lockedForRead(this);
    return locked;
}

bool QReadWriteLock::tryLockForRead(int timeout)
{
    static const auto fn = real<bool (*)(QReadWriteLock*, int)>("_ZN14QReadWriteLock14tryLockForReadEi");
    const bool locked = fn(this, timeout);
    if (locked)
        lockedForRead(this);
    return locked;
}

void QReadWriteLock::lockForWrite()
{
    static const auto fn = real<void (*)(QReadWriteLock*)>("_ZN14QReadWriteLock12lockForWriteEv");
    fn(this);
    lockedForWrite(this);
}

bool QReadWriteLock::tryLockForWrite()
{
    static const auto fn = real<bool (*)(QReadWriteLock*)>("_ZN14QReadWriteLock15tryLockForWriteEv");
    const bool locked = fn(this);
    if (locked)
        lockedForWrite(this);
    return locked;
}

bool QReadWriteLock::tryLockForWrite(int timeout)
{
    static const auto fn = real<bool (*)(QReadWriteLock*, int)>("_ZN14QReadWriteLock15tryLockForWriteEi");
    const bool locked = fn(this, timeout);
    if (locked)
        lockedForWrite(this);
    return locked;
}

void QReadWriteLock::unlock()
{
    static const auto fn = real<void (*)(QReadWriteLock*)>("_ZN14QReadWriteLock6unlockEv");
    bool write = true;
    for (auto it = t_held.end(); it != t_held.begin();) {
        --it;
        if (it->first == this) {
            write = it->second;
            t_held.erase(it);
            break;
        }
    }
    __tsan_release(write ? writerSync(this) : readerSync(this));
    fn(this);
}

void QSemaphore::acquire(int n)
{
    static const auto fn = real<void (*)(QSemaphore*, int)>("_ZN10QSemaphore7acquireEi");
    fn(this, n);
    __tsan_acquire(this);
}

bool QSemaphore::tryAcquire(int n)
{
    static const auto fn = real<bool (*)(QSemaphore*, int)>("_ZN10QSemaphore10tryAcquireEi");
    const bool acquired = fn(this, n);
    if (acquired)
        __tsan_acquire(this);
    return acquired;
}

bool QSemaphore::tryAcquire(int n, int timeout)
{
    static const auto fn = real<bool (*)(QSemaphore*, int, int)>("_ZN10QSemaphore10tryAcquireEii");
    const bool acquired = fn(this, n, timeout);
    if (acquired)
        __tsan_acquire(this);
    return acquired;
}

void QSemaphore::release(int n)
{
    static const auto fn = real<void (*)(QSemaphore*, int)>("_ZN10QSemaphore7releaseEi");
    __tsan_release(this);
    fn(this, n);
}

// A wait unlocks and relocks the mutex inside the toolkit.
bool QWaitCondition::wait(QMutex* lockedMutex, QDeadlineTimer deadline)
{
    static const auto fn = real<bool (*)(QWaitCondition*, QMutex*, QDeadlineTimer)>("_ZN14QWaitCondition4waitEP6QMutex14QDeadlineTimer");
    __tsan_release(lockedMutex);
    const bool woken = fn(this, lockedMutex, deadline);
    __tsan_acquire(lockedMutex);
    __tsan_acquire(this);
    return woken;
}

bool QWaitCondition::wait(QMutex* lockedMutex, unsigned long time)
{
    static const auto fn = real<bool (*)(QWaitCondition*, QMutex*, unsigned long)>("_ZN14QWaitCondition4waitEP6QMutexm");
    __tsan_release(lockedMutex);
    const bool woken = fn(this, lockedMutex, time);
    __tsan_acquire(lockedMutex);
    __tsan_acquire(this);
    return woken;
}

void QWaitCondition::wakeOne()
{
    static const auto fn = real<void (*)(QWaitCondition*)>("_ZN14QWaitCondition7wakeOneEv");
    __tsan_release(this);
    fn(this);
}

void QWaitCondition::wakeAll()
{
    static const auto fn = real<void (*)(QWaitCondition*)>("_ZN14QWaitCondition7wakeAllEv");
    __tsan_release(this);
    fn(this);
}

// A thread's end is learnt inside the toolkit, under its own lock: a wait
// that returns true acquires what the thread released as it ended (a
// QThread subclass releases itself as the last thing its run() does; see
// TsanAnnotations.h).
bool QThread::wait(QDeadlineTimer deadline)
{
    static const auto fn = real<bool (*)(QThread*, QDeadlineTimer)>("_ZN7QThread4waitE14QDeadlineTimer");
    const bool ended = fn(this, deadline);
    if (ended)
        __tsan_acquire(this);
    return ended;
}

bool QThread::wait(unsigned long time)
{
    static const auto fn = real<bool (*)(QThread*, unsigned long)>("_ZN7QThread4waitEm");
    const bool ended = fn(this, time);
    if (ended)
        __tsan_acquire(this);
    return ended;
}

// A thread's last reads of its QThread object come after run() returns, in
// the toolkit's end of the thread: queuing finished() to another thread
// reads the object's meta-object there. The toolkit orders that end before
// QThread::wait returns, under its own lock; so the thread releases on its
// object from a direct slot on finished(), connected as it first starts:
// after every connection made before the start (slots run in the order they
// were connected), and before wait() can return true, which acquires it.
void QThread::start(Priority priority)
{
    static const auto fn = real<void (*)(QThread*, Priority)>("_ZN7QThread5startENS_8PriorityE");
    // A restart keeps the connection made at the first start.
    if (!isRunning() && !isFinished())
        QObject::connect(this, &QThread::finished, this, [this] { __tsan_release(this); }, Qt::DirectConnection);
    fn(this, priority);
}

// A deferred delete is handed to the object's thread through the toolkit's
// event queue: what the thread that asked for it did before is seen to
// come first. A queued call acquires what was released on its receiver
// (our blocking calls release on it before they post, see
// TsanAnnotations.h) and releases on it when done, for the caller to
// acquire once the call returns. Events reach QObject::event through the
// vtables of classes outside the toolkit's core, which bind to this
// definition.
void QObject::deleteLater()
{
    static const auto fn = real<void (*)(QObject*)>("_ZN7QObject11deleteLaterEv");
    __tsan_release(this);
    fn(this);
}

bool QObject::event(QEvent* event)
{
    static const auto fn = real<bool (*)(QObject*, QEvent*)>("_ZN7QObject5eventEP6QEvent");
    if (event->type() == QEvent::DeferredDelete)
        __tsan_acquire(this);
    if (event->type() != QEvent::MetaCall)
        return fn(this, event);
    __tsan_acquire(this);
    const bool handled = fn(this, event);
    __tsan_release(this);
    return handled;
}
