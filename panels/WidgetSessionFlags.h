#pragma once

#include "TablePanel.h"

#include <QMap>
#include <QTimer>

class QCheckBox;
class QStandardItem;
class QStandardItemModel;
class QTableView;
class V2DataProvider;

// Every flag of the session with its time of day, the length of each
// full-course neutralisation and the session time at which it was shown.
class WidgetSessionFlags final : public TablePanel
{
    Q_OBJECT
    Q_DISABLE_COPY(WidgetSessionFlags)

public:
    enum Column {
        FlagColumn,
        HourColumn,
        NeutralisedColumn,
        ElapsedColumn,
        ColumnCount,
    };

    WidgetSessionFlags(V2DataProvider* provider, QWidget* parent = nullptr);
    ~WidgetSessionFlags() override;

    void setNewestFirst(bool on) override;
    QStandardItemModel* flagModel() const;
    bool isCounting() const;

public slots:
    void processUpdate();

private slots:
    // Only the running neutralisation's length follows the clock.
    void updateRunningPeriod();

private:
    struct FlagRecord {
        int sector = 0;
        QString type;
        QString info;
        qint64 time = -1;
        qint64 elapsed = -1;
    };

    void readRecords();
    void fillElapsed();
    QList<QStandardItem*> rowFor(const FlagRecord& record) const;
    int modelRow(int index) const;
    void closePeriod(qint64 until);

    V2DataProvider* m_provider;
    QMap<int, FlagRecord> m_records;
    QStandardItemModel* m_model;
    QTableView* m_table;
    QCheckBox* m_autoScroll;
    QTimer m_timer;
    int m_openIndex = -1;
    qint64 m_openTime = 0;
    bool m_newestFirst = false;
};
