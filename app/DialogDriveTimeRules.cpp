#include "DialogDriveTimeRules.h"

#include "SessionClock.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include <cstdlib>
#include <iterator>

namespace {

constexpr qint64 kMinuteMs = 60000;
constexpr int kMaxMinutes = 14 * 24 * 60;

QSpinBox* minutesBox(QWidget* parent, const QString& name)
{
    auto* box = new QSpinBox(parent);
    box->setObjectName(name);
    box->setRange(0, kMaxMinutes);
    box->setSuffix(QStringLiteral(" min"));
    box->setSpecialValueText(QStringLiteral("no limit"));
    return box;
}

QString cellText(qint64 ms)
{
    return ms < 0 ? QString() : QString::number(ms / kMinuteMs);
}

qint64 cellValue(const QTableWidgetItem* item)
{
    bool ok = false;
    const int minutes = item ? item->text().trimmed().toInt(&ok) : 0;
    return ok && minutes >= 0 ? minutes * kMinuteMs : -1;
}

} // namespace

DialogDriveTimeRules::DialogDriveTimeRules(const DriveTimeRules& rules, const QStringList& classes, QWidget* parent)
    : QDialog(parent)
    , m_minTotal(minutesBox(this, QStringLiteral("minTotal")))
    , m_maxTotal(minutesBox(this, QStringLiteral("maxTotal")))
    , m_maxContinuous(minutesBox(this, QStringLiteral("maxContinuous")))
    , m_minRest(minutesBox(this, QStringLiteral("minRest")))
    , m_nearMargin(minutesBox(this, QStringLiteral("nearMargin")))
    , m_pitTime(new QComboBox(this))
    , m_swapTime(new QSpinBox(this))
    , m_classes(new QTableWidget(0, 5, this))
    , m_hasEnd(new QCheckBox(this))
    , m_end(new QDateTimeEdit(this))
    , m_problem(new QLabel(this))
    , m_knownClasses(classes)
    , m_trackOffsetMs(SessionClock::utcOffset())
{
    setWindowTitle(tr("Drive-time rules"));
    // The zone the end is typed in, as the session gives it (UTC before one).
    const qint64 offsetMinutes = m_trackOffsetMs / kMinuteMs;
    m_hasEnd->setText(tr("Race ends at, track time UTC%1%2:%3 (when the session gives no end):")
                          .arg(offsetMinutes < 0 ? QLatin1Char('-') : QLatin1Char('+'))
                          .arg(std::abs(offsetMinutes) / 60)
                          .arg(std::abs(offsetMinutes) % 60, 2, 10, QLatin1Char('0')));
    m_nearMargin->setSpecialValueText(QString());
    m_pitTime->setObjectName(QStringLiteral("pitTime"));
    m_swapTime->setObjectName(QStringLiteral("swapTime"));
    m_swapTime->setRange(1, 3600);
    m_swapTime->setSuffix(tr(" s"));
    m_pitTime->addItems({tr("Pit lane is not driving"), tr("Pit lane counts: to the driver coming in"), tr("Pit lane counts: to the driver going out"),
                         tr("Pit lane counts: split between both")});
    m_classes->setObjectName(QStringLiteral("classes"));
    m_classes->setHorizontalHeaderLabels({tr("Class"), tr("Min total"), tr("Max total"), tr("Max continuous"), tr("Min rest")});
    m_classes->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_classes->verticalHeader()->hide();
    m_hasEnd->setObjectName(QStringLiteral("hasEnd"));
    m_end->setObjectName(QStringLiteral("raceEnd"));
    m_end->setDisplayFormat(QStringLiteral("dd/MM/yyyy HH:mm"));
    m_end->setTimeSpec(Qt::UTC);
    connect(m_hasEnd, &QCheckBox::toggled, m_end, &QWidget::setEnabled);

    auto* form = new QFormLayout;
    form->addRow(tr("Minimum total per driver:"), m_minTotal);
    form->addRow(tr("Maximum total per driver:"), m_maxTotal);
    form->addRow(tr("Maximum continuous driving:"), m_maxContinuous);
    form->addRow(tr("Minimum rest between stints:"), m_minRest);
    form->addRow(tr("Pit-lane time:"), m_pitTime);
    form->addRow(tr("Driver swap takes:"), m_swapTime);
    form->addRow(tr("Near within:"), m_nearMargin);
    form->addRow(m_hasEnd, m_end);

    auto* classButtons = new QHBoxLayout;
    auto* addClass = new QPushButton(tr("Add class"), this);
    auto* removeClass = new QPushButton(tr("Remove class"), this);
    classButtons->addWidget(new QLabel(tr("Per-class values (minutes; empty: the event's):"), this));
    // The timing names each car's class, not its drivers' ratings.
    classButtons->addWidget(new QLabel(tr("Overrides by car class (not by driver rating, which the timing does not give):"), this));
    classButtons->addStretch();
    classButtons->addWidget(addClass);
    classButtons->addWidget(removeClass);
    connect(addClass, &QPushButton::clicked, this, [this] { m_classes->insertRow(m_classes->rowCount()); });
    connect(removeClass, &QPushButton::clicked, this, [this] { m_classes->removeRow(m_classes->currentRow()); });

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    QPushButton* exportButton = buttons->addButton(tr("Export..."), QDialogButtonBox::ActionRole);
    QPushButton* importButton = buttons->addButton(tr("Import..."), QDialogButtonBox::ActionRole);
    exportButton->setObjectName(QStringLiteral("exportButton"));
    importButton->setObjectName(QStringLiteral("importButton"));
    connect(exportButton, &QPushButton::clicked, this, &DialogDriveTimeRules::exportFile);
    connect(importButton, &QPushButton::clicked, this, &DialogDriveTimeRules::importFile);
    connect(buttons, &QDialogButtonBox::accepted, this, &DialogDriveTimeRules::accept);
    m_problem->setObjectName(QStringLiteral("problem"));
    m_problem->setWordWrap(true);
    m_problem->hide();
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(classButtons);
    layout->addWidget(m_classes);
    layout->addWidget(m_problem);
    layout->addWidget(buttons);

    // Tab in reading order (the fields were made in another), and out of the
    // table rather than round its cells: the arrows move between those.
    m_classes->setTabKeyNavigation(false);
    QWidget* const chain[] = { m_minTotal, m_maxTotal, m_maxContinuous, m_minRest,   m_pitTime, m_swapTime, m_nearMargin,
                               m_hasEnd,   m_end,      addClass,        removeClass, m_classes, buttons };
    for (std::size_t i = 1; i < std::size(chain); ++i)
        setTabOrder(chain[i - 1], chain[i]);
    setRules(rules);
}

