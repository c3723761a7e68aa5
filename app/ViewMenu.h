#pragma once

#include <QObject>

class BroadcastDelay;
class QMenu;
class QMenuBar;
class QSpinBox;
class QStatusBar;
class QWidget;

// The main window's "View" menu: "Delay..." sets the broadcast delay (a
// spin box in the status bar shows it and changes it while it is on), and
// "Times of day in" chooses the clock every table writes times of day on.
class ViewMenu final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(ViewMenu)

public:
    // The menu goes into the bar after "File" (its first menu).
    ViewMenu(QMenuBar* bar, QStatusBar* status, BroadcastDelay* delay, QWidget* window);
    ~ViewMenu() override;

    QMenu* menu() const;
    QSpinBox* delayBox() const;

private:
    void askDelay();
    void showDelay(int seconds);
    void setTrackTime(bool track);

    QMenu* m_menu;
    QSpinBox* m_delayBox;
    BroadcastDelay* m_delay;
    QWidget* m_window;
};
