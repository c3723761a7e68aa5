#pragma once

#include "pexjsonv2_export.h"

#include <QReadWriteLock>

#include <memory>

// A recursive read-write lock for data that server threads share. Copies
// refer to the same lock (shared ownership): the lock is released once, with
// the last object that refers to it.
class PEXJSONV2_EXPORT Lock
{
public:
    Lock();
    Lock(const Lock& other);
    Lock& operator=(const Lock& other);
    virtual ~Lock();

    void readLock();
    void writeLock();
    void readUnlock();
    void writeUnlock();
    // Waits at most timeoutMs for the read lock; true when it was taken.
    bool tryReadLock(int timeoutMs);
    // True when the lock cannot be taken at once for reading (or writing).
    bool isReadLocked();
    bool isWriteLocked();

private:
    std::shared_ptr<QReadWriteLock> m_lock;
};
