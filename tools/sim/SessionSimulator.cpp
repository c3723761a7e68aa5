#include "SessionSimulator.h"

#include "LanterraChannels.h"
#include "V2_Data.h"

#include <QMap>
#include <QRandomGenerator>
#include <QSet>

#include <algorithm>
#include <limits>
#include <cmath>
#include <functional>

namespace {

constexpr qint64 kWeatherPeriodMs = 10000;
constexpr int kSectors = 4;

const char* const kFirstNames[] = {"Alex", "Maria", "Jonas", "Chloe", "Luca", "Sofia", "Kenji", "Emma", "Noah", "Lea", "Rui", "Ines", ""};
const char* const kLastNames[] = {"Smith", "Rossi", "Keller", "Dubois", "Moreau", "Tanaka", "Silva", "Novak", "Berg", "Costa", "Vidal", "Zorer"};
const char* const kTeams[] = {"Aurora Racing", "Blue Harbour", "Cobalt Motorsport", "Delta Works", "Ember GP", "Falcon Team", "Granite Racing"};
const char* const kCarModels[] = {"Vanta R8", "Kestrel GT", "Ostra 488", "Meridian LMP", "Sable 911", "Tarn V"};
const char* const kBikeModels[] = {"Ravelle RR", "Kaze 1000", "Mistral V4", "Orca SS"};
const char* const kSections[] = {"Porsche", "Ford", "T6", "T7"};
// The sector and share of each section.
const int kSectionSector[4] = {2, 3, 4, 4};
const double kSectionShare[4] = {0.35, 0.40, 0.30, 0.45};

// The timing loops, from the start line round to the finish line: each at a
// share of a sector.
struct Loop {
    const char* name;
    int sector;   // 1..4, 0 for the start line
    double share; // of that sector
};
const Loop kLoops[] = {
    {"SF", 0, 0.0},
    {"IP1", 1, 0.5},
    {"S1", 1, 1.0},
    {"IP2", 2, 0.5},
    {"S2", 2, 1.0},
    {"SPT", 3, 0.6},
    {"S3", 3, 1.0},
    {"FL", 4, 1.0},
};
constexpr int kLoopCount = sizeof(kLoops) / sizeof(kLoops[0]);

const char* const kClassNames[] = {"HYPERCAR", "LMP2", "GT3", "GT4", "CUP", "PRO", "AM", "TROPHY", "JUNIOR"};

// Nodes that hold one child per position or car say so in the data, so that
// clients (which merge the member into the node's flag) report field keys.
void markRows(V2_Data* node)
{
    node->setIgnorePath(true);
    node->insertData(QStringLiteral("ignorePath"), true);
}

template <size_t N>
const char* pick(const char* const (&table)[N], quint32 index)
{
    return table[index % N];
}

} // namespace

SessionSimulator::SessionSimulator(const SimOptions& options, qint64 sessionStartMs)
    : m_pictures(options.seed)
    , m_options(options)
    , m_sessionStartMs(sessionStartMs)
{
    QRandomGenerator rng(options.seed);
    m_utcOffsetMs = static_cast<int>(rng.bounded(-12, 13)) * 3600 * 1000;
    m_sessionDbId = static_cast<int>(rng.bounded(1000, 100000));
    for (int c = 0; c < options.classes; ++c)
        m_classNames.append(QLatin1String(kClassNames[c]));
    QVector<int> usedNumbers;
    for (int i = 0; i < options.cars; ++i) {
        Car car;
        int number;
        do {
            number = static_cast<int>(rng.bounded(1, 999));
        } while (usedNumbers.contains(number));
        usedNumbers.append(number);
        car.number = QString::number(number);
        car.classIndex = i % options.classes;
        car.team = QLatin1String(pick(kTeams, rng.generate()));
        car.vehicle = options.bikes ? QLatin1String(pick(kBikeModels, rng.generate())) : QLatin1String(pick(kCarModels, rng.generate()));
        const int drivers = options.bikes ? 1 : static_cast<int>(rng.bounded(2, 4));
        for (int d = 0; d < drivers; ++d)
            car.drivers.append(Driver{QLatin1String(pick(kFirstNames, rng.generate())), QLatin1String(pick(kLastNames, rng.generate()))});
        m_cars.append(car);
    }
    // The flag plan: sector yellows, one full-course yellow, one safety car,
    // each ended by a green, and the finish.
    const qint64 d = options.durationSeconds * 1000LL;
    m_flagPlan = {
        {0, QStringLiteral("GREEN"), 0, QStringLiteral("FLAGS"), QStringLiteral("GREEN FLAG - SESSION STARTED"), QString(), 0},
        {d * 15 / 100, QStringLiteral("YELLOW"), 2, QStringLiteral("FLAGS"), QStringLiteral("YELLOW FLAG IN SECTOR 2"), QString(), 0},
        {d * 15 / 100 + 60000, QStringLiteral("GREEN"), 2, QStringLiteral("FLAGS"), QStringLiteral("GREEN FLAG IN SECTOR 2"), QString(), 0},
        {d * 25 / 100, QStringLiteral("FULL_YELLOW"), 0, QStringLiteral("FLAGS"), QStringLiteral("FULL COURSE YELLOW"), QString(), 0},
        {d * 25 / 100 + 90000, QStringLiteral("GREEN"), 0, QStringLiteral("FLAGS"), QStringLiteral("GREEN FLAG - TRACK CLEAR"), QString(), 0},
        {d * 45 / 100, QStringLiteral("YELLOW"), 3, QStringLiteral("FLAGS"), QStringLiteral("YELLOW FLAG IN SECTOR 3"), QString(), 0},
        {d * 45 / 100 + 45000, QStringLiteral("GREEN"), 3, QStringLiteral("FLAGS"), QStringLiteral("GREEN FLAG IN SECTOR 3"), QString(), 0},
        {d * 60 / 100, QStringLiteral("SAFETY_CAR"), 0, QStringLiteral("SAFETY CAR"), QStringLiteral("SAFETY CAR DEPLOYED"), QString(), 0},
        {d * 60 / 100 + 240000, QStringLiteral("GREEN"), 0, QStringLiteral("SAFETY CAR"), QStringLiteral("SAFETY CAR IN THIS LAP - GREEN FLAG"), QString(), 0},
        {d, QStringLiteral("FINISH"), 0, QStringLiteral("FLAGS"), QStringLiteral("CHEQUERED FLAG"), QString(), 0},
    };
    generateLaps();
}

