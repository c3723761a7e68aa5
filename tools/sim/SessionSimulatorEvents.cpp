// The simulated session's events: flags, race control, track limits, pits,
// stints and tyres.
#include "SessionSimulator.h"

#include "V2_Data.h"

#include <QSet>

#include <algorithm>
#include <cmath>

// ---------------------------------------------------------------------------
// Flags, race control, track limits

QVector<SessionSimulator::Event> SessionSimulator::events(qint64 elapsedMs) const
{
    QVector<Event> all;
    for (const Event& flag : m_flagPlan) {
        if (flag.at <= elapsedMs)
            all.append(flag);
    }
    for (int c = 0; c < m_cars.size(); ++c) {
        const Car& car = m_cars.at(c);
        for (int n = 0; n < car.laps.size(); ++n) {
            const Lap& lap = car.laps.at(n);
            if (!lap.trackLimitsSector)
                continue;
            qint64 at = lap.start;
            for (int s = 0; s < lap.trackLimitsSector; ++s)
                at += lap.sectors[s];
            if (at > elapsedMs)
                break;
            all.append({at, QString(), lap.trackLimitsSector, QStringLiteral("TRACK LIMITS"),
                        QStringLiteral("CAR %1 - TRACK LIMITS AT T%2 - LAP %3 DELETED").arg(car.number).arg(lap.trackLimitsSector).arg(n + 1), car.number, n + 1});
        }
    }
    std::stable_sort(all.begin(), all.end(), [](const Event& a, const Event& b) { return a.at < b.at; });
    return all;
}

QSet<int> SessionSimulator::yellowSectors(qint64 elapsedMs) const
{
    QSet<int> sectors;
    for (const Event& flag : m_flagPlan) {
        if (flag.at > elapsedMs)
            break;
        if (flag.sector >= 1 && flag.type == QLatin1String("YELLOW"))
            sectors.insert(flag.sector);
        else if (flag.sector >= 1)
            sectors.remove(flag.sector);
    }
    return sectors;
}

QString SessionSimulator::currentFlag(qint64 elapsedMs) const
{
    QString trackWide = QStringLiteral("NONE");
    for (const Event& flag : m_flagPlan) {
        if (flag.at > elapsedMs)
            break;
        if (flag.sector < 1)
            trackWide = flag.type;
    }
    if (trackWide == QLatin1String("GREEN") && !yellowSectors(elapsedMs).isEmpty())
        return QStringLiteral("YELLOW");
    return trackWide == QLatin1String("FINISH") ? QStringLiteral("NONE") : trackWide;
}

bool SessionSimulator::safetyCar(qint64 elapsedMs) const
{
    return currentFlag(elapsedMs) == QLatin1String("SAFETY_CAR");
}

bool SessionSimulator::neutralised(qint64 elapsedMs) const
{
    const QString flag = currentFlag(elapsedMs);
    return flag == QLatin1String("SAFETY_CAR") || flag == QLatin1String("FULL_YELLOW");
}

void SessionSimulator::addFlagsAndMessages(V2_Data* root, qint64 elapsedMs) const
{
    const QVector<Event> all = events(elapsedMs);
    int flagKey = 0;
    int messageKey = 0;
    int limitKey = 0;
    for (const Event& event : all) {
        const qint64 dayTime = m_sessionStartMs + event.at;
        V2_Data* message = root->getOrCreateDataPointer(QStringLiteral("raceControl.messages.%1").arg(++messageKey, 5, 10, QLatin1Char('0')));
        message->insertData(QStringLiteral("groupText"), event.group);
        message->insertData(QStringLiteral("text"), event.text);
        message->insertData(QStringLiteral("dayTime"), static_cast<quint64>(dayTime));
        if (!event.type.isEmpty()) {
            V2_Data* flag = root->getOrCreateDataPointer(QStringLiteral("timing.session.flags.%1").arg(++flagKey, 4, 10, QLatin1Char('0')));
            flag->insertData(QStringLiteral("type"), event.type);
            flag->insertData(QStringLiteral("time"), static_cast<quint64>(dayTime));
            flag->insertData(QStringLiteral("elapsed"), event.at);
            flag->insertData(QStringLiteral("sector"), event.sector);
            flag->insertData(QStringLiteral("info"), event.text);
            continue;
        }
        V2_Data* record = root->getOrCreateDataPointer(QStringLiteral("timing.session.trackLimits.%1").arg(++limitKey, 5, 10, QLatin1Char('0')));
        record->insertData(QStringLiteral("participant"), event.car);
        record->insertData(QStringLiteral("time"), static_cast<quint64>(dayTime));
        record->insertData(QStringLiteral("trackLimitsName"), QStringLiteral("T%1").arg(event.sector));
        V2_Data* laps = record->getOrCreateDataPointer(QStringLiteral("affectedLaps"));
        laps->setList(true);
        laps->insertData(QStringLiteral("0000"), event.lap);
    }

    // Lights: bit 0 red, bit 1 green. The pit entry stays open; the exit is
    // red while the safety car runs.
    constexpr qint64 kRed = 1;
    constexpr qint64 kGreen = 2;
    const bool closed = safetyCar(elapsedMs);
    root->getOrCreateDataPointer(QStringLiteral("signalling.pitEntry"))->insertData(QStringLiteral("status"), kGreen);
    root->getOrCreateDataPointer(QStringLiteral("signalling.pitExit"))->insertData(QStringLiteral("status"), closed ? kRed : kGreen);
}

