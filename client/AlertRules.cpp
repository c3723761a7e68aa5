#include "AlertRules.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QObject>
#include <QSettings>

#include <cmath>

namespace {

using Type = AlertRules::ParameterType;

const QString kGroup = QStringLiteral("alertRules");
const QString kEnabledKey = QStringLiteral("enabled");
const QString kSeverityKey = QStringLiteral("severity");
const QString kNotifyKey = QStringLiteral("notify");
const QString kSoundKey = QStringLiteral("sound");
const QString kParametersKey = QStringLiteral("parameters");
// The file's marker and format version, so that another JSON file is told apart.
const QString kFormatKey = QStringLiteral("lanterraAlertRules");
const QString kRulesKey = QStringLiteral("rules");
constexpr int kFormat = 1;

// A parameter's value read from text, JSON or the settings; invalid when it
// has the wrong type or lies outside the parameter's range.
// Text stands for a number only where every value is text (the settings,
// the catalogue's defaults); in a rules file a number must be a number.
QVariant checked(const AlertRules::Parameter& parameter, const QVariant& value, QString* problem, bool textAllowed = true)
{
    const QString name = QString::fromLatin1(parameter.key);
    switch (parameter.type) {
    case Type::Integer:
    case Type::Number: {
        bool ok = false;
        const bool isText = value.type() == QVariant::String;
        const double number = isText ? value.toString().toDouble(&ok) : value.toDouble(&ok);
        const bool isNumber = ok && value.type() != QVariant::Bool && (textAllowed || !isText);
        if (!isNumber || !std::isfinite(number)) {
            *problem = QObject::tr("\"%1\" must be a number").arg(name);
            return {};
        }
        if (parameter.type == Type::Integer && number != std::floor(number)) {
            *problem = QObject::tr("\"%1\" must be a whole number").arg(name);
            return {};
        }
        if (number < parameter.minimum || number > parameter.maximum) {
            *problem = QObject::tr("\"%1\" is %2, outside %3 to %4").arg(name).arg(number).arg(parameter.minimum).arg(parameter.maximum);
            return {};
        }
        return parameter.type == Type::Integer ? QVariant(int(number)) : QVariant(number);
    }
    case Type::Choice:
        if (value.type() != QVariant::String || !AlertRules::choices(parameter).contains(value.toString())) {
            *problem = QObject::tr("\"%1\" must be one of: %2").arg(name, AlertRules::choices(parameter).join(QStringLiteral(", ")));
            return {};
        }
        return value.toString();
    case Type::Text:
        if (value.type() != QVariant::String) {
            *problem = QObject::tr("\"%1\" must be a text").arg(name);
            return {};
        }
        return value.toString();
    }
    return {};
}

bool severityFromName(const QString& name, AlertSeverity* severity)
{
    for (AlertSeverity candidate : { AlertSeverity::Info, AlertSeverity::Warning, AlertSeverity::Critical }) {
        if (AlertRules::severityName(candidate) == name) {
            *severity = candidate;
            return true;
        }
    }
    return false;
}

} // namespace

const QString AlertRules::kPitLane = QStringLiteral("pitLane");
const QString AlertRules::kRaceControlCar = QStringLiteral("raceControlCar");
const QString AlertRules::kRaceControlGroups = QStringLiteral("raceControlGroups");
const QString AlertRules::kGap = QStringLiteral("gap");
const QString AlertRules::kTrackLimits = QStringLiteral("trackLimits");
const QString AlertRules::kSessionFlags = QStringLiteral("sessionFlags");
const QString AlertRules::kPersonalBest = QStringLiteral("personalBest");
const QString AlertRules::kSessionBest = QStringLiteral("sessionBest");
const QString AlertRules::kSlowLap = QStringLiteral("slowLap");
const QString AlertRules::kStopped = QStringLiteral("stopped");
const QString AlertRules::kPosition = QStringLiteral("position");