const QString& SessionSimulator::lapHistoryPath()
{
    static const QString path = QStringLiteral("timing.analysis.laps");
    return path;
}

const QStringList& SessionSimulator::channels()
{
    return lanterraChannels();
}

qint64 SessionSimulator::sessionStartMs() const
{
    return m_sessionStartMs;
}

int SessionSimulator::utcOffsetMs() const
{
    return m_utcOffsetMs;
}

int SessionSimulator::sessionDbId() const
{
    return m_sessionDbId;
}

QVector<SessionSimulator::StopRecord> SessionSimulator::stops() const
{
    QVector<StopRecord> all;
    for (const Car& car : m_cars) {
        for (int n = 0; n + 1 < car.laps.size(); ++n) {
            const Lap& lap = car.laps.at(n);
            if (!lap.pitIn)
                continue;
            // Cars run on past the finish (the lap in progress, the horizon): not their stops.
            if (pitInAt(lap) >= finishTime())
                break;
            const Lap& out = car.laps.at(n + 1);
            StopRecord record;
            record.car = car.number;
            record.lap = n + 1;
            record.kind = lap.stop;
            record.pitInMs = pitInAt(lap);
            record.pitMs = pitOutAt(out) - pitInAt(lap);
            record.lossMs = lap.stopLossMs;
            record.neutralised = lap.stopNeutralised;
            record.inLapStartMs = lap.start;
            record.outLapEndMs = out.end();
            all.append(record);
        }
    }
    return all;
}

QStringList SessionSimulator::participants() const
{
    QStringList numbers;
    for (const Car& car : m_cars)
        numbers.append(car.number);
    return numbers;
}

double SessionSimulator::noise(quint32 stream, qint64 index) const
{
    // SplitMix64 over (seed, stream, index): cheap, repeatable, well spread.
    quint64 z = (static_cast<quint64>(m_options.seed) << 32 ^ stream) * 0x9E3779B97F4A7C15ULL + static_cast<quint64>(index);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    z ^= z >> 31;
    return static_cast<double>(z >> 11) / static_cast<double>(1ULL << 53);
}

std::unique_ptr<V2_Data> SessionSimulator::state(qint64 elapsedMs, bool withLapHistory) const
{
    std::unique_ptr<V2_Data> root(new V2_Data(QStringLiteral("ROOT")));
    root->setRoot(true);
    addSessionInfo(root.get());
    addSessionStatus(root.get(), elapsedMs);
    addEntry(root.get());
    addTrack(root.get());
    addWeather(root.get(), elapsedMs);
    // Where every car is, worked out once for all the channels that show it.
    QVector<Progress> cars;
    cars.reserve(m_cars.size());
    for (int c = 0; c < m_cars.size(); ++c)
        cars.append(progressOf(c, elapsedMs));
    const QVector<Progress> ordered = order(cars);
    addRunning(root.get(), elapsedMs, cars, ordered);
    addFlagsAndMessages(root.get(), elapsedMs);
    addPitsAndStints(root.get(), elapsedMs);
    addAdditionalStandings(root.get(), cars);
    addCombined(root.get());
    addPositioning(root.get(), elapsedMs, ordered);
    if (withLapHistory)
        addLapHistory(root.get(), -1, elapsedMs);
    return root;
}

