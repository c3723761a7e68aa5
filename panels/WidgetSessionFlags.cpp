#include "WidgetSessionFlags.h"

#include "PanelRegistry.h"
#include "SessionClock.h"
#include "TimeOfDay.h"
#include "V2DataProvider.h"

#include <QCheckBox>
#include <QDateTime>
#include <QHeaderView>
#include <QSettings>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

namespace {

constexpr int kTickMs = 200;
const QString kColumnWidthKey = QStringLiteral("sessionFlags_%1");

const QColor kDarkText(22, 22, 22);

// Flags that open a neutralisation of the whole track.
bool opensPeriod(const QString& type, int sector)
{
    if (type == QLatin1String("YELLOW") || type == QLatin1String("FULL_YELLOW"))
        return sector < 1;
    return type == QLatin1String("RED") || type == QLatin1String("SAFETY_CAR") || type == QLatin1String("VIRTUAL_SAFETY_CAR")
        || type == QLatin1String("CODE_60");
}

QString flagText(const QString& type, const QString& info, int sector)
{
    if (type == QLatin1String("FLAG_INFO"))
        return info;
    if (type == QLatin1String("SAFETY_CAR"))
        return QStringLiteral("SAFETY");
    if (type == QLatin1String("VIRTUAL_SAFETY_CAR"))
        return QStringLiteral("VIRTUAL SAFETY CAR");
    if (type == QLatin1String("CODE_60"))
        return QStringLiteral("CODE 60");
    const bool sectorFlag = type == QLatin1String("GREEN") || type == QLatin1String("YELLOW") || type == QLatin1String("FULL_YELLOW");
    return sectorFlag && sector >= 1 ? type + QStringLiteral(" S") + QString::number(sector) : type;
}

// Foreground and background of a flag's cells; invalid colours for the defaults.
QPair<QColor, QColor> flagColours(const QString& type, const QString& info)
{
    if (type == QLatin1String("GREEN"))
        return {kDarkText, QColor(Qt::green)};
    if (type == QLatin1String("YELLOW") || type == QLatin1String("FULL_YELLOW"))
        return {kDarkText, QColor(Qt::yellow)};
    if (type == QLatin1String("RED"))
        return {kDarkText, QColor(Qt::red)};
    if (type == QLatin1String("SAFETY_CAR") || type == QLatin1String("VIRTUAL_SAFETY_CAR"))
        return {QColor(Qt::black), QColor(Qt::white)};
    if (type == QLatin1String("CODE_60"))
        return {QColor(Qt::black), QColor(227, 45, 132)};
    if (type == QLatin1String("FINISH"))
        return {QColor(Qt::white), QColor(Qt::black)};
    if (type == QLatin1String("FLAG_INFO") && info.contains(QLatin1String("GREEN")))
        return {kDarkText, QColor(180, 255, 180)};
    if (type == QLatin1String("FLAG_INFO") && info.contains(QLatin1String("YELLOW")))
        return {kDarkText, QColor(255, 255, 180)};
    return {QColor(), QColor()};
}

QString durationText(qint64 milliseconds)
{
    return QTime(0, 0).addMSecs(static_cast<int>(qBound<qint64>(0, milliseconds, 86399999))).toString(QStringLiteral("HH:mm:ss"));
}

} // namespace

WidgetSessionFlags::WidgetSessionFlags(V2DataProvider* provider, QWidget* parent)
    : TablePanel(parent, true)
    , m_provider(provider)
    , m_model(new QStandardItemModel(0, ColumnCount, this))
    , m_autoScroll(new QCheckBox(tr("Auto scroll"), contentWidget()))
{
    PanelRegistry::place(this, PanelRegistry::Flags);
    m_model->setHorizontalHeaderLabels({tr("Flag"), tr("Hour"), tr("Acc. FCY/SC"), tr("Elapsed")});
    m_table = addTable(m_model, {kColumnWidthKey, QString()}, QStringLiteral("tableViewFlags"));
    m_autoScroll->setObjectName(QStringLiteral("checkBox_Scroll"));
    m_autoScroll->setChecked(true);
    contentWidget()->layout()->addWidget(m_autoScroll);

    connect(provider, &V2DataProvider::sessionFlags, this, &WidgetSessionFlags::processUpdate);
    connect(provider, &V2DataProvider::sessionStatus, this, &WidgetSessionFlags::processUpdate);
    connect(provider, &V2DataProvider::cleanAll, this, &WidgetSessionFlags::processUpdate);
    connect(&m_timer, &QTimer::timeout, this, &WidgetSessionFlags::updateRunningPeriod);
    m_timer.start(kTickMs);
    runWhileShowing(&m_timer, [this] { updateRunningPeriod(); });
    processUpdate();
}

WidgetSessionFlags::~WidgetSessionFlags() = default;

