#pragma once

#include "Lock.h"
#include "pexjsonv2_export.h"

#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>

class V2_Data;

// An access profile of the publishing server: the data keys and channels a
// user may join and receive, the commands it may send, whether it may upload
// data, and record filters. Read under its read lock, changed under its write lock.
class PEXJSONV2_EXPORT V2_Profile : public Lock, public QObject
{
public:
    struct ProfileFilter {
        QString name;
        QString fieldName;
        QStringList validValues;
    };

    explicit V2_Profile(QString name);
    // Adopts keyList.
    V2_Profile(const QString& name, QMap<QString, unsigned char>* keyList, bool isAllowedToSendData, const QString& championship);
    explicit V2_Profile(V2_Profile* other);
    V2_Profile(const V2_Profile& other);
    V2_Profile& operator=(const V2_Profile& other);
    ~V2_Profile() override;

    // Takes over name, key list, commands, upload flag and championship; the filters stay.
    void copy(const V2_Profile& other);

    QString name() const;
    void setName(const QString& name);
    // For editing, under the write lock and at once: handing the list out
    // moves the revision on, as every change of what the profile lets through.
    QMap<QString, unsigned char>* keyList();
    const QMap<QString, unsigned char>* keyList() const;
    void setKeyList(QMap<QString, unsigned char>* keyList);
    QStringList getCommands() const;
    void setCommands(const QStringList& commands);
    void addCommand(const QString& command);
    void removeCommand(const QString& command);
    bool isAllowedToSendData() const;
    void setIsAllowedToSendData(bool allowed);
    QString getChampionshipSubscribed() const;
    void setChampionshipSubscribed(const QString& championship);
    QMap<QString, ProfileFilter> getProfileFilters() const;
    void setProfileFilters(const QMap<QString, ProfileFilter>& filters);

    bool keyValid(const QString& key) const;
    bool isCommandValid(const QString& name) const;
    bool hasProfileFilters() const;
    bool hasProfileFilters(const QString& path) const;
    bool hasProfileFilters(const V2_Data* data) const;
    // May delete list entries of data that the filter does not list.
    bool profileFilterAccepted(V2_Data* data) const;

    QString toJson() const;

    // A number that no other profile, nor an earlier state of this one, had:
    // new at construction and at every change of what it lets through
    // (copy, key list, filters). The server shares filtered output between
    // connections of equal revision.
    quint64 revision() const;

private:
    QString m_name;
    QMap<QString, unsigned char>* m_keyList;
    QStringList m_commands;
    bool m_isAllowedToSendData;
    QString m_championshipSubscribed;
    QMap<QString, ProfileFilter> m_profileFilters;
    std::atomic<quint64> m_revision;
};
