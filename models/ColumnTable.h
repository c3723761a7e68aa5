#pragma once

#include "SessionClock.h"

#include <QAbstractItemModel>
#include <QBrush>
#include <QColor>
#include <QCoreApplication>
#include <QString>
#include <QVariant>
#include <QtGlobal>

#include <cstddef>

// A table model's columns written once: per column its id (the model's
// column enumeration), header text, default width, alignment and the
// function that makes a cell's text. Models keep one array of these.
template <typename Context>
struct ColumnSpec {
    int id;
    const char* header;
    int width;
    int alignment;
    QString (*text)(const Context& context);
};

namespace ColumnTable {

// The header data role under which a model gives a column's default width;
// table panels size columns the user has not sized with it.
constexpr int DefaultWidthRole = Qt::UserRole + 1;
// Whether a row's car is flashing because an alert named it (bool); while it
// is lit the row's background is `flashColour`.
constexpr int FlashRole = Qt::UserRole + 2;
// Orange, unlike any follow colour, session best or pit lap; dark text on it.
inline QColor flashColour()
{
    return QColor(255, 140, 0);
}

constexpr int Left = Qt::AlignLeft | Qt::AlignVCenter;
constexpr int Right = Qt::AlignRight | Qt::AlignVCenter;
constexpr int Centre = Qt::AlignHCenter | Qt::AlignVCenter;

// A lap, sector, section or driving time as every table shows it ("1:23.456").
inline QString timeText(quint64 milliseconds)
{
    return SessionClock::formatTime(milliseconds, false, 3, false);
}

// Every cell of a table model announced changed in one range: rows whose
// texts changed in place, without a reset.
inline void repaintRows(QAbstractItemModel& model)
{
    const int rows = model.rowCount();
    const int columns = model.columnCount();
    if (rows > 0 && columns > 0)
        emit model.dataChanged(model.index(0, 0), model.index(rows - 1, columns - 1));
}

// Whether a table lists its columns in the order of their ids.
template <typename Spec, std::size_t N>
constexpr bool inIdOrder(const Spec (&columns)[N])
{
    for (std::size_t i = 0; i < N; ++i) {
        if (columns[i].id != int(i))
            return false;
    }
    return true;
}

// Header data from a column table: the translated header (in the model's
// translation context), the default width, and row numbers from 1.
template <typename Spec, std::size_t N>
QVariant headerData(const Spec (&columns)[N], const char* context, int section, Qt::Orientation orientation, int role)
{
    if (orientation == Qt::Vertical)
        return role == Qt::DisplayRole ? QVariant(QString::number(section + 1)) : QVariant();
    if (section < 0 || section >= int(N))
        return QVariant();
    if (role == Qt::DisplayRole)
        return QCoreApplication::translate(context, columns[section].header);
    if (role == DefaultWidthRole)
        return columns[section].width;
    return QVariant();
}

} // namespace ColumnTable