void SessionSimulator::addSessionInfo(V2_Data* root) const
{
    V2_Data* info = root->getOrCreateDataPointer(QStringLiteral("timing.session.info"));
    const QString type = m_options.type;
    info->insertData(QStringLiteral("name"), type == QLatin1String("RACE") ? QStringLiteral("Race") : type == QLatin1String("PRACTICE") ? QStringLiteral("Free Practice 1") : QStringLiteral("Qualifying"));
    info->insertData(QStringLiteral("type"), type);
    info->insertData(QStringLiteral("sessionDbId"), m_sessionDbId);
    info->insertData(QStringLiteral("utcOffset"), m_utcOffsetMs);
    info->insertData(QStringLiteral("date"), m_sessionStartMs);
    info->insertData(QStringLiteral("champName"), m_options.bikes ? QStringLiteral("Lanterra Superbike Series") : QStringLiteral("Lanterra Endurance Cup"));
    info->insertData(QStringLiteral("champShortName"), m_options.bikes ? QStringLiteral("LSS") : QStringLiteral("LEC"));
    info->insertData(QStringLiteral("eventName"), QStringLiteral("Simulated Grand Prix"));
    info->insertData(QStringLiteral("eventShortName"), QStringLiteral("SIM"));
    info->insertData(QStringLiteral("champIsEndurance"), m_options.endurance);
    info->insertData(QStringLiteral("champIsBikes"), m_options.bikes);
}

void SessionSimulator::addSessionStatus(V2_Data* root, qint64 elapsedMs) const
{
    V2_Data* status = root->getOrCreateDataPointer(QStringLiteral("timing.session.status"));
    const qint64 durationMs = m_options.durationSeconds * 1000LL;
    const bool finished = elapsedMs >= durationMs;
    const qint64 trackStartSeconds = (m_sessionStartMs + m_utcOffsetMs) / 1000;
    status->insertData(QStringLiteral("isClosed"), false);
    status->insertData(QStringLiteral("finalType"), m_options.finalType);
    status->insertData(QStringLiteral("finalTime"), m_options.durationSeconds);
    status->insertData(QStringLiteral("startTime"), static_cast<int>(trackStartSeconds));
    // In the milliseconds of the messages' day times, which it dates.
    status->insertData(QStringLiteral("sessionStartTime"), m_sessionStartMs);
    status->insertData(QStringLiteral("stopTime"), finished ? trackStartSeconds + m_options.durationSeconds : qint64(0));
    status->insertData(QStringLiteral("isSessionRunning"), !finished);
    status->insertData(QStringLiteral("isTimeFinished"), finished);
    status->insertData(QStringLiteral("finalLaps"), m_options.finalType == QLatin1String("BY_TIME") ? -1 : m_options.durationSeconds / 100);
    status->insertData(QStringLiteral("elapsedLaps"), static_cast<int>(elapsedMs / 100000));
    status->insertData(QStringLiteral("elapsedLapsAfterTimeFinish"), -1);
    status->insertData(QStringLiteral("isForcedByTime"), false);
    status->insertData(QStringLiteral("isForcedLastLap"), false);
    status->insertData(QStringLiteral("stoppedSeconds"), qint64(0));
    status->insertData(QStringLiteral("currentFlag"), finished ? QStringLiteral("NONE") : currentFlag(elapsedMs));
    status->insertData(QStringLiteral("isFinished"), finished);
}

void SessionSimulator::addEntry(V2_Data* root) const
{
    V2_Data* classes = root->getOrCreateDataPointer(QStringLiteral("timing.session.classes"));
    for (int c = 0; c < m_classNames.size(); ++c)
        classes->getOrCreateDataPointer(m_classNames.at(c))->insertData(QStringLiteral("name"), m_classNames.at(c));

    V2_Data* entry = root->getOrCreateDataPointer(QStringLiteral("timing.session.entry"));
    for (const Car& car : m_cars) {
        V2_Data* node = entry->getOrCreateDataPointer(car.number);
        node->insertData(QStringLiteral("class"), m_classNames.at(car.classIndex));
        node->insertData(QStringLiteral("team"), car.team);
        node->insertData(QStringLiteral("vehicle"), car.vehicle);
        V2_Data* drivers = node->getOrCreateDataPointer(QStringLiteral("drivers"));
        for (int d = 0; d < car.drivers.size(); ++d) {
            V2_Data* driver = drivers->getOrCreateDataPointer(QString::number(d + 1));
            driver->insertData(QStringLiteral("firstName"), car.drivers.at(d).firstName);
            driver->insertData(QStringLiteral("lastName"), car.drivers.at(d).lastName);
        }
    }
}

void SessionSimulator::addTrack(V2_Data* root) const
{
    V2_Data* info = root->getOrCreateDataPointer(QStringLiteral("timing.session.track.info"));
    info->insertData(QStringLiteral("name"), QStringLiteral("Circuit Lanterra"));
    info->insertData(QStringLiteral("country"), QStringLiteral("Nowhere"));
    info->insertData(QStringLiteral("numberOfSectors"), kSectors);
    for (int i = 0; i < kLoopCount; ++i)
        info->getOrCreateDataPointer(QStringLiteral("timingLoops.%1").arg(i + 1))->insertData(QStringLiteral("name"), QLatin1String(kLoops[i].name));
    for (const char* section : kSections)
        info->getOrCreateDataPointer(QStringLiteral("sections.") + QLatin1String(section))->insertData(QStringLiteral("name"), QLatin1String(section));
}

