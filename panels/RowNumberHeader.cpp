#include "RowNumberHeader.h"

RowNumberHeader::RowNumberHeader(QWidget* parent)
    : QHeaderView(Qt::Vertical, parent)
{
    // As the table view sets its own row header.
    setSectionsClickable(true);
    setHighlightSections(true);
}

RowNumberHeader::~RowNumberHeader() = default;

QSize RowNumberHeader::sizeHint() const
{
    int first = 0;
    while (first < count() && isSectionHidden(first))
        ++first;
    int last = count() - 1;
    while (last > first && isSectionHidden(last))
        --last;
    if (first >= count())
        return QHeaderView::sizeHint();
    return sectionSizeFromContents(first).expandedTo(sectionSizeFromContents(last));
}
