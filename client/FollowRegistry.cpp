#include "FollowRegistry.h"

void FollowRegistry::setCar(int panelId, const QString& pNum)
{
    // A block follows one car: the one it followed before is let go.
    removeCar(panelId);
    m_carByPanel.insert(panelId, pNum);
    m_colorByCar.insert(pNum, m_colors.value(panelId));
}

void FollowRegistry::removeCar(int panelId)
{
    const auto it = m_carByPanel.find(panelId);
    if (it == m_carByPanel.end())
        return;
    m_colorByCar.remove(it.value());
    m_carByPanel.erase(it);
}

void FollowRegistry::setColor(int panelId, const QColor& color)
{
    m_colors.insert(panelId, color);
}

void FollowRegistry::removePanel(int panelId)
{
    removeCar(panelId);
    m_colors.remove(panelId);
}

QString FollowRegistry::car(int panelId) const
{
    return m_carByPanel.value(panelId);
}

bool FollowRegistry::isFollowedByOtherPanel(int panelId, const QString& pNum) const
{
    for (auto it = m_carByPanel.cbegin(); it != m_carByPanel.cend(); ++it) {
        if (it.key() != panelId && it.value() == pNum)
            return true;
    }
    return false;
}

QStringList FollowRegistry::followedCars() const
{
    return m_colorByCar.keys();
}

QColor FollowRegistry::color(const QString& pNum) const
{
    return m_colorByCar.value(pNum);
}

QColor FollowRegistry::panelColor(int panelId) const
{
    return m_colors.value(panelId);
}
