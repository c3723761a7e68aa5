// The simulated session's additional and combined standings, and the
// positioning channels.
#include "SessionSimulator.h"

#include "V2_Data.h"

#include <QMap>

#include <algorithm>
#include <cmath>

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
            if (lap.pitIn && elapsedMs >= pitInAt(lap) && elapsedMs < lap.end())
                inPit = true;
            if (lap.pitOut && elapsedMs >= lap.start && elapsedMs < pitOutAt(lap))
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
