#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <QVector>

class V2DataProvider;

// The race control messages of the session, oldest first or newest first,
// optionally without those sent before the session started.
class ModelRaceControlMessage final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY(ModelRaceControlMessage)

public:
    enum Column {
        Time,
        Group,
        Message,
        ColumnCount,
    };

    struct Row {
        quint64 dayTime = 0;
        QString group;
        QString text;
    };

    ModelRaceControlMessage(V2DataProvider* provider, QObject* parent = nullptr);
    ~ModelRaceControlMessage() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Cleaning on session change: messages older than the session's start
    // are left out, and a new session empties the list.
    void setCleaning(bool on);
    bool cleaning() const;
    void setNewestFirst(bool on);
    bool newestFirst() const;

public slots:
    void processRefresh();

private slots:
    void cleanAll();

private:
    bool isKept(const Row& row) const;

    V2DataProvider* m_provider;
    QVector<Row> m_rows;
    QVector<Row> m_earlier;
    bool m_cleaning = true;
    bool m_newestFirst = false;
};