DialogDriveTimeRules::~DialogDriveTimeRules() = default;

void DialogDriveTimeRules::setRules(const DriveTimeRules& rules)
{
    m_minTotal->setValue(int(rules.limits.minTotalMs / kMinuteMs));
    m_maxTotal->setValue(int(rules.limits.maxTotalMs / kMinuteMs));
    m_maxContinuous->setValue(int(rules.limits.maxContinuousMs / kMinuteMs));
    m_minRest->setValue(int(rules.limits.minRestMs / kMinuteMs));
    m_nearMargin->setValue(int(rules.nearMarginMs / kMinuteMs));
    m_pitTime->setCurrentIndex(static_cast<int>(rules.pitTime));
    m_swapTime->setValue(int(rules.swapTimeMs / 1000));
    QStringList classes = m_knownClasses;
    for (const QString& key : rules.classOverrides.keys())
        if (!classes.contains(key))
            classes.append(key);
    m_classes->setRowCount(classes.size());
    for (int row = 0; row < classes.size(); ++row) {
        const DriveTimeOverride o = rules.classOverrides.value(classes.at(row));
        const qint64 values[] = {o.minTotalMs, o.maxTotalMs, o.maxContinuousMs, o.minRestMs};
        m_classes->setItem(row, 0, new QTableWidgetItem(classes.at(row)));
        for (int column = 1; column <= 4; ++column)
            m_classes->setItem(row, column, new QTableWidgetItem(cellText(values[column - 1])));
    }
    m_hasEnd->setChecked(rules.scheduledEndMs > 0);
    m_end->setEnabled(rules.scheduledEndMs > 0);
    // The edit holds the track's clock reading, in a zone of its own.
    // None yet: a day from now, on the minute.
    const qint64 tomorrow = QDateTime::currentMSecsSinceEpoch() + 24 * 3600 * 1000;
    const qint64 end = rules.scheduledEndMs > 0 ? rules.scheduledEndMs : tomorrow - tomorrow % kMinuteMs;
    m_end->setDateTime(QDateTime::fromMSecsSinceEpoch(end + m_trackOffsetMs, Qt::UTC));
}

