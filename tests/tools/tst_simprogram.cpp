#include "SimOptions.h"
#include "V2_Client.h"
#include "V2_Data.h"

#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QSslCertificate>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

// The simulator program: its options, the account files it serves and the
// configurations it refuses.
class TestSimProgram final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void options_data();
    void options();
    void programWithAccountFiles();
    void badConfiguration_data();
    void badConfiguration();

private:
    // The programs started here keep their own TLS pair in this folder.
    QTemporaryDir m_config;
};

void TestSimProgram::initTestCase()
{
    QVERIFY(m_config.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
}

void TestSimProgram::options_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("error");
    QTest::newRow("defaults") << QStringList() << "";
    QTest::newRow("everything") << QStringList({"--port", "12000", "--cars", "60", "--classes", "4", "--type", "practice", "--final", "BY_LAPS",
                                                "--duration", "7200", "--elapsed", "600", "--speed", "20", "--seed", "9", "--bikes", "--endurance", "--no-tls"})
                                << "";
    QTest::newRow("port zero") << QStringList({"--port", "0"}) << "--port must be a number from 1 to 65535";
    QTest::newRow("more classes than cars") << QStringList({"--cars", "2", "--classes", "3"})
                                            << "--classes must be a number from 1 to 9, at most the number of cars";
    QTest::newRow("elapsed past the end") << QStringList({"--duration", "600", "--elapsed", "601"}) << "--elapsed must be a number of seconds from 0 to the duration";
    QTest::newRow("unknown option") << QStringList({"--colour"}) << "Unknown option 'colour'.";
    QTest::newRow("help") << QStringList({"--help"}) << "";
}

void TestSimProgram::options()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, error);
    SimOptions options;
    QString message;
    QCOMPARE(SimOptions::parse(QStringList{QStringLiteral("lanterra-sim")} + arguments, &options, &message), error.isEmpty());
    QCOMPARE(message, error);
    QCOMPARE(options.helpText.contains(QStringLiteral("--speed")), QTest::currentDataTag() == QLatin1String("help"));
    if (QTest::currentDataTag() == QLatin1String("everything")) {
        QCOMPARE(options.port, quint16(12000));
        QCOMPARE(options.type, QStringLiteral("PRACTICE"));
        QCOMPARE(options.elapsedSeconds, 600);
        QCOMPARE(options.speed, 20.0);
        QVERIFY(options.bikes && options.endurance && !options.tls);
    }
}

void TestSimProgram::programWithAccountFiles()
{
    QTemporaryDir dir;
    const QString usersFile = dir.filePath(QStringLiteral("users.ini"));
    const QString profilesFile = dir.filePath(QStringLiteral("profiles.ini"));
    {
        QSettings profiles(profilesFile, QSettings::IniFormat);
        profiles.setValue(QStringLiteral("Team/weather"), 2);
        QSettings users(usersFile, QSettings::IniFormat);
        users.setValue(QStringLiteral("Team user/NAME"), QStringLiteral("Team user"));
        users.setValue(QStringLiteral("Team user/USER"), QStringLiteral("team"));
        users.setValue(QStringLiteral("Team user/PASSWORD"), QStringLiteral("secret"));
        users.setValue(QStringLiteral("Team user/PROFILE"), QStringLiteral("Team"));
        users.setValue(QStringLiteral("Team user/MAX_CONNECTIONS"), 2);
    }
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::AnyIPv4, 0));
    const quint16 port = probe.serverPort();
    probe.close();

    QProcess program;
    program.start(QStringLiteral(LANTERRA_SIM_PATH),
                  {"--port", QString::number(port), "--users", usersFile, "--profiles", profilesFile, "--speed", "60", "--elapsed", "120"});
    QVERIFY(program.waitForStarted());
    QByteArray output;
    const bool listening = QTest::qWaitFor(
        [&] {
            output += program.readAllStandardOutput();
            return output.contains("listening on port");
        },
        10000);
    QVERIFY2(listening, (output + program.readAllStandardError()).constData());

    V2_Client client(QStringLiteral("t"), QStringLiteral("1"), QStringLiteral("V2"), QStringLiteral("1.0.0"), port, QStringLiteral("secret"), QStringLiteral("team"),
                     QStringLiteral("127.0.0.1"));
    QSignalSpy done(&client, &V2_Client::onLoginDone);
    QSignalSpy errors(&client, &V2_Client::errorReceived);
    QSignalSpy accepted(&client, &V2_Client::certificateAccepted);
    client.setActive(true); // TLS, the program's default
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 10000);
    // The program presents the pair it made on its first start, not the built-in one.
    QFile stored(m_config.path() + QStringLiteral("/lanterra-sim/server-certificate.pem"));
    QVERIFY(stored.open(QIODevice::ReadOnly));
    QCOMPARE(accepted.count(), 1);
    QCOMPARE(accepted.at(0).at(0).toByteArray(), QSslCertificate(stored.readAll(), QSsl::Pem).digest(QCryptographicHash::Sha256).toHex());
    client.joinChannel(QStringLiteral("weather"), QString());
    client.joinChannel(QStringLiteral("timing.session"), QString());
    QTRY_COMPARE(errors.count(), 1); // the profile has no timing
    QVERIFY(errors.at(0).at(0).toString().contains(QStringLiteral("Unknown channel")));
    QTRY_VERIFY(client.getCurrentData()->getV2_Data(QStringLiteral("weather.currentData")));
    // At 60 times the wall clock, new samples keep coming.
    const int samples = client.getCurrentData()->getV2_Data(QStringLiteral("weather.sessionData"))->datas()->size();
    QVERIFY(samples >= 13);
    QTRY_VERIFY_WITH_TIMEOUT(client.getCurrentData()->getV2_Data(QStringLiteral("weather.sessionData"))->datas()->size() > samples, 5000);
    client.setActive(false);
    program.kill();
    QVERIFY(program.waitForFinished(5000));
}

void TestSimProgram::badConfiguration_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing INI file") << QStringList({"--users", "/nonexistent/users.ini", "--profiles", "/nonexistent/profiles.ini"}) << 2
                                      << "Cannot read /nonexistent/users.ini";
    QTest::newRow("bad option") << QStringList({"--cars", "lots"}) << 2 << "--cars must be a number";
    QTest::newRow("no TLS pair") << QStringList({"--certificate", LANTERRA_SIM_PATH, "--key", LANTERRA_SIM_PATH}) << 2 << "are no TLS pair";
    QTest::newRow("busy port") << QStringList({"--port", "BUSY"}) << 3 << "cannot listen on port";
}

void TestSimProgram::badConfiguration()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QTcpServer busy;
    QVERIFY(busy.listen(QHostAddress::AnyIPv4, 0));
    arguments.replaceInStrings(QStringLiteral("BUSY"), QString::number(busy.serverPort()));

    QProcess program;
    program.start(QStringLiteral(LANTERRA_SIM_PATH), arguments);
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), exitCode);
    QVERIFY2(program.readAllStandardError().contains(message.toUtf8()), qPrintable(message));
}

QTEST_GUILESS_MAIN(TestSimProgram)
#include "tst_simprogram.moc"
