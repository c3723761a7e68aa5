#include "AlertRules.h"
#include "AppSettings.h"
#include "CertificateTrust.h"
#include "DialogAlertRules.h"
#include "DialogDriveTimeRules.h"
#include "DialogLoadLayout.h"
#include "DialogSaveLayout.h"
#include "DialogScaleFactor.h"
#include "DialogUser.h"
#include "ModalHelper.h"
#include "SessionClock.h"
#include "TestSettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QSettings>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

namespace {

void addLayouts(const QStringList& names)
{
    const auto settings = AppSettings::open();
    for (const QString& name : names)
        settings->setValue(QStringLiteral("layouts/%1/mainwindow/x").arg(name), 1);
}

QStringList items(QComboBox* combo)
{
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i)
        texts << combo->itemText(i);
    return texts;
}

// Adds a name through "+" and its input dialog.
void addName(DialogSaveLayout& dialog, const QString& name)
{
    onNextModal([name](QWidget* input) {
        auto* asked = qobject_cast<QInputDialog*>(input);
        QVERIFY(asked);
        QCOMPARE(asked->windowTitle(), QStringLiteral("New layout"));
        QCOMPARE(asked->labelText(), QStringLiteral("Name :"));
        asked->setTextValue(name);
        asked->accept();
    });
    dialog.findChild<QPushButton*>(QStringLiteral("pushButtonNewLayout"))->click();
}

// Presses "-" and answers the box that follows; returns its text.
QString deleteCurrent(DialogSaveLayout& dialog, QMessageBox::StandardButton answer)
{
    QString text;
    onNextModal([&text, answer](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        QVERIFY(box);
        text = box->text();
        QCOMPARE(box->windowTitle(), QStringLiteral("Layout delete"));
        box->button(answer)->click();
    });
    dialog.findChild<QPushButton*>(QStringLiteral("pushButtonDeleteLayout"))->click();
    return text;
}

} // namespace

class TestDialogs final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void scaleFactor();
    void driveTimeRulesFile();
    void driveTimeRulesKept_data();
    void driveTimeRulesKept();
    void driveTimeEndInTrackTime();
    void user_data();
    void user();
    void userForgetsTheCertificate_data();
    void userForgetsTheCertificate();
    void loadLayout();
    void newNames();
    void deleteLayout_data();
    void deleteLayout();
    void alertRules();

private:
    TestSettings m_config;
};

void TestDialogs::init()
{
    AppSettings::open()->clear();
}