const QVector<AlertRules::Rule>& AlertRules::catalogue()
{
    using S = AlertSeverity;
    // clang-format off
    static const QVector<Rule> rules = {
        {"pitLane", QT_TRANSLATE_NOOP("AlertRules", "Pit entry and pit exit"), false, true, S::Info, true, false, {}},
        {"raceControlCar", QT_TRANSLATE_NOOP("AlertRules", "Race control names a followed car"), false, true, S::Warning, true, false, {}},
        {"raceControlGroups", QT_TRANSLATE_NOOP("AlertRules", "Race control message of chosen groups (any car)"), true, false, S::Info, false, false,
         {{"groups", QT_TRANSLATE_NOOP("AlertRules", "Groups (comma separated)"), Type::Text, 0, 0, "", "PENALTY, INVESTIGATION"}}},
        {"gap", QT_TRANSLATE_NOOP("AlertRules", "Gap crosses a threshold"), false, false, S::Warning, false, false,
         {{"side", QT_TRANSLATE_NOOP("AlertRules", "To the car"), Type::Choice, 0, 0, "ahead|behind", "ahead"},
          {"standings", QT_TRANSLATE_NOOP("AlertRules", "Standings"), Type::Choice, 0, 0, "overall|class", "overall"},
          {"threshold", QT_TRANSLATE_NOOP("AlertRules", "Threshold (s)"), Type::Number, 0.1, 600, "", "1.0"},
          {"hysteresis", QT_TRANSLATE_NOOP("AlertRules", "Hysteresis (s)"), Type::Number, 0, 60, "", "0.3"}}},
        {"trackLimits", QT_TRANSLATE_NOOP("AlertRules", "Track-limits count reaches"), false, false, S::Warning, false, false,
         {{"count", QT_TRANSLATE_NOOP("AlertRules", "Count"), Type::Integer, 1, 99, "", "3"}}},
        {"sessionFlags", QT_TRANSLATE_NOOP("AlertRules", "Safety car, full-course yellow, red flag and their end (any car)"), true, true, S::Warning, true, false, {}},
        {"personalBest", QT_TRANSLATE_NOOP("AlertRules", "Personal best lap"), false, false, S::Info, false, false, {}},
        {"sessionBest", QT_TRANSLATE_NOOP("AlertRules", "Overall or class best lap (any car)"), true, false, S::Info, false, false,
         {{"standings", QT_TRANSLATE_NOOP("AlertRules", "Best of"), Type::Choice, 0, 0, "overall|class|both", "overall"}}},
        {"slowLap", QT_TRANSLATE_NOOP("AlertRules", "Lap slower than the recent median"), false, false, S::Warning, false, false,
         {{"percent", QT_TRANSLATE_NOOP("AlertRules", "Slower by (%)"), Type::Number, 1, 200, "", "10"},
          {"laps", QT_TRANSLATE_NOOP("AlertRules", "Recent laps"), Type::Integer, 3, 20, "", "5"}}},
        {"stopped", QT_TRANSLATE_NOOP("AlertRules", "Car stopped or retired"), false, false, S::Critical, false, false, {}},
        {"position", QT_TRANSLATE_NOOP("AlertRules", "Position change"), false, false, S::Info, false, false,
         {{"standings", QT_TRANSLATE_NOOP("AlertRules", "Standings"), Type::Choice, 0, 0, "overall|class", "overall"}}},
    };
    // clang-format on
    return rules;
}

int AlertRules::indexOf(const QString& id)
{
    const QVector<Rule>& rules = catalogue();
    for (int i = 0; i < rules.size(); ++i) {
        if (id == QLatin1String(rules.at(i).id))
            return i;
    }
    return -1;
}

QStringList AlertRules::choices(const Parameter& parameter)
{
    return QString::fromLatin1(parameter.choices).split(QLatin1Char('|'), Qt::SkipEmptyParts);
}

