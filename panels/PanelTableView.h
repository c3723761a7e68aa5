#pragma once

#include <QTableView>

// The table view of every table panel. A model announces a change of some
// rows as one range; the toolkit's view repaints all of itself for any range
// of more than one cell, so each second every row of a timing table was
// drawn again for the few that changed. This one repaints the range's rows.
// A skin's style sheet also makes the view's inside transparent, so that
// every repaint of a row, and every scroll, painted the panel beneath it
// too: it is kept opaque, in the colour the style sheet gives it. The
// toolkit's view also repaints all of itself for every row added; a lap
// table adds one a second: this one repaints from the new row down, and a
// view that follows its last row scrolls the rest. Its cells are drawn by a
// CellDelegate and its rows numbered by a RowNumberHeader. The toolkit draws
// the grid a pixel at a time with its line stroker, a tenth of all painting
// with every panel open: this view fills the same lines as rectangles.
class PanelTableView final : public QTableView
{
    Q_OBJECT
    Q_DISABLE_COPY(PanelTableView)

public:
    explicit PanelTableView(QWidget* parent = nullptr);
    ~PanelTableView() override;

protected:
    bool event(QEvent* event) override;
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight, const QVector<int>& roles = QVector<int>()) override;
    void rowsInserted(const QModelIndex& parent, int start, int end) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void rowCountChangedInPlace(int oldCount, int newCount);
    void paintGrid(QPainter& painter, const QRegion& region);
};
