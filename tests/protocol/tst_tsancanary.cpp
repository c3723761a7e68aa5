// Built only in the thread sanitizer stage. Races planted in the shapes the
// server's code has (a queued slot, a deferred delete) must still be
// reported with scripts/tsan.supp: an entry that matched the toolkit's
// frames under our own code would hide them, and this test would fail.

#include <QObject>
#include <QtTest>

#include <atomic>
#include <thread>

namespace {

// Counts the reports the sanitizer prints (suppressed ones are not).
std::atomic<int> g_reports{0};

// Both sides of a planted race write one of these, with no order between
// them; one each, as the sanitizer reports one race per address.
alignas(64) int g_slotShared = 0;
alignas(64) int g_deleteShared = 0;

class Receiver final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(Receiver)

public:
    Receiver() = default;
    std::atomic<bool> done{false};

signals:
    void ping();

public slots:
    void touch()
    {
        g_slotShared = 1;
        done = true;
    }
};

class Victim final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(Victim)

public:
    explicit Victim(std::atomic<bool>* destroyed)
        : m_destroyed(destroyed)
    {
    }
    ~Victim() override
    {
        g_deleteShared = 1;
        *m_destroyed = true;
    }

private:
    std::atomic<bool>* m_destroyed;
};

} // namespace

extern "C" void __tsan_on_report(void*)
{
    ++g_reports;
}

// The reports are what this test expects: they must not fail the run.
extern "C" const char* __tsan_default_options()
{
    return "exitcode=0";
}

class TestTsanCanary final : public QObject
{
    Q_OBJECT

private slots:
    void racesAreReported_data();
    void racesAreReported();
};

void TestTsanCanary::racesAreReported_data()
{
    QTest::addColumn<bool>("deferredDelete");
    QTest::newRow("queued slot") << false;
    QTest::newRow("deferred delete") << true;
}

void TestTsanCanary::racesAreReported()
{
    QFETCH(bool, deferredDelete);
    const int before = g_reports;
    std::atomic<bool> destroyed{false};
    Receiver receiver;
    auto* victim = new Victim(&destroyed);
    connect(&receiver, &Receiver::ping, &receiver, &Receiver::touch, Qt::QueuedConnection);
    // The other thread hands work to this one and then writes what that
    // work writes too, without any lock.
    std::thread other([&] {
        if (deferredDelete) {
            victim->deleteLater();
            g_deleteShared = 2;
        } else {
            emit receiver.ping();
            g_slotShared = 2;
        }
    });
    if (deferredDelete)
        QTRY_VERIFY_WITH_TIMEOUT(destroyed, 5000);
    else
        QTRY_VERIFY_WITH_TIMEOUT(receiver.done, 5000);
    other.join();
    if (!deferredDelete)
        delete victim;
    // Read, so that the compiler keeps the writes.
    QVERIFY((deferredDelete ? g_deleteShared : g_slotShared) > 0);
    QCOMPARE(g_reports - before, 1);
}

QTEST_GUILESS_MAIN(TestTsanCanary)
#include "tst_tsancanary.moc"