DriveTimeRules DialogDriveTimeRules::rules() const
{
    DriveTimeRules rules;
    rules.limits.minTotalMs = m_minTotal->value() * kMinuteMs;
    rules.limits.maxTotalMs = m_maxTotal->value() * kMinuteMs;
    rules.limits.maxContinuousMs = m_maxContinuous->value() * kMinuteMs;
    rules.limits.minRestMs = m_minRest->value() * kMinuteMs;
    rules.nearMarginMs = m_nearMargin->value() * kMinuteMs;
    rules.pitTime = static_cast<PitTimeRule>(m_pitTime->currentIndex());
    rules.swapTimeMs = qint64(m_swapTime->value()) * 1000;
    for (int row = 0; row < m_classes->rowCount(); ++row) {
        const QString key = m_classes->item(row, 0) ? m_classes->item(row, 0)->text().trimmed() : QString();
        const DriveTimeOverride o{cellValue(m_classes->item(row, 1)), cellValue(m_classes->item(row, 2)), cellValue(m_classes->item(row, 3)),
                                  cellValue(m_classes->item(row, 4))};
        if (!key.isEmpty() && !(o == DriveTimeOverride{}))
            rules.classOverrides.insert(key, o);
    }
    rules.scheduledEndMs = m_hasEnd->isChecked() ? m_end->dateTime().toMSecsSinceEpoch() - m_trackOffsetMs : 0;
    return rules;
}

void DialogDriveTimeRules::accept()
{
    if (const QString why = rules().problem(); !why.isEmpty()) {
        m_problem->setText(tr("Not kept: %1").arg(why));
        m_problem->show();
        return;
    }
    QDialog::accept();
}

bool DialogDriveTimeRules::exportTo(const QString& path, QString* error) const
{
    // Nothing the import would refuse.
    if (const QString why = rules().problem(); !why.isEmpty()) {
        *error = why;
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(rules().toJson()) < 0 || !file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

bool DialogDriveTimeRules::importFrom(const QString& path, QString* error)
{
    QFile file(path);
    // A rules file is small; anything large is not one.
    constexpr qint64 kMaxBytes = 1 << 20;
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return false;
    }
    if (file.size() > kMaxBytes) {
        *error = tr("the file is too large to be drive-time rules");
        return false;
    }
    DriveTimeRules read;
    if (!DriveTimeRules::fromJson(file.readAll(), &read, error))
        return false;
    setRules(read);
    return true;
}

void DialogDriveTimeRules::exportFile()
{
    const QString path = QFileDialog::getSaveFileName(this, tr("Export drive-time rules"), QString(), tr("Drive-time rules (*.json)"));
    QString error;
    if (!path.isEmpty() && !exportTo(path, &error))
        QMessageBox::warning(this, tr("Export drive-time rules"), tr("Not written: %1").arg(error));
}

void DialogDriveTimeRules::importFile()
{
    const QString path = QFileDialog::getOpenFileName(this, tr("Import drive-time rules"), QString(), tr("Drive-time rules (*.json)"));
    QString error;
    if (!path.isEmpty() && !importFrom(path, &error))
        QMessageBox::warning(this, tr("Import drive-time rules"), tr("Not imported, the rules are unchanged: %1").arg(error));
}