void SessionSimulator::addWeather(V2_Data* root, qint64 elapsedMs) const
{
    V2_Data* samples = root->getOrCreateDataPointer(QStringLiteral("weather.sessionData"));
    V2_Data* current = root->getOrCreateDataPointer(QStringLiteral("weather.currentData"));
    const qint64 last = std::max<qint64>(0, elapsedMs) / kWeatherPeriodMs;
    for (qint64 i = 0; i <= last; ++i) {
        const qint64 dayTime = m_sessionStartMs + i * kWeatherPeriodMs;
        // Slow drifts with a little noise: a plausible afternoon.
        const double drift = std::sin(static_cast<double>(i) / 360.0);
        const double ambient = 21.0 + 3.0 * drift + noise(1, i) * 0.4;
        V2_Data* sample = samples->getOrCreateDataPointer(QString::number(dayTime));
        sample->insertData(QStringLiteral("ambientTemperature"), std::round(ambient * 10) / 10);
        sample->insertData(QStringLiteral("trackTemperature"), std::round((ambient + 9.0 + 4.0 * drift) * 10) / 10);
        sample->insertData(QStringLiteral("humidity"), std::round((55.0 - 10.0 * drift + noise(2, i) * 3) * 10) / 10);
        sample->insertData(QStringLiteral("pressure"), std::round((1012.0 + noise(3, i)) * 10) / 10);
        sample->insertData(QStringLiteral("windSpeed"), std::round((8.0 + 6.0 * noise(4, i)) * 10) / 10);
        sample->insertData(QStringLiteral("windDirection"), static_cast<int>(180 + 60 * drift + 20 * noise(5, i)));
        if (i == last) {
            for (auto it = sample->datas()->cbegin(); it != sample->datas()->cend(); ++it)
                current->insertData(it.key(), it.value());
        }
    }
}

// ---------------------------------------------------------------------------
// Running: laps, standings, participant details, lap analysis

bool SessionSimulator::isRace() const
{
    return m_options.type == QLatin1String("RACE");
}

SessionSimulator::Stop SessionSimulator::plannedStop(quint32 stream, int stops, const Car& car, bool doubled) const
{
    const double r = noise(stream + 9600, stops);
    const bool crew = m_options.endurance && car.drivers.size() > 1;
    // A repair keeps the driver in: never after a double stint (a third).
    if (r < 0.05 && !(crew && doubled))
        return Stop::Repair;
    if (crew) {
        // Endurance crews exercise the drive-time rules: a driver often
        // stays for a second stint (close to a continuous limit of about two
        // hours); otherwise the crew swaps.
        if (!doubled && noise(stream + 3000, stops) < 0.45)
            return r < 0.6 ? Stop::Tyres : Stop::Fuel;
        return Stop::DriverChange;
    }
    if (car.drivers.size() > 1 && r < 0.4)
        return Stop::DriverChange;
    return r < 0.7 ? Stop::Tyres : Stop::Fuel;
}

qint64 SessionSimulator::laneTime(Stop kind, quint32 stream, int n) const
{
    const double work = noise(stream + 9700, n);
    qint64 stationary = 0;
    switch (kind) {
    case Stop::Fuel: stationary = 8000 + static_cast<qint64>(work * 4000); break;
    case Stop::Tyres: stationary = 19000 + static_cast<qint64>(work * 6000); break;
    case Stop::DriverChange: stationary = 30000 + static_cast<qint64>(work * 8000); break;
    case Stop::Repair: stationary = 90000 + static_cast<qint64>(work * 150000); break;
    default: break;
    }
    return kPitLaneMs + stationary + static_cast<qint64>(noise(stream + 9800, n) * 1500);
}

qint64 SessionSimulator::pitEntry(const Lap& lap, Stop kind, quint32 stream, int n) const
{
    // Where the lane leaves the track does not depend on the flag: the green
    // cost's in-lap half is where the entry lies, whatever the stop then costs.
    const qint64 pitMs = laneTime(kind, stream, n);
    const qint64 greenHalf = (pitMs - kPitTrackMs) / 2;
    return lap.end() + greenHalf - std::min(pitMs / 2, lap.sectors[3] + greenHalf - 1000);
}

