#include "Lock.h"

#include <QThread>
#include <QtTest>

namespace {

// Asks from another thread, as a connection thread would.
bool probeFromOtherThread(Lock& lock, bool forWrite)
{
    bool locked = false;
    QThread* thread = QThread::create([&] { locked = forWrite ? lock.isWriteLocked() : lock.isReadLocked(); });
    thread->start();
    thread->wait();
    delete thread;
    return locked;
}

} // namespace

class TestLock final : public QObject
{
    Q_OBJECT

private slots:
    void states_data();
    void states();
    void copiesShareOneLock();
    void recursiveWrite();
};

void TestLock::states_data()
{
    QTest::addColumn<int>("held"); // 0 none, 1 read, 2 write
    QTest::addColumn<bool>("readLocked");
    QTest::addColumn<bool>("writeLocked");
    QTest::newRow("free") << 0 << false << false;
    QTest::newRow("read held") << 1 << false << true;
    QTest::newRow("write held") << 2 << true << true;
}

void TestLock::states()
{
    QFETCH(int, held);
    QFETCH(bool, readLocked);
    QFETCH(bool, writeLocked);

    Lock lock;
    if (held == 1)
        lock.readLock();
    else if (held == 2)
        lock.writeLock();
    QCOMPARE(probeFromOtherThread(lock, false), readLocked);
    QCOMPARE(probeFromOtherThread(lock, true), writeLocked);
    if (held == 1)
        lock.readUnlock();
    else if (held == 2)
        lock.writeUnlock();
    // Probing never leaves the lock taken.
    QVERIFY(!probeFromOtherThread(lock, true));
}

void TestLock::copiesShareOneLock()
{
    auto* original = new Lock;
    Lock copy(*original);
    Lock assigned;
    assigned = *original;
    original->writeLock();
    QVERIFY(probeFromOtherThread(copy, false));
    QVERIFY(probeFromOtherThread(assigned, true));
    original->writeUnlock();
    delete original;
    // The lock outlives the object that made it.
    copy.writeLock();
    QVERIFY(probeFromOtherThread(assigned, false));
    copy.writeUnlock();
    QVERIFY(!probeFromOtherThread(assigned, true));
}

void TestLock::recursiveWrite()
{
    Lock lock;
    lock.writeLock();
    lock.writeLock();
    lock.writeUnlock();
    QVERIFY(probeFromOtherThread(lock, false));
    lock.writeUnlock();
    QVERIFY(!probeFromOtherThread(lock, false));
}

QTEST_GUILESS_MAIN(TestLock)
#include "tst_lock.moc"
