#include "DriveTimeRules.h"

#include "AppSettings.h"

#include <QDateTime>
#include <QDebug>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>

#include <utility>

namespace {

const QString kRulesKey = QStringLiteral("driveTime/rules");

constexpr int kFormatVersion = 1;
// Longer than any race: a larger number is a typing slip, not a rule.
constexpr qint64 kMaxSeconds = 14LL * 24 * 3600;

const char* const kVersion = "version";
const char* const kMinTotal = "minTotal";
const char* const kMaxTotal = "maxTotal";
const char* const kMaxContinuous = "maxContinuous";
const char* const kMinRest = "minRest";
const char* const kPitTime = "pitTime";
const char* const kNearMargin = "nearMargin";
const char* const kClasses = "classes";
const char* const kScheduledEnd = "scheduledEnd";
const char* const kSwapTime = "swapTime";
// A swap takes some time; longer than this is a typing slip.
constexpr qint64 kMaxSwapSeconds = 3600;

const char* const kPitNames[] = {"notDriving", "outgoing", "incoming", "split"};

QString rangeError(const QString& where, const char* key)
{
    return QStringLiteral("%1\"%2\" must be a whole number of seconds from 0 to %3").arg(where, QLatin1String(key)).arg(kMaxSeconds);
}

// Times are whole seconds in the file: a person edits it.
bool readSeconds(const QJsonObject& object, const char* key, qint64* ms, QString* error, const QString& where)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isUndefined())
        return true;
    const double seconds = value.toDouble(-1);
    if (!value.isDouble() || seconds < 0 || seconds > kMaxSeconds || seconds != static_cast<double>(static_cast<qint64>(seconds))) {
        *error = rangeError(where, key);
        return false;
    }
    *ms = static_cast<qint64>(seconds) * 1000;
    return true;
}

bool onlyKnownKeys(const QJsonObject& object, std::initializer_list<const char*> known, QString* error, const QString& where)
{
    for (auto it = object.begin(); it != object.end(); ++it) {
        bool found = false;
        for (const char* key : known)
            found = found || it.key() == QLatin1String(key);
        if (!found) {
            *error = QStringLiteral("%1unknown key \"%2\"").arg(where, it.key());
            return false;
        }
    }
    return true;
}

bool ordered(qint64 minimum, qint64 maximum)
{
    return minimum <= 0 || maximum <= 0 || minimum <= maximum;
}

void putSeconds(QJsonObject& object, const char* key, qint64 ms)
{
    object.insert(QLatin1String(key), static_cast<double>(ms / 1000));
}

} // namespace

bool DriveTimeLimits::operator==(const DriveTimeLimits& o) const
{
    return minTotalMs == o.minTotalMs && maxTotalMs == o.maxTotalMs && maxContinuousMs == o.maxContinuousMs && minRestMs == o.minRestMs;
}

bool DriveTimeOverride::operator==(const DriveTimeOverride& o) const
{
    return minTotalMs == o.minTotalMs && maxTotalMs == o.maxTotalMs && maxContinuousMs == o.maxContinuousMs && minRestMs == o.minRestMs;
}

bool DriveTimeRules::operator==(const DriveTimeRules& o) const
{
    return limits == o.limits && classOverrides == o.classOverrides && pitTime == o.pitTime && nearMarginMs == o.nearMarginMs
        && scheduledEndMs == o.scheduledEndMs && swapTimeMs == o.swapTimeMs;
}

DriveTimeLimits DriveTimeRules::limitsFor(const QString& classKey) const
{
    DriveTimeLimits result = limits;
    const auto it = classOverrides.constFind(classKey);
    if (it == classOverrides.cend())
        return result;
    if (it->minTotalMs >= 0)
        result.minTotalMs = it->minTotalMs;
    if (it->maxTotalMs >= 0)
        result.maxTotalMs = it->maxTotalMs;
    if (it->maxContinuousMs >= 0)
        result.maxContinuousMs = it->maxContinuousMs;
    if (it->minRestMs >= 0)
        result.minRestMs = it->minRestMs;
    return result;
}