void SessionSimulator::generateLaps()
{
    const qint64 horizon = m_options.durationSeconds * 1000LL * 3 / 2 + 300000;
    for (int c = 0; c < m_cars.size(); ++c) {
        Car& car = m_cars[c];
        const quint32 stream = 100 + static_cast<quint32>(c);
        const double base = 98000.0 + car.classIndex * 4500.0 + noise(stream, -1) * 2500.0;
        // Grid order: a small stagger so that the start is not a dead heat.
        qint64 start = isRace() ? c * 250 : static_cast<qint64>(noise(stream, -3) * 300000);
        // Laps between planned stops: a fuel load in long races; in short
        // ones a stop the rules ask for somewhere in the race.
        int stintLaps = 22 + static_cast<int>(noise(stream, -2) * 10);
        bool shortRace = false;
        if (isRace()) {
            const int expected = static_cast<int>(m_options.durationSeconds * 1000.0 / base);
            shortRace = expected < 2 * stintLaps;
            if (shortRace)
                stintLaps = std::max(6, static_cast<int>(expected * (0.3 + 0.4 * noise(stream, -4))));
        }
        int driver = 1;
        int lastStop = 0;   // lap index of the last planned stop
        int lastPitIn = -2; // of any stop
        int stops = 0;
        qint64 outLapExtra = 0;
        qint64 outLapLane = 0;
        // Endurance: who takes over at a stop (see below).
        int previous = 0;
        int next = 0;
        bool doubled = false;
        for (int n = 0; start < horizon; ++n) {
            Lap lap;
            lap.start = start;
            const double pace = base * (1.0 + (noise(stream, n * 4) - 0.5) * 0.015);
            for (int sector = 0; sector < 4; ++sector)
                lap.sectors[sector] = static_cast<qint64>(pace * kSectorShare[sector] * (1.0 + (noise(stream, n * 4 + sector + 1) - 0.5) * 0.01));
            if (n == 0 && isRace())
                lap.sectors[0] += 4000 + c * 300; // standing start
            lap.driver = driver;
            if (n == lastPitIn + 1) {
                lap.pitOut = true;
                lap.sectors[0] += outLapExtra;
                lap.pitOutAfterStart = outLapLane;
            }
            // Whether the car stops at the end of this lap, and for what. The
            // flag that makes a stop cheap, brings it forward and is written in
            // its pit info is the one out when the car reaches the pit entry.
            const int due = lastStop + stintLaps;
            if (n > 0 && n > lastPitIn + 1) {
                const bool planned = n >= due || (isRace() && due - n <= 5 && n - lastStop >= 3);
                const qint64 plannedEntry = pitEntry(lap, plannedStop(stream, stops, car, doubled), stream, n);
                const bool plannedNeutral = neutralised(plannedEntry);
                if (n >= due || (planned && plannedNeutral)) {
                    lap.stop = plannedStop(stream, stops, car, doubled);
                    if (m_options.endurance && car.drivers.size() > 1) {
                        // A swap, sometimes to the driver who just got out; else
                        // a double stint (a repair keeps the driver in too).
                        doubled = lap.stop != Stop::DriverChange;
                        const double roll = noise(stream + 3000, stops);
                        if (!doubled)
                            next = roll > 0.85 && previous > 0 && previous != driver ? previous : driver % car.drivers.size() + 1;
                    }
                    lastStop = n;
                    ++stops;
                    // A short race has its one stop; no other is planned.
                    if (shortRace)
                        stintLaps = std::numeric_limits<int>::max() / 2;
                } else if (isRace() && n > 2 && noise(stream + 9500, n) < 0.006
                           && !neutralised(pitEntry(lap, Stop::DriveThrough, stream, n))) {
                    lap.stop = Stop::DriveThrough; // not served under a neutralisation
                }
            }
            if (lap.stop != Stop::None) {
                const qint64 entry = pitEntry(lap, lap.stop, stream, n);
                const bool neutral = neutralised(entry);
                lap.pitIn = true;
                lap.pitMs = laneTime(lap.stop, stream, n);
                qint64 loss = lap.pitMs - kPitTrackMs;
                if (neutral)
                    loss = static_cast<qint64>(loss * kNeutralisedStopShare);
                lap.sectors[3] += loss / 2;
                lap.pitInBeforeEnd = lap.end() - entry;
                outLapExtra = loss - loss / 2;
                outLapLane = lap.pitMs - lap.pitInBeforeEnd;
                // A long stop (a repair) leaves the lane within its out lap.
                outLapExtra = std::max(outLapExtra, outLapLane + 1000 - static_cast<qint64>(base * kSectorShare[0]));
                lap.stopLossMs = loss / 2 + outLapExtra;
                lap.stopNeutralised = neutral;
                lap.stopUnderSafetyCar = safetyCar(entry);
                lastPitIn = n;
                if (lap.stop == Stop::DriverChange) {
                    const int taking = m_options.endurance && next > 0 ? next : driver % car.drivers.size() + 1;
                    previous = driver;
                    driver = taking;
                    next = 0;
                }
            }
            lap.valid = noise(stream + 7000, n) > 0.04;
            if (noise(stream + 9000, n) < 0.05)
                lap.trackLimitsSector = 1 + static_cast<int>(noise(stream + 9100, n) * 4) % 4;
            lap.topSpeed = std::round((285.0 - car.classIndex * 18.0 + noise(stream + 8000, n) * 9.0) * 10) / 10;
            car.laps.append(lap);
            start = lap.end();
        }
    }
    // In a race one car stops on track past half distance and retires.
    // (Positions at the line follow below, once every lap is known.)
    if (isRace() && m_cars.size() > 2) {
        Car& car = m_cars[static_cast<int>(noise(77, 0) * m_cars.size())];
        const qint64 at = m_options.durationSeconds * 1000LL * 55 / 100;
        while (!car.laps.isEmpty() && car.laps.last().end() > at)
            car.laps.removeLast();
        car.retiredAt = at;
    }
    // Position of each car at the end of each lap: its rank among the cars
    // that completed that lap, by crossing time.
    int longest = 0;
    for (const Car& car : m_cars)
        longest = std::max(longest, static_cast<int>(car.laps.size()));
    for (int n = 0; n < longest; ++n) {
        QVector<QPair<qint64, Lap*>> crossings;
        for (Car& car : m_cars) {
            if (n < car.laps.size())
                crossings.append({car.laps[n].end(), &car.laps[n]});
        }
        std::stable_sort(crossings.begin(), crossings.end(), [](const QPair<qint64, Lap*>& a, const QPair<qint64, Lap*>& b) { return a.first < b.first; });
        for (int i = 0; i < crossings.size(); ++i)
            crossings[i].second->position = i + 1;
    }
}

