#pragma once

#include <QGraphicsObject>

class V2DataProvider;

// The weather at the track now: track and air temperature, wind speed,
// humidity and pressure, in the units chosen.
class CurrentValuesItem final : public QGraphicsObject
{
    Q_OBJECT
    Q_DISABLE_COPY(CurrentValuesItem)

public:
    explicit CurrentValuesItem(V2DataProvider* provider, QGraphicsItem* parent = nullptr);
    ~CurrentValuesItem() override;

    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;
    // The five value texts as drawn, top to bottom.
    QStringList texts() const;

public slots:
    void refresh();
    void repaint();
    void setUsaUnits(bool checked);

private:
    V2DataProvider* m_provider;
    float m_values[5] = {0, 0, 0, 0, 0};
    bool m_usaUnits = false;
};
