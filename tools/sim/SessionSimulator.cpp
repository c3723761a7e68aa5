#include "SessionSimulator.h"

#include "V2_Data.h"

#include <QRandomGenerator>

#include <cmath>

namespace {

constexpr qint64 kWeatherPeriodMs = 10000;
constexpr int kSectors = 4;

const char* const kFirstNames[] = {"Alex", "Maria", "Jonas", "Chloe", "Luca", "Sofia", "Kenji", "Emma", "Noah", "Lea", "Rui", "Ines", ""};
const char* const kLastNames[] = {"Smith", "Rossi", "Keller", "Dubois", "Moreau", "Tanaka", "Silva", "Novak", "Berg", "Costa", "Vidal", "Zorer"};
const char* const kTeams[] = {"Aurora Racing", "Blue Harbour", "Cobalt Motorsport", "Delta Works", "Ember GP", "Falcon Team", "Granite Racing"};
const char* const kCarModels[] = {"Vanta R8", "Kestrel GT", "Ostra 488", "Meridian LMP", "Sable 911", "Tarn V"};
const char* const kBikeModels[] = {"Ravelle RR", "Kaze 1000", "Mistral V4", "Orca SS"};
const char* const kClassNames[] = {"HYPERCAR", "LMP2", "GT3", "GT4", "CUP", "PRO", "AM", "TROPHY", "JUNIOR"};

template <size_t N>
const char* pick(const char* const (&table)[N], quint32 index)
{
    return table[index % N];
}

} // namespace

SessionSimulator::SessionSimulator(const SimOptions& options, qint64 sessionStartMs)
    : m_options(options)
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
}

const QStringList& SessionSimulator::channels()
{
    static const QStringList list = {
        QStringLiteral("weather"),
        QStringLiteral("signalling"),
        QStringLiteral("raceControl.messages"),
        QStringLiteral("timing.analysis"),
        QStringLiteral("timing.session"),
        QStringLiteral("timing.combined.bestResults"),
        QStringLiteral("timing.combined.entry"),
        QStringLiteral("timing.combined.standings.overall"),
        QStringLiteral("timing.combined.participantDetails"),
        QStringLiteral("timing.combined.info"),
        QStringLiteral("positioning.track"),
        QStringLiteral("positioning.participants"),
        QStringLiteral("tyres.session"),
    };
    return list;
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

std::unique_ptr<V2_Data> SessionSimulator::state(qint64 elapsedMs) const
{
    std::unique_ptr<V2_Data> root(new V2_Data(QStringLiteral("ROOT")));
    root->setRoot(true);
    addSessionInfo(root.get());
    addSessionStatus(root.get(), elapsedMs);
    addEntry(root.get());
    addTrack(root.get());
    addWeather(root.get(), elapsedMs);
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
    status->insertData(QStringLiteral("sessionStartTime"), trackStartSeconds);
    status->insertData(QStringLiteral("stopTime"), finished ? trackStartSeconds + m_options.durationSeconds : qint64(0));
    status->insertData(QStringLiteral("isSessionRunning"), !finished);
    status->insertData(QStringLiteral("isTimeFinished"), finished);
    status->insertData(QStringLiteral("finalLaps"), m_options.finalType == QLatin1String("BY_TIME") ? -1 : m_options.durationSeconds / 100);
    status->insertData(QStringLiteral("elapsedLaps"), static_cast<int>(elapsedMs / 100000));
    status->insertData(QStringLiteral("elapsedLapsAfterTimeFinish"), -1);
    status->insertData(QStringLiteral("isForcedByTime"), false);
    status->insertData(QStringLiteral("isForcedLastLap"), false);
    status->insertData(QStringLiteral("stoppedSeconds"), qint64(0));
    status->insertData(QStringLiteral("currentFlag"), finished ? QStringLiteral("NONE") : QStringLiteral("GREEN"));
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
            V2_Data* driver = drivers->getOrCreateDataPointer(QString::number(d));
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
