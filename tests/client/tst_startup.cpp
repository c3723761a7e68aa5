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

QTEST_GUILESS_MAIN(TestStartUp)
#include "tst_startup.moc"
