#include "ReplayBar.h"

#include "RecordingPlayer.h"
#include "SessionClock.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QMouseEvent>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QToolButton>

#include <functional>

namespace {

const int kSpeeds[] = {1, 2, 4, 8, 16};
const qint64 kShortJumpMs = 10 * 1000;
const qint64 kLongJumpMs = 60 * 1000;

QString clock(qint64 ms)
{
    return SessionClock::formatDuration(static_cast<int>(ms / 1000), true);
}

// A click beside the handle puts it there (and starts a drag), as in any
// media player, instead of stepping a page towards the click.
class JumpSlider final : public QSlider
{
public:
    using QSlider::QSlider;

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton) {
            QStyleOptionSlider option;
            initStyleOption(&option);
            const QRect handle = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
            if (!handle.contains(event->pos()))
                setValue(QStyle::sliderValueFromPosition(minimum(), maximum(), event->pos().x() - handle.width() / 2, width() - handle.width()));
        }
        QSlider::mousePressEvent(event);
    }
};

} // namespace

ReplayBar::ReplayBar(RecordingPlayer* player, QWidget* parent)
    : QToolBar(tr("Replay"), parent)
    , m_player(player)
    , m_play(new QToolButton(this))
    , m_speed(new QComboBox(this))
    , m_slider(new JumpSlider(Qt::Horizontal, this))
    , m_time(new QLabel(this))
{
    setObjectName(QStringLiteral("replayBar"));
    setMovable(false);
    m_play->setObjectName(QStringLiteral("replayPlay"));
    m_play->setText(tr("Play"));
    m_speed->setObjectName(QStringLiteral("replaySpeed"));
    for (int speed : kSpeeds)
        m_speed->addItem(QStringLiteral("%1×").arg(speed), speed);
    m_slider->setObjectName(QStringLiteral("replaySlider"));
    m_slider->setMinimumWidth(100);
    m_time->setObjectName(QStringLiteral("replayTime"));
    auto* leave = new QToolButton(this);
    leave->setObjectName(QStringLiteral("replayLeave"));
    leave->setText(tr("Live"));
    leave->setToolTip(tr("Leave the replay and connect to the timing server again"));
    addWidget(m_play);
    addWidget(m_speed);
    addWidget(m_slider);
    addWidget(m_time);
    addWidget(leave);

    connect(m_play, &QToolButton::clicked, this, &ReplayBar::togglePlaying);
    const auto addKeyAction = [this](const char* objectName, const QString& text, const std::function<void()>& act) {
        auto* keyAction = new QAction(text, this);
        keyAction->setObjectName(QLatin1String(objectName));
        keyAction->setEnabled(false);
        connect(keyAction, &QAction::triggered, this, act);
        m_keyActions.append(keyAction);
    };
    addKeyAction("actionReplay_play_pause", tr("Play/Pause"), [this] { togglePlaying(); });
    addKeyAction("actionReplay_back", tr("Back 10 s"), [this] { jump(-kShortJumpMs); });
    addKeyAction("actionReplay_forward", tr("Forward 10 s"), [this] { jump(kShortJumpMs); });
    addKeyAction("actionReplay_back_minute", tr("Back 1 min"), [this] { jump(-kLongJumpMs); });
    addKeyAction("actionReplay_forward_minute", tr("Forward 1 min"), [this] { jump(kLongJumpMs); });
    connect(m_player, &RecordingPlayer::playingChanged, this, [this](bool playing) { m_play->setText(playing ? tr("Pause") : tr("Play")); });
    connect(m_speed, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            [this](int index) { m_player->setSpeed(m_speed->itemData(index).toInt()); });
    // Seconds on the slider; a jump rebuilds the tree, so it happens when the handle is let go.
    connect(m_slider, &QSlider::sliderReleased, this, [this] { m_player->seek(m_slider->value() * 1000LL); });
    connect(m_slider, &QSlider::actionTriggered, this, [this](int action) {
        if (action != QAbstractSlider::SliderMove)
            QMetaObject::invokeMethod(this, [this] { m_player->seek(m_slider->value() * 1000LL); }, Qt::QueuedConnection);
    });
    connect(m_slider, &QSlider::sliderMoved, this, [this](int seconds) { m_time->setText(clock(seconds * 1000LL) + QStringLiteral(" / ") + clock(m_player->duration())); });
    connect(m_player, &RecordingPlayer::positionChanged, this, &ReplayBar::showPosition);
    connect(leave, &QToolButton::clicked, this, &ReplayBar::leaveRequested);
}

QList<QAction*> ReplayBar::keyActions() const
{
    return m_keyActions;
}

void ReplayBar::togglePlaying()
{
    if (m_player->isPlaying())
        m_player->pause();
    else
        m_player->play();
}

void ReplayBar::jump(qint64 ms)
{
    // The player keeps the jump within the recording.
    m_player->seek(m_player->position() + ms);
}

void ReplayBar::refresh()
{
    m_slider->setRange(0, static_cast<int>(m_player->duration() / 1000));
    m_speed->setCurrentIndex(m_speed->findData(static_cast<int>(m_player->speed())));
    m_play->setText(m_player->isPlaying() ? tr("Pause") : tr("Play"));
    showPosition(m_player->position());
}

void ReplayBar::showPosition(qint64 ms)
{
    if (!m_slider->isSliderDown()) {
        const QSignalBlocker blocker(m_slider);
        m_slider->setValue(static_cast<int>(ms / 1000));
    }
    m_time->setText(clock(ms) + QStringLiteral(" / ") + clock(m_player->duration()));
}