qint64 SessionSimulator::finishTime() const
{
    const qint64 byTime = m_options.durationSeconds * 1000LL;
    if (m_options.finalType == QLatin1String("BY_TIME") || !isRace())
        return byTime;
    // By laps: the time the first car completes the final lap count.
    const int finalLaps = m_options.durationSeconds / 100;
    qint64 first = -1;
    for (const Car& car : m_cars) {
        if (car.laps.size() >= finalLaps && (first < 0 || car.laps.at(finalLaps - 1).end() < first))
            first = car.laps.at(finalLaps - 1).end();
    }
    if (m_options.finalType == QLatin1String("BY_LAPS"))
        return first < 0 ? byTime : first;
    return byTime; // time, then the lap in progress
}

SessionSimulator::Progress SessionSimulator::progressOf(int car, qint64 elapsedMs) const
{
    Progress progress;
    progress.car = car;
    progress.retired = m_cars.at(car).retiredAt >= 0 && elapsedMs >= m_cars.at(car).retiredAt;
    const qint64 end = finishTime();
    const QVector<Lap>& laps = m_cars.at(car).laps;
    for (int n = 0; n < laps.size(); ++n) {
        const Lap& lap = laps.at(n);
        if (lap.end() > elapsedMs) {
            if (lap.start <= elapsedMs)
                progress.fraction = double(elapsedMs - lap.start) / double(lap.time());
            break;
        }
        progress.completed = n + 1;
        progress.lastCrossing = lap.end();
        if (lap.valid && (progress.best < 0 || lap.time() < progress.best)) {
            progress.best = lap.time();
            progress.bestLap = n + 1;
        }
        // The first crossing after the end of the session is the last one.
        if (lap.end() >= end) {
            progress.finished = true;
            progress.fraction = 0.0;
            break;
        }
    }
    return progress;
}

QVector<SessionSimulator::Progress> SessionSimulator::order(const QVector<Progress>& cars) const
{
    QVector<Progress> ordered = cars;
    if (isRace()) {
        std::stable_sort(ordered.begin(), ordered.end(), [](const Progress& a, const Progress& b) {
            if (a.retired != b.retired)
                return b.retired;
            if (a.completed != b.completed)
                return a.completed > b.completed;
            return a.lastCrossing < b.lastCrossing;
        });
    } else {
        std::stable_sort(ordered.begin(), ordered.end(), [](const Progress& a, const Progress& b) {
            if ((a.best < 0) != (b.best < 0))
                return a.best >= 0;
            return a.best < b.best;
        });
    }
    return ordered;
}

void SessionSimulator::addStandings(V2_Data* node, const QVector<Progress>& ordered) const
{
    markRows(node);
    for (int i = 0; i < ordered.size(); ++i) {
        const Progress& car = ordered.at(i);
        V2_Data* row = node->getOrCreateDataPointer(QString::number(i + 1));
        row->insertData(QStringLiteral("participant"), m_cars.at(car.car).number);
        // The class lets a profile filter select rows by class.
        row->insertData(QStringLiteral("class"), m_classNames.at(m_cars.at(car.car).classIndex));
        const Progress& first = ordered.first();
        const Progress& previous = ordered.at(std::max(0, i - 1));
        const auto gap = [this, &car](const Progress& ahead, int* laps) -> double {
            if (isRace()) {
                *laps = ahead.completed - car.completed;
                if (car.completed == 0)
                    return -1.0;
                // At the line of the car's last lap; a car that crossed it first
                // (it was overtaken since) counts as right behind.
                return double(std::max<qint64>(0, car.lastCrossing - m_cars.at(ahead.car).laps.at(car.completed - 1).end()));
            }
            *laps = 0;
            return car.best < 0 || ahead.best < 0 ? -1.0 : double(car.best - ahead.best);
        };
        int firstLaps = 0;
        int previousLaps = 0;
        const double firstTime = i == 0 ? 0.0 : gap(first, &firstLaps);
        const double previousTime = i == 0 ? 0.0 : gap(previous, &previousLaps);
        row->insertData(QStringLiteral("gapFirstTime"), firstTime);
        row->insertData(QStringLiteral("gapFirstLaps"), firstLaps);
        row->insertData(QStringLiteral("gapPreviousTime"), previousTime);
        row->insertData(QStringLiteral("gapPreviousLaps"), previousLaps);
        // Running and finished cars are classified; only retirements differ.
        row->insertData(QStringLiteral("status"), car.retired && !car.finished ? QStringLiteral("RETIRED") : QStringLiteral("CLASSIFIED"));
    }
}

