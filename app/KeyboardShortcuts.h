#pragma once

#include <QKeySequence>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include <array>

class MainWindow;
class QAction;
class QMenu;

// The program's keys, written once in table(): every action named there
// gets its keys (and shows them in its menu), valid in every window of the
// program, the panels included. Also the actions that exist for the keys:
// the first nine named layouts in the Layout menu, "Find a car..." in the
// Window menu and "Keyboard shortcuts" in the Help menu, whose sheet is
// generated from the same table. An action the window does not have (yet)
// is passed over; bind() runs again when the window is first shown.
class KeyboardShortcuts final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(KeyboardShortcuts)

public:
    struct Shortcut
    {
        QString action; // object name of the action it triggers
        QKeySequence keys;
        // Not UnknownKey: the platform's own keys for that meaning (Find, Help) instead of `keys`.
        QKeySequence::StandardKey standard = QKeySequence::UnknownKey;
    };

    static constexpr int kLayoutKeys = 9;

    explicit KeyboardShortcuts(MainWindow* window);
    ~KeyboardShortcuts() override;

    // Panels (each registry row, "Alt+W" then its letter), layouts, finding
    // a car, the replay, the delay, the alerts and the sheet, in that order.
    static QVector<Shortcut> table();
    // The keys an entry stands for on this platform.
    static QList<QKeySequence> keysOf(const Shortcut& shortcut);

    // Gives the table's keys to the window's actions.
    void bind();
    // The layout actions again from the saved layouts: the store's order, as the layout dialogs list them.
    void refreshLayouts();
    QAction* layoutAction(int index) const;
    void showSheet();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void loadLayout(int index);

    MainWindow* m_window;
    std::array<QAction*, kLayoutKeys> m_layoutActions{};
    QStringList m_layoutNames;
};
