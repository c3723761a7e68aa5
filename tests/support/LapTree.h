#pragma once

#include "ClientV2Controller.h"
#include "V2DataProvider.h"
#include "V2_Data.h"

#include <QString>
#include <QStringList>

// Lap nodes written into a provider's mirror, and the provider's lap
// analysis caches described row by row, for the provider and engine tests.
namespace LapTree {

inline V2_Data* root(V2DataProvider& provider)
{
    return provider.controller()->getCurrentData();
}

struct LapSpec {
    quint64 start = 0;
    int time = 0;
    int driver = 1;
    quint64 sectors[4] = {0, 0, 0, 0}; // 0: no sector node
    bool sectorValid[4] = {true, true, true, true};
    bool trackLimits[4] = {false, false, false, false};
    bool valid = true;
    int position = 1;
    double topSpeed = 250.0;
    quint64 porsche = 0; // day time; 0: no node
    quint64 t6 = 0;
    quint64 t7 = 0;
    bool t6Valid = true;
    bool t7Valid = true;
    bool pitIn = false;
};

inline void writeLap(V2_Data* root, const QString& pNum, int lap, const LapSpec& spec)
{
    const QString path = QStringLiteral("timing.analysis.laps.%1.laps.%2").arg(pNum).arg(lap);
    if (V2_Data* laps = root->getV2_Data(QStringLiteral("timing.analysis.laps.%1.laps").arg(pNum)))
        laps->deleteKey(QString::number(lap));
    V2_Data* node = root->getOrCreateDataPointer(path);
    node->insertData(QStringLiteral("startTime"), spec.start);
    node->insertData(QStringLiteral("time"), spec.time);
    node->insertData(QStringLiteral("driver"), spec.driver);
    node->insertData(QStringLiteral("isValid"), spec.valid);
    node->insertData(QStringLiteral("position"), spec.position);
    node->insertData(QStringLiteral("topSpeed"), spec.topSpeed);
    for (int s = 0; s < 4; ++s) {
        if (spec.sectors[s] == 0)
            continue;
        V2_Data* sector = node->getOrCreateDataPointer(QStringLiteral("sectors.%1").arg(s + 1));
        sector->insertData(QStringLiteral("time"), spec.sectors[s]);
        sector->insertData(QStringLiteral("isValid"), spec.sectorValid[s]);
        sector->insertData(QStringLiteral("trackLimits"), spec.trackLimits[s]);
    }
    const auto section = [node](const char* name, quint64 dayTime, bool valid) {
        if (dayTime == 0)
            return;
        V2_Data* found = node->getOrCreateDataPointer(QStringLiteral("sections.") + QLatin1String(name));
        found->insertData(QStringLiteral("dayTime"), dayTime);
        found->insertData(QStringLiteral("time"), quint64(dayTime % 10000));
        found->insertData(QStringLiteral("isValid"), valid);
    };
    section("Porsche", spec.porsche, true);
    section("T6", spec.t6, spec.t6Valid);
    section("T7", spec.t7, spec.t7Valid);
    if (spec.pitIn)
        node->getOrCreateDataPointer(QStringLiteral("pitIn"))->insertData(QStringLiteral("time"), spec.start + 5);
}

inline LapSpec simpleLap(quint64 start, int time)
{
    LapSpec spec;
    spec.start = start;
    spec.time = time;
    spec.sectors[0] = time / 2;
    spec.sectors[1] = time - time / 2;
    spec.porsche = start + 1000;
    return spec;
}

inline void addEntry(V2_Data* root, const QString& pNum)
{
    V2_Data* driver = root->getOrCreateDataPointer(QStringLiteral("timing.session.entry.%1.drivers.1").arg(pNum));
    driver->insertData(QStringLiteral("firstName"), QStringLiteral("Alex"));
    driver->insertData(QStringLiteral("lastName"), QStringLiteral("Smith%1").arg(pNum));
}

// Every record of a kind as comparable text, ordered by key and identity,
// plus a check that positions agree with the rows.
template <typename Rows>
inline QStringList describe(const Rows& rows, const V2DataProvider::RowPositions& positions, const std::function<QString(const typename Rows::mapped_type&)>& fields,
                     QString* fault)
{
    QStringList out;
    int row = 0;
    for (auto it = rows.cbegin(); it != rows.cend(); ++it, ++row) {
        if (it->rowPosition != row || positions.value(row, ~quint64(0)) != it.key())
            *fault = QStringLiteral("row %1 holds position %2").arg(row).arg(it->rowPosition);
        out.append(QStringLiteral("%1|%2|%3|%4").arg(it.key()).arg(it->pNum).arg(it->lapNumber).arg(fields(it.value())));
    }
    if (positions.size() != rows.size())
        *fault = QStringLiteral("%1 positions for %2 rows").arg(positions.size()).arg(rows.size());
    std::sort(out.begin(), out.end());
    return out;
}

inline QStringList describeAll(V2DataProvider& p, QString* fault)
{
    QStringList all;
    all += describe<V2DataProvider::LapRows>(
        p.getLapRows(), p.getLapRowPositions(),
        [](const LapAnalysisRecord& r) {
            return QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8 %9")
                .arg(r.startTime)
                .arg(r.lapTime)
                .arg(r.driverName)
                .arg(r.sectorTime[0])
                .arg(r.sectorTime[1])
                .arg(r.sectorValid[1])
                .arg(r.sectionTime[0])
                .arg(r.topSpeed)
                .arg(r.hasPitIn);
        },
        fault);
    const auto section = [](const SectionRecord& r) { return QStringLiteral("%1 %2").arg(r.time).arg(r.isValid); };
    all += describe<V2DataProvider::SectionRows>(p.getPorscheSectionRows(), p.getPorscheSectionRowPositions(), section, fault);
    all += describe<V2DataProvider::SectionRows>(p.getFordSectionRows(), p.getFordSectionRowPositions(), section, fault);
    all += describe<V2DataProvider::AccSectionRows>(
        p.getAccSectionRows(), p.getAccSectionRowPositions(), [](const AccSectionRecord& r) { return QStringLiteral("%1 %2").arg(r.time).arg(r.isValid); },
        fault);
    all += describe<V2DataProvider::SpeedRows>(
        p.getSpeedRows(), p.getSpeedRowPositions(), [](const SpeedRecord& r) { return QString::number(r.topSpeed); }, fault);
    for (int s = 1; s <= 4; ++s) {
        all += describe<V2DataProvider::SectorRows>(
            *p.getSectorRows(s), *p.getSectorRowPositions(s),
            [s](const SectorRecord& r) { return QStringLiteral("S%1 %2 %3").arg(s).arg(r.time).arg(r.isValid); }, fault);
    }
    return all;
}

} // namespace LapTree