void SessionSimulator::addRunning(V2_Data* root, qint64 elapsedMs, const QVector<Progress>& cars, const QVector<Progress>& ordered) const
{

    V2_Data* standings = root->getOrCreateDataPointer(QStringLiteral("timing.session.standings"));
    addStandings(standings->getOrCreateDataPointer(QStringLiteral("overall.active")), ordered);
    addStandings(standings->getOrCreateDataPointer(QStringLiteral("overall.finishLine")), ordered);
    for (int c = 0; c < m_classNames.size(); ++c) {
        QVector<Progress> inClass;
        for (const Progress& car : ordered) {
            if (m_cars.at(car.car).classIndex == c)
                inClass.append(car);
        }
        for (const char* kind : {"active", "finishLine"})
            addStandings(standings->getOrCreateDataPointer(QStringLiteral("byClass.%1.%2.standings").arg(QLatin1String(kind), m_classNames.at(c))), inClass);
    }

    // Starting grid: the order of the first lap's start.
    V2_Data* grid = root->getOrCreateDataPointer(QStringLiteral("timing.session.startingGrid.positions"));
    for (int c = 0; c < m_cars.size(); ++c)
        grid->getOrCreateDataPointer(QString::number(c + 1))->insertData(QStringLiteral("participant"), m_cars.at(c).number);

    V2_Data* details = standings->getOrCreateDataPointer(QStringLiteral("overall.participantDetails"));
    markRows(details);
    qint64 sessionBest = -1;
    qint64 sessionBestSector[4] = {-1, -1, -1, -1};
    for (const Progress& progress : cars) {
        const Car& car = m_cars.at(progress.car);
        V2_Data* detail = details->getOrCreateDataPointer(car.number);
        const bool running = !progress.finished && progress.completed < car.laps.size() && !(car.retiredAt >= 0 && elapsedMs >= car.retiredAt);
        const Lap* current = running ? &car.laps.at(progress.completed) : nullptr;
        // The sector the car is in, from its own sector times: the times it
        // publishes for the sectors behind it have ended by now.
        int sector = 1;
        qint64 sectorEnd = current ? current->start + current->sectors[0] : 0;
        while (current && sector < 4 && elapsedMs >= sectorEnd) {
            sectorEnd += current->sectors[sector];
            ++sector;
        }
        detail->insertData(QStringLiteral("currentLap"), progress.completed + 1);
        detail->insertData(QStringLiteral("currentSector"), sector);
        detail->insertData(QStringLiteral("elapsedLaps"), progress.completed);
        detail->insertData(QStringLiteral("running"), running);
        detail->insertData(QStringLiteral("hasSeenCheckered"), progress.finished);
        const bool retired = car.retiredAt >= 0 && elapsedMs >= car.retiredAt;
        QString status = QStringLiteral("RUNNING");
        if (retired)
            status = elapsedMs - car.retiredAt < 120000 ? QStringLiteral("STOPPED") : QStringLiteral("RETIRED");
        else if (current && current->pitIn && sector == 4)
            status = QStringLiteral("BOX");
        else if (current && current->pitOut)
            status = QStringLiteral("OUT_LAP");
        detail->insertData(QStringLiteral("status"), status);
        detail->insertData(QStringLiteral("currentDriver"), current ? current->driver : car.laps.value(progress.completed - 1).driver);

        int pitStops = 0;
        int infractions = 0;
        double bestTopSpeed = 0.0;
        qint64 bestSector[4] = {-1, -1, -1, -1};
        for (int n = 0; n < progress.completed; ++n) {
            const Lap& lap = car.laps.at(n);
            pitStops += lap.pitIn;
            infractions += lap.trackLimitsSector > 0;
            bestTopSpeed = std::max(bestTopSpeed, lap.topSpeed);
            for (int s = 0; s < 4; ++s) {
                if (!lap.valid)
                    continue;
                if (bestSector[s] < 0 || lap.sectors[s] < bestSector[s])
                    bestSector[s] = lap.sectors[s];
                if (sessionBestSector[s] < 0 || lap.sectors[s] < sessionBestSector[s])
                    sessionBestSector[s] = lap.sectors[s];
            }
        }
        detail->insertData(QStringLiteral("pitStops"), pitStops);
        detail->insertData(QStringLiteral("trackLimitsInfractions"), infractions);
        detail->insertData(QStringLiteral("bestTopSpeed"), bestTopSpeed);
        if (progress.completed > 0) {
            const Lap& last = car.laps.at(progress.completed - 1);
            V2_Data* lastLap = detail->getOrCreateDataPointer(QStringLiteral("lastLap"));
            lastLap->insertData(QStringLiteral("time"), static_cast<quint64>(last.time()));
            lastLap->insertData(QStringLiteral("isValid"), last.valid);
            lastLap->insertData(QStringLiteral("lapStartTime"), static_cast<quint64>(m_sessionStartMs + last.start));
            for (int s = 0; s < 4; ++s) {
                V2_Data* lastSector = detail->getOrCreateDataPointer(QStringLiteral("lastSectors.%1").arg(s + 1));
                lastSector->insertData(QStringLiteral("time"), static_cast<quint64>(last.sectors[s]));
                lastSector->insertData(QStringLiteral("isValid"), last.valid);
                if (bestSector[s] >= 0)
                    detail->getOrCreateDataPointer(QStringLiteral("bestSectors.%1").arg(s + 1))->insertData(QStringLiteral("time"), static_cast<quint64>(bestSector[s]));
            }
        }
        if (current) {
            // As a timing feed: the lap's start, and the sectors of this lap
            // already run as the latest times of their sectors.
            detail->insertData(QStringLiteral("currentLapStartTime"), static_cast<quint64>(m_sessionStartMs + current->start));
            for (int s = 0; s + 1 < sector; ++s) {
                V2_Data* lastSector = detail->getOrCreateDataPointer(QStringLiteral("lastSectors.%1").arg(s + 1));
                lastSector->insertData(QStringLiteral("time"), static_cast<quint64>(current->sectors[s]));
                lastSector->insertData(QStringLiteral("isValid"), current->valid);
            }
        }
        if (progress.best >= 0) {
            V2_Data* bestLap = detail->getOrCreateDataPointer(QStringLiteral("bestLap"));
            bestLap->insertData(QStringLiteral("time"), static_cast<quint64>(progress.best));
            bestLap->insertData(QStringLiteral("number"), progress.bestLap);
            bestLap->insertData(QStringLiteral("driver"), car.laps.at(progress.bestLap - 1).driver);
            if (sessionBest < 0 || progress.best < sessionBest)
                sessionBest = progress.best;
        }
    }
    const QString best = QStringLiteral("timing.session.bestResults.overall.");
    if (sessionBest >= 0)
        root->getOrCreateDataPointer(best + QStringLiteral("lap"))->insertData(QStringLiteral("time"), static_cast<quint64>(sessionBest));
    for (int s = 0; s < 4; ++s) {
        if (sessionBestSector[s] >= 0)
            root->getOrCreateDataPointer(best + QStringLiteral("sectors.%1").arg(s + 1))->insertData(QStringLiteral("time"), static_cast<quint64>(sessionBestSector[s]));
    }
}

