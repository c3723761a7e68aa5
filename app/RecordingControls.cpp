#include "RecordingControls.h"

#include "BroadcastDelay.h"
#include "ClientV2Controller.h"
#include "RecordingPlayer.h"
#include "RecordingReader.h"
#include "ReplayBar.h"
#include "SessionRecorder.h"
#include "V2DataProvider.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QLocale>
#include <QMainWindow>
#include <QMessageBox>
#include <QProgressDialog>
#include <QStatusBar>

namespace {

const QString kFilter = QStringLiteral("Lanterra recordings (*.lrec *.lrec.gz *.txt *.gz);;All files (*)");

} // namespace

RecordingControls::RecordingControls(V2DataProvider* provider, QMainWindow* window, QAction* recordAction, QAction* openAction)
    : QObject(window)
    , m_provider(provider)
    , m_window(window)
    , m_recordAction(recordAction)
    , m_openAction(openAction)
    , m_recorder(new SessionRecorder(provider->controller(), this))
    , m_player(new RecordingPlayer(provider->controller(), this))
    , m_bar(new ReplayBar(m_player, window))
    , m_label(new QLabel(window))
{
    m_label->setObjectName(QStringLiteral("recordingLabel"));
    m_label->hide();
    window->statusBar()->addWidget(m_label);
    window->addToolBar(Qt::BottomToolBarArea, m_bar);
    m_bar->hide();

    connect(m_recordAction, &QAction::triggered, this, &RecordingControls::recordTriggered);
    connect(m_openAction, &QAction::triggered, this, &RecordingControls::openTriggered);
    connect(m_bar, &ReplayBar::leaveRequested, this, &RecordingControls::leaveReplay);
    connect(m_recorder, &SessionRecorder::progress, this, &RecordingControls::showRecording);
    connect(m_recorder, &SessionRecorder::recordingChanged, this, [this](bool recording) {
        m_recordAction->setChecked(recording);
        m_openAction->setEnabled(!recording);
        showRecording();
    });
    connect(m_recorder, &SessionRecorder::failed, this, [this](const QString& error) { report(tr("Recording stopped"), error, nullptr); });
    connect(m_player, &RecordingPlayer::loaded, this, &RecordingControls::recordingLoaded);

    // File → "Replay", below "Open recording...": the replay's keys, usable while one plays.
    auto* replayMenu = new QMenu(tr("Replay"), window);
    replayMenu->setObjectName(QStringLiteral("menuReplay"));
    replayMenu->addActions(m_bar->keyActions());
    for (QWidget* holder : m_openAction->associatedWidgets()) {
        auto* file = qobject_cast<QMenu*>(holder);
        if (!file)
            continue;
        const QList<QAction*> entries = file->actions();
        const int next = entries.indexOf(m_openAction) + 1;
        file->insertMenu(entries.value(next), replayMenu);
        break;
    }
    connect(this, &RecordingControls::replayingChanged, this, [this](bool replaying) {
        for (QAction* keyAction : m_bar->keyActions())
            keyAction->setEnabled(replaying);
    });
}

RecordingControls::~RecordingControls() = default;

SessionRecorder* RecordingControls::recorder() const
{
    return m_recorder;
}

RecordingPlayer* RecordingControls::player() const
{
    return m_player;
}

ReplayBar* RecordingControls::bar() const
{
    return m_bar;
}

QLabel* RecordingControls::label() const
{
    return m_label;
}

void RecordingControls::report(const QString& title, const QString& text, QString* error)
{
    if (error)
        *error = text;
    else if (m_window->isVisible())
        QMessageBox::warning(m_window, title, text);
    qWarning().noquote() << title + QStringLiteral(": ") + text;
}

bool RecordingControls::startRecording(const QString& path, QString* error)
{
    QString problem;
    if (!m_recorder->start(path, &problem)) {
        m_recordAction->setChecked(false);
        report(tr("Cannot record"), problem, error);
        return false;
    }
    return true;
}

void RecordingControls::stopRecording()
{
    m_recorder->stop();
}