void TestDialogs::scaleFactor()
{
    DialogScaleFactor dialog(1.5);
    dialog.show();
    auto* spin = dialog.findChild<QDoubleSpinBox*>(QStringLiteral("doubleSpinBox"));
    auto* note = dialog.findChild<QLabel*>(QStringLiteral("label_2"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Scale factor"));
    QCOMPARE(dialog.value(), 1.5);
    QVERIFY(!note->isVisible());
    spin->setValue(2.0);
    QVERIFY(note->isVisible());
    spin->setValue(1.5);
    QVERIFY(note->isVisible()); // stays once shown
    spin->setValue(0.2);
    QCOMPARE(dialog.value(), 1.0);
    spin->setValue(12.0);
    QCOMPARE(dialog.value(), 10.0);
    spin->setValue(1.234);
    QCOMPARE(dialog.value(), 1.23);
    QCOMPARE(spin->singleStep(), 0.1);
}

// The rules as edited (minutes, an empty class cell keeping the event's
// value) go out to a file and come back; a broken file changes nothing.
void TestDialogs::driveTimeRulesFile()
{
    DriveTimeRules rules;
    rules.limits = DriveTimeLimits{240 * 60000, 0, 120 * 60000, 60 * 60000};
    rules.classOverrides.insert(QStringLiteral("AM"), DriveTimeOverride{300 * 60000, -1, -1, -1});
    rules.pitTime = PitTimeRule::Incoming;
    rules.swapTimeMs = 75000;
    DialogDriveTimeRules dialog(rules, {QStringLiteral("PRO"), QStringLiteral("AM")});
    QCOMPARE(dialog.rules(), rules);
    dialog.findChild<QSpinBox*>(QStringLiteral("maxTotal"))->setValue(840);
    rules.limits.maxTotalMs = 840 * 60000;
    dialog.findChild<QSpinBox*>(QStringLiteral("swapTime"))->setValue(90);
    rules.swapTimeMs = 90000;
    QCOMPARE(dialog.rules(), rules);

    const QString path = m_config.filePath(QStringLiteral("rules.json"));
    QString error;
    QVERIFY2(dialog.exportTo(path, &error), qPrintable(error));
    DialogDriveTimeRules other(DriveTimeRules{}, {});
    QVERIFY2(other.importFrom(path, &error), qPrintable(error));
    QCOMPARE(other.rules(), rules);

    QFile broken(m_config.filePath(QStringLiteral("broken.json")));
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write("{\"version\": 1, \"maxContinuous\": \"two hours\"}");
    broken.close();
    QVERIFY(!other.importFrom(broken.fileName(), &error));
    QCOMPARE(error, QStringLiteral("\"maxContinuous\" must be a whole number of seconds from 0 to 1209600"));
    QCOMPARE(other.rules(), rules);
}

// OK keeps only rules the settings can read back: else the dialog stays
// open and says why.
void TestDialogs::driveTimeRulesKept_data()
{
    QTest::addColumn<int>("minTotal");
    QTest::addColumn<QString>("classCell"); // AM's minimum, minutes
    QTest::addColumn<QString>("problem");   // empty: accepted
    QTest::newRow("fine") << 240 << "300" << "";
    QTest::newRow("minimum above the maximum") << 900 << "" << "Not kept: \"minTotal\" is above \"maxTotal\"";
    QTest::newRow("class minimum above the maximum") << 240 << "900" << "Not kept: class \"AM\": its minimum total is above its maximum";
    QTest::newRow("past 14 days") << 240 << "20161" << "Not kept: class \"AM\": \"minTotal\" must be a whole number of seconds from 0 to 1209600";
}

void TestDialogs::driveTimeRulesKept()
{
    QFETCH(int, minTotal);
    QFETCH(QString, classCell);
    QFETCH(QString, problem);
    DialogDriveTimeRules dialog(DriveTimeRules{}, {QStringLiteral("AM")});
    dialog.findChild<QSpinBox*>(QStringLiteral("maxTotal"))->setValue(840);
    dialog.findChild<QSpinBox*>(QStringLiteral("minTotal"))->setValue(minTotal);
    dialog.findChild<QTableWidget*>(QStringLiteral("classes"))->item(0, 1)->setText(classCell);
    dialog.show();
    dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    auto* label = dialog.findChild<QLabel*>(QStringLiteral("problem"));
    QVERIFY(label);
    QCOMPARE(dialog.result(), problem.isEmpty() ? int(QDialog::Accepted) : int(QDialog::Rejected));
    QCOMPARE(dialog.isVisible(), !problem.isEmpty());
    QCOMPARE(label->isVisible() ? label->text() : QString(), problem);
    // Nor does Export write what Import would refuse.
    QString error;
    QCOMPARE(dialog.exportTo(m_config.filePath(QStringLiteral("kept.json")), &error), problem.isEmpty());
    QCOMPARE(error.isEmpty() ? QString() : QStringLiteral("Not kept: ") + error, problem);
}

// The end is typed in the track's time and kept as an instant.
void TestDialogs::driveTimeEndInTrackTime()
{
    SessionClock::setUtcOffset(2 * 3600 * 1000);
    const auto restore = qScopeGuard([] { SessionClock::setUtcOffset(0); });
    DriveTimeRules rules;
    rules.scheduledEndMs = 1781445600000; // 14:00Z
    DialogDriveTimeRules dialog(rules, {});
    auto* end = dialog.findChild<QDateTimeEdit*>(QStringLiteral("raceEnd"));
    QCOMPARE(end->dateTime().toString(QStringLiteral("HH:mm")), QStringLiteral("16:00"));
    end->setDateTime(end->dateTime().addSecs(1800));
    QCOMPARE(dialog.rules().scheduledEndMs, 1781445600000 + 1800 * 1000);
    QCOMPARE(dialog.findChild<QCheckBox*>(QStringLiteral("hasEnd"))->text(), QStringLiteral("Race ends at, track time UTC+2:00 (when the session gives no end):"));
}

void TestDialogs::user_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<int>("value");
    QTest::newRow("usual") << "11001" << 11001;
    QTest::newRow("blanks") << " 443 " << 443;
    QTest::newRow("lowest") << "1" << 1;
    QTest::newRow("highest") << "65535" << 65535;
    QTest::newRow("zero") << "0" << 0;
    QTest::newRow("too high") << "65536" << 0;
    QTest::newRow("negative") << "-5" << 0;
    QTest::newRow("text") << "http" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("hexadecimal") << "0x50" << 0;
}

void TestDialogs::user()
{
    QFETCH(QString, port);
    QFETCH(int, value);
    DialogUser dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Edit config"));
    QCOMPARE(dialog.findChild<QLineEdit*>(QStringLiteral("lineEditPassword"))->echoMode(), QLineEdit::Password);
    dialog.setHost(QStringLiteral("  timing.example \t"));
    dialog.setUsername(QStringLiteral(" team "));
    dialog.setPassword(QStringLiteral(" pass word "));
    dialog.setPort(11001);
    QCOMPARE(dialog.findChild<QLineEdit*>(QStringLiteral("lineEditPort"))->text(), QStringLiteral("11001"));
    QCOMPARE(dialog.host(), QStringLiteral("timing.example"));
    QCOMPARE(dialog.username(), QStringLiteral(" team "));
    QCOMPARE(dialog.password(), QStringLiteral(" pass word "));

    dialog.findChild<QLineEdit*>(QStringLiteral("lineEditPort"))->setText(port);
    QCOMPARE(dialog.port(), value);
    dialog.show();
    QSignalSpy accepted(&dialog, &QDialog::accepted);
    dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    auto* error = dialog.findChild<QLabel*>(QStringLiteral("labelError"));
    if (value == 0) {
        QCOMPARE(accepted.count(), 0);
        QVERIFY(dialog.isVisible());
        QVERIFY(error->isVisible());
        QVERIFY(error->text().contains(QLatin1String("65535")));
        // Typing in the field takes the note away.
        QTest::keyClick(dialog.findChild<QLineEdit*>(QStringLiteral("lineEditPort")), Qt::Key_1);
        QVERIFY(!error->isVisible());
    } else {
        QCOMPARE(accepted.count(), 1);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }
}

void TestDialogs::userForgetsTheCertificate_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QByteArray>("left");
    QTest::newRow("OK forgets") << QStringLiteral("ok") << QByteArray();
    QTest::newRow("Cancel keeps") << QStringLiteral("cancel") << QByteArray("cafe");
}

