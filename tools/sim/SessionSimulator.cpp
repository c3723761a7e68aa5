#include "SessionSimulator.h"

#include "LanterraChannels.h"
#include "V2_Data.h"

#include <QMap>
#include <QRandomGenerator>
#include <QSet>

#include <algorithm>
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
// Share of the lap in each sector, and the sector and share of each section.
const double kSectorShare[4] = {0.26, 0.24, 0.27, 0.23};
const int kSectionSector[4] = {2, 3, 4, 4};
const double kSectionShare[4] = {0.35, 0.40, 0.30, 0.45};
constexpr qint64 kPitLossMs = 24000;

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
    generateLaps();
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

void SessionSimulator::generateLaps()
{
    const qint64 horizon = m_options.durationSeconds * 1000LL * 3 / 2 + 300000;
    for (int c = 0; c < m_cars.size(); ++c) {
        Car& car = m_cars[c];
        const quint32 stream = 100 + static_cast<quint32>(c);
        const double base = 98000.0 + car.classIndex * 4500.0 + noise(stream, -1) * 2500.0;
        const int stintLaps = 22 + static_cast<int>(noise(stream, -2) * 10);
        // Grid order: a small stagger so that the start is not a dead heat.
        qint64 start = isRace() ? c * 250 : static_cast<qint64>(noise(stream, -3) * 300000);
        int driver = 1;
        for (int n = 0; start < horizon; ++n) {
            Lap lap;
            lap.start = start;
            const double pace = base * (1.0 + (noise(stream, n * 4) - 0.5) * 0.015);
            for (int sector = 0; sector < 4; ++sector)
                lap.sectors[sector] = static_cast<qint64>(pace * kSectorShare[sector] * (1.0 + (noise(stream, n * 4 + sector + 1) - 0.5) * 0.01));
            if (n == 0 && isRace())
                lap.sectors[0] += 4000 + c * 300; // standing start
            lap.pitIn = n > 0 && n % stintLaps == 0;
            lap.pitOut = n > 0 && (n - 1) % stintLaps == 0 && n > 1;
            if (lap.pitIn) {
                lap.sectors[3] += kPitLossMs / 2;
                driver = driver % car.drivers.size() + 1;
            }
            if (lap.pitOut)
                lap.sectors[0] += kPitLossMs / 2;
            lap.driver = driver;
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
        node->getOrCreateDataPointer(QStringLiteral("pitIn"))->insertData(QStringLiteral("time"), static_cast<quint64>(m_sessionStartMs + lap.end() - kPitLossMs / 2));
    if (lap.pitOut)
        node->getOrCreateDataPointer(QStringLiteral("pitOut"))->insertData(QStringLiteral("time"), static_cast<quint64>(m_sessionStartMs + lap.start + kPitLossMs / 2));
}

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
            const qint64 in = lap.end() - kPitLossMs / 2;
            if (in > elapsedMs)
                break;
            const qint64 out = in + kPitLossMs;
            const bool stillIn = out > elapsedMs;
            const QString pitType = safetyCar(in) ? QStringLiteral("SC") : noise(500 + static_cast<quint32>(c), n) < 0.1 ? QStringLiteral("Penalty") : QString();
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
            ++stint;
            tyreLaps = 0;
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

// ---------------------------------------------------------------------------
// Additional and combined standings

void SessionSimulator::addAdditionalStandings(V2_Data* root, const QVector<Progress>& cars) const
{
    struct Best {
        QString car;
        qint64 lap = -1;
        int lapNumber = 0;
        qint64 sectors[4] = {-1, -1, -1, -1};
        double speed = 0.0;
    };
    QVector<Best> bests;
    for (int c = 0; c < m_cars.size(); ++c) {
        const Progress& progress = cars.at(c);
        Best best;
        best.car = m_cars.at(c).number;
        best.lap = progress.best;
        best.lapNumber = progress.bestLap;
        for (int n = 0; n < progress.completed; ++n) {
            const Lap& lap = m_cars.at(c).laps.at(n);
            best.speed = std::max(best.speed, lap.topSpeed);
            for (int s = 0; s < 4 && lap.valid; ++s) {
                if (best.sectors[s] < 0 || lap.sectors[s] < best.sectors[s])
                    best.sectors[s] = lap.sectors[s];
            }
        }
        bests.append(best);
    }
    const QString base = QStringLiteral("timing.session.standings.overall.additional.");
    const auto ranked = [&bests](const std::function<qint64(const Best&)>& value) {
        QVector<Best> list;
        for (const Best& best : bests) {
            if (value(best) >= 0)
                list.append(best);
        }
        std::stable_sort(list.begin(), list.end(), [&value](const Best& a, const Best& b) { return value(a) < value(b); });
        return list;
    };
    const QVector<Best> byLap = ranked([](const Best& b) { return b.lap; });
    for (int i = 0; i < byLap.size(); ++i) {
        V2_Data* row = root->getOrCreateDataPointer(base + QStringLiteral("byFastestLap.%1").arg(i + 1));
        row->insertData(QStringLiteral("participant"), byLap.at(i).car);
        row->insertData(QStringLiteral("time"), static_cast<quint64>(byLap.at(i).lap));
        row->insertData(QStringLiteral("lap"), byLap.at(i).lapNumber);
        row->insertData(QStringLiteral("gap"), double(byLap.at(i).lap - byLap.first().lap));
    }
    for (int s = 0; s < 4; ++s) {
        const QVector<Best> bySector = ranked([s](const Best& b) { return b.sectors[s]; });
        for (int i = 0; i < bySector.size(); ++i) {
            V2_Data* row = root->getOrCreateDataPointer(base + QStringLiteral("bySectorBestTime.%1.standings.%2").arg(s + 1).arg(i + 1));
            row->insertData(QStringLiteral("participant"), bySector.at(i).car);
            row->insertData(QStringLiteral("time"), static_cast<quint64>(bySector.at(i).sectors[s]));
            row->insertData(QStringLiteral("gap"), double(bySector.at(i).sectors[s] - bySector.first().sectors[s]));
        }
    }
    const QVector<Best> bySpeed = ranked([](const Best& b) { return b.speed > 0 ? static_cast<qint64>(100000 - b.speed * 100) : -1; });
    for (int i = 0; i < bySpeed.size(); ++i) {
        V2_Data* row = root->getOrCreateDataPointer(base + QStringLiteral("byTopSpeed.%1").arg(i + 1));
        row->insertData(QStringLiteral("participant"), bySpeed.at(i).car);
        row->insertData(QStringLiteral("speed"), bySpeed.at(i).speed);
    }
}

void SessionSimulator::addCombined(V2_Data* root) const
{
    // Two earlier sessions, fixed by the seed: each car's best lap in each.
    V2_Data* info = root->getOrCreateDataPointer(QStringLiteral("timing.combined.info"));
    // Ranked by the best time over both sessions.
    info->insertData(QStringLiteral("type"), QStringLiteral("BEST_TIME"));
    info->getOrCreateDataPointer(QStringLiteral("sessions.1"))->insertData(QStringLiteral("name"), QStringLiteral("Qualifying 1"));
    info->getOrCreateDataPointer(QStringLiteral("sessions.2"))->insertData(QStringLiteral("name"), QStringLiteral("Qualifying 2"));

    struct Result {
        int car = 0;
        qint64 best = 0;
    };
    QVector<Result> results;
    qint64 bestLap = -1;
    qint64 bestSectors[4] = {-1, -1, -1, -1};
    for (int c = 0; c < m_cars.size(); ++c) {
        const Car& car = m_cars.at(c);
        V2_Data* entry = root->getOrCreateDataPointer(QStringLiteral("timing.combined.entry.") + car.number);
        entry->insertData(QStringLiteral("class"), m_classNames.at(car.classIndex));
        entry->insertData(QStringLiteral("team"), car.team);
        for (int d = 0; d < car.drivers.size(); ++d) {
            V2_Data* driver = entry->getOrCreateDataPointer(QStringLiteral("drivers.%1").arg(d + 1));
            driver->insertData(QStringLiteral("firstName"), car.drivers.at(d).firstName);
            driver->insertData(QStringLiteral("lastName"), car.drivers.at(d).lastName);
        }
        V2_Data* details = root->getOrCreateDataPointer(QStringLiteral("timing.combined.participantDetails.") + car.number);
        const double base = 97000.0 + car.classIndex * 4500.0;
        qint64 fastest = -1;
        for (int session = 1; session <= 2; ++session) {
            const qint64 time = static_cast<qint64>(base + noise(3000 + static_cast<quint32>(c), session) * 2500.0);
            details->getOrCreateDataPointer(QStringLiteral("sessionsResults.%1").arg(session))->insertData(QStringLiteral("time"), static_cast<quint64>(time));
            if (fastest < 0 || time < fastest)
                fastest = time;
        }
        details->insertData(QStringLiteral("fastestLapTime"), static_cast<quint64>(fastest));
        for (int s = 0; s < 4; ++s) {
            const qint64 lapSector = static_cast<qint64>(fastest * kSectorShare[s]);
            const qint64 sector = lapSector - static_cast<qint64>(noise(4000 + static_cast<quint32>(c), s) * 200.0);
            details->getOrCreateDataPointer(QStringLiteral("fastestLapSectors.%1").arg(s + 1))->insertData(QStringLiteral("time"), static_cast<quint64>(lapSector));
            details->getOrCreateDataPointer(QStringLiteral("fastestSectors.%1").arg(s + 1))->insertData(QStringLiteral("time"), static_cast<quint64>(sector));
            if (bestSectors[s] < 0 || sector < bestSectors[s])
                bestSectors[s] = sector;
        }
        if (bestLap < 0 || fastest < bestLap)
            bestLap = fastest;
        results.append({c, fastest});
    }
    std::stable_sort(results.begin(), results.end(), [](const Result& a, const Result& b) { return a.best < b.best; });
    for (int i = 0; i < results.size(); ++i) {
        V2_Data* row = root->getOrCreateDataPointer(QStringLiteral("timing.combined.standings.overall.%1").arg(i + 1));
        row->insertData(QStringLiteral("number"), m_cars.at(results.at(i).car).number);
        row->insertData(QStringLiteral("status"), QStringLiteral("CLASSIFIED"));
        row->insertData(QStringLiteral("time"), static_cast<quint64>(results.at(i).best));
        row->insertData(QStringLiteral("gapFirst"), double(results.at(i).best - results.first().best));
        row->insertData(QStringLiteral("gapPrevious"), i ? double(results.at(i).best - results.at(i - 1).best) : 0.0);
    }
    V2_Data* best = root->getOrCreateDataPointer(QStringLiteral("timing.combined.bestResults.overall"));
    best->getOrCreateDataPointer(QStringLiteral("lap"))->insertData(QStringLiteral("time"), static_cast<quint64>(bestLap));
    for (int s = 0; s < 4; ++s)
        best->getOrCreateDataPointer(QStringLiteral("sectors.%1").arg(s + 1))->insertData(QStringLiteral("time"), static_cast<quint64>(bestSectors[s]));
}

// ---------------------------------------------------------------------------
// Positioning

void SessionSimulator::addPositioning(V2_Data* root, qint64 elapsedMs, const QVector<Progress>& ordered) const
{
    V2_Data* images = root->getOrCreateDataPointer(QStringLiteral("positioning.track.images"));
    const auto put = [](V2_Data* node, const TrackPictures::Picture& picture) {
        node->insertData(QStringLiteral("data"), QString::fromLatin1(picture.data));
        node->insertData(QStringLiteral("x"), picture.rect.x());
        node->insertData(QStringLiteral("y"), picture.rect.y());
        node->insertData(QStringLiteral("width"), picture.rect.width());
        node->insertData(QStringLiteral("height"), picture.rect.height());
    };
    put(images->getOrCreateDataPointer(QStringLiteral("background")), m_pictures.background());
    put(images->getOrCreateDataPointer(QStringLiteral("tarmac")), m_pictures.tarmac());
    put(images->getOrCreateDataPointer(QStringLiteral("track")), m_pictures.track());
    const QMap<QString, TrackPictures::Picture> sections = m_pictures.sections();
    for (auto it = sections.cbegin(); it != sections.cend(); ++it)
        put(images->getOrCreateDataPointer(QStringLiteral("sections.") + it.key()), it.value());

    // Section lights: the sections of a sector under yellow, or all of them
    // during a full-course neutralisation.
    const QString flag = currentFlag(elapsedMs);
    const QSet<int> yellow = yellowSectors(elapsedMs);
    const bool neutralised = flag == QLatin1String("FULL_YELLOW") || flag == QLatin1String("SAFETY_CAR");
    V2_Data* status = root->getOrCreateDataPointer(QStringLiteral("positioning.track.sectionStatus"));
    for (int k = 1; k <= TrackPictures::SECTIONS; ++k)
        status->insertData(QString::number(k), neutralised || yellow.contains((k + 1) / 2));
    static const QMap<QString, int> kTrackStatus = {
        {QStringLiteral("GREEN"), 1},
        {QStringLiteral("YELLOW"), 1},
        {QStringLiteral("FULL_YELLOW"), 3},
        {QStringLiteral("SAFETY_CAR"), 4},
        {QStringLiteral("RED"), 5},
    };
    root->getOrCreateDataPointer(QStringLiteral("positioning.track"))->insertData(QStringLiteral("trackStatus"), elapsedMs >= finishTime() ? 8 : kTrackStatus.value(flag, 1));

    // Cars: position along the circuit, class colours, status bits
    // (0x1 the safety car, 0x2 leader, 0x10 stopped, 0x40 retired, 0x200 in
    // the pit lane, 0x2000 chequered flag seen). Cars in the pit lane, stopped
    // or retired line up beside their legend on the map.
    static const char* const kClassColours[] = {"C8102E", "0057B8", "00875A", "F2A900", "6F2DA8", "E35205", "00A3AD", "8A8D8F", "4B3F2F"};
    const auto lineUp = [](int index, int left, int top) { return QPoint((left + 32 * (index % 9)) * 2, (top + 32 * (index / 9)) * 2); };
    int inPitCount = 0;
    int stoppedCount = 0;
    int retiredCount = 0;
    V2_Data* participants = root->getOrCreateDataPointer(QStringLiteral("positioning.participants"));
    for (int position = 0; position < ordered.size(); ++position) {
        const Progress& progress = ordered.at(position);
        const Car& car = m_cars.at(progress.car);
        bool inPit = false;
        for (int n = std::max(0, progress.completed - 1); n <= progress.completed && n < car.laps.size(); ++n) {
            const Lap& lap = car.laps.at(n);
            if (lap.pitIn && elapsedMs >= lap.end() - kPitLossMs / 2 && elapsedMs < lap.end())
                inPit = true;
            if (lap.pitOut && elapsedMs >= lap.start && elapsedMs < lap.start + kPitLossMs / 2)
                inPit = true;
        }
        quint64 bits = 0;
        QPoint point = m_pictures.pointAt(progress.fraction);
        if (progress.retired && !progress.finished) {
            const bool stopped = elapsedMs - car.retiredAt < 120000;
            bits |= stopped ? 0x10 : 0x40;
            point = stopped ? lineUp(stoppedCount++, 1600, 90) : lineUp(retiredCount++, 1600, 610);
        } else if (inPit) {
            bits |= 0x200;
            // Drawn 70 pixels lower, under the pit legend.
            point = lineUp(inPitCount++, 120, 18);
        }
        if (position == 0)
            bits |= 0x2;
        if (progress.finished)
            bits |= 0x2000;
        V2_Data* node = participants->getOrCreateDataPointer(car.number);
        node->insertData(QStringLiteral("bgColor"), QLatin1String(kClassColours[car.classIndex % 9]));
        node->insertData(QStringLiteral("fgColor"), QStringLiteral("FFFFFF"));
        node->insertData(QStringLiteral("lightBgColor"), QStringLiteral("FFFFFF"));
        node->insertData(QStringLiteral("lightFgColor"), QLatin1String(kClassColours[car.classIndex % 9]));
        node->insertData(QStringLiteral("overallPos"), position + 1);
        node->insertData(QStringLiteral("status"), bits);
        node->insertData(QStringLiteral("text"), car.number);
        node->insertData(QStringLiteral("x"), point.x());
        node->insertData(QStringLiteral("y"), point.y());
    }
    // The safety car runs just ahead of the leader while it is out.
    if (flag == QLatin1String("SAFETY_CAR") && !ordered.isEmpty()) {
        const double ahead = std::fmod(ordered.first().fraction + 0.03, 1.0);
        const QPoint point = m_pictures.pointAt(ahead);
        V2_Data* node = participants->getOrCreateDataPointer(QStringLiteral("SC"));
        node->insertData(QStringLiteral("bgColor"), QStringLiteral("000000"));
        node->insertData(QStringLiteral("fgColor"), QStringLiteral("FFD100"));
        node->insertData(QStringLiteral("overallPos"), 0);
        node->insertData(QStringLiteral("status"), quint64(0x1));
        node->insertData(QStringLiteral("text"), QStringLiteral("SC"));
        node->insertData(QStringLiteral("x"), point.x());
        node->insertData(QStringLiteral("y"), point.y());
    }
}
