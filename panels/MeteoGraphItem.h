#pragma once

#include <QGraphicsObject>
#include <QVector>

class V2DataProvider;

// One weather graph of the last two hours: what the five graphs share. The
// value axis starts at 0, as a temperature, a wind speed or a humidity is
// read against it; the pressure graph scales between its lowest and
// highest value instead, where a change of a few mBar shows.
class MeteoGraphItem : public QGraphicsObject
{
    Q_OBJECT
    Q_DISABLE_COPY(MeteoGraphItem)

public:
    ~MeteoGraphItem() override;

    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;
    const QVector<float>& values() const;
    QString title() const;
    // The values at the bottom and the top of the value axis.
    QPair<float, float> scaleRange() const;

public slots:
    void refresh();
    void repaint();
    void setUsaUnits(bool checked);
    void cleanAll();

protected:
    MeteoGraphItem(V2DataProvider* provider, const QString& title, bool fromMinimum, QGraphicsItem* parent);

    // One sample's value as received, and converted to imperial units.
    virtual float read(const QString& key) const = 0;
    virtual float imperial(float value) const;

    V2DataProvider* provider() const;

private:
    V2DataProvider* m_provider;
    QString m_title;
    bool m_fromMinimum;
    QVector<float> m_values;
    bool m_usaUnits = false;
};