void TestDialogs::userForgetsTheCertificate()
{
    QFETCH(QString, button);
    QFETCH(QByteArray, left);
    CertificateTrust::store(QStringLiteral("timing.example"), 11001, {"cafe", QStringLiteral("CN=timing")});
    CertificateTrust::store(QStringLiteral("other.example"), 11001, {"beef", QStringLiteral("CN=other")});
    DialogUser dialog;
    dialog.setHost(QStringLiteral("timing.example"));
    dialog.setPort(11001);
    dialog.findChild<QPushButton*>(QStringLiteral("pushButtonForgetCertificate"))->click();
    // Nothing happens before the dialog is answered.
    QCOMPARE(CertificateTrust::stored(QStringLiteral("timing.example"), 11001).fingerprint, QByteArray("cafe"));
    auto* buttons = dialog.findChild<QDialogButtonBox*>();
    buttons->button(button == QLatin1String("ok") ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)->click();
    QCOMPARE(CertificateTrust::stored(QStringLiteral("timing.example"), 11001).fingerprint, left);
    QCOMPARE(CertificateTrust::stored(QStringLiteral("other.example"), 11001).fingerprint, QByteArray("beef"));
}

void TestDialogs::loadLayout()
{
    addLayouts({"default", "race", "Race"});
    DialogLoadLayout dialog;
    auto* combo = dialog.findChild<QComboBox*>(QStringLiteral("comboBox"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Set layout"));
    QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("label"))->text(), QStringLiteral("Layout :"));
    QCOMPARE(items(combo).size(), 3);
    dialog.preselect(QStringLiteral("race"));
    QCOMPARE(dialog.selectedName(), QStringLiteral("race"));
    dialog.preselect(QStringLiteral("RACE")); // no exact match: nothing changes
    QCOMPARE(dialog.selectedName(), QStringLiteral("race"));
    dialog.preselect(QStringLiteral("Race"));
    QCOMPARE(dialog.selectedName(), QStringLiteral("Race"));
    combo->setCurrentIndex(combo->findText(QStringLiteral("default")));
    QCOMPARE(dialog.selectedName(), QStringLiteral("default"));
}

