#pragma once

#include <QDialog>

class MainWindow;
class QTableWidget;

// Help → "Keyboard shortcuts": every key of the shortcut table whose action
// the window has (and shows), with the menu it is in and the action's text.
class ShortcutSheet final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY(ShortcutSheet)

public:
    explicit ShortcutSheet(MainWindow* window);
    ~ShortcutSheet() override;

    QTableWidget* table() const;

private:
    QTableWidget* m_table;
};
