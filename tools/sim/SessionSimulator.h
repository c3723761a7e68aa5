#pragma once

#include "SimOptions.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>

class V2_Data;

// Generates the published state of a simulated session as a pure function
// of the options (seed included) and the simulated time since the start:
// the same inputs always give the same tree.
class SessionSimulator final
{
public:
    // sessionStartMs: wall-clock start of the session, ms since the epoch.
    SessionSimulator(const SimOptions& options, qint64 sessionStartMs);

    // The thirteen channels a client joins.
    static const QStringList& channels();

    // The whole state at elapsedMs after the session start (a root tree).
    std::unique_ptr<V2_Data> state(qint64 elapsedMs) const;

    qint64 sessionStartMs() const;
    int utcOffsetMs() const;
    int sessionDbId() const;
    QStringList participants() const;

private:
    struct Driver {
        QString firstName;
        QString lastName;
    };
    struct Car {
        QString number;
        int classIndex = 0;
        QString team;
        QString vehicle;
        QVector<Driver> drivers;
    };

    void addSessionInfo(V2_Data* root) const;
    void addSessionStatus(V2_Data* root, qint64 elapsedMs) const;
    void addEntry(V2_Data* root) const;
    void addTrack(V2_Data* root) const;
    void addWeather(V2_Data* root, qint64 elapsedMs) const;
    // A repeatable value in [0, 1) for a stream and an index.
    double noise(quint32 stream, qint64 index) const;

    SimOptions m_options;
    qint64 m_sessionStartMs;
    int m_utcOffsetMs;
    int m_sessionDbId;
    QStringList m_classNames;
    QVector<Car> m_cars;
};
