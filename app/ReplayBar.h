#pragma once

#include <QToolBar>

class QAction;
class QComboBox;
class QLabel;
class QSlider;
class QToolButton;
class RecordingPlayer;

// The bar shown while a recording plays in the program: play/pause, speed,
// a time slider over the whole recording (letting go of it jumps there),
// the time reached, and the way back to the live connection.
class ReplayBar final : public QToolBar
{
    Q_OBJECT
    Q_DISABLE_COPY(ReplayBar)

public:
    explicit ReplayBar(RecordingPlayer* player, QWidget* parent = nullptr);

    // Takes the player's length and position (after a recording is opened).
    void refresh();
    // Play/pause and the jumps back and forward, for a menu and its keys;
    // they act only while the bar is in use (the caller enables them).
    QList<QAction*> keyActions() const;

signals:
    void leaveRequested();

private:
    void showPosition(qint64 ms);
    void togglePlaying();
    void jump(qint64 ms);

    RecordingPlayer* m_player;
    QToolButton* m_play;
    QComboBox* m_speed;
    QSlider* m_slider;
    QLabel* m_time;
    QList<QAction*> m_keyActions;
};
