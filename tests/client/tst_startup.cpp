#include "AppSettings.h"
#include "LogMessageHandler.h"
#include "StartUp.h"
#include "TestSettings.h"

#include <QDir>
#include <QSettings>
#include <QtTest>

class TestStartUp final : public QObject
{
    Q_OBJECT

private slots:
    void identity();
    void scaleFactor_data();
    void scaleFactor();
    void loggingFolder();
    void connectionKeepsTheRest_data();
    void connectionKeepsTheRest();

private:
    TestSettings m_config;
};

void TestStartUp::identity()
{
    QCOMPARE(QCoreApplication::organizationName(), QStringLiteral("Veltrano Systems"));
    QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("Lanterra"));
    QCOMPARE(QCoreApplication::applicationVersion(), QStringLiteral("2.3.19"));
    QVERIFY(!QCoreApplication::organizationDomain().isEmpty());
}

void TestStartUp::scaleFactor_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QByteArray>("environment");
    QTest::newRow("absent") << QVariant() << QByteArray("1");
    QTest::newRow("one and a half") << QVariant(1.5) << QByteArray("1.5");
    QTest::newRow("one and a quarter as text") << QVariant(QStringLiteral("1.25")) << QByteArray("1.25");
    QTest::newRow("many digits") << QVariant(1.23456789) << QByteArray("1.23457");
    QTest::newRow("not a number") << QVariant(QStringLiteral("big")) << QByteArray("0");
}

void TestStartUp::scaleFactor()
{
    QFETCH(QVariant, stored);
    QFETCH(QByteArray, environment);
    {
        QSettings settings(QSettings::IniFormat, QSettings::UserScope, QCoreApplication::organizationName(), QCoreApplication::applicationName());
        if (stored.isValid())
            settings.setValue(QStringLiteral("appScaleFactor"), stored);
        else
            settings.remove(QStringLiteral("appScaleFactor"));
    }
    QCOMPARE(StartUp::applyScaleFactor(), environment);
    QCOMPARE(qgetenv("QT_SCALE_FACTOR"), environment);
}

void TestStartUp::loggingFolder()
{
    QVERIFY(!QDir(logDirectoryPath()).exists());
    StartUp::prepareLogging();
    QVERIFY(QDir(logDirectoryPath()).exists());
    qWarning("started");
    qInstallMessageHandler(nullptr);
    QFile file(logFilePath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains(" [ Warning ] started\r\n"));
}

void TestStartUp::connectionKeepsTheRest_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QByteArray>("variable"); // LANTERRA_PASSWORD; null: not set
    QTest::newRow("demo") << "demo:demo@localhost:11001" << true << "localhost" << 11001 << "demo" << "demo" << QByteArray();
    QTest::newRow("at sign in password") << "ann:p@ss:1@timing.example:443" << true << "timing.example" << 443 << "ann" << "p@ss:1" << QByteArray();
    QTest::newRow("password from the environment") << "demo@localhost:11001" << true << "localhost" << 11001 << "demo" << "s3cr:t@" << QByteArray("s3cr:t@");
    QTest::newRow("no password keeps the stored") << "demo@localhost:11001" << true << "localhost" << 11001 << "demo" << "old" << QByteArray();
    QTest::newRow("no port") << "demo:demo@localhost" << false << "old.example" << 1 << "old" << "old" << QByteArray();
    QTest::newRow("no user") << "localhost:11001" << false << "old.example" << 1 << "old" << "old" << QByteArray();
    QTest::newRow("port out of range") << "demo:demo@localhost:70000" << false << "old.example" << 1 << "old" << "old" << QByteArray();
}

void TestStartUp::connectionKeepsTheRest()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QByteArray, variable);
    if (variable.isNull())
        qunsetenv(StartUp::kPasswordVariable);
    else
        qputenv(StartUp::kPasswordVariable, variable);
    // A settings file a user arranged: a layout, a panel's columns, an option.
    const QString path = AppSettings::open()->fileName();
    QFile::remove(path);
    {
        const auto settings = AppSettings::open();
        settings->setValue(QStringLiteral("v2host"), QStringLiteral("old.example"));
        settings->setValue(QStringLiteral("v2port"), 1);
        settings->setValue(QStringLiteral("v2user"), QStringLiteral("old"));
        settings->setValue(QStringLiteral("v2password"), QStringLiteral("old"));
        settings->setValue(QStringLiteral("lastLayoutName"), QStringLiteral("Race day"));
        settings->setValue(QStringLiteral("layouts/Race day/view_standing/x"), 640);
        settings->setValue(QStringLiteral("layouts/Race day/view_standing/show"), true);
        settings->setValue(QStringLiteral("standing_width_3"), 77);
        settings->setValue(QStringLiteral("useUSAunits"), true);
    }
    QString error;
    QCOMPARE(StartUp::storeConnection(text, &error), ok);
    QCOMPARE(error.isEmpty(), ok);
    // The text may hold a password: a refusal never repeats it.
    QVERIFY2(!error.contains(QLatin1String("demo")), qPrintable(error));
    const auto settings = AppSettings::open();
    QCOMPARE(settings->value(QStringLiteral("v2host")).toString(), host);
    QCOMPARE(settings->value(QStringLiteral("v2port")).toInt(), port);
    QCOMPARE(settings->value(QStringLiteral("v2user")).toString(), user);
    QCOMPARE(settings->value(QStringLiteral("v2password")).toString(), password);
    QCOMPARE(settings->value(QStringLiteral("lastLayoutName")).toString(), QStringLiteral("Race day"));
    QCOMPARE(settings->value(QStringLiteral("layouts/Race day/view_standing/x")).toInt(), 640);
    QCOMPARE(settings->value(QStringLiteral("layouts/Race day/view_standing/show")).toBool(), true);
    QCOMPARE(settings->value(QStringLiteral("standing_width_3")).toInt(), 77);
    QCOMPARE(settings->value(QStringLiteral("useUSAunits")).toBool(), true);
}

QTEST_GUILESS_MAIN(TestStartUp)
#include "tst_startup.moc"
