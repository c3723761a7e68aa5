#pragma once

#include <QObject>

class QMenu;
class QMenuBar;
class QWidget;
class V2DataProvider;

// The main window's "Alerts" menu: "Alert rules..." opens the rules dialog
// and, on OK, gives the rules to the provider's alert engine and saves them.
// The saved rules are applied when the menu is made. Other alert actions
// are added to menu().
class AlertsMenu final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(AlertsMenu)

public:
    // The menu goes into the bar before the menu `before` (at the end when null).
    AlertsMenu(QMenuBar* bar, QMenu* before, V2DataProvider* provider, QWidget* window);
    ~AlertsMenu() override;

    QMenu* menu() const;

private:
    void editRules();

    QMenu* m_menu;
    V2DataProvider* m_provider;
    QWidget* m_window;
};
