#include "ProgramTlsPair.h"
#include "TlsPairGenerator.h"
#include "V2_Server.h"

#include <QDir>
#include <QFile>
#include <QSslCertificate>
#include <QSslKey>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

namespace {

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

} // namespace

class TestProgramTlsPair final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void firstStartMakesPairSecondReusesIt();
    void givenPairWins();
    void brokenStoredPair_data();
    void brokenStoredPair();

private:
    std::unique_ptr<QTemporaryDir> m_config;
    QString m_folder;
};

void TestProgramTlsPair::init()
{
    m_config = std::make_unique<QTemporaryDir>();
    QVERIFY(m_config->isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config->path()));
    m_folder = m_config->path() + QStringLiteral("/tst_programtlspair");
    QCOMPARE(ProgramTlsPair::folder(), m_folder);
}

void TestProgramTlsPair::firstStartMakesPairSecondReusesIt()
{
    V2_Server server;
    QString note;
    QString error;
    QVERIFY2(ProgramTlsPair::apply(&server, QString(), QString(), &note, &error), qPrintable(error));
    QVERIFY(note.startsWith(QStringLiteral("made a new TLS pair in ") + m_folder));

    const QString keyPath = m_folder + QStringLiteral("/server-key.pem");
    const QString certificatePath = m_folder + QStringLiteral("/server-certificate.pem");
    struct stat keyStat = {};
    QCOMPARE(::stat(QFile::encodeName(keyPath).constData(), &keyStat), 0);
    QCOMPARE(keyStat.st_mode & 0777, 0600u);

    const QSslCertificate certificate(readAll(certificatePath), QSsl::Pem);
    QVERIFY(!certificate.isNull());
    QCOMPARE(server.tlsCertificate(), certificate);
    QCOMPARE(server.tlsPrivateKey().algorithm(), QSsl::Ec);
    QCOMPARE(QSslKey(readAll(keyPath), QSsl::Ec, QSsl::Pem), server.tlsPrivateKey());
    const auto altNames = certificate.subjectAlternativeNames();
    QVERIFY(altNames.values(QSsl::DnsEntry).contains(QStringLiteral("localhost")));
    QVERIFY(altNames.values(QSsl::DnsEntry).contains(QSysInfo::machineHostName().toLower()));
    QVERIFY(altNames.values(QSsl::IpAddressEntry).contains(QStringLiteral("127.0.0.1")));
    QVERIFY(altNames.values(QSsl::IpAddressEntry).contains(QStringLiteral("::1")));
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QVERIFY(certificate.effectiveDate() <= now);
    QCOMPARE(certificate.effectiveDate().secsTo(certificate.expiryDate()), 825LL * 24 * 3600);
    QVERIFY(certificate.expiryDate() > now.addDays(824));

    // Second start: the same pair, nothing made anew.
    V2_Server again;
    QVERIFY2(ProgramTlsPair::apply(&again, QString(), QString(), &note, &error), qPrintable(error));
    QVERIFY(note.startsWith(QStringLiteral("own TLS pair in ")));
    QCOMPARE(again.tlsCertificate(), certificate);
    QCOMPARE(again.tlsPrivateKey(), server.tlsPrivateKey());
}

void TestProgramTlsPair::givenPairWins()
{
    V2_Server server;
    QString note;
    QString error;
    const QString certificatePath = QStringLiteral(LANTERRA_TEST_TLS_DIR "/test-cert.pem");
    QVERIFY2(ProgramTlsPair::apply(&server, certificatePath, QStringLiteral(LANTERRA_TEST_TLS_DIR "/test-key.pem"), &note, &error), qPrintable(error));
    QCOMPARE(server.tlsCertificate(), QSslCertificate(readAll(certificatePath), QSsl::Pem));
    QVERIFY(!QDir(m_folder).exists());
}

void TestProgramTlsPair::brokenStoredPair_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QString>("problem");
    QTest::newRow("key missing") << "remove key" << "server-key.pem is missing";
    QTest::newRow("certificate missing") << "remove certificate" << "server-certificate.pem is missing";
    QTest::newRow("key garbled") << "garble key" << "its files are no TLS pair";
    QTest::newRow("another key") << "other key" << "its files are no TLS pair";
    QTest::newRow("expired") << "expired" << "its certificate has expired";
}

void TestProgramTlsPair::brokenStoredPair()
{
    QFETCH(QString, damage);
    QFETCH(QString, problem);
    TlsPairGenerator::Pair pair;
    bool created = false;
    QString error;
    QVERIFY2(ProgramTlsPair::loadOrCreate(m_folder, &pair, &created, &error), qPrintable(error));
    QVERIFY(created);
    const QString keyPath = m_folder + QStringLiteral("/server-key.pem");
    const QString certificatePath = m_folder + QStringLiteral("/server-certificate.pem");
    if (damage == QLatin1String("remove key"))
        QVERIFY(QFile::remove(keyPath));
    else if (damage == QLatin1String("remove certificate"))
        QVERIFY(QFile::remove(certificatePath));
    else if (damage == QLatin1String("garble key"))
        writeAll(keyPath, pair.privateKeyPem.left(80));
    else if (damage == QLatin1String("other key"))
        writeAll(keyPath, readAll(QStringLiteral(LANTERRA_TEST_TLS_DIR "/test-key.pem")));
    else {
        TlsPairGenerator::Pair old;
        QVERIFY(TlsPairGenerator::generate(QStringLiteral("old"), {QStringLiteral("localhost")}, {}, -1, &old, &error));
        writeAll(keyPath, old.privateKeyPem);
        writeAll(certificatePath, old.certificatePem);
    }
    const QByteArray certificateBefore = readAll(certificatePath);

    TlsPairGenerator::Pair loaded;
    QVERIFY(!ProgramTlsPair::loadOrCreate(m_folder, &loaded, &created, &error));
    QVERIFY2(error.contains(problem), qPrintable(error));
    QVERIFY2(error.contains(QStringLiteral("remove server-certificate.pem and server-key.pem")), qPrintable(error));
    QVERIFY(!created);
    // Left as it was: a new pair is the owner's decision.
    QCOMPARE(readAll(certificatePath), certificateBefore);
}

QTEST_GUILESS_MAIN(TestProgramTlsPair)
#include "tst_programtlspair.moc"
