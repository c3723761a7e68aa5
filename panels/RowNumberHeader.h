#pragma once

#include <QHeaderView>

// The row numbers down a table panel's side. The toolkit's header measures
// the first and the last hundred numbers each time a row is added, to learn
// how wide it must be; a lap table adds a row a second. Numbers are widest
// at the end: this one measures the first and the last shown. Its model
// numbers its rows from 1 in the order shown (a sorting proxy too).
class RowNumberHeader final : public QHeaderView
{
    Q_OBJECT
    Q_DISABLE_COPY(RowNumberHeader)

public:
    explicit RowNumberHeader(QWidget* parent = nullptr);
    ~RowNumberHeader() override;

    QSize sizeHint() const override;
};
