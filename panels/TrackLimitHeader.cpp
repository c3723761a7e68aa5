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
    // Presses on the column's left edge still resize the column before it.
    const int column = logicalIndexAt(event->pos());
    const int intoColumn = event->pos().x() - sectionViewportPosition(column);
    if (column == ModelTrackLimits::AffectedLaps && intoColumn > style()->pixelMetric(QStyle::PM_HeaderGripMargin)) {
        event->ignore();
        return;
    }
    QHeaderView::mousePressEvent(event);
}
