// The recording file: what is written is read back the same, plain or
// compressed, and a damaged file is reported where it goes wrong.
#include "RecordingReader.h"
#include "RecordingWriter.h"

#include <QProcess>
#include <QTemporaryDir>

#include <zlib.h>

namespace {

const QDateTime kStart = QDateTime::fromString(QStringLiteral("2026-06-13T14:00:00.250Z"), Qt::ISODateWithMs);

struct Record {
    qint64 ms;
    QByteArray line;
};

const QVector<Record> kRecords = {
    {0, R"(JSON:0::{"timing":{"session":{"info":{"name":"Race"}}}})"},
    {0, "LOGIN:+::{\"name\":\"srv\"}"},
    {125, QByteArray("JSON:7::{\"text\":\"caf\xc3\xa9 ") + QByteArray(70000, 'x') + "\"}"},
    {3600000, "PING:::"},
};

void writeRaw(const QString& path, const QByteArray& bytes, bool compress)
{
    gzFile file = gzopen(QFile::encodeName(path).constData(), compress ? "wb" : "wbT");
    gzwrite(file, bytes.constData(), static_cast<unsigned>(bytes.size()));
    gzclose(file);
}

} // namespace

class TestRecordingFile final : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void damaged_data();
    void damaged();
    void replayProgramOnBadFiles_data();
    void replayProgramOnBadFiles();

private:
    QTemporaryDir m_dir;
};

void TestRecordingFile::roundTrip_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("compressed");
    QTest::newRow("plain") << "race.lrec" << false;
    QTest::newRow("gzip") << "race.lrec.gz" << true;
}

void TestRecordingFile::roundTrip()
{
    QFETCH(QString, name);
    QFETCH(bool, compressed);
    const QString path = m_dir.filePath(name);
    {
        RecordingWriter writer;
        QString error;
        QVERIFY2(writer.open(path, kStart, QStringLiteral("timing.example.org"), 11001, &error), qPrintable(error));
        for (const Record& record : kRecords)
            QVERIFY(writer.write(record.ms, record.line));
        writer.flush();
        QVERIFY(writer.fileSize() > 0);
    }
    QFile raw(path);
    QVERIFY(raw.open(QIODevice::ReadOnly));
    const QByteArray head = raw.read(2);
    QCOMPARE(head == QByteArray("\x1f\x8b"), compressed);
    if (!compressed)
        QVERIFY(raw.readLine().startsWith("lanterra-recording 1 2026-06-13T14:00:00.250Z timing.example.org:11001"));

    RecordingReader reader;
    QString error;
    QVERIFY2(reader.open(path, &error), qPrintable(error));
    QCOMPARE(reader.startUtc(), kStart);
    QCOMPARE(reader.host(), QStringLiteral("timing.example.org"));
    QCOMPARE(reader.port(), 11001);
    qint64 ms = -1;
    QByteArray line;
    for (const Record& record : kRecords) {
        QCOMPARE(reader.next(&ms, &line), RecordingReader::Status::Record);
        QCOMPARE(ms, record.ms);
        QCOMPARE(line, record.line);
    }
    QCOMPARE(reader.next(&ms, &line), RecordingReader::Status::End);
}

