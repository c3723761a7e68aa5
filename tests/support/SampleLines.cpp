#include "SampleLines.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

namespace SampleLines {

namespace {

// Written the way a V2 server writes its trees: compact, members in key order.
QByteArray dataLine(int counter, const QJsonObject& payload)
{
    return "JSON:" + QByteArray::number(counter) + "::" + QJsonDocument(payload).toJson(QJsonDocument::Compact);
}

QJsonObject wrap(const QStringList& path, QJsonObject inner)
{
    for (int i = path.size() - 1; i >= 0; --i)
        inner = QJsonObject{{path.at(i), inner}};
    return inner;
}

const char* const kStatuses[] = {"RUNNING", "BOX", "OUT_LAP", "RUNNING", "STOPPED"};

} // namespace

QByteArray standings(int cars, int variant)
{
    QJsonObject active{{QStringLiteral("ignorePath"), true}};
    for (int position = 1; position <= cars; ++position) {
        const int car = (position * 7 + variant) % 97 + 1;
        active.insert(QString::number(position),
                      QJsonObject{
                          {QStringLiteral("participant"), QString::number(car)},
                          {QStringLiteral("status"), QLatin1String(kStatuses[(position + variant) % 5])},
                          {QStringLiteral("gapFirstTime"), position == 1 ? 0.0 : position * 1.731 + variant * 0.013},
                          {QStringLiteral("gapFirstLaps"), position > cars - 3 ? -1 : 0},
                          {QStringLiteral("gapPreviousTime"), 1.731 + (position % 5) * 0.217},
                          {QStringLiteral("gapPreviousLaps"), 0},
                          {QStringLiteral("elapsedLaps"), 40 + variant % 3},
                          {QStringLiteral("lastLapTime"), 98000 + position * 37 + variant},
                      });
    }
    return dataLine(variant, wrap({"timing", "session", "standings", "overall", "active"}, active));
}

QByteArray participantDetails(int variant)
{
    const QString sector = QString::number(variant % 4 + 1);
    const QJsonObject details{
        {QStringLiteral("currentLap"), 12 + variant / 4},
        {QStringLiteral("currentSector"), variant % 4 + 1},
        {QStringLiteral("elapsedLaps"), 11 + variant / 4},
        {QStringLiteral("running"), true},
        {QStringLiteral("status"), QStringLiteral("RUNNING")},
        {QStringLiteral("lastLap"), QJsonObject{{QStringLiteral("time"), 101234 + variant}, {QStringLiteral("isValid"), true}}},
        {QStringLiteral("lastSectors"), QJsonObject{{sector, QJsonObject{{QStringLiteral("time"), 25321 + variant * 3}, {QStringLiteral("isValid"), variant % 7 != 0}}}}},
        {QStringLiteral("bestTopSpeed"), 281.4 + variant % 10},
    };
    const QJsonObject participants{{QStringLiteral("ignorePath"), true}, {QString::number(variant % 40 + 1), details}};
    return dataLine(variant, wrap({"timing", "session", "standings", "overall", "participantDetails"}, participants));
}

QByteArray analysisLap(int variant)
{
    QJsonObject sectors;
    const int base[] = {25100, 24900, 25600, 25400};
    for (int s = 0; s < 4; ++s)
        sectors.insert(QString::number(s + 1), QJsonObject{{QStringLiteral("time"), base[s] + variant % (50 + 20 * s)}, {QStringLiteral("isValid"), s != 3}});
    const QJsonObject lap{
        {QStringLiteral("startTime"), Q_INT64_C(1767283200000) + variant * 101000},
        {QStringLiteral("time"), 101000 + variant % 500},
        {QStringLiteral("driver"), variant % 3},
        {QStringLiteral("position"), variant % 40 + 1},
        {QStringLiteral("isValid"), true},
        {QStringLiteral("topSpeed"), 287.2 + variant % 13},
        {QStringLiteral("sectors"), sectors},
    };
    return dataLine(variant, wrap({"timing", "analysis", "laps", QString::number(variant % 40 + 1), "laps", QString::number(variant / 40 + 1)}, lap));
}

} // namespace SampleLines
