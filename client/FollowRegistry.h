#pragma once

#include <QColor>
#include <QMap>
#include <QString>
#include <QStringList>

// The cars the follow blocks follow and the blocks' colours, by panel id,
// so that every panel can highlight a followed car in its block's colour.
class FollowRegistry final
{
public:
    void setCar(int panelId, const QString& pNum);
    void removeCar(int panelId);
    void setColor(int panelId, const QColor& color);
    // Forgets a removed block: its car and its colour.
    void removePanel(int panelId);
    QString car(int panelId) const;
    bool isFollowedByOtherPanel(int panelId, const QString& pNum) const;
    QStringList followedCars() const;
    // Invalid for a car nobody follows.
    QColor color(const QString& pNum) const;
    // A block's colour, with or without a car; invalid when it has none.
    QColor panelColor(int panelId) const;

private:
    QMap<int, QColor> m_colors;
    QMap<int, QString> m_carByPanel;
    QMap<QString, QColor> m_colorByCar;
};
