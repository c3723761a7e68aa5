#pragma once

#include <QGraphicsView>
#include <QList>
#include <QTimer>

class CurrentValuesItem;
class MeteoGraphItem;
class V2DataProvider;
class WindDirectionItem;

// The weather scene: the current values, the wind compass and, in turn
// every five seconds, one of the five graphs of the last two hours.
class MeteoGraphicsView final : public QGraphicsView
{
    Q_OBJECT
    Q_DISABLE_COPY(MeteoGraphicsView)

public:
    explicit MeteoGraphicsView(V2DataProvider* provider, QWidget* parent = nullptr);
    ~MeteoGraphicsView() override;

    // Track temperature, air temperature, wind speed, humidity, pressure.
    QList<MeteoGraphItem*> graphs() const;
    // From 1; 0 before the first one is shown.
    int shownGraph() const;
    CurrentValuesItem* currentValues() const;
    WindDirectionItem* windDirection() const;

signals:
    void useUSAunits(bool);
    void onShowNextGraph();

public slots:
    void showNextGraph();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QList<MeteoGraphItem*> m_graphs;
    CurrentValuesItem* m_current;
    WindDirectionItem* m_wind;
    int m_shown = 0;
    QTimer m_carousel;
};
