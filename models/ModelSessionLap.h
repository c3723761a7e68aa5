#pragma once

#include "AnalysisRowsView.h"
#include "LapAnalysisRecord.h"
#include "TimingColours.h"

#include <QAbstractTableModel>
#include <QMap>
#include <QPixmap>
#include <QString>

class V2DataProvider;

// Every lap of the session in the order the laps ended: sectors, speed,
// named sections, position and driver, with session bests in magenta and
// the followed car's bests in cyan, and a notes column the user types into.
class ModelSessionLap : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY(ModelSessionLap)

public:
    // Columns 2 and 4 have no header and no content.
    enum Column {
        DayTime = 0,
        Number = 1,
        Spacer1 = 2, // empty, no width
        Lap = 3,
        Spacer2 = 4,
        LapTime = 5,
        S1 = 6,
        S4 = 9,
        Speed = 10,
        Porsche = 11,
        Ford = 12,
        T6 = 13,
        T7 = 14,
        Position = 15,
        Driver = 16,
        Notes = 17,
        ColumnCount = 18,
    };

    ModelSessionLap(V2DataProvider* provider, const QString& skin, bool carFollowMode, QObject* parent = nullptr);
    ~ModelSessionLap() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // The columns a track does not fill: the two blank ones, S4 on a
    // three-sector track, the named sections it has not.
    static QList<int> absentColumns(const QStringList& trackSections, int sectors);

    // The car whose personal bests are coloured; "---" for none.
    void setFollowedParticipant(const QString& pNum);
    QString followedParticipant() const;
    const LapAnalysisRecord* recordAt(int row) const;
    // The text of a cell as the table shows it.
    QString cellText(int row, int column) const;

public slots:
    void processAnalysis();
    void processAnalysisLap(int rowPos, bool isNewRow, bool removeRow);
    void processAnalysisLapByRowList(QList<int> list);
    void processUpdate();
    void updateSkin(QString skinType);
    void cleanAll();

protected:
    // The car-follow model's own columns and colours.
    virtual int extraColumnCount() const;
    virtual QString extraHeader(int column) const;
    virtual QString extraText(const LapAnalysisRecord& record, int column) const;
    virtual QVariant lapNumberColour(const LapAnalysisRecord& record, int role) const;
    virtual void takeExtras();

    V2DataProvider* provider() const;

private:
    // Reads the session's and the followed car's bests; true when they changed.
    bool readBests();
    void repaintAll();
    void repaintSpeeds();
    // What a cell's time means, for its colours and cue.
    TimingColours::Mark mark(const LapAnalysisRecord& record, int column) const;
    // The followed car's colour behind its rows (none in a follow block).
    QColor highlight(const LapAnalysisRecord& record) const;

    V2DataProvider* m_provider;
    AnalysisRowsView<LapAnalysisRecord> m_copy;
    // Sectors 1 to 4, then the lap.
    quint64 m_sessionBests[5] = {0, 0, 0, 0, 0};
    quint64 m_followedBests[5] = {0, 0, 0, 0, 0};
    QString m_followed;
    bool m_carFollowMode;
    QString m_skin;
    QPixmap m_trackLimitsIcon;
    // Notes by lap ("7-12"), as the user typed them.
    QMap<QString, QString> m_notes;
};