void TestRecordingFile::damaged_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("compress");
    QTest::addColumn<int>("goodRecords");
    QTest::addColumn<QString>("error");
    QTest::addColumn<qint64>("cap");
    const QByteArray header = "# lanterra-recording 1 2026-06-13T14:00:00Z host:11001\n";
    // A record of exactly n bytes.
    const auto record = [](int n) {
        const QByteArray start = "20 JSON:3::{\"a\":\"";
        return start + QByteArray(n - start.size() - 2, 'x') + "\"}\n";
    };
    const QByteArray good = "0 JSON:1::{\"a\":1}\n10 JSON:2::{\"a\":2}\n";
    QTest::newRow("empty") << QByteArray() << false << -1 << "empty file, not a recording" << qint64(0);
    QTest::newRow("other text") << QByteArray("hello\n") << false << -1 << "not a Lanterra recording" << qint64(0);
    QTest::newRow("other version") << QByteArray("# lanterra-recording 2 2026-06-13T14:00:00Z host:1\n") << false << -1 << "not a Lanterra recording" << qint64(0);
    QTest::newRow("header without port") << QByteArray("# lanterra-recording 1 2026-06-13T14:00:00Z host\n") << false << -1 << "not a Lanterra recording" << qint64(0);
    QTest::newRow("header only") << header << false << 0 << "" << qint64(0);
    QTest::newRow("cut inside a record") << header + good + "20 JSON:3::{\"a\"" << false << 2 << "line 4 is cut off" << qint64(0);
    QTest::newRow("no time") << header + good + "JSON:3::{}\n" << false << 2 << "line 4 is no record" << qint64(0);
    QTest::newRow("time goes back") << header + good + "5 JSON:3::{}\n" << false << 2 << "line 4 is no record" << qint64(0);
    QTest::newRow("binary") << header + good + QByteArray("\x01\x02\x03\n", 4) << false << 2 << "line 4 is no record" << qint64(0);
    QTest::newRow("gzip cut off") << header + good + QByteArray(200000, 'y') << true << 2 << "compressed data cut off after line" << qint64(0);
    // The reader holds no more than a line cap, the live client's by default.
    QTest::newRow("record at the cap") << header + good + record(200) << false << 3 << "" << qint64(200);
    QTest::newRow("record past the cap") << header + good + record(201) << false << 2 << "line 4 is too long" << qint64(200);
    QTest::newRow("endless record") << header + good + QByteArray(3000000, 'y') << false << 2 << "line 4 is too long" << qint64(200);
    QTest::newRow("endless gzip record") << header + good + QByteArray(3000000, 'y') + '\n' << true << 2 << "line 4 is too long" << qint64(200);
}

void TestRecordingFile::damaged()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, compress);
    QFETCH(int, goodRecords);
    QFETCH(QString, error);
    QFETCH(qint64, cap);
    const QString path = m_dir.filePath(QStringLiteral("damaged.lrec"));
    writeRaw(path, content, compress);
    if (compress && cap == 0) {
        // Keep the first half of the compressed stream.
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.resize(file.size() / 2));
    }
    RecordingReader reader;
    QCOMPARE(RecordingReader::defaultMaxLineBytes(), 16 + 128LL * 1024 * 1024);
    if (cap > 0)
        reader.setMaxLineBytes(cap);
    QString message;
    QCOMPARE(reader.open(path, &message), goodRecords >= 0);
    if (goodRecords < 0) {
        QVERIFY2(message.contains(error), qPrintable(message));
        return;
    }
    qint64 ms = 0;
    QByteArray line;
    RecordingReader::Status status;
    int records = 0;
    while ((status = reader.next(&ms, &line)) == RecordingReader::Status::Record)
        ++records;
    QCOMPARE(records, goodRecords);
    QCOMPARE(status, error.isEmpty() ? RecordingReader::Status::End : RecordingReader::Status::Error);
    QVERIFY2(reader.errorString().contains(error), qPrintable(reader.errorString()));
}

// At start a bad file ends the program with code 2; a file damaged further
// in is played up to its last good record, said on stderr, and served on.
void TestRecordingFile::replayProgramOnBadFiles_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing") << QByteArray() << 2 << "no such file";
    QTest::newRow("wrong header") << QByteArray("# lanterra-recording 9\n") << 2 << "not a Lanterra recording";
    QTest::newRow("cut off") << QByteArray("# lanterra-recording 1 2026-06-13T14:00:00Z host:1\n0 JSON:1::{\"weather\":{\"t\":1}}\n1 JSON") << -1
                             << "line 3 is cut off";
}

void TestRecordingFile::replayProgramOnBadFiles()
{
    QFETCH(QByteArray, content);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    const QString path = m_dir.filePath(QStringLiteral("bad.lrec"));
    QFile::remove(path);
    if (!content.isEmpty())
        writeRaw(path, content, false);
    QProcess replay;
    replay.start(QStringLiteral(LANTERRA_REPLAY_PATH), {QStringLiteral("--no-tls"), QStringLiteral("--port"), QStringLiteral("0"), path});
    QVERIFY(replay.waitForStarted());
    QByteArray errors;
    if (exitCode >= 0) {
        QVERIFY(replay.waitForFinished(10000));
        QCOMPARE(replay.exitCode(), exitCode);
        errors = replay.readAllStandardError();
    } else {
        QTRY_VERIFY_WITH_TIMEOUT((errors += replay.readAllStandardError()).contains("last good record") || replay.state() != QProcess::Running, 10000);
        QCOMPARE(replay.state(), QProcess::Running);
        replay.kill();
        replay.waitForFinished();
    }
    QVERIFY2(errors.contains(message.toUtf8()), errors.constData());
}

QTEST_MAIN(TestRecordingFile)
#include "tst_recordingfile.moc"