QString DriveTimeRules::pitTimeName(PitTimeRule rule)
{
    return QLatin1String(kPitNames[static_cast<int>(rule)]);
}

QByteArray DriveTimeRules::toJson() const
{
    QJsonObject root;
    root.insert(QLatin1String(kVersion), kFormatVersion);
    putSeconds(root, kMinTotal, limits.minTotalMs);
    putSeconds(root, kMaxTotal, limits.maxTotalMs);
    putSeconds(root, kMaxContinuous, limits.maxContinuousMs);
    putSeconds(root, kMinRest, limits.minRestMs);
    root.insert(QLatin1String(kPitTime), pitTimeName(pitTime));
    putSeconds(root, kNearMargin, nearMarginMs);
    putSeconds(root, kSwapTime, swapTimeMs);
    QJsonObject classes;
    for (auto it = classOverrides.cbegin(); it != classOverrides.cend(); ++it) {
        QJsonObject one;
        if (it->minTotalMs >= 0)
            putSeconds(one, kMinTotal, it->minTotalMs);
        if (it->maxTotalMs >= 0)
            putSeconds(one, kMaxTotal, it->maxTotalMs);
        if (it->maxContinuousMs >= 0)
            putSeconds(one, kMaxContinuous, it->maxContinuousMs);
        if (it->minRestMs >= 0)
            putSeconds(one, kMinRest, it->minRestMs);
        classes.insert(it.key(), one);
    }
    root.insert(QLatin1String(kClasses), classes);
    if (scheduledEndMs > 0)
        root.insert(QLatin1String(kScheduledEnd), QDateTime::fromMSecsSinceEpoch(scheduledEndMs, Qt::UTC).toString(Qt::ISODate));
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

bool DriveTimeRules::fromJson(const QByteArray& json, DriveTimeRules* rules, QString* error)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        *error = QStringLiteral("not JSON: %1 at offset %2").arg(parseError.errorString()).arg(parseError.offset);
        return false;
    }
    if (!document.isObject()) {
        *error = QStringLiteral("the rules must be a JSON object");
        return false;
    }
    const QJsonObject root = document.object();
    if (root.value(QLatin1String(kVersion)).toInt(-1) != kFormatVersion) {
        *error = QStringLiteral("\"version\" must be %1").arg(kFormatVersion);
        return false;
    }
    if (!onlyKnownKeys(root, {kVersion, kMinTotal, kMaxTotal, kMaxContinuous, kMinRest, kPitTime, kNearMargin, kClasses, kScheduledEnd, kSwapTime}, error,
                       QString()))
        return false;
    DriveTimeRules read;
    if (!readSeconds(root, kMinTotal, &read.limits.minTotalMs, error, QString()) || !readSeconds(root, kMaxTotal, &read.limits.maxTotalMs, error, QString())
        || !readSeconds(root, kMaxContinuous, &read.limits.maxContinuousMs, error, QString())
        || !readSeconds(root, kMinRest, &read.limits.minRestMs, error, QString()) || !readSeconds(root, kNearMargin, &read.nearMarginMs, error, QString()))
        return false;
    if (!readSeconds(root, kSwapTime, &read.swapTimeMs, error, QString()))
        return false;
    const QJsonValue pit = root.value(QLatin1String(kPitTime));
    if (!pit.isUndefined()) {
        int found = -1;
        for (int i = 0; i < 4; ++i)
            if (pit.toString() == QLatin1String(kPitNames[i]))
                found = i;
        if (found < 0) {
            *error = QStringLiteral("\"pitTime\" must be one of notDriving, outgoing, incoming, split");
            return false;
        }
        read.pitTime = static_cast<PitTimeRule>(found);
    }
    const QJsonValue classes = root.value(QLatin1String(kClasses));
    if (!classes.isUndefined() && !classes.isObject()) {
        *error = QStringLiteral("\"classes\" must be an object of class keys");
        return false;
    }
    const QJsonObject classObject = classes.toObject();
    for (auto it = classObject.begin(); it != classObject.end(); ++it) {
        const QString where = QStringLiteral("class \"%1\": ").arg(it.key());
        if (!it.value().isObject()) {
            *error = where + QStringLiteral("must be an object");
            return false;
        }
        const QJsonObject one = it.value().toObject();
        if (!onlyKnownKeys(one, {kMinTotal, kMaxTotal, kMaxContinuous, kMinRest}, error, where))
            return false;
        DriveTimeOverride override;
        if (!readSeconds(one, kMinTotal, &override.minTotalMs, error, where) || !readSeconds(one, kMaxTotal, &override.maxTotalMs, error, where)
            || !readSeconds(one, kMaxContinuous, &override.maxContinuousMs, error, where)
            || !readSeconds(one, kMinRest, &override.minRestMs, error, where))
            return false;
        read.classOverrides.insert(it.key(), override);
    }
    const QJsonValue end = root.value(QLatin1String(kScheduledEnd));
    if (!end.isUndefined()) {
        const QDateTime at = QDateTime::fromString(end.toString(), Qt::ISODate);
        if (!at.isValid()) {
            *error = QStringLiteral("\"scheduledEnd\" must be a date and time such as 2026-06-14T14:00:00Z");
            return false;
        }
        // Local to whom: the track, this computer? A file travels.
        if (at.timeSpec() == Qt::LocalTime) {
            *error = QStringLiteral("\"scheduledEnd\" needs its zone, such as 2026-06-14T14:00:00Z or 2026-06-14T16:00:00+02:00");
            return false;
        }
        read.scheduledEndMs = at.toMSecsSinceEpoch();
    }
    if (const QString why = read.problem(); !why.isEmpty()) {
        *error = why;
        return false;
    }
    *rules = read;
    return true;
}

