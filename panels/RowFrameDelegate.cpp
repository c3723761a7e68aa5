#include "RowFrameDelegate.h"

#include <QHeaderView>
#include <QPainter>
#include <QTableView>

namespace {

// The first or last column shown, in the order the user arranged them.
int edgeColumn(const QHeaderView* header, bool first)
{
    const int count = header->count();
    for (int i = 0; i < count; ++i) {
        const int logical = header->logicalIndex(first ? i : count - 1 - i);
        if (!header->isSectionHidden(logical))
            return logical;
    }
    return -1;
}

} // namespace

RowFrameDelegate::RowFrameDelegate(QTableView* view)
    : CellDelegate(view)
    , m_view(view)
{
}

RowFrameDelegate::~RowFrameDelegate() = default;

int RowFrameDelegate::row() const
{
    return m_row;
}

void RowFrameDelegate::setRow(int row)
{
    if (row == m_row)
        return;
    const int old = m_row;
    m_row = row;
    repaintRow(old);
    repaintRow(m_row);
}

void RowFrameDelegate::repaintRow(int row) const
{
    if (row < 0 || !m_view->model() || row >= m_view->model()->rowCount())
        return;
    const QRect rect = m_view->visualRect(m_view->model()->index(row, 0));
    m_view->viewport()->update(QRect(0, rect.top(), m_view->viewport()->width(), rect.height()));
}

void RowFrameDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    CellDelegate::paint(painter, option, index);
    if (index.row() != m_row)
        return;
    // Wide enough to see from across the garage, growing with the text.
    const int width = qMax(3, option.fontMetrics.height() / 5);
    const QRect& cell = option.rect;
    const QHeaderView* header = m_view->horizontalHeader();
    const bool left = index.column() == edgeColumn(header, true);
    const bool right = index.column() == edgeColumn(header, false);
    painter->save();
    const auto band = [&](int inset, int thickness, const QColor& colour) {
        const int x0 = cell.left() + (left ? inset : 0);
        const int x1 = cell.right() - (right ? inset : 0);
        painter->fillRect(QRect(x0, cell.top() + inset, x1 - x0 + 1, thickness), colour);
        painter->fillRect(QRect(x0, cell.bottom() - inset - thickness + 1, x1 - x0 + 1, thickness), colour);
        if (left)
            painter->fillRect(QRect(x0, cell.top() + inset, thickness, cell.height() - 2 * inset), colour);
        if (right)
            painter->fillRect(QRect(x1 - thickness + 1, cell.top() + inset, thickness, cell.height() - 2 * inset), colour);
    };
    band(0, width, option.palette.color(QPalette::Highlight));
    band(width, 1, option.palette.color(QPalette::Text));
    painter->restore();
}
