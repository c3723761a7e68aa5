#pragma once

#include <QObject>

class QAction;
class QLabel;
class QMainWindow;
class QProgressDialog;
class RecordingPlayer;
class ReplayBar;
class SessionRecorder;
class V2DataProvider;

// The main window's recording and replay: File → "Record session..." and
// File → "Open recording...", the replay bar, and a status-bar label that
// says what is being recorded or replayed. While a recording plays, the
// live connection is off; leaving the replay turns it on again. A recording
// is read in the background with a progress dialog that can cancel it; the
// live connection goes on until the whole file has been read.
class RecordingControls final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(RecordingControls)

public:
    RecordingControls(V2DataProvider* provider, QMainWindow* window, QAction* recordAction, QAction* openAction);
    ~RecordingControls() override;

    SessionRecorder* recorder() const;
    RecordingPlayer* player() const;
    ReplayBar* bar() const;
    QLabel* label() const;

    // False with a message box (or, without a window shown, the message in error).
    bool startRecording(const QString& path, QString* error = nullptr);
    void stopRecording();
    // Starts reading the recording: false (said as above) when it is none at
    // all; the replay begins once it has been read (replayingChanged).
    // holdLive: the live connection rests from now on rather than once the
    // recording is read (a replay asked for on the command line never logs in).
    bool openRecording(const QString& path, QString* error = nullptr, bool holdLive = false);
    void leaveReplay();
    bool isReplaying() const;
    // Whether leaving the replay goes back to the live connection: a decision
    // taken during the replay (a new server, a trusted certificate) is kept
    // for then instead of reaching the connection now.
    void setLiveAfterReplay(bool live);

signals:
    void replayingChanged(bool replaying);

private:
    void recordTriggered(bool checked);
    void openTriggered();
    void showRecording();
    void recordingLoaded(bool ok, const QString& error);
    void report(const QString& title, const QString& text, QString* error);
    void restLive();
    void endReplayPause();

    V2DataProvider* m_provider;
    QMainWindow* m_window;
    QAction* m_recordAction;
    QAction* m_openAction;
    SessionRecorder* m_recorder;
    RecordingPlayer* m_player;
    ReplayBar* m_bar;
    QLabel* m_label;
    QProgressDialog* m_progress = nullptr;
    bool m_wasActive = true;
    bool m_liveHeld = false;
};
