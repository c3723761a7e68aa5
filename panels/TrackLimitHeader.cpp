#include "TrackLimitHeader.h"

#include "ModelTrackLimits.h"

#include <QMouseEvent>
#include <QStyle>

TrackLimitHeader::TrackLimitHeader(QWidget* parent)
    : QHeaderView(Qt::Horizontal, parent)
{
    setSectionsClickable(true);
    setSortIndicatorShown(true);
    setSortIndicator(ModelTrackLimits::Time, Qt::AscendingOrder);
}

TrackLimitHeader::~TrackLimitHeader() = default;

void TrackLimitHeader::mousePressEvent(QMouseEvent* event)
{
    // Presses on the column's edges still resize: the left one the column
    // before it, the right one the column itself.
    const int column = logicalIndexAt(event->pos());
    const int intoColumn = event->pos().x() - sectionViewportPosition(column);
    const int grip = style()->pixelMetric(QStyle::PM_HeaderGripMargin);
    if (column == ModelTrackLimits::AffectedLaps && intoColumn > grip && intoColumn < sectionSize(column) - grip) {
        event->ignore();
        return;
    }
    QHeaderView::mousePressEvent(event);
}