// ---------------------------------------------------------------------------
// Pits, stints, tyres

void SessionSimulator::addPitsAndStints(V2_Data* root, qint64 elapsedMs) const
{
    static const char* const kCompounds[] = {"Medium", "Soft", "Hard"};
    static const char* const kWheels[] = {"frontLeft", "frontRight", "rearLeft", "rearRight"};
    root->getOrCreateDataPointer(QStringLiteral("tyres.session"))->insertData(QStringLiteral("id"), m_sessionDbId);
    for (int c = 0; c < m_cars.size(); ++c) {
        const Car& car = m_cars.at(c);
        const qint64 end = finishTime();
        int stint = 0;
        int stintKey = 0;
        qint64 stintStart = car.laps.isEmpty() ? 0 : car.laps.first().start;
        int openLap = 1;
        int driver = car.laps.isEmpty() ? 1 : car.laps.first().driver;
        int tyreLaps = 0;
        QMap<int, qint64> driverTime;
        const auto addStint = [&](const QString& type, const QString& pitType, qint64 from, qint64 to, int open, int close, int who) {
            V2_Data* node = root->getOrCreateDataPointer(QStringLiteral("timing.analysis.stints.%1.stints.%2").arg(car.number).arg(++stintKey, 3, 10, QLatin1Char('0')));
            node->insertData(QStringLiteral("driver"), who);
            node->insertData(QStringLiteral("type"), type);
            node->insertData(QStringLiteral("pitType"), pitType);
            node->insertData(QStringLiteral("startTime"), static_cast<quint64>(m_sessionStartMs + from));
            node->insertData(QStringLiteral("finishTime"), static_cast<quint64>(to < 0 ? 0 : m_sessionStartMs + to));
            if (type == QLatin1String("TRACK"))
                driverTime[who] += (to < 0 ? elapsedMs : to) - from;
            node->insertData(QStringLiteral("driverAccumTime"), static_cast<quint64>(driverTime.value(who)));
            node->insertData(QStringLiteral("openLapNumber"), open);
            node->insertData(QStringLiteral("closeLapNumber"), close);
        };
        if (car.laps.isEmpty() || car.laps.first().start > elapsedMs)
            continue;
        for (int n = 0; n < car.laps.size(); ++n) {
            const Lap& lap = car.laps.at(n);
            if (lap.start > elapsedMs || lap.start >= end)
                break;
            if (lap.end() <= elapsedMs)
                ++tyreLaps;
            if (!lap.pitIn)
                continue;
            const qint64 in = pitInAt(lap);
            if (in > elapsedMs)
                break;
            const qint64 out = car.laps.size() > n + 1 ? pitOutAt(car.laps.at(n + 1)) : in + lap.pitMs;
            const bool stillIn = out > elapsedMs;
            const QString pitType = lap.stopUnderSafetyCar ? QStringLiteral("SC") : lap.stop == Stop::DriveThrough ? QStringLiteral("Penalty") : QString();
            addStint(QStringLiteral("TRACK"), QString(), stintStart, in, openLap, n + 1, driver);
            addStint(QStringLiteral("PIT"), pitType, in, stillIn ? -1 : out, n + 1, n + 2, car.laps.value(n + 1, lap).driver);
            V2_Data* pitIn = root->getOrCreateDataPointer(QStringLiteral("timing.analysis.pitIn.%1.pits.%2").arg(car.number).arg(m_sessionStartMs + in));
            pitIn->insertData(QStringLiteral("driver"), lap.driver);
            pitIn->insertData(QStringLiteral("lapNumber"), n + 1);
            driver = car.laps.value(n + 1, lap).driver;
            if (stillIn) {
                stintStart = -1;
                break;
            }
            V2_Data* pitOut = root->getOrCreateDataPointer(QStringLiteral("timing.analysis.pitOut.%1.pits.%2").arg(car.number).arg(m_sessionStartMs + out));
            pitOut->insertData(QStringLiteral("driver"), driver);
            pitOut->insertData(QStringLiteral("lapNumber"), n + 2);
            pitOut->insertData(QStringLiteral("pitTime"), static_cast<quint64>(out - in));
            stintStart = out;
            openLap = n + 2;
            // Fuel and penalties leave the tyres on.
            if (lap.stop != Stop::Fuel && lap.stop != Stop::DriveThrough) {
                ++stint;
                tyreLaps = 0;
            }
        }
        if (stintStart >= 0)
            addStint(QStringLiteral("TRACK"), QString(), stintStart, -1, openLap, 0, driver);
        for (const char* wheel : kWheels) {
            V2_Data* node = root->getOrCreateDataPointer(QStringLiteral("tyres.session.data.%1.%2").arg(car.number, QLatin1String(wheel)));
            node->insertData(QStringLiteral("laps"), tyreLaps);
            node->insertData(QStringLiteral("specification"), QLatin1String(kCompounds[stint % 3]));
        }
    }
}