void SessionSimulator::addLapHistory(V2_Data* root, qint64 fromMs, qint64 toMs) const
{
    for (int c = 0; c < m_cars.size(); ++c) {
        const int first = fromMs < 0 ? 0 : progressOf(c, fromMs).completed;
        const int last = progressOf(c, toMs).completed;
        // Nodes are made only with content: servers never send empty ones.
        if (first >= last)
            continue;
        markRows(root->getOrCreateDataPointer(lapHistoryPath()));
        V2_Data* carLaps = root->getOrCreateDataPointer(lapHistoryPath() + QStringLiteral(".%1.laps").arg(m_cars.at(c).number));
        for (int n = first; n < last; ++n)
            addLapNode(carLaps, m_cars.at(c).laps.at(n), n + 1);
    }
}

void SessionSimulator::addLapNode(V2_Data* carLaps, const Lap& lap, int number) const
{
    V2_Data* node = carLaps->getOrCreateDataPointer(QString::number(number));
    node->insertData(QStringLiteral("startTime"), static_cast<quint64>(m_sessionStartMs + lap.start));
    node->insertData(QStringLiteral("time"), static_cast<int>(lap.time()));
    node->insertData(QStringLiteral("driver"), lap.driver);
    node->insertData(QStringLiteral("position"), lap.position);
    node->insertData(QStringLiteral("isValid"), lap.valid);
    node->insertData(QStringLiteral("topSpeed"), lap.topSpeed);
    qint64 sectorStart = lap.start;
    for (int s = 0; s < 4; ++s) {
        V2_Data* sectorNode = node->getOrCreateDataPointer(QStringLiteral("sectors.%1").arg(s + 1));
        sectorNode->insertData(QStringLiteral("time"), static_cast<quint64>(lap.sectors[s]));
        sectorNode->insertData(QStringLiteral("isValid"), lap.valid);
        sectorNode->insertData(QStringLiteral("trackLimits"), lap.trackLimitsSector == s + 1);
        for (int section = 0; section < 4; ++section) {
            if (kSectionSector[section] != s + 1)
                continue;
            V2_Data* sectionNode = node->getOrCreateDataPointer(QStringLiteral("sections.") + QLatin1String(kSections[section]));
            const qint64 time = static_cast<qint64>(lap.sectors[s] * kSectionShare[section]);
            sectionNode->insertData(QStringLiteral("time"), static_cast<quint64>(time));
            sectionNode->insertData(QStringLiteral("dayTime"), static_cast<quint64>(m_sessionStartMs + sectorStart + time));
            sectionNode->insertData(QStringLiteral("isValid"), lap.valid);
        }
        sectorStart += lap.sectors[s];
    }
    // Passing times at the loops, counted from the start of the lap.
    for (int i = 1; i < kLoopCount; ++i) {
        qint64 passing = 0;
        for (int s = 0; s < kLoops[i].sector - 1; ++s)
            passing += lap.sectors[s];
        passing += static_cast<qint64>(lap.sectors[kLoops[i].sector - 1] * kLoops[i].share);
        node->getOrCreateDataPointer(QStringLiteral("loopSectors.%1").arg(i))->insertData(QStringLiteral("time"), static_cast<quint64>(passing));
    }
    if (lap.pitIn)
        node->getOrCreateDataPointer(QStringLiteral("pitIn"))->insertData(QStringLiteral("time"), static_cast<quint64>(m_sessionStartMs + pitInAt(lap)));
    if (lap.pitOut)
        node->getOrCreateDataPointer(QStringLiteral("pitOut"))->insertData(QStringLiteral("time"), static_cast<quint64>(m_sessionStartMs + pitOutAt(lap)));
}
