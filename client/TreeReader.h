#pragma once

#include <QString>
#include <QStringList>

class V2_Client;
class V2_Data;

// Reads the client's mirrored tree: one look-up of a node, then one field,
// with a value for a missing node and one for a missing or mistyped field.
// The base of the provider's readers; nothing is copied or cached.
class TreeReader
{
public:
    // The client whose mirror is read (its mirror is replaced on reconnects,
    // so it is asked for it on every read).
    void setClient(const V2_Client* client);
    void setUsaUnits(bool on);
    bool usaUnits() const;

    // Branches more than one reader looks into.
    static const QString kDetailsPath; // "...participantDetails." + participant
    static const QString kLapsPath; // "timing.analysis.laps." + participant

protected:
    TreeReader() = default;
    ~TreeReader() = default;

    V2_Data* node(const QString& path) const;
    QString readString(const QString& path, const QString& field, const QString& missing = QString()) const;
    int readInt(const QString& path, const QString& field, int defaultValue, int missing) const;
    qint64 readLongLong(const QString& path, const QString& field, qint64 defaultValue, qint64 missing) const;
    quint64 readTime(const QString& path, const QString& field, quint64 defaultValue, quint64 missing) const;
    double readDouble(const QString& path, const QString& field, double defaultValue, double missing) const;
    bool readBool(const QString& path, const QString& field, bool defaultValue, bool missing) const;
    QStringList childKeys(const QString& path) const;
    int childCount(const QString& path) const;
    // A speed the server gives in km/h, in the unit in force.
    double speedInUnit(double kmh) const;
    // "A. Smith" for driver `driverIndex` of an entry node; empty when there is none.
    static QString formattedDriver(const V2_Data* entry, int driverIndex);

private:
    // The engine reads lap nodes directly, once per lap.
    friend class AnalysisEngine;

    const V2_Client* m_client = nullptr;
    bool m_usaUnits = false;
};
