#pragma once

#include "TeamAlert.h"

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

class QSettings;

// The alert rules: the catalogue (every rule the engine knows, written once
// as a table: its key, caption, whom it concerns, its parameters and its
// defaults) and the user's values for each (on or off, severity,
// notification, sound, parameters). Kept in the settings and shared between
// teams as a small JSON file. No widgets: the engine and the rules dialog
// both read the catalogue.
class AlertRules final
{
public:
    enum class ParameterType {
        Integer,
        Number, // seconds, percent: a double
        Choice, // one of the texts of `choices`
        Text, // free text (a list of race control groups)
    };
    struct Parameter
    {
        const char* key;
        const char* caption;
        ParameterType type;
        double minimum;
        double maximum;
        const char* choices; // Choice: the values, separated by '|'
        const char* defaultValue; // as text
    };
    struct Rule
    {
        const char* id; // the key in the settings and the file
        const char* caption;
        bool anyCar; // false: only the followed cars
        bool enabled;
        AlertSeverity severity;
        bool notify;
        bool sound;
        QVector<Parameter> parameters;
    };
    // What the user chose for one rule.
    struct Values
    {
        bool enabled = false;
        AlertSeverity severity = AlertSeverity::Info;
        bool notify = false;
        bool sound = false;
        QVariantMap parameters; // by parameter key, typed as the catalogue says
    };

    // The rule keys.
    static const QString kPitLane;
    static const QString kRaceControlCar;
    static const QString kRaceControlGroups;
    static const QString kGap;
    static const QString kTrackLimits;
    static const QString kSessionFlags;
    static const QString kPersonalBest;
    static const QString kSessionBest;
    static const QString kSlowLap;
    static const QString kStopped;
    static const QString kPosition;

    static const QVector<Rule>& catalogue();
    // -1 for an unknown key.
    static int indexOf(const QString& id);
    static QStringList choices(const Parameter& parameter);
    static QString severityName(AlertSeverity severity);

    // The defaults of a fresh start.
    AlertRules();

    const Values& values(const QString& id) const;
    const Values& values(int index) const;
    void setValues(int index, const Values& values);
    bool isEnabled(const QString& id) const;
    double number(const QString& id, const char* parameter) const;
    QString text(const QString& id, const char* parameter) const;

    // Under the group "alertRules"; a value missing or out of range in the
    // settings keeps its default.
    void save(QSettings& settings) const;
    static AlertRules load(QSettings& settings);

    // The rules file. fromJson refuses a file that is not whole and right
    // (false with the problem in *error) and then leaves these rules as
    // they were.
    QByteArray toJson() const;
    bool fromJson(const QByteArray& json, QString* error);
    bool exportTo(const QString& path, QString* error) const;
    bool importFrom(const QString& path, QString* error);

    bool operator==(const AlertRules& other) const;
    bool operator!=(const AlertRules& other) const { return !(*this == other); }

private:
    QVector<Values> m_values;
};
