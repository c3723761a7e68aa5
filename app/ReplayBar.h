#pragma once

#include <QToolBar>

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

signals:
    void leaveRequested();

private:
    void showPosition(qint64 ms);

    RecordingPlayer* m_player;
    QToolButton* m_play;
    QComboBox* m_speed;
    QSlider* m_slider;
    QLabel* m_time;
};
