#include "EndFollower.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QScrollBar>
#include <QTimer>

EndFollower::EndFollower(QAbstractItemView* view)
    : QObject(view)
    , m_view(view)
{
    view->installEventFilter(this);
    QAbstractItemModel* model = view->model();
    connect(model, &QAbstractItemModel::rowsAboutToBeInserted, this, &EndFollower::noteEnd);
    connect(model, &QAbstractItemModel::rowsInserted, this, &EndFollower::follow);
    connect(model, &QAbstractItemModel::modelAboutToBeReset, this, &EndFollower::noteEnd);
    connect(model, &QAbstractItemModel::modelReset, this, &EndFollower::follow);
}

EndFollower::~EndFollower() = default;

void EndFollower::noteEnd()
{
    const QScrollBar* bar = m_view->verticalScrollBar();
    m_atEnd = m_pending || bar->value() == bar->maximum();
}

void EndFollower::follow()
{
    if (!m_atEnd)
        return;
    m_pending = true;
    if (m_view->isVisible())
        queueScroll();
}

void EndFollower::queueScroll()
{
    if (m_queued)
        return;
    m_queued = true;
    // After the view is laid out: a page shown again may have a new size.
    QTimer::singleShot(0, this, [this] {
        m_queued = false;
        if (m_view->isVisible())
            scroll();
    });
}

bool EndFollower::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_view && event->type() == QEvent::Show && m_pending)
        queueScroll();
    return QObject::eventFilter(watched, event);
}

void EndFollower::scroll()
{
    if (!m_pending)
        return;
    m_pending = false;
    m_view->scrollToBottom();
}
