#pragma once

#include "TeamAlert.h"

#include <QObject>
#include <QString>
#include <QSystemTrayIcon>
#include <QVector>

#include <functional>

class QAction;
class QLabel;
class QMenu;
class QSoundEffect;
class QStatusBar;
class TeamAlertEngine;

// What the main window shows and plays of the team alerts: the count of
// alerts not yet acknowledged in the status bar, "Acknowledge all" in the
// Alerts menu, a tray message for each alert whose rule asks for one and
// the alert sound when an alert's rule asks for it. Alerts raised together
// make one tray message, the most severe first, so that a burst does not
// hide a critical alert behind the last one, and play the sound once. The tray and the sound go
// through replaceable functions, so that tests see what was asked without
// a tray or an audio device.
class AlertPresenter final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(AlertPresenter)

public:
    using Notifier = std::function<void(const QString& title, const QString& text, QSystemTrayIcon::MessageIcon icon)>;
    using SoundPlayer = std::function<void()>;

    // menu: where "Acknowledge all" goes (not null). tray: the main window's
    // icon, whose messages carry the notifications (may be null).
    AlertPresenter(TeamAlertEngine* alerts, QStatusBar* statusBar, QMenu* menu, QSystemTrayIcon* tray, QObject* parent = nullptr);
    ~AlertPresenter() override;

    QLabel* countLabel() const;
    QAction* acknowledgeAllAction() const;
    // The effect behind playSound(), made on the first sound (null before it).
    QSoundEffect* soundEffect() const;
    void setNotifier(Notifier notifier);
    void setSoundPlayer(SoundPlayer player);
    // The bundled sound, played through the default audio output; silent where there is none.
    void playSound();

private:
    void present(int index);
    void showCount();
    // The tray message and the sound of the alerts raised since the last burst.
    void presentBurst();

    TeamAlertEngine* m_alerts;
    QLabel* m_count;
    QAction* m_acknowledgeAll;
    Notifier m_notifier;
    QVector<TeamAlert> m_toNotify;
    bool m_soundAsked = false;
    bool m_burstQueued = false;
    SoundPlayer m_soundPlayer;
    // Made on the first sound: a program whose rules ask for none never opens the audio output.
    QSoundEffect* m_sound = nullptr;
};
