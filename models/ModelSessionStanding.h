#pragma once

#include "CoalescedTableModel.h"
#include "StandingRow.h"
#include "TimingColours.h"

#include <QIcon>
#include <QPixmap>
#include <QStringList>
#include <QTimer>
#include <QVector>

class V2DataProvider;

// The live classification, overall or of one class, one row per active
// position: what the race and the practice standings models share. The
// columns are the same but for 5 to 9, which each model names itself.
class ModelSessionStanding : public CoalescedTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY(ModelSessionStanding)

public:
    // The columns both models share.
    enum SharedColumn {
        PositionColumn = 0,
        NumberColumn = 1,
        NameColumn = 2,
        ClassColumn = 3,
        TeamColumn = 4,
        S1Column = 10,
        S4Column = 13,
        LastLapColumn = 14,
        PitInTimeColumn = 15,
        PitOutTimeColumn = 16,
        LastPitInLapColumn = 17,
        PitTimeColumn = 18,
        FastestLapColumn = 19,
        TrackLimitsColumn = 20,
        SharedColumnCount = 21,
    };

    ~ModelSessionStanding() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Empty for the overall standings, else a class key.
    void setClassType(const QString& classType);
    QString classType() const;
    // Whether the sector columns of a row show its best sectors (in the pit lane).
    bool showsBestSectors(int row) const;
    // The running or last pit stop's length; empty once the session is closed.
    QString pitTimeText(const StandingRow& row) const;
    // The row showing this car, or -1.
    int rowOfCar(const QString& pNum) const;

public slots:
    void processUpdateOverall(int pos);
    void processUpdateByClass(int pos);
    void updateSkin(QString skin);
    void processParticipantDetailsUpdate(QString pNum);

protected:
    // practice: the practice columns (their table is in the source) instead of the race ones.
    ModelSessionStanding(V2DataProvider* provider, const QString& skin, bool practice, QObject* parent);

private slots:
    void refreshPitTimeColumn();
    void refreshAll();
    void cleanAll();
    // The row of a car whose flash began, blinked or ended.
    void repaintCar(const QString& pNum);

private:
    // What a cell shows (text, colour mark, icon), to tell which cells changed.
    struct CellLook {
        QString text;
        int mark = 0;
        QString decoration;
        bool operator==(const CellLook& other) const { return text == other.text && mark == other.mark && decoration == other.decoration; }
    };
    QVector<CellLook> looks(int rowIndex) const;
    void refreshRows() override;
    void heldChanged(bool held) override;
    bool isOverall() const;
    // The class key the provider reads: empty for the overall standings.
    QString standingsClass() const;
    bool readBests();
    void updatePosition(int pos);
    StandingRow buildRow(int position) const;
    // What a cell's time means, for its colours and cue.
    TimingColours::Mark mark(const StandingRow& row, int rowIndex, int column) const;
    QVariant decoration(const StandingRow& row, int column) const;

    V2DataProvider* m_provider;
    QVector<StandingRow> m_rows;
    quint64 m_sessionBestSector[4] = {0, 0, 0, 0};
    quint64 m_sessionBestLap = 0;
    QString m_classType;
    QIcon m_pitIcon;
    QIcon m_outIcon;
    QIcon m_stopIcon;
    QIcon m_checkeredIcon;
    QPixmap m_trackLimitsIcon;
    bool m_sessionClosed = false;
    // The next refresh repaints every row (the skin changed).
    bool m_repaintAll = false;
    QString m_skin;
    QTimer m_timer;
    bool m_practice;
};
