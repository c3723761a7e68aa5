#include "SampleLines.h"

#include <QString>

namespace SampleLines {

namespace {

QByteArray dataLine(int counter, const QByteArray& payload)
{
    return "JSON:" + QByteArray::number(counter) + "::" + payload;
}

const char* const kStatuses[] = {"RUNNING", "BOX", "OUT_LAP", "RUNNING", "STOPPED"};

} // namespace

QByteArray standings(int cars, int variant)
{
    QByteArray rows;
    for (int position = 1; position <= cars; ++position) {
        const int car = (position * 7 + variant) % 97 + 1;
        if (!rows.isEmpty())
            rows += ',';
        rows += QStringLiteral("\"%1\":{\"participant\":\"%2\",\"status\":\"%3\",\"gapFirstTime\":%4,\"gapFirstLaps\":%5,"
                               "\"gapPreviousTime\":%6,\"gapPreviousLaps\":0,\"elapsedLaps\":%7,\"lastLapTime\":%8}")
                    .arg(position)
                    .arg(car)
                    .arg(QLatin1String(kStatuses[(position + variant) % 5]))
                    .arg(position == 1 ? 0.0 : position * 1.731 + variant * 0.013, 0, 'f', 3)
                    .arg(position > cars - 3 ? -1 : 0)
                    .arg(1.731 + (position % 5) * 0.217, 0, 'f', 3)
                    .arg(40 + variant % 3)
                    .arg(98000 + position * 37 + variant)
                    .toUtf8();
    }
    return dataLine(variant, "{\"timing\":{\"session\":{\"standings\":{\"overall\":{\"active\":{\"ignorePath\":true," + rows + "}}}}}}");
}

QByteArray participantDetails(int variant)
{
    const QString payload = QStringLiteral(
        "{\"timing\":{\"session\":{\"standings\":{\"overall\":{\"participantDetails\":{\"ignorePath\":true,\"%1\":{"
        "\"currentLap\":%2,\"currentSector\":%3,\"elapsedLaps\":%4,\"running\":true,\"status\":\"RUNNING\","
        "\"lastLap\":{\"time\":%5,\"isValid\":true},"
        "\"lastSectors\":{\"%3\":{\"time\":%6,\"isValid\":%7}},"
        "\"bestTopSpeed\":%8}}}}}}}");
    return dataLine(variant,
                    payload.arg(variant % 40 + 1)
                        .arg(12 + variant / 4)
                        .arg(variant % 4 + 1)
                        .arg(11 + variant / 4)
                        .arg(101234 + variant)
                        .arg(25321 + variant * 3)
                        .arg(variant % 7 ? QStringLiteral("true") : QStringLiteral("false"))
                        .arg(281.4 + variant % 10, 0, 'f', 1)
                        .toUtf8());
}

QByteArray analysisLap(int variant)
{
    const qint64 start = Q_INT64_C(1767283200000) + variant * 101000;
    const QString payload = QStringLiteral(
        "{\"timing\":{\"analysis\":{\"laps\":{\"%1\":{\"laps\":{\"%2\":{"
        "\"startTime\":%3,\"time\":%4,\"driver\":%5,\"position\":%6,\"isValid\":true,\"topSpeed\":%7,"
        "\"sectors\":{\"1\":{\"time\":%8,\"isValid\":true},\"2\":{\"time\":%9,\"isValid\":true},"
        "\"3\":{\"time\":%10,\"isValid\":true},\"4\":{\"time\":%11,\"isValid\":false}}}}}}}}}");
    return dataLine(variant,
                    payload.arg(variant % 40 + 1)
                        .arg(variant / 40 + 1)
                        .arg(start)
                        .arg(101000 + variant % 500)
                        .arg(variant % 3)
                        .arg(variant % 40 + 1)
                        .arg(287.2 + variant % 13, 0, 'f', 1)
                        .arg(25100 + variant % 50)
                        .arg(24900 + variant % 70)
                        .arg(25600 + variant % 30)
                        .arg(25400 + variant % 90)
                        .toUtf8());
}

} // namespace SampleLines
