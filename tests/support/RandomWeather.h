#pragma once

#include "V2_Data.h"
#include "V2_Server.h"

#include <QRandomGenerator>
#include <QStringList>

// Random changes of a few weather keys, each set or deleted, for the relay
// tests: sent by the upstream server, and then looked for in a tree.
class RandomWeather final
{
public:
    explicit RandomWeather(const QString& keyPrefix)
        : m_prefix(keyPrefix)
    {
    }

    void send(V2_Server& server, QRandomGenerator& random, int step)
    {
        V2_Data change(QStringLiteral("ROOT"));
        change.setRoot(true);
        const QString key = m_prefix + QString::number(random.bounded(4));
        m_path = QStringLiteral("weather.") + key;
        V2_Data* weather = change.getOrCreateDataPointer(QStringLiteral("weather"));
        m_removed = m_set.contains(key) && random.bounded(2) == 0;
        m_value = step * 1000 + random.bounded(1000);
        if (m_removed) {
            weather->insertDeletedData(key);
            m_set.removeOne(key);
        } else {
            weather->getOrCreateSingleDataPointer(key)->insertData(QStringLiteral("value"), m_value);
            m_set << key;
        }
        server.sendV2Data(&change);
    }

    // Whether the tree has taken the last change.
    bool takenBy(const V2_Data* tree) const
    {
        return m_removed ? !tree->getV2_Data(m_path) : tree->getInt(m_path + QStringLiteral(".value")) == m_value;
    }

private:
    QString m_prefix;
    QStringList m_set;
    QString m_path;
    bool m_removed = false;
    int m_value = 0;
};
