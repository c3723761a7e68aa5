#include "CoalescedTableModel.h"

CoalescedTableModel::CoalescedTableModel(QObject* parent)
    : QAbstractTableModel(parent)
{
    m_refresh.setSingleShot(true);
    m_refresh.setInterval(kCoalesceMs);
    connect(&m_refresh, &QTimer::timeout, this, &CoalescedTableModel::processRefresh);
}

CoalescedTableModel::~CoalescedTableModel() = default;

void CoalescedTableModel::processRefresh()
{
    m_refresh.stop();
    if (deferWhileHeld())
        return;
    refreshRows();
}

void CoalescedTableModel::scheduleRefresh()
{
    if (deferWhileHeld())
        return;
    if (!m_refresh.isActive())
        m_refresh.start();
}

void CoalescedTableModel::setHeld(bool held)
{
    if (held == m_held)
        return;
    m_held = held;
    if (held && m_refresh.isActive()) {
        m_refresh.stop();
        m_owed = true;
    }
    heldChanged(held);
    if (!held && m_owed) {
        m_owed = false;
        refreshRows();
    }
}

bool CoalescedTableModel::isHeld() const
{
    return m_held;
}

bool CoalescedTableModel::deferWhileHeld()
{
    if (m_held)
        m_owed = true;
    return m_held;
}

void CoalescedTableModel::heldChanged(bool)
{
}
