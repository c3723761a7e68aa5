#include "PanelTableView.h"

#include "CellDelegate.h"
#include "RowNumberHeader.h"

#include <QAccessible>
#include <QEvent>
#include <QHeaderView>
#include <QPaintEvent>
#include <QPainter>

PanelTableView::PanelTableView(QWidget* parent)
    : QTableView(parent)
{
    setVerticalHeader(new RowNumberHeader(this));
    // In place of the toolkit's handler, which lays the view out again and
    // repaints all of it.
    disconnect(verticalHeader(), &QHeaderView::sectionCountChanged, this, nullptr);
    connect(verticalHeader(), &QHeaderView::sectionCountChanged, this, &PanelTableView::rowCountChangedInPlace);
    // Its rows repaint every second: cells drawn without the style's text
    // layout on every paint.
    setItemDelegate(new CellDelegate(this));
    // The toolkit keeps the grid's room between cells and draws no line;
    // paintGrid draws them.
    setGridStyle(Qt::NoPen);
}

PanelTableView::~PanelTableView() = default;

bool PanelTableView::event(QEvent* event)
{
    const bool handled = QTableView::event(event);
    // A style sheet with a background turns the inside's own filling off
    // when it polishes the view; its base colour is that background.
    if (event->type() == QEvent::Polish || event->type() == QEvent::StyleChange)
        viewport()->setAutoFillBackground(true);
    return handled;
}

void PanelTableView::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight, const QVector<int>& roles)
{
    const bool rows = topLeft.isValid() && bottomRight.isValid() && topLeft != bottomRight && topLeft.parent() == rootIndex()
        && topLeft.row() <= bottomRight.row() && !verticalHeader()->isSectionHidden(topLeft.row())
        && !verticalHeader()->isSectionHidden(bottomRight.row());
    if (!rows || !isVisible()) {
        QTableView::dataChanged(topLeft, bottomRight, roles);
        return;
    }
    // Rows in between that are hidden take no room; the range is every
    // column, as moved columns are not contiguous on the screen.
    const int top = rowViewportPosition(topLeft.row());
    const int bottom = rowViewportPosition(bottomRight.row()) + rowHeight(bottomRight.row());
    viewport()->update(0, top, viewport()->width(), bottom - top);
#ifndef QT_NO_ACCESSIBILITY
    // What the toolkit's view tells a screen reader of a change.
    if (QAccessible::isActive()) {
        QAccessibleTableModelChangeEvent event(this, QAccessibleTableModelChangeEvent::DataChanged);
        event.setFirstRow(topLeft.row());
        event.setFirstColumn(topLeft.column());
        event.setLastRow(bottomRight.row());
        event.setLastColumn(bottomRight.column());
        QAccessible::updateAccessibility(&event);
    }
#endif
}

void PanelTableView::rowCountChangedInPlace(int oldCount, int newCount)
{
    // Fewer rows: the toolkit's way, which also keeps the header from
    // painting rows that are gone. Out of sight, it costs no painting.
    // Rows sized to their contents are measured by the toolkit's layout, once a burst.
    if (newCount < oldCount || !isVisible() || (newCount > 0 && verticalHeader()->sectionResizeMode(newCount - 1) == QHeaderView::ResizeToContents)) {
        rowCountChanged(oldCount, newCount);
        return;
    }
    // Rows are placed by the header, which has them already: the scroll
    // range is all that follows. Now, not later, so that a view scrolled to
    // its end right after sees the new end.
    const int offset = verticalHeader()->offset();
    updateGeometries();
    // A view at its end, scrolled a row at a time, shows its last row flush
    // with the bottom; with a row more it is no longer at its end and the
    // header goes back to the top of a row: the inside follows it, as a
    // scroll moves it.
    const int moved = offset - verticalHeader()->offset();
    if (moved != 0) {
        scrollDirtyRegion(0, moved);
        viewport()->scroll(0, moved);
    }
}

void PanelTableView::rowsInserted(const QModelIndex& parent, int start, int end)
{
    QTableView::rowsInserted(parent, start, end);
    if (parent != rootIndex() || !isVisible())
        return;
    // The new rows, and those below that moved down. The header, connected
    // to the model before the view, has the new rows already.
    const int top = start < verticalHeader()->count() ? qMax(0, rowViewportPosition(start)) : 0;
    if (top < viewport()->height())
        viewport()->update(0, top, viewport()->width(), viewport()->height() - top);
}

void PanelTableView::paintEvent(QPaintEvent* event)
{
    QTableView::paintEvent(event);
    if (!showGrid() || !itemDelegate() || horizontalHeader()->count() == 0 || verticalHeader()->count() == 0)
        return;
    QPainter painter(viewport());
    paintGrid(painter, event->region());
}

// The toolkit's lines, where it draws them: in each dirty rectangle, below
// each row and right of each column shown, not beyond the last ones.
void PanelTableView::paintGrid(QPainter& painter, const QRegion& region)
{
    QStyleOptionViewItem option = viewOptions();
    const QColor colour = QColor::fromRgba(static_cast<QRgb>(style()->styleHint(QStyle::SH_Table_GridLineColor, &option, this)));
    const QHeaderView* rows = verticalHeader();
    const QHeaderView* columns = horizontalHeader();
    const bool rightToLeft = isRightToLeft();
    // A rectangle fills logical pixels, the toolkit's line one device pixel:
    // on a scaled screen its own line.
    const bool exact = painter.deviceTransform().type() <= QTransform::TxTranslate;
    painter.setPen(QPen(colour, 0));
    const auto line = [&painter, &colour, exact](const QRect& rect) {
        if (exact)
            painter.fillRect(rect, colour);
        else
            painter.drawLine(rect.topLeft(), rect.bottomRight());
    };
    const int lastX = columns->length() - columns->offset() - (rightToLeft ? 0 : 1);
    const int lastY = rows->length() - rows->offset() - 1;
    for (QRect dirty : region) {
        dirty.setBottom(qMin(dirty.bottom(), lastY));
        if (rightToLeft)
            dirty.setLeft(qMax(dirty.left(), viewport()->width() - lastX));
        else
            dirty.setRight(qMin(dirty.right(), lastX));
        if (!dirty.isValid())
            continue;
        int left = columns->visualIndexAt(dirty.left());
        int right = columns->visualIndexAt(dirty.right());
        if (rightToLeft)
            qSwap(left, right);
        left = left < 0 ? 0 : left;
        right = right < 0 ? columns->count() - 1 : right;
        const int top = rows->visualIndexAt(dirty.top());
        int bottom = rows->visualIndexAt(dirty.bottom());
        bottom = bottom < 0 ? rows->count() - 1 : bottom;
        if (top < 0 || top > bottom)
            continue;
        while (bottom > top && rows->isSectionHidden(rows->logicalIndex(bottom)))
            --bottom;
        for (int visual = top; visual <= bottom; ++visual) {
            const int row = rows->logicalIndex(visual);
            if (!rows->isSectionHidden(row))
                line(QRect(dirty.left(), rowViewportPosition(row) + rowHeight(row) - 1, dirty.width(), 1));
        }
        for (int visual = left; visual <= right; ++visual) {
            const int column = columns->logicalIndex(visual);
            if (columns->isSectionHidden(column))
                continue;
            const int x = columnViewportPosition(column) + (rightToLeft ? 0 : columnWidth(column) - 1);
            line(QRect(x, dirty.top(), 1, dirty.height()));
        }
    }
}