void RecordingControls::recordTriggered(bool checked)
{
    if (!checked) {
        stopRecording();
        return;
    }
    const QString path = QFileDialog::getSaveFileName(m_window, tr("Record session"), QString(), kFilter);
    if (path.isEmpty()) {
        m_recordAction->setChecked(false);
        return;
    }
    startRecording(path);
}

void RecordingControls::openTriggered()
{
    const QString path = QFileDialog::getOpenFileName(m_window, tr("Open recording"), QString(), kFilter);
    if (!path.isEmpty())
        openRecording(path);
}

bool RecordingControls::openRecording(const QString& path, QString* error, bool holdLive)
{
    if (m_recorder->isRecording()) {
        report(tr("Cannot open the recording"), tr("Stop recording first."), error);
        return false;
    }
    if (m_player->isLoading())
        return false;
    // What is no recording at all is said at once (its header).
    RecordingReader header;
    QString problem;
    if (!header.open(path, &problem)) {
        report(tr("Cannot open the recording"), problem, error);
        return false;
    }
    header.close();
    if (holdLive && !m_player->isOpen() && !m_liveHeld) {
        restLive();
        m_liveHeld = true;
    }
    // Neither another recording nor recording while this one is read.
    m_openAction->setEnabled(false);
    m_recordAction->setEnabled(false);
    m_progress = new QProgressDialog(tr("Reading %1...").arg(QFileInfo(path).fileName()), tr("Cancel"), 0, 100, m_window);
    m_progress->setObjectName(QStringLiteral("recordingProgress"));
    m_progress->setWindowModality(Qt::WindowModal);
    m_progress->setMinimumDuration(300);
    m_progress->setAutoReset(false);
    m_progress->setAutoClose(false);
    m_progress->setValue(0);
    connect(m_player, &RecordingPlayer::loadProgress, m_progress, &QProgressDialog::setValue);
    connect(m_progress, &QProgressDialog::canceled, m_player, &RecordingPlayer::cancelLoad);
    m_player->load(path);
    return true;
}

void RecordingControls::recordingLoaded(bool ok, const QString& error)
{
    m_progress->deleteLater();
    m_progress = nullptr;
    m_openAction->setEnabled(true);
    const bool liveHeld = m_liveHeld;
    m_liveHeld = false;
    if (!ok) {
        m_recordAction->setEnabled(!m_player->isOpen());
        if (liveHeld)
            endReplayPause();
        if (!error.isEmpty())
            report(tr("Cannot open the recording"), error, nullptr);
        return;
    }
    if (!m_player->isOpen() && !liveHeld)
        restLive();
    m_player->start();
    if (!m_player->warning().isEmpty())
        report(tr("Damaged recording"), m_player->warning() + tr("\nIt plays up to its last good record."), nullptr);
    m_recordAction->setEnabled(false);
    m_bar->refresh();
    m_bar->show();
    m_label->setText(tr("Replay: %1").arg(QFileInfo(m_player->path()).fileName()));
    m_label->show();
    emit replayingChanged(true);
    m_player->play();
}

void RecordingControls::leaveReplay()
{
    if (!m_player->isOpen())
        return;
    m_player->close();
    m_bar->hide();
    m_label->hide();
    m_recordAction->setEnabled(true);
    emit replayingChanged(false);
    endReplayPause();
}

bool RecordingControls::isReplaying() const
{
    return m_player->isOpen();
}

void RecordingControls::restLive()
{
    // The live connection rests while the recording plays.
    m_wasActive = m_provider->controller()->isActive();
    m_provider->setActive(false);
    // A replay shows its own moment: what the delay holds shows now.
    m_provider->controller()->delay()->setLive(false);
}

void RecordingControls::endReplayPause()
{
    m_provider->controller()->delay()->setLive(true);
    m_provider->setActive(m_wasActive);
}

void RecordingControls::setLiveAfterReplay(bool live)
{
    m_wasActive = live;
}

void RecordingControls::showRecording()
{
    if (!m_recorder->isRecording()) {
        m_label->hide();
        return;
    }
    m_label->setText(tr("● Recording %1 — %2").arg(QFileInfo(m_recorder->path()).fileName(), QLocale().formattedDataSize(m_recorder->fileSize())));
    m_label->show();
}
