#include "PanelTableView.h"

#include "CellDelegate.h"
#include "RowNumberHeader.h"

#include <QAccessible>
#include <QEvent>
#include <QHeaderView>

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