void WidgetSessionFlags::setNewestFirst(bool on)
{
    m_newestFirst = on;
    processUpdate();
}

QStandardItemModel* WidgetSessionFlags::flagModel() const
{
    return m_model;
}

bool WidgetSessionFlags::isCounting() const
{
    return m_timer.isActive();
}

void WidgetSessionFlags::updateRunningPeriod()
{
    if (m_openIndex < 0) {
        m_timer.stop();
        return;
    }
    closePeriod(SessionClock::serverNowMs());
}

void WidgetSessionFlags::readRecords()
{
    m_records.clear();
    for (const QString& key : m_provider->getFlagKeys()) {
        FlagRecord record;
        record.sector = m_provider->getFlagSector(key);
        record.type = m_provider->getFlagType(key);
        record.info = m_provider->getFlagInfo(key);
        const quint64 time = m_provider->getFlagTime(key);
        record.time = time == 0 ? -1 : static_cast<qint64>(time);
        record.elapsed = m_provider->getFlagElapsed(key);
        m_records.insert(key.toInt() - 1, record);
    }
}

void WidgetSessionFlags::fillElapsed()
{
    const qint64 start = SessionClock::sessionStartTime();
    const qint64 stopped = SessionClock::stoppedSeconds();
    bool afterRed = false;
    qint64 redElapsed = 0;
    qint64 firstAfterRed = -1;
    bool nextIsFirstAfterRed = false;
    for (FlagRecord& record : m_records) {
        if (nextIsFirstAfterRed) {
            firstAfterRed = record.time;
            nextIsFirstAfterRed = false;
        }
        if (record.elapsed == -1 && record.time != -1) {
            if (start > 0 && stopped == 0)
                record.elapsed = record.time - start;
            else if (stopped > 0)
                record.elapsed = afterRed && firstAfterRed != -1 ? record.time - firstAfterRed + redElapsed : record.time - start;
        }
        if (record.type == QLatin1String("RED")) {
            afterRed = true;
            redElapsed = record.elapsed;
            firstAfterRed = -1;
            nextIsFirstAfterRed = true;
        }
    }
}

QList<QStandardItem*> WidgetSessionFlags::rowFor(const FlagRecord& record) const
{
    auto* flag = new QStandardItem(flagText(record.type, record.info, record.sector));
    auto* hour = new QStandardItem(record.time == -1 ? QString()
                                                     : QStringLiteral("    ")
                                                           + TimeOfDay::text(record.time, QStringLiteral("hh:mm:ss.zzz")));
    auto* neutralised = new QStandardItem();
    // An unknown session time stays empty rather than reading as the start.
    auto* elapsed = new QStandardItem(record.elapsed < 0 ? QString() : SessionClock::formatDuration(static_cast<int>(record.elapsed / 1000), true));
    flag->setTextAlignment(Qt::AlignCenter);
    hour->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    const QPair<QColor, QColor> colours = flagColours(record.type, record.info);
    if (colours.first.isValid()) {
        for (QStandardItem* item : {flag, hour}) {
            item->setForeground(colours.first);
            item->setBackground(colours.second);
        }
    }
    return {flag, hour, neutralised, elapsed};
}

int WidgetSessionFlags::modelRow(int index) const
{
    return m_newestFirst ? m_model->rowCount() - index - 1 : index;
}

void WidgetSessionFlags::closePeriod(qint64 until)
{
    if (m_openIndex < 0)
        return;
    if (QStandardItem* item = m_model->item(modelRow(m_openIndex), NeutralisedColumn))
        item->setText(durationText(until - m_openTime));
}

void WidgetSessionFlags::processUpdate()
{
    m_model->removeRows(0, m_model->rowCount());
    m_openIndex = -1;
    readRecords();
    fillElapsed();

    int index = 0;
    for (const FlagRecord& record : qAsConst(m_records)) {
        const QList<QStandardItem*> row = rowFor(record);
        if (m_newestFirst)
            m_model->insertRow(0, row);
        else
            m_model->appendRow(row);
        const bool green = record.type == QLatin1String("GREEN") && record.sector < 1;
        if (opensPeriod(record.type, record.sector)) {
            closePeriod(record.time);
            m_openIndex = index;
            m_openTime = record.time;
        } else if (green && m_openIndex >= 0) {
            closePeriod(record.time);
            m_openIndex = -1;
        }
        ++index;
    }

    if (m_openIndex >= 0) {
        // The running period counts up with the clock.
        closePeriod(SessionClock::serverNowMs());
        if (!m_timer.isActive())
            m_timer.start(kTickMs);
    } else {
        m_timer.stop();
    }
    // Columns the user sized keep their widths.
    fitColumns(m_table);
    if (m_autoScroll->isChecked())
        followNewRows(m_table, m_newestFirst);
}
