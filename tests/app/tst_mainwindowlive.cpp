// The main window around its live connection: a changed certificate, a
// long recording read in the background, the last data kept while stale.
#include "AppSettings.h"
#include "CertificateTrust.h"
#include "ClientV2Controller.h"
#include "DialogUser.h"
#include "MainWindow.h"
#include "ModalHelper.h"
#include "ModelSessionStanding.h"
#include "RecordingControls.h"
#include "RecordingPlayer.h"
#include "RecordingWriter.h"
#include "ReplayBar.h"
#include "ScriptedServer.h"
#include "TestSettings.h"
#include "ToolWindow.h"
#include "V2DataProvider.h"
#include "V2_Data.h"
#include "WidgetSessionFlags.h"
#include "WidgetSessionInfo.h"
#include "WidgetStanding.h"

#include <QAction>
#include <QLabel>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QStandardItemModel>
#include <QtTest>

#include <memory>

using namespace PanelRegistry;

namespace {

// Only these panels of the registry built.
Factories only(std::initializer_list<int> rows)
{
    Factories some{};
    for (int row : rows)
        some[row] = PanelRegistry::factories()[row];
    return some;
}

} // namespace

class TestMainWindowLive final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void everyPanelKnowsItsGroup();
    void trustingAnotherCertificateConnectsAtOnce();
    void certificateQuestionNamesItsServers_data();
    void certificateQuestionNamesItsServers();
    void longRecordingReadInTheBackground();
    void lastDataStayWhileStale();
    void replayHoldsTheLiveConnection();

private:
    TestSettings m_config;
};

void TestMainWindowLive::init()
{
    AppSettings::open()->clear();
    // Nobody listens on this port unless a test names its server.
    AppSettings::open()->setValue(QStringLiteral("v2port"), 1);
}

// Each real panel names its own settings group when it is built, by the
// main window or not; written out, as saved layouts use them.
void TestMainWindowLive::everyPanelKnowsItsGroup()
{
    const QStringList groups = {"view_daytime", "view_sessioninfo", "view_standing", "view_standing_combined", "view_standing_fastest_lap",
                                "view_standingclass", "view_standingtracklimits", "view_pitin", "view_pitout", "view_pitlights",
                                "view_timinginfo", "view_follow", "view_racecontrol", "view_meteo", "view_lapchart",
                                "view_positioning", "view_stints", "view_flags", "view_tyres", "view_additional_standings",
                                "view_trackpreview", "view_alerts", "view_drivetime", "view_pitwindow", "view_gapchart"};
    QCOMPARE(groups.size(), int(PanelRegistry::RowCount));
    MainWindow window(only({}));
    const Factories all = PanelRegistry::factories();
    for (int row = 0; row < PanelRegistry::RowCount; ++row) {
        std::unique_ptr<ToolWindow> panel(all[row](window.dataProvider(), &window));
        QCOMPARE(panel->groupName(), groups.at(row));
    }
}

// "Yes" to another certificate: the question comes after the refused
// handshake is over, and the connection is made at once.
void TestMainWindowLive::trustingAnotherCertificateConnectsAtOnce()
{
    ScriptedServer server(true);
    server.usePair(QStringLiteral("other"));
    const quint16 port = server.start();
    AppSettings::open()->setValue(QStringLiteral("v2host"), QStringLiteral("127.0.0.1"));
    AppSettings::open()->setValue(QStringLiteral("v2port"), port);
    CertificateTrust::store(QStringLiteral("127.0.0.1"), port, {ScriptedServer::fingerprint(QStringLiteral("test")), QStringLiteral("CN=test")});
    QElapsedTimer sinceYes;
    onNextModal([&sinceYes](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        QVERIFY(box);
        box->button(QMessageBox::Yes)->click();
        sinceYes.start();
    });
    MainWindow window(only({DayTime}));
    qint64 acceptedAfter = -1;
    connect(window.dataProvider()->controller(), &V2_Client::certificateAccepted, this, [&] { acceptedAfter = sinceYes.elapsed(); });
    QTRY_VERIFY_WITH_TIMEOUT(acceptedAfter >= 0, 5000);
    QVERIFY2(acceptedAfter < 500, qPrintable(QString::number(acceptedAfter)));
    QCOMPARE(CertificateTrust::stored(QStringLiteral("127.0.0.1"), port).fingerprint, ScriptedServer::fingerprint(QStringLiteral("other")));
}

// The question names the server of the refused attempt, whatever is named
// by the time it is asked, and the server trusted at the same address.
void TestMainWindowLive::certificateQuestionNamesItsServers_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("pinnedAs");
    QTest::addColumn<QString>("namedSince");
    QTest::addColumn<QStringList>("named");
    QTest::newRow("another server named since") << "127.0.0.1" << "127.0.0.1" << "timing.example" << QStringList({"127.0.0.1:%1"});
    QTest::newRow("at the address of another name") << "127.0.0.1" << "timing.example" << "" << QStringList({"127.0.0.1:%1", "timing.example:%1"});
}

