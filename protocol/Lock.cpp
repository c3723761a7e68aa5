#include "Lock.h"

Lock::Lock()
    : m_lock(std::make_shared<QReadWriteLock>(QReadWriteLock::Recursive))
{
}

Lock::Lock(const Lock& other) = default;
Lock& Lock::operator=(const Lock& other) = default;
Lock::~Lock() = default;

void Lock::readLock()
{
    m_lock->lockForRead();
}

void Lock::writeLock()
{
    m_lock->lockForWrite();
}

void Lock::readUnlock()
{
    m_lock->unlock();
}

void Lock::writeUnlock()
{
    m_lock->unlock();
}

bool Lock::tryReadLock(int timeoutMs)
{
    return m_lock->tryLockForRead(timeoutMs);
}

bool Lock::isReadLocked()
{
    if (!m_lock->tryLockForRead())
        return true;
    m_lock->unlock();
    return false;
}

bool Lock::isWriteLocked()
{
    if (!m_lock->tryLockForWrite())
        return true;
    m_lock->unlock();
    return false;
}
