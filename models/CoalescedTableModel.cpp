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
    refreshRows();
}

void CoalescedTableModel::scheduleRefresh()
{
    if (!m_refresh.isActive())
        m_refresh.start();
}
