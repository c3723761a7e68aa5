#pragma once

#include "SimOptions.h"
#include "TrackPictures.h"

#include <QSet>
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
    // What a stop was for; the stationary time follows from it.
    enum class Stop { None, DriveThrough, Fuel, Tyres, DriverChange, Repair };

    // sessionStartMs: wall-clock start of the session, ms since the epoch.
    SessionSimulator(const SimOptions& options, qint64 sessionStartMs);

    // The thirteen channels a client joins.
    static const QStringList& channels();

    // The whole state at elapsedMs after the session start (a root tree);
    // without the lap history (timing.analysis.laps) when asked, the part
    // that only grows and that a long session makes large.
    std::unique_ptr<V2_Data> state(qint64 elapsedMs, bool withLapHistory = true) const;
    // Adds to root the lap history of the laps completed after fromMs (all
    // of them for a negative fromMs) up to toMs.
    void addLapHistory(V2_Data* root, qint64 fromMs, qint64 toMs) const;
    // Where the lap history lives in the tree.
    static const QString& lapHistoryPath();

    qint64 sessionStartMs() const;
    int utcOffsetMs() const;
    int sessionDbId() const;
    QStringList participants() const;

    // Every stop of the session, in order per car (tools and tests check
    // what a client learns against them).
    struct StopRecord {
        QString car;
        int lap = 0;         // the in lap's number
        Stop kind = Stop::None;
        qint64 pitInMs = 0;  // ms since the start
        qint64 pitMs = 0;    // in the pit lane
        qint64 lossMs = 0;   // added to the in and out laps together
        bool neutralised = false;
        qint64 inLapStartMs = 0;
        qint64 outLapEndMs = 0;
    };
    QVector<StopRecord> stops() const;

private:
    // Share of the lap in each sector.
    static constexpr double kSectorShare[4] = {0.26, 0.24, 0.27, 0.23};
    // A stop: driving the pit lane at the limiter takes kPitLaneMs where the
    // track beside it takes kPitTrackMs; the car then stands still for the
    // work of its kind. Under a safety car or full-course yellow the others
    // go slowly, so the stop costs them less: a share of its green cost.
    static constexpr qint64 kPitLaneMs = 24000;
    static constexpr qint64 kPitTrackMs = 5000;
    static constexpr double kNeutralisedStopShare = 0.5;


    struct Driver {
        QString firstName;
        QString lastName;
    };
    struct Lap {
        qint64 start = 0; // ms since the session start
        qint64 sectors[4] = {};
        bool valid = true;
        int trackLimitsSector = 0; // 0: none
        bool pitIn = false;
        bool pitOut = false;
        // On the in lap: the stop's kind, its pit-lane time (entry to exit)
        // and how long before the end of the lap the car entered the lane.
        Stop stop = Stop::None;
        qint64 pitMs = 0;
        qint64 pitInBeforeEnd = 0;
        qint64 stopLossMs = 0; // added to the in and out laps together
        bool stopNeutralised = false;   // a safety car or full-course yellow at the pit entry
        bool stopUnderSafetyCar = false; // the safety car itself, written in the pit info
        // On the out lap: how long after its start the car left the lane.
        qint64 pitOutAfterStart = 0;
        int driver = 1;
        int position = 0; // order of crossing the line at the end of this lap
        double topSpeed = 0.0;
        qint64 time() const { return sectors[0] + sectors[1] + sectors[2] + sectors[3]; }
        qint64 end() const { return start + time(); }
    };
    struct Car {
        QString number;
        int classIndex = 0;
        QString team;
        QString vehicle;
        QVector<Driver> drivers;
        QVector<Lap> laps; // every lap the car will run, in order
        qint64 retiredAt = -1; // ms since the start when it stopped for good
    };
    // Where a car is at a moment of the session.
    struct Progress {
        int car = 0;
        int completed = 0;     // laps completed
        qint64 lastCrossing = 0;
        double fraction = 0.0; // of the lap in progress
        qint64 best = -1;      // best valid lap time, -1 for none
        int bestLap = 0;
        bool finished = false;
        bool retired = false;
    };

    void addSessionInfo(V2_Data* root) const;
    void addSessionStatus(V2_Data* root, qint64 elapsedMs) const;
    void addEntry(V2_Data* root) const;
    void addTrack(V2_Data* root) const;
    void addWeather(V2_Data* root, qint64 elapsedMs) const;
    void addRunning(V2_Data* root, qint64 elapsedMs, const QVector<Progress>& cars, const QVector<Progress>& ordered) const;
    void generateLaps();
    qint64 finishTime() const;
    Progress progressOf(int car, qint64 elapsedMs) const;
    // Order of the cars: races by laps and crossing time, other sessions by best lap.
    QVector<Progress> order(const QVector<Progress>& cars) const;
    void addStandings(V2_Data* node, const QVector<Progress>& ordered) const;
    void addLapNode(V2_Data* carLaps, const Lap& lap, int number) const;
    bool isRace() const;
    struct Event {
        qint64 at = 0;        // ms since the session start
        QString type;         // flag type, or empty for a message only
        int sector = 0;
        QString group;
        QString text;
        QString car;          // track limits: the car and its lap
        int lap = 0;
    };
    QVector<Event> events(qint64 elapsedMs) const;
    void addFlagsAndMessages(V2_Data* root, qint64 elapsedMs) const;
    void addPitsAndStints(V2_Data* root, qint64 elapsedMs) const;
    void addAdditionalStandings(V2_Data* root, const QVector<Progress>& cars) const;
    void addCombined(V2_Data* root) const;
    QString currentFlag(qint64 elapsedMs) const;
    // Sectors under a local yellow at that moment.
    QSet<int> yellowSectors(qint64 elapsedMs) const;
    bool safetyCar(qint64 elapsedMs) const;
    // A stop's planning: its kind, lane time and pit-entry moment on lap n.
    Stop plannedStop(quint32 stream, int stops, const Car& car, bool doubled) const;
    qint64 laneTime(Stop kind, quint32 stream, int n) const;
    qint64 pitEntry(const Lap& lap, Stop kind, quint32 stream, int n) const;
    // A safety car or a full-course yellow runs.
    bool neutralised(qint64 elapsedMs) const;
    // When a stop of the lap's car entered and left the pit lane (ms since the start).
    static qint64 pitInAt(const Lap& inLap) { return inLap.end() - inLap.pitInBeforeEnd; }
    static qint64 pitOutAt(const Lap& outLap) { return outLap.start + outLap.pitOutAfterStart; }
    QVector<Event> m_flagPlan;
    void addPositioning(V2_Data* root, qint64 elapsedMs, const QVector<Progress>& ordered) const;
    TrackPictures m_pictures;
    // A repeatable value in [0, 1) for a stream and an index.
    double noise(quint32 stream, qint64 index) const;

    SimOptions m_options;
    qint64 m_sessionStartMs;
    int m_utcOffsetMs;
    int m_sessionDbId;
    QStringList m_classNames;
    QVector<Car> m_cars;
};