void TestDialogs::newNames()
{
    addLayouts({"default"});
    DialogSaveLayout dialog;
    dialog.show();
    auto* combo = dialog.findChild<QComboBox*>(QStringLiteral("comboBox"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Save layout"));
    addName(dialog, QStringLiteral("night"));
    addName(dialog, QStringLiteral("night"));
    QCOMPARE(items(combo), QStringList({"default", "night", "night"}));
    QCOMPARE(dialog.selectedName(), QStringLiteral("night"));
    QCOMPARE(combo->currentIndex(), 1); // the first item of that name
    // Nothing is stored before the main window saves.
    const auto settings = AppSettings::open();
    settings->beginGroup(QStringLiteral("layouts"));
    QCOMPARE(settings->childGroups(), QStringList({"default"}));
    settings->endGroup();
    // An empty name adds nothing.
    addName(dialog, QString());
    QCOMPARE(combo->count(), 3);
    QString refusal;
    // A name with a slash, and a built-in layout's name, are refused.
    for (const QString& name : {QStringLiteral("a/b"), QStringLiteral("Pit wall")}) {
        refusal.clear();
        onNextModal([&refusal, name](QWidget* input) {
            onNextModal(
                [&refusal](QWidget* modal) {
                    auto* box = qobject_cast<QMessageBox*>(modal);
                    QVERIFY(box);
                    refusal = box->text();
                    box->accept();
                },
                input);
            qobject_cast<QInputDialog*>(input)->setTextValue(name);
            qobject_cast<QInputDialog*>(input)->accept();
        });
        dialog.findChild<QPushButton*>(QStringLiteral("pushButtonNewLayout"))->click();
        QTRY_VERIFY(!refusal.isEmpty());
        QCOMPARE(combo->count(), 3);
    }
}

// "-" on the chosen layout, the box answered: the store (at once) and the
// list agree, and OK then saves under the name the list shows.
void TestDialogs::deleteLayout_data()
{
    QTest::addColumn<QString>("selected");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("question");
    QTest::addColumn<QStringList>("left");
    const QString sure = QStringLiteral("Are you sure to delete layout?");
    QTest::newRow("default refused") << "default" << int(QMessageBox::Ok) << "Default layout cannot be deleted" << QStringList({"default", "practice", "race"});
    QTest::newRow("yes deletes") << "practice" << int(QMessageBox::Yes) << sure << QStringList({"default", "race"});
    QTest::newRow("no keeps") << "race" << int(QMessageBox::No) << sure << QStringList({"default", "practice", "race"});
}

void TestDialogs::deleteLayout()
{
    QFETCH(QString, selected);
    QFETCH(int, answer);
    QFETCH(QString, question);
    QFETCH(QStringList, left);
    addLayouts({"default", "practice", "race"});
    DialogSaveLayout dialog;
    dialog.show();
    dialog.preselect(selected);
    QCOMPARE(deleteCurrent(dialog, QMessageBox::StandardButton(answer)), question);
    const auto settings = AppSettings::open();
    settings->beginGroup(QStringLiteral("layouts"));
    QCOMPARE(settings->childGroups(), left);
    settings->endGroup();
    auto* combo = dialog.findChild<QComboBox*>(QStringLiteral("comboBox"));
    QCOMPARE(items(combo), left);
    dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.selectedName(), combo->currentText());
    QVERIFY(!dialog.selectedName().isEmpty());
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"

void TestDialogs::alertRules()
{
    AlertRules rules;
    AlertRules::Values gap = rules.values(AlertRules::kGap);
    gap.enabled = true;
    gap.severity = AlertSeverity::Critical;
    gap.parameters[QStringLiteral("threshold")] = 2.5;
    gap.parameters[QStringLiteral("side")] = QStringLiteral("behind");
    gap.parameters[QStringLiteral("hysteresis")] = 0.25; // finer than the field's one decimal
    rules.setValues(AlertRules::indexOf(AlertRules::kGap), gap);
    DialogAlertRules dialog(rules);
    dialog.show();
    const auto check = [&dialog](const char* name) { return dialog.findChild<QCheckBox*>(QLatin1String(name)); };
    const auto combo = [&dialog](const char* name) { return dialog.findChild<QComboBox*>(QLatin1String(name)); };
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Alert rules"));
    QCOMPARE(check("enabled_gap")->text(), QStringLiteral("Gap crosses a threshold"));
    QVERIFY(check("enabled_gap")->isChecked());
    QVERIFY(check("enabled_pitLane")->isChecked());
    QVERIFY(!check("enabled_slowLap")->isChecked());
    QCOMPARE(dialog.findChild<QDoubleSpinBox*>(QStringLiteral("gap_threshold"))->value(), 2.5);
    QCOMPARE(combo("gap_side")->currentData().toString(), QStringLiteral("behind"));
    QCOMPARE(combo("severity_gap")->currentText(), QStringLiteral("Critical"));
    QCOMPARE(dialog.findChild<QSpinBox*>(QStringLiteral("trackLimits_count"))->value(), 3);

    // Edited in the widgets, read back as rules.
    check("enabled_slowLap")->setChecked(true);
    dialog.findChild<QDoubleSpinBox*>(QStringLiteral("slowLap_percent"))->setValue(20);
    check("sound_pitLane")->setChecked(true);
    combo("severity_stopped")->setCurrentIndex(1);
    dialog.findChild<QLineEdit*>(QStringLiteral("raceControlGroups_groups"))->setText(QStringLiteral("PENALTY"));
    const AlertRules read = dialog.rules();
    QVERIFY(read.isEnabled(AlertRules::kSlowLap));
    QCOMPARE(read.number(AlertRules::kSlowLap, "percent"), 20.0);
    QVERIFY(read.values(AlertRules::kPitLane).sound);
    QCOMPARE(read.values(AlertRules::kStopped).severity, AlertSeverity::Warning);
    QCOMPARE(read.text(AlertRules::kRaceControlGroups, "groups"), QStringLiteral("PENALTY"));
    QCOMPARE(read.number(AlertRules::kGap, "threshold"), 2.5);
    QCOMPARE(dialog.findChild<QDoubleSpinBox*>(QStringLiteral("gap_hysteresis"))->value(), 0.25);
    QCOMPARE(read.number(AlertRules::kGap, "hysteresis"), 0.25);

    // A refused file is named and changes nothing; an exported one comes back whole.
    const QString broken = m_config.filePath(QStringLiteral("broken.json"));
    QFile file(broken);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("{\"lanterraAlertRules\": 1, \"rules\": {\"weather\": {}}}");
    file.close();
    QString text;
    onNextModal([&text](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        QVERIFY(box);
        text = box->text();
        box->accept();
    });
    QVERIFY(!dialog.importFile(broken));
    QVERIFY2(text.contains(QStringLiteral("Unknown rule \"weather\"")), qPrintable(text));
    QVERIFY(dialog.rules() == read);
    const QString shared = m_config.filePath(QStringLiteral("shared.json"));
    QVERIFY(dialog.exportFile(shared));
    dialog.setRules(AlertRules());
    QVERIFY(dialog.rules() != read);
    QVERIFY(dialog.importFile(shared));
    QVERIFY(dialog.rules() == read);
}
