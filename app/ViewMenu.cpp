#include "ViewMenu.h"

#include "BroadcastDelay.h"
#include "TimeOfDay.h"
#include "WidgetSessionFlags.h"

#include <QAbstractItemView>
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QInputDialog>
#include <QMenu>
#include <QMenuBar>
#include <QSpinBox>
#include <QStatusBar>

ViewMenu::ViewMenu(QMenuBar* bar, QStatusBar* status, BroadcastDelay* delay, QWidget* window)
    : QObject(window)
    , m_menu(new QMenu(tr("View"), bar))
    , m_delayBox(new QSpinBox(status))
    , m_delay(delay)
    , m_window(window)
{
    m_menu->setObjectName(QStringLiteral("menuView"));
    const QList<QAction*> menus = bar->actions();
    bar->insertMenu(menus.size() > 1 ? menus.at(1) : nullptr, m_menu);

    QAction* delayAction = m_menu->addAction(tr("Delay..."));
    delayAction->setObjectName(QStringLiteral("actionDelay"));
    delayAction->setToolTip(tr("Hold the timing back to match the television picture."));
    connect(delayAction, &QAction::triggered, this, &ViewMenu::askDelay);

    QMenu* times = m_menu->addMenu(tr("Times of day in"));
    times->setObjectName(QStringLiteral("menuTimesOfDay"));
    auto* group = new QActionGroup(times);
    QAction* computer = times->addAction(tr("This computer's time"));
    computer->setObjectName(QStringLiteral("actionTimesComputer"));
    QAction* track = times->addAction(tr("Track time"));
    track->setObjectName(QStringLiteral("actionTimesTrack"));
    for (QAction* action : {computer, track}) {
        action->setCheckable(true);
        group->addAction(action);
    }
    TimeOfDay::load();
    (TimeOfDay::zone() == TimeOfDay::TrackTime ? track : computer)->setChecked(true);
    connect(track, &QAction::toggled, this, &ViewMenu::setTrackTime);

    m_delayBox->setObjectName(QStringLiteral("delayBox"));
    m_delayBox->setRange(0, BroadcastDelay::MaxSeconds);
    // A value typed digit by digit would first catch up, then freeze the picture.
    m_delayBox->setKeyboardTracking(false);
    m_delayBox->setPrefix(tr("Delay "));
    m_delayBox->setSuffix(tr(" s"));
    m_delayBox->setToolTip(tr("The timing is held back this long; 0 shows it live."));
    status->addPermanentWidget(m_delayBox);
    connect(m_delayBox, QOverload<int>::of(&QSpinBox::valueChanged), m_delay, &BroadcastDelay::setSeconds);
    connect(m_delay, &BroadcastDelay::secondsChanged, this, &ViewMenu::showDelay);
    showDelay(m_delay->seconds());
}

ViewMenu::~ViewMenu() = default;

QMenu* ViewMenu::menu() const
{
    return m_menu;
}

QSpinBox* ViewMenu::delayBox() const
{
    return m_delayBox;
}

void ViewMenu::askDelay()
{
    bool ok = false;
    const int seconds = QInputDialog::getInt(m_window, tr("Delay"), tr("Hold the timing back by (seconds, 0 for live):"), m_delay->seconds(), 0,
                                             BroadcastDelay::MaxSeconds, 1, &ok);
    if (ok)
        m_delay->setSeconds(seconds);
}

void ViewMenu::showDelay(int seconds)
{
    const QSignalBlocker blocker(m_delayBox);
    m_delayBox->setValue(seconds);
    // Shown only while the delay is on: at 0 the status bar says nothing of it.
    m_delayBox->setVisible(seconds > 0);
}

void ViewMenu::setTrackTime(bool track)
{
    TimeOfDay::setZone(track ? TimeOfDay::TrackTime : TimeOfDay::ComputerTime);
    // The tables write their times when painted: a repaint shows the other
    // clock. The flags panel writes them into its items: it reads them again.
    for (QWidget* widget : QApplication::allWidgets()) {
        if (auto* flags = qobject_cast<WidgetSessionFlags*>(widget))
            flags->processUpdate();
        else if (auto* view = qobject_cast<QAbstractItemView*>(widget))
            view->viewport()->update();
    }
}