void TestMainWindowLive::certificateQuestionNamesItsServers()
{
    QFETCH(QString, host);
    QFETCH(QString, pinnedAs);
    QFETCH(QString, namedSince);
    QFETCH(QStringList, named);
    ScriptedServer server(true);
    server.usePair(QStringLiteral("other"));
    const quint16 port = server.start();
    AppSettings::open()->setValue(QStringLiteral("v2host"), host);
    AppSettings::open()->setValue(QStringLiteral("v2port"), port);
    CertificateTrust::store(pinnedAs, port, {ScriptedServer::fingerprint(QStringLiteral("test")), QStringLiteral("CN=test"), QStringLiteral("127.0.0.1")});
    QString question;
    onNextModal([&question](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        QVERIFY(box);
        question = box->text();
        box->button(QMessageBox::No)->click();
    });
    MainWindow window(only({DayTime}));
    if (!namedSince.isEmpty())
        connect(window.dataProvider()->controller(), &V2_Client::certificateRejected, this, [&] { window.dataProvider()->setHost(namedSince); });
    QTRY_VERIFY_WITH_TIMEOUT(!question.isEmpty(), 5000);
    for (const QString& name : qAsConst(named))
        QVERIFY2(question.contains(name.arg(port)), qPrintable(question));
    if (!namedSince.isEmpty())
        QVERIFY2(!question.contains(namedSince), qPrintable(question));
}

// A long recording is read while the window keeps turning its event loop;
// cancelled, the live connection and its tree are as they were.
void TestMainWindowLive::longRecordingReadInTheBackground()
{
    const QString path = m_config.filePath(QStringLiteral("long.lrec"));
    {
        RecordingWriter writer;
        QString error;
        QVERIFY2(writer.open(path, QDateTime::currentDateTimeUtc(), QStringLiteral("timing"), 11001, &error), qPrintable(error));
        const QString filler(200, QLatin1Char('x'));
        for (int i = 0; i < 20000; ++i)
            writer.write(i * 10, QStringLiteral(R"(JSON:%1::{"weather":{"k%2":"%3"}})").arg(i).arg(i % 500).arg(filler).toUtf8());
    }
    MainWindow window(only({DayTime}));
    window.show();
    RecordingControls* controls = window.recordingControls();
    ClientV2Controller* client = window.dataProvider()->controller();
    client->receiveBytes("JSON:1::{\"weather\":{\"live\":1}}\n");
    int turns = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, [&] { ++turns; });
    ticker.start(5);
    QString error;
    QVERIFY2(controls->openRecording(path, &error), qPrintable(error));
    QVERIFY(!controls->bar()->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(controls->bar()->isVisible(), 20000);
    QVERIFY2(turns >= 2, qPrintable(QString::number(turns)));
    QCOMPARE(controls->player()->blockCount() > 1, true);
    controls->leaveReplay();

    // Cancelled: nothing changed.
    client->receiveBytes("JSON:2::{\"weather\":{\"live\":2}}\n");
    QVERIFY(controls->openRecording(path, &error));
    QTRY_VERIFY(window.findChild<QProgressDialog*>(QStringLiteral("recordingProgress")));
    window.findChild<QProgressDialog*>(QStringLiteral("recordingProgress"))->findChild<QPushButton*>()->click();
    QTRY_VERIFY(!controls->player()->isLoading());
    QTest::qWait(50);
    QVERIFY(!controls->bar()->isVisible() && !controls->isReplaying());
    QVERIFY(client->isActive());
    QCOMPARE(client->getCurrentData()->getInt(QStringLiteral("weather.live")), 2);
    QVERIFY(window.action(QStringLiteral("actionOpen_recording"))->isEnabled());
}

namespace {

// What the standings, flags and session panels show.
QStringList shown(MainWindow& window)
{
    QStringList texts;
    texts << window.panel(SessionInfo)->findChild<QLabel*>(QStringLiteral("labelChampName"))->text();
    const QStandardItemModel* flags = static_cast<WidgetSessionFlags*>(window.panel(Flags))->flagModel();
    for (int row = 0; row < flags->rowCount(); ++row)
        texts << flags->item(row, WidgetSessionFlags::FlagColumn)->text();
    auto* standing = static_cast<WidgetStanding*>(window.panel(Standing));
    const QAbstractItemModel* model = standing->model(standing->currentPage());
    for (int row = 0; row < model->rowCount(); ++row)
        texts << model->index(row, ModelSessionStanding::NumberColumn).data().toString();
    return texts;
}

bool allStale(MainWindow& window, bool stale)
{
    return window.panel(SessionInfo)->isStale() == stale && window.panel(Flags)->isStale() == stale && window.panel(Standing)->isStale() == stale;
}

} // namespace

