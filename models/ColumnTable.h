#pragma once

#include <QString>
#include <QVariant>
#include <QtGlobal>

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

constexpr int Left = Qt::AlignLeft | Qt::AlignVCenter;
constexpr int Right = Qt::AlignRight | Qt::AlignVCenter;
constexpr int Centre = Qt::AlignHCenter | Qt::AlignVCenter;

} // namespace ColumnTable