QString AlertRules::severityName(AlertSeverity severity)
{
    switch (severity) {
    case AlertSeverity::Info:
        return QStringLiteral("info");
    case AlertSeverity::Warning:
        return QStringLiteral("warning");
    case AlertSeverity::Critical:
        return QStringLiteral("critical");
    }
    return QString();
}

AlertRules::AlertRules()
{
    for (const Rule& rule : catalogue()) {
        Values values;
        values.enabled = rule.enabled;
        values.severity = rule.severity;
        values.notify = rule.notify;
        values.sound = rule.sound;
        for (const Parameter& parameter : rule.parameters) {
            QString ignored;
            values.parameters.insert(QLatin1String(parameter.key), checked(parameter, QString::fromLatin1(parameter.defaultValue), &ignored));
        }
        m_values.append(values);
    }
}

const AlertRules::Values& AlertRules::values(const QString& id) const
{
    const int index = indexOf(id);
    Q_ASSERT(index >= 0);
    return m_values.at(index);
}

const AlertRules::Values& AlertRules::values(int index) const
{
    return m_values.at(index);
}

void AlertRules::setValues(int index, const Values& values)
{
    if (index >= 0 && index < m_values.size())
        m_values[index] = values;
}

bool AlertRules::isEnabled(const QString& id) const
{
    return values(id).enabled;
}

double AlertRules::number(const QString& id, const char* parameter) const
{
    return values(id).parameters.value(QLatin1String(parameter)).toDouble();
}

QString AlertRules::text(const QString& id, const char* parameter) const
{
    return values(id).parameters.value(QLatin1String(parameter)).toString();
}

void AlertRules::save(QSettings& settings) const
{
    settings.beginGroup(kGroup);
    const QVector<Rule>& rules = catalogue();
    for (int i = 0; i < rules.size(); ++i) {
        const Values& values = m_values.at(i);
        settings.beginGroup(QLatin1String(rules.at(i).id));
        settings.setValue(kEnabledKey, values.enabled);
        settings.setValue(kSeverityKey, severityName(values.severity));
        settings.setValue(kNotifyKey, values.notify);
        settings.setValue(kSoundKey, values.sound);
        for (auto it = values.parameters.cbegin(); it != values.parameters.cend(); ++it)
            settings.setValue(it.key(), it.value());
        settings.endGroup();
    }
    settings.endGroup();
}

AlertRules AlertRules::load(QSettings& settings)
{
    AlertRules rules;
    settings.beginGroup(kGroup);
    const QVector<Rule>& table = catalogue();
    for (int i = 0; i < table.size(); ++i) {
        Values& values = rules.m_values[i];
        settings.beginGroup(QLatin1String(table.at(i).id));
        values.enabled = settings.value(kEnabledKey, values.enabled).toBool();
        severityFromName(settings.value(kSeverityKey).toString(), &values.severity);
        values.notify = settings.value(kNotifyKey, values.notify).toBool();
        values.sound = settings.value(kSoundKey, values.sound).toBool();
        for (const Parameter& parameter : table.at(i).parameters) {
            const QString key = QLatin1String(parameter.key);
            QString ignored;
            // The settings hold every value as text.
            const QVariant value = settings.contains(key) ? checked(parameter, settings.value(key), &ignored) : QVariant();
            if (value.isValid())
                values.parameters.insert(key, value);
        }
        settings.endGroup();
    }
    settings.endGroup();
    return rules;
}

