#include "RaceTree.h"

#include "V2_Data.h"

namespace RaceTree {

void addLap(V2_Data* laps, int car, int lap)
{
    // Cars lap at slightly different paces, so laps of different cars interleave.
    const quint64 lapTime = 225000 + quint64(car) * 37;
    const quint64 start = kRaceStart + quint64(lap - 1) * lapTime + quint64(car) * 113;
    V2_Data* node = laps->getOrCreateDataPointer(QString::number(lap));
    node->insertData(QStringLiteral("startTime"), start);
    node->insertData(QStringLiteral("time"), static_cast<int>(lapTime));
    node->insertData(QStringLiteral("driver"), 1 + (lap / 40) % 3);
    node->insertData(QStringLiteral("isValid"), lap % 17 != 0);
    node->insertData(QStringLiteral("position"), 1 + car);
    node->insertData(QStringLiteral("topSpeed"), 280.0 + car % 9);
    quint64 at = 0;
    for (int s = 1; s <= 4; ++s) {
        V2_Data* sector = node->getOrCreateDataPointer(QStringLiteral("sectors.%1").arg(s));
        sector->insertData(QStringLiteral("time"), lapTime / 4);
        sector->insertData(QStringLiteral("isValid"), true);
        sector->insertData(QStringLiteral("trackLimits"), false);
        at += lapTime / 4;
    }
    const char* sections[] = {"Porsche", "Ford", "T6", "T7"};
    for (int i = 0; i < 4; ++i) {
        V2_Data* section = node->getOrCreateDataPointer(QStringLiteral("sections.") + QLatin1String(sections[i]));
        section->insertData(QStringLiteral("dayTime"), start + lapTime * quint64(i + 1) / 5);
        section->insertData(QStringLiteral("time"), quint64(20000 + i * 1000));
        section->insertData(QStringLiteral("isValid"), true);
    }
    for (int l = 1; l <= 4; ++l)
        node->getOrCreateDataPointer(QStringLiteral("loopSectors.%1").arg(l))->insertData(QStringLiteral("time"), lapTime * quint64(l) / 4);
    if (lap % 30 == 0)
        node->getOrCreateDataPointer(QStringLiteral("pitIn"))->insertData(QStringLiteral("time"), start + lapTime - 20000);
    if (lap % 30 == 1 && lap > 1)
        node->getOrCreateDataPointer(QStringLiteral("pitOut"))->insertData(QStringLiteral("time"), start + 20000);
}

void fill(V2_Data* root)
{
    V2_Data* loops = root->getOrCreateDataPointer(QStringLiteral("timing.session.track.info.timingLoops"));
    for (int l = 1; l <= 3; ++l)
        loops->getOrCreateDataPointer(QString::number(l))->insertData(QStringLiteral("name"), QStringLiteral("IM%1").arg(l));
    for (int car = 0; car < kCars; ++car) {
        const QString pNum = QString::number(car + 1);
        for (int d = 1; d <= 3; ++d) {
            V2_Data* driver = root->getOrCreateDataPointer(QStringLiteral("timing.session.entry.%1.drivers.%2").arg(pNum).arg(d));
            driver->insertData(QStringLiteral("firstName"), QStringLiteral("Driver"));
            driver->insertData(QStringLiteral("lastName"), QStringLiteral("Number%1").arg(d));
        }
        V2_Data* details = root->getOrCreateDataPointer(QStringLiteral("timing.session.standings.overall.participantDetails.") + pNum);
        details->insertData(QStringLiteral("bestTopSpeed"), 290.0);
        details->getOrCreateDataPointer(QStringLiteral("bestLap"))->insertData(QStringLiteral("time"), quint64(224000));
        for (int s = 1; s <= 4; ++s)
            details->getOrCreateDataPointer(QStringLiteral("bestSectors.%1").arg(s))->insertData(QStringLiteral("time"), quint64(56000));
        root->getOrCreateDataPointer(QStringLiteral("timing.session.standings.overall.active.%1").arg(car + 1))
            ->insertData(QStringLiteral("participant"), pNum);
        V2_Data* laps = root->getOrCreateDataPointer(QStringLiteral("timing.analysis.laps.%1.laps").arg(pNum));
        for (int lap = 1; lap <= kLaps; ++lap)
            addLap(laps, car, lap);
    }
}


} // namespace RaceTree
