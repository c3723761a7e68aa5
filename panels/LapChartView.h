#pragma once

#include "LapChartItem.h"

#include <QColor>
#include <QGraphicsView>
#include <QHash>
#include <QList>
#include <QVector>

class QGraphicsSimpleTextItem;
class V2DataProvider;

// The lap chart of a race: one row per car in starting-grid order, one line
// per car across the laps, the lap numbers along the top.
class LapChartView final : public QGraphicsView
{
    Q_OBJECT
    Q_DISABLE_COPY(LapChartView)

public:
    explicit LapChartView(QWidget* parent = nullptr);
    ~LapChartView() override;

    void setProvider(V2DataProvider* provider);
    void setShowPits(bool show);
    void setColorsOnFollowed(bool on);
    // The user's lap width: the chart keeps it.
    void setLapWidth(double width);
    double lapWidth() const;
    // Lap width chosen so that the race so far fills the view's width.
    void setFitToWidth(bool fit);
    bool fitsToWidth() const;
    // The panel's text size: the car labels, the room left for them, the
    // rows and the lap numbers grow with it.
    void setTextScale(double scale);

    // What is drawn, for the panel and its tests.
    QStringList cars() const;
    QGraphicsSimpleTextItem* label(const QString& pNum) const;
    LapChartItem* line(const QString& pNum) const;
    QList<QGraphicsSimpleTextItem*> axisLabels() const;

signals:
    // A fitted chart changed its lap width.
    void lapWidthFitted(double width);

public:
    // Held (its panel cannot be seen), the chart draws nothing: changes are
    // only noted, and releasing it rebuilds once, at once.
    void setHeld(bool held);
    bool isHeld() const;

public slots:
    void refreshAll();
    void update(QString pNum);
    void selectionChanged();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Car {
        QString pNum;
        int row = 0;
        QGraphicsSimpleTextItem* label = nullptr;
        LapChartItem* line = nullptr;
    };

    void drawAxis(bool race);
    QVector<LapChartItem::LapRecord> lapRecords(const QString& pNum) const;
    void refreshStacking();
    void fitLapWidth();
    void fitSceneRect();
    // The room of a line on row `row` (from 0): every row, and the laps run
    // with some to come, so that a new lap repaints only itself.
    QRectF lineExtent(int row) const;
    int extentLaps() const;
    // Where the lines begin, right of the car labels.
    double lineX() const;

    V2DataProvider* m_provider = nullptr;
    double m_textScale = 1.0;
    double m_rowHeight = 15.0;
    double m_lapWidth = 2.5;
    bool m_showPits = true;
    bool m_colorsOnFollowed = false;
    bool m_fitToWidth = false;
    // Whether the last refresh drew a race.
    bool m_drawnRace = false;
    QList<QGraphicsSimpleTextItem*> m_axisLabels;
    QHash<QString, Car> m_cars;
    QStringList m_order;
    int m_lapCount = 0;
    // The laps the lines' room holds.
    int m_extentLaps = 0;
    bool m_held = false;
    bool m_owed = false;
};