QString DriveTimeRules::problem() const
{
    const auto outOfRange = [](qint64 ms) { return ms > kMaxSeconds * 1000; };
    const std::pair<const char*, qint64> event[] = {{kMinTotal, limits.minTotalMs},
                                                    {kMaxTotal, limits.maxTotalMs},
                                                    {kMaxContinuous, limits.maxContinuousMs},
                                                    {kMinRest, limits.minRestMs},
                                                    {kNearMargin, nearMarginMs}};
    for (const auto& [key, ms] : event)
        if (ms < 0 || outOfRange(ms))
            return rangeError(QString(), key);
    if (swapTimeMs < 1000 || swapTimeMs > kMaxSwapSeconds * 1000)
        return QStringLiteral("\"swapTime\" must be a whole number of seconds from 1 to %1").arg(kMaxSwapSeconds);
    if (!ordered(limits.minTotalMs, limits.maxTotalMs))
        return QStringLiteral("\"minTotal\" is above \"maxTotal\"");
    for (auto it = classOverrides.cbegin(); it != classOverrides.cend(); ++it) {
        const QString where = QStringLiteral("class \"%1\": ").arg(it.key());
        const std::pair<const char*, qint64> own[] = {{kMinTotal, it->minTotalMs},
                                                      {kMaxTotal, it->maxTotalMs},
                                                      {kMaxContinuous, it->maxContinuousMs},
                                                      {kMinRest, it->minRestMs}};
        for (const auto& [key, ms] : own)
            if (outOfRange(ms))
                return rangeError(where, key);
        const DriveTimeLimits merged = limitsFor(it.key());
        if (!ordered(merged.minTotalMs, merged.maxTotalMs))
            return where + QStringLiteral("its minimum total is above its maximum");
    }
    return QString();
}

DriveTimeRules DriveTimeRules::load()
{
    DriveTimeRules rules;
    const QByteArray stored = AppSettings::open()->value(kRulesKey).toByteArray();
    QString error;
    if (!stored.isEmpty() && !fromJson(stored, &rules, &error))
        qWarning() << "Drive-time rules in the settings unreadable, the defaults used:" << error;
    return rules;
}

void DriveTimeRules::save() const
{
    AppSettings::open()->setValue(kRulesKey, toJson());
}
