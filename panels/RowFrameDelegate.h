#pragma once

#include "CellDelegate.h"

class QTableView;

// Draws a frame round one row of a table, over the cells as the model paints
// them: a row is pointed out without hiding its timing colours, fonts or
// alert flash, as a selection would. The frame is the skin's selection
// colour with a line of the text colour inside it, so that it stands out
// on every cell background of every skin.
class RowFrameDelegate final : public CellDelegate
{
    Q_OBJECT
    Q_DISABLE_COPY(RowFrameDelegate)

public:
    explicit RowFrameDelegate(QTableView* view);
    ~RowFrameDelegate() override;

    // The framed row; -1: none.
    int row() const;
    // Repaints the row left and the row framed.
    void setRow(int row);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    void repaintRow(int row) const;

    QTableView* m_view;
    int m_row = -1;
};
