#pragma once

#include <QColor>
#include <QGraphicsView>
#include <QStringList>

class V2DataProvider;

// The circuit's timing loops as one strip: a coloured segment per pair of
// consecutive loops, grouped into numbered sectors, redrawn on new track
// information and on every resize.
class TrackGraphicsView final : public QGraphicsView
{
    Q_OBJECT
    Q_DISABLE_COPY(TrackGraphicsView)

public:
    TrackGraphicsView(V2DataProvider* provider, QWidget* parent = nullptr);
    ~TrackGraphicsView() override;

    double barHeight() const;
    double barTop() const;
    double labelLine() const;
    // The loop names that start a sector at the last rebuild.
    const QStringList& sectorStarts() const;
    static QColor sectorColour(int sectorIndex);
    // The segment label, shortened in the middle to fit the width.
    static QString segmentLabel(const QString& from, const QString& to, const QFont& font, double width);

public slots:
    void rebuild();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void drawSegment(double x, double width, double sectorWidth, int sectorIndex, bool startsSector, const QString& from, const QString& to);

    V2DataProvider* m_provider;
    QStringList m_sectorStarts;
    double m_barHeight = 0;
    double m_barTop = 0;
    double m_labelLine = 0;
};
