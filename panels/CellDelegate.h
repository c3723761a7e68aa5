#pragma once

#include "LaidOutTexts.h"

#include <QStyledItemDelegate>
#include <QVector>

class QStyle;

// Paints a table cell straight: its ground and one line of text, where the
// style would lay the text out again on every paint (a timing table
// repaints its rows every second). A text is laid out once per font and
// kept (LaidOutTexts); the margins are the style's own. A cell the plain
// path cannot draw as the style would (an icon, a check box, a selection,
// several lines) is left to the style.
class CellDelegate : public QStyledItemDelegate
{
    Q_OBJECT
    Q_DISABLE_COPY(CellDelegate)

public:
    explicit CellDelegate(QObject* parent);
    ~CellDelegate() override;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // Texts kept, over every font: for the tests of the cache's bound.
    int keptTexts() const;

private:
    int textMargin(const QStyleOptionViewItem& option) const;
    const QStaticText& laidOut(const QString& text, const QFont& font) const;

    mutable const QStyle* m_marginStyle = nullptr;
    mutable int m_margin = 0;
    mutable QVector<LaidOutTexts> m_fonts;
};
