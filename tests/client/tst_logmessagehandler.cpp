#include "LogMessageHandler.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// The settings (and so the log folder) of this test live in a temporary folder.
void useConfigFolder(const QString& folder)
{
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder);
    QCoreApplication::setOrganizationName(QStringLiteral("Veltrano Systems"));
    QCoreApplication::setApplicationName(QStringLiteral("Lanterra"));
}

QByteArray logContent()
{
    QFile file(logFilePath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Child mode: log through the handler as the program would, then end.
int runChild(const QByteArray& mode)
{
    useConfigFolder(qEnvironmentVariable("LANTERRA_LOG_CONFIG"));
    qInstallMessageHandler(logMessageHandler);
    qWarning("before the end");
    if (mode == "fatal")
        qFatal("the end %d", 42);
    qCritical("still here");
    std::fprintf(stdout, "after\n");
    return 0;
}

} // namespace

class TestLogMessageHandler final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void lines_data();
    void lines();
    void appendsAndKeepsEveryLine();
    void fatalAbortsAfterWriting();
    void missingFolderKeepsStandardError();

private:
    QTemporaryDir m_config;
};

void TestLogMessageHandler::initTestCase()
{
    QVERIFY(m_config.isValid());
    useConfigFolder(m_config.path());
    QCOMPARE(logDirectoryPath(), m_config.path() + QStringLiteral("/Veltrano Systems/Lanterra"));
    QCOMPARE(logFilePath(), logDirectoryPath() + QStringLiteral("/console.log"));
    QVERIFY(QDir().mkpath(logDirectoryPath()));
}

void TestLogMessageHandler::lines_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("tag");
    QTest::newRow("debug") << int(QtDebugMsg) << " [  Debug  ] ";
    QTest::newRow("info") << int(QtInfoMsg) << " [  Info  ] ";
    QTest::newRow("warning") << int(QtWarningMsg) << " [ Warning ] ";
    QTest::newRow("critical") << int(QtCriticalMsg) << " [ Critical ] ";
}

void TestLogMessageHandler::lines()
{
    QFETCH(int, type);
    QFETCH(QString, tag);
    QFile::remove(logFilePath());
    const QString message = QStringLiteral("déjà vu %1").arg(type);
    logMessageHandler(static_cast<QtMsgType>(type), QMessageLogContext(), message);
    const QString content = QString::fromUtf8(logContent());
    const QRegularExpression line(QStringLiteral("^\\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d\\.\\d{3}") + QRegularExpression::escape(tag + message) + QStringLiteral("\\r\\n$"));
    QVERIFY2(line.match(content).hasMatch(), qPrintable(content));
}

void TestLogMessageHandler::appendsAndKeepsEveryLine()
{
    QFile::remove(logFilePath());
    for (int i = 0; i < 50; ++i)
        logMessageHandler(QtWarningMsg, QMessageLogContext(), QStringLiteral("line %1").arg(i));
    const QList<QByteArray> lines = logContent().split('\n');
    QCOMPARE(lines.size(), 51);
    for (int i = 0; i < 50; ++i) {
        QVERIFY(lines.at(i).endsWith("line " + QByteArray::number(i) + "\r"));
    }
    QVERIFY(lines.last().isEmpty());
}

void TestLogMessageHandler::fatalAbortsAfterWriting()
{
    QFile::remove(logFilePath());
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LANTERRA_LOG_CHILD"), QStringLiteral("fatal"));
    environment.insert(QStringLiteral("LANTERRA_LOG_CONFIG"), m_config.path());
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), QStringList());
    QVERIFY(child.waitForFinished(10000));
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);
    const QByteArray errors = child.readAllStandardError();
    QVERIFY(errors.contains("Warning: before the end\n"));
    QVERIFY(errors.contains("Fatal: the end 42\n"));
    QVERIFY(!child.readAllStandardOutput().contains("after"));
    const QByteArray content = logContent();
    QVERIFY(content.contains(" [ Warning ] before the end\r\n"));
    QVERIFY(content.contains(" [  Fatal  ] the end 42\r\n"));
    QVERIFY(!content.contains("still here"));
}

void TestLogMessageHandler::missingFolderKeepsStandardError()
{
    QTemporaryDir other;
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LANTERRA_LOG_CHILD"), QStringLiteral("plain"));
    environment.insert(QStringLiteral("LANTERRA_LOG_CONFIG"), other.path());
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), QStringList());
    QVERIFY(child.waitForFinished(10000));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
    QVERIFY(child.readAllStandardError().contains("Critical: still here\n"));
    QVERIFY(child.readAllStandardOutput().contains("after"));
    // The handler never makes the folder itself.
    QVERIFY(!QDir(other.path() + QStringLiteral("/Veltrano Systems/Lanterra")).exists());
}

int main(int argc, char** argv)
{
    const QByteArray child = qgetenv("LANTERRA_LOG_CHILD");
    QCoreApplication app(argc, argv);
    if (!child.isEmpty())
        return runChild(child);
    TestLogMessageHandler test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_logmessagehandler.moc"