QByteArray AlertRules::toJson() const
{
    QJsonObject rules;
    const QVector<Rule>& table = catalogue();
    for (int i = 0; i < table.size(); ++i) {
        const Values& values = m_values.at(i);
        QJsonObject rule;
        rule.insert(kEnabledKey, values.enabled);
        rule.insert(kSeverityKey, severityName(values.severity));
        rule.insert(kNotifyKey, values.notify);
        rule.insert(kSoundKey, values.sound);
        rule.insert(kParametersKey, QJsonObject::fromVariantMap(values.parameters));
        rules.insert(QLatin1String(table.at(i).id), rule);
    }
    QJsonObject root;
    root.insert(kFormatKey, kFormat);
    root.insert(kRulesKey, rules);
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

bool AlertRules::fromJson(const QByteArray& json, QString* error)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (document.isNull()) {
        *error = QObject::tr("The file is not JSON: %1 at byte %2").arg(parseError.errorString()).arg(parseError.offset);
        return false;
    }
    const QJsonObject root = document.object();
    if (!document.isObject() || root.value(kFormatKey).toInt(-1) != kFormat || !root.value(kRulesKey).isObject()) {
        *error = QObject::tr("The file holds no alert rules (\"%1\": %2 and a \"%3\" object are expected)").arg(kFormatKey).arg(kFormat).arg(kRulesKey);
        return false;
    }
    const QJsonObject rules = root.value(kRulesKey).toObject();
    for (auto it = rules.constBegin(); it != rules.constEnd(); ++it) {
        if (indexOf(it.key()) < 0) {
            *error = QObject::tr("Unknown rule \"%1\"").arg(it.key());
            return false;
        }
    }
    AlertRules read;
    const QVector<Rule>& table = catalogue();
    for (int i = 0; i < table.size(); ++i) {
        const QString id = QLatin1String(table.at(i).id);
        const auto fail = [&](const QString& problem) {
            *error = QObject::tr("Rule \"%1\": %2").arg(id, problem);
            return false;
        };
        if (!rules.value(id).isObject())
            return fail(QObject::tr("missing"));
        const QJsonObject rule = rules.value(id).toObject();
        Values& values = read.m_values[i];
        for (const QString& key : { kEnabledKey, kNotifyKey, kSoundKey }) {
            if (!rule.value(key).isBool())
                return fail(QObject::tr("\"%1\" must be true or false").arg(key));
        }
        values.enabled = rule.value(kEnabledKey).toBool();
        values.notify = rule.value(kNotifyKey).toBool();
        values.sound = rule.value(kSoundKey).toBool();
        if (!severityFromName(rule.value(kSeverityKey).toString(), &values.severity))
            return fail(QObject::tr("\"%1\" must be info, warning or critical").arg(kSeverityKey));
        if (!rule.value(kParametersKey).isObject())
            return fail(QObject::tr("\"%1\" must be an object").arg(kParametersKey));
        const QJsonObject parameters = rule.value(kParametersKey).toObject();
        for (const QString& key : parameters.keys()) {
            bool known = false;
            for (const Parameter& parameter : table.at(i).parameters)
                known = known || key == QLatin1String(parameter.key);
            if (!known)
                return fail(QObject::tr("unknown parameter \"%1\"").arg(key));
        }
        for (const Parameter& parameter : table.at(i).parameters) {
            const QString key = QLatin1String(parameter.key);
            if (!parameters.contains(key))
                return fail(QObject::tr("parameter \"%1\" is missing").arg(key));
            QString problem;
            const QVariant value = checked(parameter, parameters.value(key).toVariant(), &problem, false);
            if (!value.isValid())
                return fail(problem);
            values.parameters.insert(key, value);
        }
    }
    *this = read;
    return true;
}

bool AlertRules::exportTo(const QString& path, QString* error) const
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(toJson()) < 0) {
        *error = QObject::tr("Cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

bool AlertRules::importFrom(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QObject::tr("Cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    // A rules file is a few kilobytes: anything far larger is no rules file.
    if (file.size() > 1024 * 1024) {
        *error = QObject::tr("The file is too large for alert rules");
        return false;
    }
    return fromJson(file.readAll(), error);
}

bool AlertRules::operator==(const AlertRules& other) const
{
    for (int i = 0; i < m_values.size(); ++i) {
        const Values& a = m_values.at(i);
        const Values& b = other.m_values.at(i);
        if (a.enabled != b.enabled || a.severity != b.severity || a.notify != b.notify || a.sound != b.sound || a.parameters != b.parameters)
            return false;
    }
    return true;
}
