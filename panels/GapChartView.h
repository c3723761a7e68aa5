#pragma once

#include <QGraphicsView>
#include <QHash>
#include <QStringList>
#include <QVector>

class GapChartItem;
class GapChartShading;
class V2DataProvider;

// The gap chart of a race: for each chosen car its gap to the reference (the
// leader, or a car the user picks) at the end of every lap, one
// `GapChartItem` per car over a `GapChartShading` of the neutralised laps.
//
// The gap at the end of lap N is the difference of the lap-N end day times
// of the car and of the reference, a lap's end being its "startTime" plus
// its "time" (`getLapTimings`, `getLap`). The leader of lap N is the car
// that ended lap N first. A car is a lap down at the end of its lap N when
// the reference had already ended lap N + 1 (until the reference has, its
// lap-N time stands in), and a lap up when it ended lap N before the
// reference began it. Such a gap is clipped to that lap and drawn dotted:
// lapped cars run along the one-lap line instead of stretching the chart.
//
// A lap of a car (`analysisLapsByPnumAndLap`) changes one entry of that car's
// item; only a lap that changes the reference's lap N re-reads laps N and
// N − 1 of the drawn cars. Whole collections (`analysisProcessed`), deleted
// laps (rows announced removed, one rebuild after them), a change of the
// followed cars or of race/not race, and the user's choices rebuild. Lap
// numbers above `GapChartItem::MaxLap` are ignored. The view follows the newest lap until
// the user pans away from it.
class GapChartView final : public QGraphicsView
{
    Q_OBJECT
    Q_DISABLE_COPY(GapChartView)

public:
    explicit GapChartView(QWidget* parent = nullptr);
    ~GapChartView() override;

    void setProvider(V2DataProvider* provider);

    // Pixels per lap and per second of gap.
    void setScale(double lapWidth, double secondHeight);
    double lapWidth() const;
    double secondHeight() const;
    void zoomLaps(double factor);
    void zoomSeconds(double factor);

    // The user's cars; until there are some, the followed cars are drawn.
    void setChosenCars(const QStringList& cars);
    void clearChosenCars();
    bool hasChosenCars() const;
    QStringList chosenCars() const;
    // The car the gaps are taken to; empty for the leader of each lap.
    void setReference(const QString& pNum);
    QString reference() const;

    void setSkin(const QString& skin);
    void setFollowNewest(bool follow);
    bool followsNewest() const;

    // The cars to draw: the user's, else the followed cars (in a race or not).
    QStringList drawnCars() const;
    // What the chart tells instead of or over its lines; empty: nothing.
    QString note() const;
    // What is drawn, for the panel and its tests.
    QStringList cars() const;
    GapChartItem* line(const QString& pNum) const;
    GapChartShading* shading() const;

signals:
    void scaleChanged();
    void followNewestChanged(bool follow);

public slots:
    void refreshAll();
    void updateLap(const QString& pNum, const QString& lapKey);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void drawBackground(QPainter* painter, const QRectF& rect) override;
    void drawForeground(QPainter* painter, const QRectF& rect) override;

private:
    // The reference's lap: when it started and ended (day times), and who ran it.
    struct Span
    {
        quint64 start = 0;
        quint64 end = 0;
        QString pNum;
    };
    struct Car
    {
        GapChartItem* item = nullptr;
        QVector<quint64> ends; // lap end day times by lap number; 0: none
    };
    // A neutralisation: from its flag to the flag that ended it (0: running).
    struct Period
    {
        quint64 from = 0;
        quint64 to = 0;
        int kind = 0;
        bool operator==(const Period& other) const { return from == other.from && to == other.to && kind == other.kind; }
    };

    QStringList scannedCars(const QStringList& drawn) const;
    void queueRefresh();
    const Span* referenceSpan(int lap) const;
    void setGap(Car& car, int lap);
    bool rescanLeader(int lap);
    void readPeriods();
    void shadeLap(int lap);
    void refreshPits();
    void updateSceneRect();
    void scrollToNewest();
    void followFromPosition();
    void applyScale(double lapWidth, double secondHeight);

    V2DataProvider* m_provider = nullptr;
    double m_lapWidth = 12.0;
    double m_secondHeight = 4.0;
    QStringList m_chosen;
    bool m_hasChosen = false;
    QString m_reference;
    bool m_dark = true;
    bool m_race = false;
    bool m_follow = true;
    // By lap number.
    QVector<Span> m_leader;
    QVector<Span> m_referenceLaps; // a chosen reference car's laps
    QVector<Period> m_periods;
    QHash<QString, Car> m_cars;
    QStringList m_order;
    GapChartShading* m_shading = nullptr;
    int m_lastLap = 0;
    bool m_refreshQueued = false;
};
