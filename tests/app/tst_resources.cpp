#include "MainWindow.h"
#include "TestSettings.h"

#include <QFile>
#include <QIcon>
#include <QPixmap>
#include <QtTest>

// Every picture and style sheet the program names loads from its resources.
class TestResources final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void pictures_data();
    void pictures();
    void styleSheets_data();
    void styleSheets();
    void alertSound();

private:
    TestSettings m_config;
};

void TestResources::initTestCase()
{
    // The main window brings the program's resources in.
    MainWindow window(PanelRegistry::Factories{});
}

void TestResources::pictures_data()
{
    QTest::addColumn<QString>("name");
    for (const char* name : {":/icons/mainIcon",
                             ":/icons/trackLimits",
                             ":/icons/statusPit",
                             ":/icons/statusOut",
                             ":/icons/statusStop",
                             ":/icons/windArrow",
                             ":/icons/check",
                             ":/icons/arrowUp",
                             ":/icons/arrowDown",
                             ":icons/flagFinished",
                             ":icons/flagGreen",
                             ":icons/flagYellow",
                             ":icons/flagFullYellow",
                             ":icons/flagSafety",
                             ":icons/flagRed",
                             ":icons/flagCode60",
                             ":icons/flagVirtualSafetyCar",
                             ":/icons/Resources/light_red.svg",
                             ":/icons/Resources/light_green.svg",
                             ":/icons/Resources/light_off.svg",
                             ":/icons/Resources/stopped.png",
                             ":/icons/Resources/retired.png",
                             ":/icons/Resources/noGps.png",
                             ":/icons/Resources/inPit.png",
                             ":/icons/Resources/flag_finish.png",
                             ":/icons/Resources/fan_boost.png",
                             ":/icons/Resources/bullet_square_checkered.png",
                             ":/icons/Resources/attack_mode3.png",
                             ":/icons/resources/integrations.png",
                             ":/icons/resources/Red_Arrow.png",
                             ":/icons/alertInfo",
                             ":/icons/alertWarning",
                             ":/icons/alertCritical"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestResources::pictures()
{
    QFETCH(QString, name);
    const QPixmap picture(name);
    QVERIFY2(!picture.isNull(), qPrintable(name));
    QVERIFY(picture.width() >= 8 && picture.height() >= 8);
    // Drawn scalable: an icon named without a picture suffix stays sharp when large.
    if (!name.endsWith(QLatin1String(".png")))
        QCOMPARE(QIcon(name).pixmap(128, 128).width(), 128);
}

void TestResources::styleSheets_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("skin");
    QTest::newRow("dark") << ":/qss/Resources/qss/DarkStyle.qss" << "Dark skin";
    QTest::newRow("light") << ":/qss/Resources/qss/LightStyle.qss" << "Light skin";
    QTest::newRow("high contrast") << ":/qss/Resources/qss/HighContrastStyle.qss" << "High contrast skin";
}

void TestResources::styleSheets()
{
    QFETCH(QString, name);
    QFETCH(QString, skin);
    QFile file(name);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray sheet = file.readAll();
    QVERIFY(sheet.contains(skin.toLatin1()));
    // Every picture a sheet names exists.
    int at = 0;
    while ((at = sheet.indexOf("url(", at)) >= 0) {
        const int end = sheet.indexOf(')', at);
        const QString url = QString::fromLatin1(sheet.mid(at + 4, end - at - 4));
        QVERIFY2(!QPixmap(url).isNull(), qPrintable(url));
        at = end;
    }
}

void TestResources::alertSound()
{
    // Plain 16-bit PCM, as the sound effect plays it, and short.
    QFile file(QStringLiteral(":/sounds/alert.wav"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray wav = file.readAll();
    QVERIFY(wav.startsWith("RIFF") && wav.mid(8, 8) == "WAVEfmt ");
    const auto word = [&wav](int at) { return quint16(quint8(wav[at])) | quint16(quint8(wav[at + 1])) << 8; };
    QCOMPARE(word(20), quint16(1));  // PCM
    QCOMPARE(word(34), quint16(16)); // bits per sample
    const int rate = word(24) | word(26) << 16;
    const double seconds = double(wav.size() - 44) / (rate * word(22) * 2);
    QVERIFY2(seconds > 0.15 && seconds < 1.0, qPrintable(QString::number(seconds)));
}

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
