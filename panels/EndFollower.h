#pragma once

#include <QObject>

class QAbstractItemView;

// Keeps a view at its last row as rows are added, while it was there: a
// user reading older rows is left where he is. The scroll is made once
// after a burst of rows, and for a view out of sight (another tab, a
// hidden panel) only when it is shown, as scrolling lays the view out.
class EndFollower final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(EndFollower)

public:
    // The view's model is set, and stays.
    explicit EndFollower(QAbstractItemView* view);
    ~EndFollower() override;

    // Before rows come: whether the view is at its end (or on its way there).
    void noteEnd();
    // After they came: to the end, if it was there.
    void follow();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void queueScroll();
    void scroll();

    QAbstractItemView* m_view;
    bool m_atEnd = true;
    bool m_pending = false;
    bool m_queued = false;
};
