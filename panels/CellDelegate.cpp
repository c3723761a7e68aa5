#include "CellDelegate.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>
#include <QWidget>

namespace {

// Texts kept per font and generation: a table shows a thousand cells or
// so; gaps and clocks bring new texts every second.
constexpr int kMaxTexts = 1024;
// Fonts kept: the plain and bold text of a size or two.
constexpr int kMaxFonts = 8;

} // namespace

CellDelegate::CellDelegate(QObject* parent)
    : QStyledItemDelegate(parent)
{
}

CellDelegate::~CellDelegate() = default;

int CellDelegate::keptTexts() const
{
    int count = 0;
    for (const LaidOutTexts& texts : qAsConst(m_fonts))
        count += texts.size();
    return count;
}

int CellDelegate::textMargin(const QStyleOptionViewItem& option) const
{
    // A cell with neither icon nor check box is all text: the style keeps
    // its focus frame's margin and a pixel clear on either side. (A style
    // sheet's item padding goes to the size of a cell, not to where the
    // style draws its text.)
    const QStyle* style = option.widget ? option.widget->style() : QApplication::style();
    if (style != m_marginStyle) {
        m_marginStyle = style;
        m_margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, option.widget) + 1;
    }
    return m_margin;
}

const QStaticText& CellDelegate::laidOut(const QString& text, const QFont& font) const
{
    for (LaidOutTexts& texts : m_fonts) {
        if (texts.font() == font)
            return texts.text(text);
    }
    if (m_fonts.size() >= kMaxFonts)
        m_fonts.clear();
    m_fonts.append(LaidOutTexts(font, kMaxTexts));
    return m_fonts.last().text(text);
}

void CellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    // What the plain path does not draw goes to the style, as it always did.
    const QStyleOptionViewItem::ViewItemFeatures plain = QStyleOptionViewItem::HasDisplay | QStyleOptionViewItem::Alternate;
    if ((opt.features & ~plain) || (opt.state & (QStyle::State_Selected | QStyle::State_HasFocus | QStyle::State_MouseOver))
        || opt.text.contains(QLatin1Char('\n')) || opt.direction != Qt::LeftToRight) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    const QRect& cell = opt.rect;
    if (opt.backgroundBrush.style() != Qt::NoBrush) {
        const QPointF origin = painter->brushOrigin();
        painter->setBrushOrigin(cell.topLeft());
        painter->fillRect(cell, opt.backgroundBrush);
        painter->setBrushOrigin(origin);
    }
    if (opt.text.isEmpty())
        return;

    const int margin = textMargin(opt);
    const QRect area = cell.adjusted(margin, 0, -margin, 0);
    if (area.width() <= 0)
        return;
    const QStaticText* text = &laidOut(opt.text, opt.font);
    bool clip = false;
    if (text->size().width() > area.width()) {
        text = &laidOut(opt.fontMetrics.elidedText(opt.text, opt.textElideMode, area.width()), opt.font);
        clip = text->size().width() > area.width();
    }
    // Placed as the style places a line: across to the fraction of a pixel,
    // down to whole pixels.
    const QSizeF size = text->size();
    const QRect row = QStyle::alignedRect(Qt::LeftToRight, opt.displayAlignment, QSize(area.width(), int(size.height())), area);
    const Qt::Alignment across = QStyle::visualAlignment(Qt::LeftToRight, opt.displayAlignment) & Qt::AlignHorizontal_Mask;
    qreal x = row.left();
    if (across & Qt::AlignRight)
        x += area.width() - size.width();
    else if (across & Qt::AlignHCenter)
        x += (area.width() - size.width()) / 2;
    const QPalette::ColorGroup group = !(opt.state & QStyle::State_Enabled) ? QPalette::Disabled
        : (opt.state & QStyle::State_Active)                                ? QPalette::Normal
                                                                            : QPalette::Inactive;
    // The view sets what it draws with itself; a clip is the one thing to undo.
    if (clip) {
        painter->save();
        painter->setClipRect(cell);
    }
    // Setting a font makes a new one for the device: only when it differs.
    if (painter->font() != opt.font)
        painter->setFont(opt.font);
    painter->setPen(opt.palette.color(group, QPalette::Text));
    painter->drawStaticText(QPointF(x, row.top()), *text);
    if (clip)
        painter->restore();
}