// A dropped connection leaves the panels as they were, marked stale, until
// the snapshot after reconnecting replaces what they show.
void TestMainWindowLive::lastDataStayWhileStale()
{
    ScriptedServer server(true);
    AppSettings::open()->setValue(QStringLiteral("v2host"), QStringLiteral("127.0.0.1"));
    AppSettings::open()->setValue(QStringLiteral("v2port"), server.start());
    MainWindow window(only({DayTime, SessionInfo, Flags, Standing}));
    for (int row : {SessionInfo, Flags, Standing}) {
        if (!window.panel(row))
            window.panelAction(row)->trigger();
    }
    const QString snapshot = QStringLiteral(
        R"(JSON:%1::{"timing":{"session":{"flags":{"1":{"sector":0,"time":%2,"type":"SAFETY_CAR"}%3},"info":{"champName":"Cup","name":"%4","sessionDbId":12},)"
        R"("standings":{"overall":{"active":{"1":{"participant":"%5"},"2":{"participant":"%6"}}}}}}})");
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    QVERIFY(server.waitForClient());
    QVERIFY(!server.acceptLogin().isEmpty());
    server.sendLine(snapshot.arg(1).arg(now - 60000).arg(QString(), QStringLiteral("Race 1"), QStringLiteral("7"), QStringLiteral("9")));
    const QStringList before = {QStringLiteral("Cup / Race 1"), QStringLiteral("SAFETY"), QStringLiteral("7"), QStringLiteral("9")};
    QTRY_COMPARE(shown(window), before);

    server.closeClient();
    QTRY_VERIFY(allStale(window, true));
    // Longer than every panel's own refresh.
    QTest::qWait(1100);
    QCOMPARE(shown(window), before);
    QVERIFY(server.waitForClient(6000));
    QVERIFY(!server.acceptLogin().isEmpty());
    QTest::qWait(100);
    QCOMPARE(shown(window), before);
    QVERIFY(allStale(window, true));

    server.sendLine(snapshot.arg(1).arg(now - 60000).arg(QStringLiteral(R"(,"2":{"sector":0,"time":%1,"type":"GREEN"})").arg(now - 1000),
                                                          QStringLiteral("Race 2"), QStringLiteral("9"), QStringLiteral("7")));
    QTRY_COMPARE(shown(window), QStringList({"Cup / Race 2", "SAFETY", "GREEN", "9", "7"}));
    QVERIFY(allStale(window, false));
}

// A replay from the command line never logs in; a server named in a dialog
// that closes after the replay began waits for the replay's end; another
// server's data do not stay on screen.
void TestMainWindowLive::replayHoldsTheLiveConnection()
{
    const QString path = m_config.filePath(QStringLiteral("short.lrec"));
    {
        RecordingWriter writer;
        QString error;
        QVERIFY2(writer.open(path, QDateTime::currentDateTimeUtc(), QStringLiteral("timing"), 11001, &error), qPrintable(error));
        writer.write(0, QByteArrayLiteral(R"(JSON:1::{"weather":{"recorded":1}})"));
    }
    MainWindow window(only({DayTime}));
    window.show();
    RecordingControls* controls = window.recordingControls();
    ClientV2Controller* client = window.dataProvider()->controller();
    QVERIFY(client->isActive());
    QString error;
    QVERIFY2(controls->openRecording(path, &error, true), qPrintable(error));
    QVERIFY(!client->isActive()); // at once, before the file is read
    QTRY_VERIFY(controls->isReplaying());
    QVERIFY(!client->isActive());

    // The dialog was opened before the replay (the action is off during it).
    controls->leaveReplay();
    QVERIFY(client->isActive());
    QVERIFY(controls->openRecording(path, &error));
    onNextModal([controls](QWidget* modal) {
        auto* dialog = qobject_cast<DialogUser*>(modal);
        QVERIFY(dialog);
        QTRY_VERIFY(controls->isReplaying());
        dialog->setHost(QStringLiteral("timing.example"));
        dialog->accept();
    });
    window.action(QStringLiteral("actionEdit_credentials"))->trigger();
    QVERIFY(controls->isReplaying());
    QVERIFY(!client->isActive());
    QCOMPARE(client->host(), QStringLiteral("timing.example"));
    QCOMPARE(client->getCurrentData()->getInt(QStringLiteral("weather.recorded")), 1);
    controls->leaveReplay();
    QVERIFY(client->isActive());

    // Another server: the last one's tree goes.
    client->receiveBytes("JSON:2::{\"weather\":{\"live\":1}}\n");
    onNextModal([](QWidget* modal) {
        auto* dialog = qobject_cast<DialogUser*>(modal);
        QVERIFY(dialog);
        dialog->setHost(QStringLiteral("127.0.0.1"));
        dialog->accept();
    });
    window.action(QStringLiteral("actionEdit_credentials"))->trigger();
    QVERIFY(client->isActive());
    QVERIFY(!client->getCurrentData()->keyExists(QStringLiteral("weather")));
}

QTEST_MAIN(TestMainWindowLive)
#include "tst_mainwindowlive.moc"
