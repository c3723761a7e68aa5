#pragma once

#include <QHeaderView>

// The track limits table's header: clicking sorts, except on "Affected Laps".
class TrackLimitHeader final : public QHeaderView
{
    Q_OBJECT
    Q_DISABLE_COPY(TrackLimitHeader)

public:
    explicit TrackLimitHeader(QWidget* parent = nullptr);
    ~TrackLimitHeader() override;

protected:
    void mousePressEvent(QMouseEvent* event) override;
};
