#pragma once

#include "ToolWindow.h"

#include <QList>
#include <QPointer>
#include <QString>

class QAbstractItemModel;
class QMenu;
class QTableView;

// The base of every table panel: it sets each table view up once (panel
// font, rows of its height, no editing or selection), keeps its column widths
// under the panel's own keys and, where the panel keeps one, its header
// state (order and hidden columns), offers the show/hide-column menu and
// keeps the newest row in sight.
class TablePanel : public ToolWindow
{
    Q_OBJECT
    Q_DISABLE_COPY(TablePanel)

public:
    // What one table keeps in the settings store.
    struct TableKeys {
        // Column width key with "%1" for the column number ("st_%1"); empty
        // when the panel handles its widths itself.
        QString widthKey;
        // The saved header state; empty when the panel keeps none (then the
        // columns are fixed and the column menu is not offered).
        QString headerStateKey;
        // Row numbers from 1 in a vertical header.
        bool rowNumbers = false;
        // Columns hidden until the user's header state says otherwise.
        QList<int> hiddenColumns = {};
    };

    ~TablePanel() override;

    // The column menu of a table (the caller owns it).
    QMenu* columnMenu(QTableView* view);

protected:
    TablePanel(QWidget* parent, bool floating);

    // A table over the model at the end of the panel's content layout, with
    // its stored widths (or the model's default widths) and its saved header
    // state applied; the user's resizing, moving and hiding are stored.
    QTableView* addTable(QAbstractItemModel* model, const TableKeys& keys, const QString& objectName);
    // The same in parent, for a table the panel places itself (a tab, a page, a box).
    QTableView* addTable(QAbstractItemModel* model, const TableKeys& keys, QWidget* parent, const QString& objectName);
    // The same for a view the panel made itself (with its own header), after its model is set.
    void setUpTable(QTableView* view, const TableKeys& keys);
    // The saved header state, then the stored (or default) widths at the text
    // size in force: a width is stored on every resize, so it is newer than
    // any header state. `addTable` does it;
    // a panel calls it again only to undo changes of its own.
    void restoreHeader(QTableView* view);
    void saveHeader(QTableView* view);
    // Columns the data have not (sections of another circuit, a fourth
    // sector): hidden and left out of the column menu while absent; a column
    // that returns is shown again unless the user had hidden it.
    void setAbsentColumns(QTableView* view, const QList<int>& columns);
    void storeColumnWidth(QTableView* view, int column, int width);
    // Whether widths are being set by the panel (fitting, a text size), not by the user.
    bool isFitting() const;
    // Fits to their contents the columns the user has not sized.
    void fitColumns(QTableView* view);
    // Scrolls to the newest row: the bottom, or the top when newest first.
    static void followNewRows(QTableView* view, bool newestFirst);
    // Whether the column menu offers a column; every column but the absent ones by default.
    virtual bool offersColumn(const QTableView* view, int column) const;
    // A column shown or hidden from the menu, or moved in the header.
    virtual void columnChoiceChanged(QTableView* view);

    void textScaleChanged(qreal oldScale) override;

private:
    // The model behind a view (through its proxies), held while the panel
    // cannot be seen: a table model on `CoalescedTableModel` then reads
    // nothing, and catches up once when the panel shows again.
    static void holdModel(QTableView* view, bool held);
    void popUpColumnMenu(QTableView* view, const QPoint& position);
    // The panel font and rows of its height.
    void sizeToText(QTableView* view);
    // Stored or default widths at the text size in force; other columns grow by ratio.
    void setColumnWidths(QTableView* view, qreal ratio);

    QList<QPointer<QTableView>> m_views;

    // Widths set by fitting are not the user's choice.
    bool m_fitting = false;
};
