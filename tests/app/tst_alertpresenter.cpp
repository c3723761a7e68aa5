#include "AlertPresenter.h"
#include "TeamAlertEngine.h"
#include "TestProvider.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QSoundEffect>
#include <QStatusBar>
#include <QtTest>

namespace {

TeamAlert alert(int n, bool notify, bool sound, AlertSeverity severity = AlertSeverity::Info)
{
    TeamAlert a;
    a.identity = QStringLiteral("test/%1").arg(n);
    a.ruleId = QStringLiteral("pitExit");
    a.carNumber = QString::number(n);
    a.text = QStringLiteral("Car %1 left the pit lane").arg(n);
    a.trackTimeMs = 1000;
    a.notify = notify;
    a.sound = sound;
    a.severity = severity;
    return a;
}

} // namespace

class TestAlertPresenter final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void trayAndSoundOnlyWhenAsked_data();
    void trayAndSoundOnlyWhenAsked();
    void burstMakesOneTrayMessage();
    void countAndAcknowledgeAll();
    void realSoundNamesTheBundledFile();
};

void TestAlertPresenter::initTestCase()
{
    // No sound server, whatever the machine has: the suite stays silent and
    // behaves the same on a desk as in CI.
    qputenv("PULSE_SERVER", "unix:/nonexistent");
}

void TestAlertPresenter::trayAndSoundOnlyWhenAsked_data()
{
    QTest::addColumn<bool>("notify");
    QTest::addColumn<bool>("sound");
    QTest::newRow("neither") << false << false;
    QTest::newRow("tray") << true << false;
    QTest::newRow("sound") << false << true;
    QTest::newRow("both") << true << true;
}

void TestAlertPresenter::trayAndSoundOnlyWhenAsked()
{
    QFETCH(bool, notify);
    QFETCH(bool, sound);
    auto provider = makeTestProvider();
    QStatusBar bar;
    QMenu menu;
    AlertPresenter presenter(provider->teamAlerts(), &bar, &menu, nullptr);
    QStringList notified;
    int sounds = 0;
    presenter.setNotifier([&notified](const QString& title, const QString& text, QSystemTrayIcon::MessageIcon) { notified << title << text; });
    presenter.setSoundPlayer([&sounds] { ++sounds; });
    provider->teamAlerts()->raise(alert(7, notify, sound));
    QCoreApplication::processEvents();
    QCOMPARE(notified, notify ? QStringList({"Lanterra alert: car 7", "Car 7 left the pit lane"}) : QStringList());
    QCOMPARE(sounds, sound ? 1 : 0);
}

void TestAlertPresenter::burstMakesOneTrayMessage()
{
    auto provider = makeTestProvider();
    QStatusBar bar;
    QMenu menu;
    AlertPresenter presenter(provider->teamAlerts(), &bar, &menu, nullptr);
    QStringList messages;
    int sounds = 0;
    presenter.setSoundPlayer([&sounds] { ++sounds; });
    presenter.setNotifier([&messages](const QString& title, const QString& text, QSystemTrayIcon::MessageIcon icon) {
        messages << QStringLiteral("%1|%2|%3").arg(title, text).arg(int(icon));
    });
    TeamAlertEngine* engine = provider->teamAlerts();
    engine->raise(alert(1, true, false, AlertSeverity::Info));
    engine->raise(alert(2, true, true, AlertSeverity::Critical));
    engine->raise(alert(3, false, true, AlertSeverity::Critical));
    engine->raise(alert(4, true, false, AlertSeverity::Warning));
    QCoreApplication::processEvents();
    // The critical alert first: the last one raised does not hide it.
    QCOMPARE(messages, QStringList({QStringLiteral("Lanterra: 3 alerts|Car 2 left the pit lane\nCar 4 left the pit lane\nCar 1 left the pit lane|%1")
                                        .arg(int(QSystemTrayIcon::Critical))}));
    // Two of them asked for the sound: it plays once.
    QCOMPARE(sounds, 1);
}

void TestAlertPresenter::countAndAcknowledgeAll()
{
    auto provider = makeTestProvider();
    QStatusBar bar;
    QMenu menu;
    AlertPresenter presenter(provider->teamAlerts(), &bar, &menu, nullptr);
    bar.show();
    QCOMPARE(menu.actions(), QList<QAction*>({presenter.acknowledgeAllAction()}));
    QVERIFY(!presenter.acknowledgeAllAction()->isEnabled());
    QVERIFY(presenter.countLabel()->isHidden());
    provider->teamAlerts()->raise(alert(1, false, false));
    QCOMPARE(presenter.countLabel()->text(), QStringLiteral("1 alert to acknowledge"));
    provider->teamAlerts()->raise(alert(2, false, false));
    provider->teamAlerts()->raise(alert(3, false, false));
    QCOMPARE(presenter.countLabel()->text(), QStringLiteral("3 alerts to acknowledge"));
    QVERIFY(presenter.countLabel()->isVisible());
    provider->teamAlerts()->acknowledge(0);
    QCOMPARE(presenter.countLabel()->text(), QStringLiteral("2 alerts to acknowledge"));
    presenter.acknowledgeAllAction()->trigger();
    QCOMPARE(provider->teamAlerts()->unacknowledgedCount(), 0);
    QVERIFY(presenter.countLabel()->isHidden());
    QVERIFY(!presenter.acknowledgeAllAction()->isEnabled());
}

void TestAlertPresenter::realSoundNamesTheBundledFile()
{
    // Without a sound server the effect never finishes loading (the backend
    // loads through its server), so the test checks what it was given: the
    // bundled sound, whose content tst_resources checks.
    auto provider = makeTestProvider();
    QStatusBar bar;
    QMenu menu;
    AlertPresenter presenter(provider->teamAlerts(), &bar, &menu, nullptr);
    QVERIFY(!presenter.soundEffect());
    provider->teamAlerts()->raise(alert(1, false, true));
    QTRY_VERIFY_WITH_TIMEOUT(presenter.soundEffect(), 1000);
    QCOMPARE(presenter.soundEffect()->source(), QUrl(QStringLiteral("qrc:/sounds/alert.wav")));
    QVERIFY(QFile::exists(QStringLiteral(":/sounds/alert.wav")));
    QVERIFY(presenter.soundEffect()->status() != QSoundEffect::Error);
}

QTEST_MAIN(TestAlertPresenter)
#include "tst_alertpresenter.moc"
